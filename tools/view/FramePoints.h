// What the page draws of one frame: the positions of the particles shown,
// the numbers that colour them, the frame's bounds and the legend's range,
// read through the file layer's record walker by the same reading as
// `velpo preview` (the first "position" record, which must hold vectors,
// and the first record of the colouring name).
//
// Frames of more particles than the budget show a stable subset of them
// (StableSubset.h), chosen by the record "id" where the file has one.
//
// The payload sent to the page, all numbers little-endian:
//   "VPTS", uint32 n, n bytes of JSON (the header, padded with blanks to a
//   multiple of 4), float32 x, y, z of each shown particle, then the colour
//   numbers (1 or 3 float32 per shown particle), then, for a subset, the
//   particle index of each shown particle as int32.
// The header: {"particles", "shown", "subset", "byId", "positionsSingle",
//   "bounds": {"min": [x, y, z], "max": [x, y, z]} or null, "colour": null
//   or {"name", "label", "mode", "components", "low", "high", "lowText",
//   "middleText", "highText", "rangeKnown", "nonFinite"}}
// "low" and "high" are the range of the finite colour values over every
// particle of the frame, as `velpo preview` puts them in its legend;
// "nonFinite" counts the NaN and infinite ones, drawn grey.
//
// Pure functions; thread-safe. Memory: the records read (one frame's
// positions and colour record as doubles) plus the result.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/Result.h"
#include "tools/preview/ParticleFrame.h"

namespace VelpoTools {

enum class CColourMode { None, Map, Rgb };

struct CPointsRequest {
    std::string colour;  // record name; empty for none
    CColourMode mode = CColourMode::None;
    int64_t budget = 4000000;
};

struct CFramePoints {
    int64_t particles = 0;  // the header's count
    bool positionsSingle = false;
    bool subset = false;
    bool byId = false;             // the subset was chosen by the record "id"
    std::vector<int64_t> indices;  // of the shown particles, when a subset
    std::vector<float> positions;  // x, y, z per shown particle
    int32_t colourComponents = 0;  // per shown particle: 0, 1 or 3
    std::vector<float> colour;
    CColourStats stats;
    CBounds bounds;
    std::string colourName;
    std::string colourLabel;  // as the legend of `velpo preview` names it

    size_t Shown() const { return positions.size() / 3; }
};

// Fails naming the file and what is wrong: unreadable, no "position"
// record of vectors, no record of the colouring name, RGB of a record that
// holds single numbers. Running out of memory is a failure too.
Velpo::CResult ReadFramePoints(const std::string& file, const CPointsRequest& request,
                               CFramePoints& points);

std::string PointsPayload(const CFramePoints& points);

}  // namespace VelpoTools
