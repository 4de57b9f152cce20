// The files of `velpo convert`: a PDC file read whole through the record
// walker, a PDC file written through the safe writer, and one file
// converted to the other format.
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

// The frame's header and records, big-endian, as the walker reads them.
// Fails naming `file` when an array record's values do not match the
// particle count, or when the file cannot be written.
Velpo::CResult WritePdcFrame(const std::filesystem::path& file, const CConvertFrame& frame);

struct CConvertSummary {
    int64_t particles = 0;
    size_t records = 0;
    uint64_t bytesRead = 0;
};

// `in` converted into `out`, the direction given by their extensions.
Velpo::CResult ConvertFile(const std::string& in, const std::string& out, const CPlyChoice& choice,
                           CConvertSummary& summary, std::vector<std::string>& notes);

}  // namespace VelpoTools
