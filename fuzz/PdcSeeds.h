// The seed corpus of the cache reader: files made by the library's own
// writer, plus the variants it never writes (integer records, a trailing
// name-only record). Written by pdc_fuzz_seeds, and read by the tools'
// differential test, which holds `velpo info` to the file layer's verdicts.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "pdc/ByteOrder.h"
#include "pdc/Pdc.h"

namespace PdcSeeds {

inline XSI::CString Text(const char* text) {
    return XSI::CString::FromUtf8(text);
}

inline bool Write(const std::filesystem::path& path, const CPdc& pdc) {
    FILE* file = std::fopen(path.string().c_str(), "wb");
    if (!file) {
        return false;
    }
    const bool written =
        PdcHeader::ForWriting(pdc.PositionCount(), pdc.NamedAttributeCount()).FWrite(file) &&
        pdc.FWriteAttributes(file);
    return std::fclose(file) == 0 && written;
}

inline CPdc Particles(int32_t count, bool arrays) {
    CPdc pdc;
    pdc.SetAttribute(PdcFirstFloatSlot, Text("mass"), PdcTypeFloat);
    pdc.SetAttribute(PdcIdSlot, Text("id"), PdcTypeLong);
    pdc.SetAttribute(PdcFirstLongSlot, Text("heat"), PdcTypeLong);
    pdc.SetAttribute(PdcPositionSlot, Text("position"), PdcTypeVector);
    pdc.SetAttribute(PdcFirstVectorSlot, Text("velocity"), PdcTypeVector);
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
// Built in a string: g++ 12 warns falsely on vector inserts inlined here.
inline std::string IntegerRecords() {
    std::string bytes;
    auto int32 = [&bytes](int32_t value) {
        unsigned char word[4];
        PdcByteOrder::StoreInt32(word, value);
        bytes.append(reinterpret_cast<const char*>(word), 4);
    };
    auto text = [&bytes](const std::string& name) { bytes += name; };
    text("PDC ");
    for (int32_t field : {1, 1, 0, 0, 2, 4}) {
        int32(field);
    }
    int32(2), text("id"), int32(PdcCodeIntegerArray), int32(7), int32(8);
    int32(4), text("heat"), int32(PdcCodeInteger), int32(-3);
    int32(4), text("mass"), int32(PdcCodeInteger), int32(9);  // skipped: no Long "mass"
    int32(5), text("trail");
    return bytes;
}

// Writes every seed into `folder`, creating it. False when any cannot be
// written.
inline bool WriteSeeds(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    bool ok = !error;
    ok = ok && Write(folder / "arrays.pdc", Particles(3, true));
    ok = ok && Write(folder / "singles.pdc", Particles(2, false));
    ok = ok && Write(folder / "empty.pdc", Particles(0, true));
    const std::string integers = IntegerRecords();
    if (FILE* file = std::fopen((folder / "integers.pdc").string().c_str(), "wb")) {
        ok = ok && std::fwrite(integers.data(), 1, integers.size(), file) == integers.size();
        ok = std::fclose(file) == 0 && ok;
    } else {
        ok = false;
    }
    return ok;
}

}  // namespace PdcSeeds
