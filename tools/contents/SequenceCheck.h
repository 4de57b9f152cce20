// What `velpo check` finds in a sequence of cache files, as plain data and
// pure functions, so that the findings do not depend on how the frames were
// read (in which order, on how many threads).
//
// Each frame is read once (FrameFacts): the walk that checks it also counts
// NaN and infinite values per attribute and hashes the records. Everything
// else is worked out from those facts:
//
//   FrameProblems    one frame on its own: missing, unreadable, empty,
//                    NaN or infinite values
//   ChangeProblems   one frame against the readable frame before it:
//                    attributes that appear, vanish or change type code,
//                    particle counts that jump, identical contents
//   FrameGaps        frame numbers missing between the files a pattern
//                    found
//   LeftoverProblems temporary files of interrupted writes
//
// Missing and unreadable frames are errors; everything else is a warning.
// Every problem has a stable kind for scripts:
//   missing-frame; for an unreadable frame the reader's kind (truncated,
//   forged-length... see FileReport.h); empty-frame, nan-values,
//   infinite-values, count-jump, attribute-appeared, attribute-vanished,
//   type-code-changed, identical-frame, leftover-file, folder-unsearchable,
//   unnumbered-file (a file of the pattern whose number is no frame number).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/contents/Leftovers.h"
#include "tools/sequence/Sequence.h"

namespace VelpoTools {

struct CAttributeFacts {
    std::string name;
    int32_t code = 0;
    uint64_t nan = 0;
    uint64_t infinite = 0;
};

struct CFrameFacts {
    int32_t frame = 0;
    std::string file;
    bool present = false;  // the file exists
    std::string failure;   // why it cannot be read; empty when it can
    std::string failureKind;
    int64_t size = 0;  // bytes
    int64_t particleCount = 0;
    // One per name, the record that name delivers (pdc/SlotFilling.h: the
    // last of the name), in file order.
    std::vector<CAttributeFacts> attributes;
    // Of the records' names, codes, counts and values and the header's
    // particle count: equal hashes mean identical contents.
    uint64_t contentHash = 0;

    bool Readable() const { return present && failure.empty(); }
};

// Reads `frame.file` once. Never fails: a missing or broken file is a fact.
CFrameFacts FrameFacts(const CSequenceFrame& frame);

enum class CSeverity { Error, Warning };

struct CCheckProblem {
    CSeverity severity = CSeverity::Warning;
    std::optional<int32_t> frame;  // unset for problems of a folder
    std::string file;
    std::string text;  // without the file's name
    std::string kind;
};

struct CCheckLimits {
    // Largest accepted change of the particle count from one frame to the
    // next, as |n1 - n0| / max(n0, 1).
    double maxCountChange = 0.5;
};

// |n1 - n0| / max(n0, 1): 1000 -> 1500 is 0.5, 0 -> 3 is 3.
double CountChange(int64_t before, int64_t after);

std::vector<CCheckProblem> FrameProblems(const CFrameFacts& facts);

// `after` against `before`; both readable.
std::vector<CCheckProblem> ChangeProblems(const CFrameFacts& before, const CFrameFacts& after,
                                          const CCheckLimits& limits);

// Every frame's own problems and each readable frame against the readable
// frame before it in `frames`, in frame order.
std::vector<CCheckProblem> SequenceProblems(const std::vector<CFrameFacts>& frames,
                                            const CCheckLimits& limits);

// Frame numbers missing between the numbers found, which must be sorted.
// The numbers are taken to step by the largest step that fits them all
// (1, 2, 3, 5 steps by 1; 250, 500, 1000 by 250), so `step` tells which
// numbers of [first, last] are missing. `after` is the index of the number
// found before the gap.
struct CFrameGap {
    size_t after = 0;
    int64_t first = 0;
    int64_t last = 0;
    int64_t step = 1;

    int64_t Count() const { return (last - first) / step + 1; }
};

std::vector<CFrameGap> FrameGaps(const std::vector<int32_t>& numbers);

// The gap as an error; `file` names its first missing file.
CCheckProblem GapProblem(const CFrameGap& gap, const std::string& file);

// One warning per leftover temporary file.
std::vector<CCheckProblem> LeftoverProblems(const CLeftovers& leftovers);

}  // namespace VelpoTools
