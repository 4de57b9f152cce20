// What the view tests share: frames written byte by byte, the points
// payload taken apart independently of the server's code, and an HTTP
// client to 127.0.0.1.
#pragma once

#include <httplib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/PdcBytes.h"
#include "tests/support/ScratchFolder.h"

namespace VelpoViewTest {

struct CTestFrame {
    std::vector<int32_t> ids;        // empty: no "id" record
    std::vector<double> positions;   // x, y, z per particle
    std::vector<double> ages;        // empty: no "age" record
    std::vector<double> velocities;  // x, y, z per particle; empty: none
    bool idsAsDoubles = true;        // code 3 as the nodes write, else code 1
};

// A frame of n particles: ids 1..n, particle i at (i, 2i, -i), age i / 10,
// velocity (i, 0, 0).
CTestFrame SimpleFrame(int32_t particles);

std::string FrameBytes(const CTestFrame& frame);
void WriteFrame(const std::string& path, const CTestFrame& frame);

// The points payload read back: little-endian words taken with shifts.
struct CPayload {
    std::string headerText;
    std::vector<float> positions;
    std::vector<float> colour;
    std::vector<int32_t> indices;
    bool valid = false;
};

// `colourComponents` and `subset` as the header says.
CPayload ReadPayload(const std::string& body, int colourComponents, bool subset);

}  // namespace VelpoViewTest
