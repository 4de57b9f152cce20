// The files of `velpo convert`: a PDC file walked through the record
// walker, a PDC file written through the safe writer, and one file
// converted to the other format, a block of particles at a time.
//
// Every failure names the file and what is wrong. Nothing is written under
// the output's name unless all of it was: a failed conversion leaves the
// earlier file, if any, as it was. Safe to run on several threads at once
// for different files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "base/Result.h"
#include "tools/ply/Convert.h"

namespace VelpoTools {

enum class CConvertDirection { PdcToPly, PlyToPdc };

// From the names' extensions (.pdc, .ply, in any letter case). The failure
// is a usage error: an extension that is neither, or the same on both.
Velpo::CResult ConvertDirection(const std::string& in, const std::string& out,
                                CConvertDirection& direction);

// Every record of `file` with all its values and every byte of its name
// (a name with a zero byte, or longer than the walker keeps, is read again
// whole). Fails where the walker finds the file broken. `notes` gets the
// bytes after the last record, which no record holds and the copy leaves
// out.
Velpo::CResult ReadPdcFrame(const std::filesystem::path& file, CConvertFrame& frame,
                            std::vector<std::string>& notes);

// The same walk, checking the whole file, but an array record keeps no
// values: `valuesOffsets` receives, per record of `frame`, the byte offset
// of its first value, from which a conversion reads its values in blocks.
// Memory: the names and single values only, whatever the particle count.
Velpo::CResult ReadPdcLayout(const std::filesystem::path& file, CConvertFrame& frame,
                             std::vector<int64_t>& valuesOffsets, std::vector<std::string>& notes);

// The frame's header and records, big-endian, as the walker reads them.
// Fails naming `file` when an array record's values do not match the
// particle count, or when the file cannot be written.
Velpo::CResult WritePdcFrame(const std::filesystem::path& file, const CConvertFrame& frame);

// How many particles a conversion holds in memory at once: at most
// `particles`, and no more than the values of all records together fit in
// `bytes`, so the memory it takes does not grow with the frame. Tests set
// small blocks to cross many block edges in small frames.
struct CConvertBlock {
    static constexpr int64_t DefaultParticles = 65536;
    static constexpr int64_t DefaultBytes = 16 << 20;
    int64_t particles = DefaultParticles;
    int64_t bytes = DefaultBytes;

    // The particles of one block for records of `bytesPerParticle` bytes
    // together: at least 1.
    int64_t ParticlesFor(int64_t bytesPerParticle) const;
};

struct CConvertSummary {
    int64_t particles = 0;
    size_t records = 0;
    uint64_t bytesRead = 0;
};

// `in` converted into `out`, the direction given by their extensions, a
// block of particles at a time.
Velpo::CResult ConvertFile(const std::string& in, const std::string& out, const CPlyChoice& choice,
                           CConvertSummary& summary, std::vector<std::string>& notes,
                           const CConvertBlock& block = {});

}  // namespace VelpoTools
