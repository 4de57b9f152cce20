#include "tools/session/DemoCheck.h"

#include <fmt/format.h>
#include <algorithm>
#include <bit>

#include "tools/common/Numbers.h"
#include "tools/common/Text.h"

namespace VelpoTools {

namespace {

using XSI::MATH::CVector3f;

// Differences beyond these are counted, not described.
constexpr uint64_t ReportedDifferences = 10;

bool Same(float a, float b) {
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}
bool Same(int32_t a, int32_t b) {
    return a == b;
}
bool Same(const CVector3f& a, const CVector3f& b) {
    return Same(a.GetX(), b.GetX()) && Same(a.GetY(), b.GetY()) && Same(a.GetZ(), b.GetZ());
}
std::string Text(float v) {
    return FormatFloat(v);
}
std::string Text(int32_t v) {
    return std::to_string(v);
}
std::string Text(const CVector3f& v) {
    // Appended, not "(" + ...: g++ 12 warns falsely on literal + std::string&&.
    std::string text = "(";
    AppendFloat(text, v.GetX());
    text += ", ";
    AppendFloat(text, v.GetY());
    text += ", ";
    AppendFloat(text, v.GetZ());
    text += ")";
    return text;
}

}  // namespace

CRoundTripCheck::CRoundTripCheck(std::function<void(const std::string&)> report)
    : report_(std::move(report)) {}

template <class T>
void CRoundTripCheck::CheckValues(int32_t frame, const char* name, const CImportedFrame& imported,
                                  uint32_t port, const std::vector<T>& expected) {
    const auto found = imported.outputs.find(port);
    const std::vector<T>* read =
        found == imported.outputs.end() ? nullptr : std::get_if<std::vector<T>>(&found->second);
    const size_t readable = read ? std::min(read->size(), expected.size()) : 0;
    if (!read || read->size() != expected.size()) {
        Report(frame, fmt::format("{}: read {} values, wrote {}", Quoted(name),
                                  read ? read->size() : 0, expected.size()));
        differing_ += expected.size() - readable;
        sizesRight_ = false;
    }
    for (size_t i = 0; i < readable; ++i) {
        if (!Same((*read)[i], expected[i])) {
            Report(frame, fmt::format("{} of particle {}: wrote {}, read {}", Quoted(name), i,
                                      Text(expected[i]), Text((*read)[i])));
            ++differing_;
        }
    }
    compared_ += expected.size();
}

void CRoundTripCheck::Check(int32_t frame, const char* name, const CImportedFrame& imported,
                            uint32_t port, const std::vector<int32_t>& expected) {
    CheckValues(frame, name, imported, port, expected);
}
void CRoundTripCheck::Check(int32_t frame, const char* name, const CImportedFrame& imported,
                            uint32_t port, const std::vector<float>& expected) {
    CheckValues(frame, name, imported, port, expected);
}
void CRoundTripCheck::Check(int32_t frame, const char* name, const CImportedFrame& imported,
                            uint32_t port, const std::vector<CVector3f>& expected) {
    CheckValues(frame, name, imported, port, expected);
}

void CRoundTripCheck::CheckCount(int32_t frame, uint32_t read, size_t written) {
    if (read != written) {
        Report(frame,
               fmt::format("VelpoImport reports {} particles, {} were written", read, written));
        countsRight_ = false;
    }
}

void CRoundTripCheck::Report(int32_t frame, const std::string& text) {
    if (reported_++ < ReportedDifferences) {
        report_(fmt::format("frame {}: {}", frame, text));
    }
}

std::string CRoundTripCheck::Summary(bool nodeErrors) const {
    if (Exact() && !nodeErrors) {
        return fmt::format("round trip: exact, {} values read back unchanged", compared_);
    }
    std::string text =
        fmt::format("round trip: NOT exact, {} of {} values differ", differing_, compared_);
    if (!countsRight_) {
        text += "; VelpoImport reported wrong particle counts";
    }
    if (!sizesRight_) {
        text += "; VelpoSetData gave the wrong number of values";
    }
    if (nodeErrors) {
        text += "; the nodes logged errors";
    }
    return text;
}

}  // namespace VelpoTools
