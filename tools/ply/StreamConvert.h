// Conversions that hold a block of particles at a time, never a whole
// record: the memory they take is set by CConvertBlock, whatever the size of
// the frame, and the output is byte for byte what a conversion of the whole
// frame in memory would write.
//
// Both validate what they can before they write: the input is walked whole
// first (a PDC file by the record walker, a PLY file's header and the room
// its vertices take), so a broken input is refused with nothing written.
// What only the values show (a file changed while it is read, a value its
// record cannot hold) stops the write half-way; the output goes through the
// safe write, so the earlier file under its name is kept and no scrap is
// left. Failures name the file and what is wrong. Safe to run on several
// threads at once for different files.
#pragma once

#include <string>
#include <vector>

#include "base/Result.h"
#include "tools/ply/ConvertFiles.h"

namespace VelpoTools {

// PDC to PLY: the records' layout walked first (ReadPdcLayout), then per
// block of particles each array record's slice read from its offset.
Velpo::CResult StreamPdcToPly(const std::string& in, const std::string& out,
                              const CPlyChoice& choice, const CConvertBlock& block,
                              CConvertSummary& summary, std::vector<std::string>& notes);

// PLY to PDC: the header read and the place of the vertex rows checked
// against the file's size, the frame planned from the header, then the
// rows read a block at a time, once for each group of records (see
// StreamPlyToPdc.cpp). `streamed` is false, with nothing done, for what is
// read whole instead: vertices with a list property or after an element
// with lists, and vertices that one block holds anyway.
Velpo::CResult StreamPlyToPdc(const std::string& in, const std::string& out,
                              const CConvertBlock& block, CConvertSummary& summary,
                              std::vector<std::string>& notes, bool& streamed);

}  // namespace VelpoTools
