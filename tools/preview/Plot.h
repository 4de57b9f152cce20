// A chart of a sequence over its frames: the particle count, and with
// --color the attribute's min, mean and max (a vector's length), each panel
// with axes, tick numbers and a key.
//
// One pass over the frames, in parallel, each frame read and reduced to its
// statistics; only those are kept.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/common/Console.h"
#include "tools/preview/ParticleFrame.h"
#include "tools/preview/Picture.h"
#include "tools/preview/PreviewChoice.h"
#include "tools/preview/SequencePicture.h"
#include "tools/sequence/Sequence.h"
#include "tools/sequence/SequenceOptions.h"

namespace VelpoTools {

struct CPlotFrame {
    int32_t frame = 0;
    int64_t particles = 0;
    CColourStats stats;
    bool read = true;  // false: the frame could not be read, and is marked
};

// Tick values for an axis over [low, high]: round numbers (1, 2 or 5 times
// a power of ten) inside the range, at most about `most` of them. A range
// that is a single value is widened around it first; `low` and `high` are
// moved out to the ticks just outside, so the curves fit.
std::vector<double> AxisTicks(double& low, double& high, int most, bool integers);

// The chart of `frames` (in frame order) for the picture's size.
// `attribute` is the label of the attribute panel; empty for none. A frame
// not read leaves a gap in every curve and a cross under it on the axis.
void DrawPlot(CPicture& picture, const std::string& title, const std::string& attribute,
              const std::vector<CPlotFrame>& frames);

// Reads every frame, draws the chart and writes it to choice.output.
// Frames that cannot be read are named on the console's errors as the
// frames run and marked on the chart, which is written with the others; the
// outcome's problem counts them. When no frame can be read, or the output
// cannot be written, nothing is written.
CSequencePicture WritePlot(const CPreviewChoice& choice, const std::string& pattern,
                           const std::vector<CSequenceFrame>& frames,
                           const CSequenceChoice& sequence, CConsole& console);

}  // namespace VelpoTools
