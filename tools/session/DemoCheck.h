// The demo's check of a round trip: every value read back through the nodes
// against the value written, bit for bit, and the closing line that says
// how many differ.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/sdk/Math.h"
#include "tools/session/PluginSession.h"

namespace VelpoTools {

class CRoundTripCheck {
public:
    // `report` receives a description of each of the first few differences.
    explicit CRoundTripCheck(std::function<void(const std::string&)> report);

    // Compares the values VelpoSetData gave on `port` with `expected`. Every
    // expected value is counted as compared; a missing or short output
    // counts each value it lacks as differing, and any output of the wrong
    // length makes the round trip inexact.
    void Check(int32_t frame, const char* name, const CImportedFrame& imported, uint32_t port,
               const std::vector<int32_t>& expected);
    void Check(int32_t frame, const char* name, const CImportedFrame& imported, uint32_t port,
               const std::vector<float>& expected);
    void Check(int32_t frame, const char* name, const CImportedFrame& imported, uint32_t port,
               const std::vector<XSI::MATH::CVector3f>& expected);

    // VelpoImport's count against the particles written: a wrong count is
    // reported but is not a value.
    void CheckCount(int32_t frame, uint32_t read, size_t written);

    uint64_t Compared() const { return compared_; }
    uint64_t Differing() const { return differing_; }
    bool Exact() const { return differing_ == 0 && countsRight_ && sizesRight_; }

    // "round trip: exact, N values read back unchanged" or "round trip: NOT
    // exact, D of N values differ", with what else went wrong.
    std::string Summary(bool nodeErrors) const;

private:
    template <class T>
    void CheckValues(int32_t frame, const char* name, const CImportedFrame& imported, uint32_t port,
                     const std::vector<T>& expected);
    void Report(int32_t frame, const std::string& text);

    std::function<void(const std::string&)> report_;
    uint64_t compared_ = 0;
    uint64_t differing_ = 0;
    uint64_t reported_ = 0;
    bool countsRight_ = true;
    bool sizesRight_ = true;
};

}  // namespace VelpoTools
