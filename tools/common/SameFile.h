// Names that stand for one file: an output of a command that would write
// over one of its inputs, and outputs of two frames that would write one
// file. Both are refused before anything is written, as usage errors: a
// command run that way would destroy what it reads, or keep only the last
// frame.
//
// A file that exists is known by its identity (device and inode; on Windows
// volume and file index), so a symbolic link, a hard link or ".." in either
// name does not hide it. A name that does not exist yet is known by its
// path with the folders that exist resolved and "." and ".." taken out of
// the rest, as the system will resolve it once the folders are there.
// Names are as the command line gives them (UTF-8 on Windows). Nothing here
// writes; every function looks at the file system, and fails only with the
// messages below.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/Result.h"

namespace VelpoTools {

// The inputs of one command run.
class CInputFiles {
public:
    // An input as the command will read it. One that names no file is left
    // out: it cannot be overwritten, and reading it fails on its own.
    void Add(const std::string& file);

    // Fails with "<output> is the same file as the input <input>; nothing
    // was written" when `output` names one of the inputs.
    Velpo::CResult CheckOutput(const std::string& output) const;

private:
    std::map<std::string, std::string> files_;  // identity: the input's name
};

// Fails, naming the first two frames (in the order given) whose outputs
// name one file, and that file: "frames 1 and 2 would both be written to
// out/one.ply, so one would overwrite the other; nothing was written".
Velpo::CResult CheckDistinctOutputs(const std::vector<std::pair<int32_t, std::string>>& outputs);

// The message of two frames that would share one output file, for every
// check that finds them; `why` (may be empty) says how, in parentheses.
std::string SharedOutputMessage(int32_t first, int32_t second, const std::string& file,
                                const std::string& why);

}  // namespace VelpoTools
