// Fuzz target: any bytes read as a cache file, header and records, into the
// slot layout the nodes use. Whatever the input, the reader must not crash,
// read or write out of bounds, or size a slot beyond what the input holds.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "pdc/Pdc.h"

namespace {

XSI::CString Text(const char* text) {
    return XSI::CString::FromUtf8(text);
}

void SetLayout(CPdc& pdc) {
    pdc.SetAttribute(PdcFirstFloatSlot, Text("mass"), PdcTypeFloat);
    pdc.SetAttribute(PdcFirstFloatSlot + 1, Text("heat"), PdcTypeFloat);
    pdc.SetAttribute(PdcIdSlot, Text("id"), PdcTypeLong);
    pdc.SetAttribute(PdcFirstLongSlot, Text("heat"), PdcTypeLong);
    pdc.SetAttribute(PdcPositionSlot, Text("position"), PdcTypeVector);
    pdc.SetAttribute(PdcFirstVectorSlot, Text("velocity"), PdcTypeVector);
}

FILE* OpenBytes(std::vector<unsigned char>& bytes) {
#ifdef _WIN32
    FILE* file = std::tmpfile();
    if (file) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::rewind(file);
    }
    return file;
#else
    // fmemopen refuses an empty buffer on some C libraries; one spare byte
    // past the reported size keeps it valid.
    bytes.push_back(0);
    return fmemopen(bytes.data(), bytes.size() - 1, "rb");
#endif
}

int32_t Count(const CAttribute& attribute) {
    switch (attribute.type) {
        case PdcTypeFloat:
            return attribute.floatValues.GetCount();
        case PdcTypeLong:
            return attribute.longValues.GetCount();
        case PdcTypeVector:
            return attribute.vectorValues.GetCount();
        default:
            return 1;
    }
}

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> bytes(data, data + size);
    FILE* file = OpenBytes(bytes);
    if (!file) {
        return 0;
    }
    CPdc pdc;
    SetLayout(pdc);
    const CPdc layout = pdc;
    if (pdc.header.FRead(file)) {
        pdc.ReadParticles(file);
    }
    std::fclose(file);

    for (int32_t slot = 0; slot < PdcSlotCount; ++slot) {
        const CAttribute& attribute = pdc.attributes[slot];
        Check(attribute.name == layout.attributes[slot].name);
        Check(attribute.type == layout.attributes[slot].type);
        // Every value a slot holds came from the input (4 bytes at least).
        const int32_t count = Count(attribute);
        Check(count <= 1 || static_cast<size_t>(count) <= size / 4);
        float f = 0;
        int32_t l = 0;
        XSI::MATH::CVector3 v;
        for (int32_t index : {-1, 0, count - 1, count}) {
            attribute.GetFloat(index, f);
            attribute.GetLong(index, l);
            attribute.GetVector(index, v);
        }
        if (!attribute.isArray && attribute.type == PdcTypeVector) {
            Check(attribute.GetVector(12345, v));
        }
    }
    return 0;
}
