// Fuzz target: any bytes read as a cache file, header and records, into the
// slot layout the nodes use. Whatever the input, the reader must not crash,
// read or write out of bounds, or size a slot beyond what the input holds.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "pdc/Pdc.h"
#include "tests/support/PdcLayouts.h"
#include "tests/support/Require.h"
#include "tests/support/Streams.h"

namespace {

using VelpoTestSupport::Require;

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const VelpoTestSupport::CByteStream stream(data, size);
    FILE* file = stream.Get();
    if (!file) {
        return 0;
    }
    // Two slots of one name and different kinds, as settings may make them.
    CPdc pdc;
    VelpoTestSupport::SetLayout(pdc, {{PdcFirstFloatSlot, "mass"},
                                      {PdcFirstFloatSlot + 1, "heat"},
                                      {PdcFirstLongSlot, "heat"},
                                      {PdcFirstVectorSlot, "velocity"}});
    const CPdc layout = pdc;
    if (pdc.header.FRead(file)) {
        pdc.ReadParticles(file);
    }

    for (int32_t slot = 0; slot < PdcSlotCount; ++slot) {
        const CAttribute& attribute = pdc.attributes[slot];
        Require(attribute.name == layout.attributes[slot].name);
        Require(attribute.type == layout.attributes[slot].type);
        // Every value a slot holds came from the input (4 bytes at least).
        const int32_t count = Count(attribute);
        Require(count <= 1 || static_cast<size_t>(count) <= size / 4);
        float f = 0;
        int32_t l = 0;
        XSI::MATH::CVector3 v;
        for (int32_t index : {-1, 0, count - 1, count}) {
            attribute.GetFloat(index, f);
            attribute.GetLong(index, l);
            attribute.GetVector(index, v);
        }
        if (!attribute.isArray && attribute.type == PdcTypeVector) {
            Require(attribute.GetVector(12345, v));
        }
    }
    return 0;
}
