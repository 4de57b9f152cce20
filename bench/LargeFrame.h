// The 960 MB frame that the file layer's benchmarks write: 10,000,000
// particles (VELPO_BENCH_PARTICLES changes it) of "position", "velocity"
// and six per-particle doubles, 96 bytes each, made once per program.
#pragma once

#include <cstdint>

#include "pdc/Pdc.h"

namespace VelpoBench {

int32_t LargeFrameParticles();

// Names the frame's eight slots in `pdc`.
void SetLargeFrameLayout(CPdc& pdc);

// The frame, filled; made on first use.
const CPdc& LargeFrame();

}  // namespace VelpoBench
