// Fuzz target: any bytes read as a PLY file the way `velpo convert` reads
// one, then turned into a PDC frame. Whatever the input, the reader must
// not crash, hang or size anything beyond the input, and a frame it accepts
// must come back bit for bit through the PLY that convert writes for it.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/Require.h"
#include "tests/support/Streams.h"
#include "tools/common/Output.h"
#include "tools/ply/Convert.h"
#include "tools/ply/PlyFormat.h"

namespace {

using VelpoTestSupport::Require;
using VelpoTools::CConvertFrame;
using VelpoTools::CConvertRecord;
using VelpoTools::CPlyVertices;

// Every value's bits, so that NaNs of any payload compare too.
bool SameRecord(const CConvertRecord& a, const CConvertRecord& b) {
    if (a.name != b.name || a.code != b.code || a.nameOnly != b.nameOnly ||
        a.integers != b.integers || a.doubles.size() != b.doubles.size()) {
        return false;
    }
    for (size_t i = 0; i < a.doubles.size(); ++i) {
        if (std::bit_cast<uint64_t>(a.doubles[i]) != std::bit_cast<uint64_t>(b.doubles[i])) {
            return false;
        }
    }
    return true;
}

bool SameFrame(const CConvertFrame& a, const CConvertFrame& b) {
    if (a.header.particleCount != b.header.particleCount ||
        a.header.attributeCount != b.header.attributeCount ||
        a.records.size() != b.records.size()) {
        return false;
    }
    for (size_t i = 0; i < a.records.size(); ++i) {
        if (!SameRecord(a.records[i], b.records[i])) {
            return false;
        }
    }
    return true;
}

// Reads `bytes` as a PLY into a frame; false when either step refuses it.
bool FrameOf(std::string_view bytes, CConvertFrame& frame) {
    CPlyVertices vertices;
    const Velpo::CResult read = VelpoTools::ReadPlyBytes("fuzz.ply", bytes, vertices);
    if (!read) {
        Require(!read.Message().empty());
        return false;
    }
    // Nothing is sized beyond the input: every value takes at least a byte.
    for (const VelpoTools::CPlyColumn& column : vertices.columns) {
        Require(column.values.size() == static_cast<size_t>(vertices.count));
        Require(column.values.size() <= bytes.size());
    }
    std::vector<std::string> notes;
    const Velpo::CResult made = VelpoTools::FrameFromPly(vertices, frame, notes);
    Require(made || !made.Message().empty());
    return static_cast<bool>(made);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CConvertFrame frame;
    if (!FrameOf(std::string_view(reinterpret_cast<const char*>(data), size), frame)) {
        return 0;
    }
    for (const bool ascii : {false, true}) {
        const std::string written = VelpoTestSupport::WrittenText([&](std::FILE* file) {
            VelpoTools::COutput out(file, "fuzz");
            VelpoTools::WritePly(out, VelpoTools::PlyFromFrame(frame, {ascii, false}));
            Require(static_cast<bool>(out.Flush()));
        });
        CConvertFrame again;
        Require(FrameOf(written, again));
        // ASCII keeps every value but NaNs of unusual payloads, which it
        // writes as plain "nan" for other readers' sake.
        Require(ascii || SameFrame(frame, again));
        Require(again.records.size() == frame.records.size());
    }
    return 0;
}
