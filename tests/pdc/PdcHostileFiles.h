// Damaged and forged files, each named for its defect and marked with
// whether the file layer reads it: the fixtures of the PDC tests and of the
// tools' differential test, which holds the command to the same verdicts.
#pragma once

#include <vector>

#include "PdcTestFiles.h"

namespace PdcTest {

struct HostileCase {
    const char* defect;
    CBytes file;
    bool readable;
};

inline std::vector<HostileCase> HostileCases() {
    const int32_t huge = 2000000000;
    std::vector<HostileCase> cases = {
        {"type code 6", CBytes().Header(1, 1).Record("id", 6).Double(1), false},
        {"type code -1", CBytes().Header(1, 1).Record("id", -1).Double(1), false},
        {"unmatched type code 99", CBytes().Header(1, 1).Record("zz", 99), false},
        {"negative name length", CBytes().Header(1, 1).Int32(-4).Text("id").Int32(2), false},
        {"name length past the end", CBytes().Header(1, 1).Int32(0x7FFFFFFF).Text("id"), false},
        {"name length one past the end", CBytes().Header(1, 1).Int32(3).Text("id"), false},
        {"negative particle count, array record", CBytes().Header(-1, 1).Record("id", 3).Double(1),
         false},
        {"negative particle count, unmatched array record",
         CBytes().Header(-1, 1).Record("zz", 5).Double(1), false},
        {"negative particle count, single record", CBytes().Header(-1, 1).Record("id", 2).Double(1),
         true},
        {"forged particle count, matched", CBytes().Header(huge, 1).Record("position", 5), false},
        {"forged particle count, unmatched", CBytes().Header(huge, 1).Record("zz", 5), false},
        // 24 * N wraps to a negative 32-bit number: a backward seek if formed
        // in 32 bits.
        {"skip that overflows 32 bits",
         CBytes().Header(100000000, 2).Record("zz", 5).Record("id", 2).Double(1), false},
        {"unmatched last record shorter than its values",
         CBytes().Header(3, 1).Record("zz", 3).Double(1).Double(2), false},
        {"more records counted than present", CBytes().Header(1, 3).Record("id", 2).Double(1),
         false},
        {"name-only last record",
         CBytes().Header(1, 2).Record("id", 2).Double(1).Int32(5).Text("trail"), true},
        {"empty-named name-only last record",
         CBytes().Header(1, 2).Record("id", 2).Double(1).Int32(0), true},
        {"name-only record that is not the last",
         CBytes().Header(1, 3).Record("id", 2).Double(1).Int32(5).Text("trail"), false},
        {"last record cut inside its name",
         CBytes().Header(1, 2).Record("id", 2).Double(1).Int32(5).Text("tra"), false},
        {"last record cut inside its type code",
         CBytes().Header(1, 2).Record("id", 2).Double(1).Int32(5).Text("trail").Raw({0, 0}), false},
        {"last record cut after its type code",
         CBytes().Header(1, 2).Record("id", 2).Double(1).Record("trail", 2), false},
    };
    // The forged count in a file of exactly 100 bytes.
    CBytes hundred;
    hundred.Header(huge, 1).Record("position", 5);
    while (hundred.Size() < 100) {
        hundred.Raw({0});
    }
    cases.push_back({"forged particle count in a 100-byte file", hundred, false});
    return cases;
}

}  // namespace PdcTest
