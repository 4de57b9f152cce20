// The seed corpus of the cache reader: files made by the library's own
// writer, plus the variants it never writes (integer records, a trailing
// name-only record). Written by pdc_fuzz_seeds, and read by the tools'
// differential test, which holds `velpo info` to the file layer's verdicts.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include "pdc/Pdc.h"
#include "tests/support/FileContents.h"
#include "tests/support/PdcBytes.h"
#include "tests/support/PdcLayouts.h"

namespace PdcSeeds {

inline CPdc Particles(int32_t count, bool arrays) {
    CPdc pdc;
    VelpoTestSupport::SetLayout(pdc, {{PdcFirstFloatSlot, "mass"},
                                      {PdcFirstLongSlot, "heat"},
                                      {PdcFirstVectorSlot, "velocity"}});
    pdc.Resize(count);
    for (CAttribute& attribute : pdc.attributes) {
        attribute.isArray = arrays;
    }
    for (int32_t i = 0; i < count; ++i) {
        pdc.attributes[PdcFirstFloatSlot].floatValues[i] = 0.5f * static_cast<float>(i);
        pdc.attributes[PdcIdSlot].longValues[i] = i + 1;
        pdc.attributes[PdcFirstLongSlot].longValues[i] = -i;
        pdc.attributes[PdcPositionSlot].vectorValues[i] = XSI::MATH::CVector3(i, 1, -1);
        pdc.attributes[PdcFirstVectorSlot].vectorValues[i] = XSI::MATH::CVector3(0, 0, i);
    }
    return pdc;
}

// Integer records and a name-only last record, put together by hand.
inline std::string IntegerRecords() {
    return VelpoTestSupport::CPdcBytesIn<std::string>()
        .Header(2, 4)
        .Record("id", PdcCodeIntegerArray)
        .Int(7)
        .Int(8)
        .Record("heat", PdcCodeInteger)
        .Int(-3)
        .Record("mass", PdcCodeInteger)  // skipped: no Long "mass"
        .Int(9)
        .Name("trail")
        .Bytes();
}

// Writes every seed into `folder`, creating it. False when any cannot be
// written.
inline bool WriteSeeds(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    bool ok = !error;
    ok = ok && VelpoTestSupport::WritePdcFile((folder / "arrays.pdc").string(), Particles(3, true));
    ok = ok &&
         VelpoTestSupport::WritePdcFile((folder / "singles.pdc").string(), Particles(2, false));
    ok = ok && VelpoTestSupport::WritePdcFile((folder / "empty.pdc").string(), Particles(0, true));
    ok = ok && VelpoTestSupport::WriteFile(folder / "integers.pdc", IntegerRecords());
    return ok;
}

}  // namespace PdcSeeds
