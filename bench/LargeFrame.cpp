#include "bench/LargeFrame.h"

#include <cstdlib>
#include <memory>

#include "tests/support/PdcLayouts.h"

namespace VelpoBench {

namespace {

constexpr const char* DoubleNames[] = {"age",     "mass",     "radius",
                                       "density", "pressure", "temperature"};

}  // namespace

int32_t LargeFrameParticles() {
    const char* text = std::getenv("VELPO_BENCH_PARTICLES");
    return text && *text ? std::atoi(text) : 10000000;
}

// No "id": the Python benchmark's file has none.
void SetLargeFrameLayout(CPdc& pdc) {
    for (int32_t i = 0; i < 6; ++i) {
        VelpoTestSupport::NameSlots(pdc, {{PdcFirstFloatSlot + i, DoubleNames[i]}});
    }
    VelpoTestSupport::NameSlots(pdc,
                                {{PdcPositionSlot, "position"}, {PdcFirstVectorSlot, "velocity"}});
}

const CPdc& LargeFrame() {
    static const std::unique_ptr<CPdc> cache = [] {
        auto pdc = std::make_unique<CPdc>();
        SetLargeFrameLayout(*pdc);
        const int32_t n = LargeFrameParticles();
        pdc->Resize(n);
        for (CAttribute& attribute : pdc->attributes) {
            attribute.isArray = attribute.type != PdcTypeNone;
        }
        for (int32_t i = 0; i < n; ++i) {
            const double x = i * 1e-3;
            pdc->attributes[PdcPositionSlot].vectorValues[i] =
                XSI::MATH::CVector3(x, -x, 1.0 / (i + 1));
            pdc->attributes[PdcFirstVectorSlot].vectorValues[i] =
                XSI::MATH::CVector3(0.5, x * x, -2);
            for (int32_t f = 0; f < 6; ++f) {
                pdc->attributes[PdcFirstFloatSlot + f].floatValues[i] = static_cast<float>(x * f);
            }
        }
        return pdc;
    }();
    return *cache;
}

}  // namespace VelpoBench
