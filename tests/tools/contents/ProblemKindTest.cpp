// The stable kinds that scripts read from `velpo info` and `velpo diff`:
// taken from the walker's words, never from a record's name.
#include <gtest/gtest.h>

#include <string>

#include "tools/contents/FileReport.h"

namespace VelpoTools {
namespace {

TEST(ReaderProblemKinds, EachWalkerProblemHasItsKind) {
    struct Case {
        const char* problem;
        const char* kind;
    } cases[] = {
        {"not a PDC file: the tag is \"abcd\"", "not-pdc"},
        {"not a regular file", "not-a-file"},
        {"cannot be read: Input/output error", "read-error"},
        {"no file to read", "read-error"},
        {"record 2 at byte 90: the file ends inside its name length", "truncated"},
        {"truncated header: 12 of 28 bytes", "truncated"},
        {"cannot be read whole", "truncated"},
        {"record 1: cannot be stepped over", "truncated"},
        {"record 0 at byte 28: name length 1073741824 exceeds the bytes left", "forged-length"},
        {"record 0 (\"id\"): 1 values need 8 bytes, only 2 are left (truncated file or forged "
         "particle count)",
         "count-exceeds-file"},
        {"record 3 (\"x\"): unknown type code 9", "unknown-type-code"},
        {"negative particle count -1", "negative-particle-count"},
        {"something else entirely", "unreadable"},
        {"", "unreadable"},
        // The name is the user's: only the words after it count.
        {"record 0 (\"not a PDC file\"): unknown type code 12", "unknown-type-code"},
        {"record 0 (\"ends inside\"): name length 99 exceeds", "forged-length"},
        {"record 4 (\"a): b\"): unknown type code 7", "unknown-type-code"},
        {"record 4 (\"x): ends inside\"): fine", "unreadable"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReaderProblemKind(c.problem), c.kind) << c.problem;
    }
}

}  // namespace
}  // namespace VelpoTools
