// Writes a small seed corpus for the cache reader: files made by the
// library's own writer, plus the variants it never writes (integer records,
// a trailing name-only record).
//
// Usage: pdc_fuzz_seeds FOLDER
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "pdc/ByteOrder.h"
#include "pdc/Pdc.h"

namespace {

XSI::CString Text(const char* text) {
    return XSI::CString::FromUtf8(text);
}

bool Write(const std::filesystem::path& path, const CPdc& pdc) {
    FILE* file = std::fopen(path.string().c_str(), "wb");
    if (!file) {
        return false;
    }
    const bool written =
        PdcHeader::ForWriting(pdc.PositionCount(), pdc.NamedAttributeCount()).FWrite(file) &&
        pdc.FWriteAttributes(file);
    return std::fclose(file) == 0 && written;
}

CPdc Particles(int32_t count, bool arrays) {
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
std::vector<unsigned char> IntegerRecords() {
    std::vector<unsigned char> bytes;
    auto int32 = [&bytes](int32_t value) {
        unsigned char word[4];
        PdcByteOrder::StoreInt32(word, value);
        bytes.insert(bytes.end(), word, word + 4);
    };
    auto text = [&bytes](const std::string& name) {
        bytes.insert(bytes.end(), name.begin(), name.end());
    };
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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    bool ok = !error;
    ok = ok && Write(folder / "arrays.pdc", Particles(3, true));
    ok = ok && Write(folder / "singles.pdc", Particles(2, false));
    ok = ok && Write(folder / "empty.pdc", Particles(0, true));
    const std::vector<unsigned char> integers = IntegerRecords();
    if (FILE* file = std::fopen((folder / "integers.pdc").string().c_str(), "wb")) {
        ok = ok && std::fwrite(integers.data(), 1, integers.size(), file) == integers.size();
        ok = std::fclose(file) == 0 && ok;
    } else {
        ok = false;
    }
    if (!ok) {
        std::fprintf(stderr, "%s: cannot write the seed files\n", folder.string().c_str());
        return 1;
    }
    return 0;
}
