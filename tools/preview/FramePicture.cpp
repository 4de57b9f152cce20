#include "tools/preview/FramePicture.h"

#include <fmt/format.h>

#include "tools/common/Text.h"
#include "tools/preview/ColorMap.h"

namespace VelpoTools {

using Velpo::CResult;

CResult ChooseColouring(const CPreviewChoice& choice, const std::string& file, int32_t components,
                        const CColourStats& stats, CColouring& colouring) {
    colouring = CColouring();
    if (choice.colour.empty()) {
        return CResult::Ok();
    }
    if (choice.rgb) {
        if (components != 3) {
            return CResult::Fail(file + ": --rgb needs vectors, and " + Quoted(choice.colour) +
                                 " holds single numbers");
        }
        colouring.mode = CColouring::CMode::Rgb;
        return CResult::Ok();
    }
    colouring.mode = CColouring::CMode::Map;
    colouring.low = stats.min;
    colouring.high = stats.max;
    return CResult::Ok();
}

std::string DrawnDetail(int64_t particles, const CRenderCounts& counts) {
    std::string detail = fmt::format("{} particle{}", particles, particles == 1 ? "" : "s");
    if (counts.noPosition > 0) {
        detail += fmt::format(", {} with a NaN/inf position not drawn", counts.noPosition);
    }
    if (counts.outside > 0) {
        detail += fmt::format(", {} out of view", counts.outside);
    }
    return detail;
}

CResult DrawFramePicture(const CPreviewChoice& choice, const std::string& file, CPicture& picture,
                         int64_t& particles) {
    // Two passes over the frame a block at a time: the bounds and the
    // colour range first, then the points.
    CParticleBlocks frame;
    if (CResult read = frame.Open(file, {true, choice.colour}); !read) {
        return read;
    }
    particles = frame.Particles();
    CColourStats stats;
    CBounds bounds;
    if (CResult summed = frame.Summarise(stats, bounds); !summed) {
        return summed;
    }
    CColouring colouring;
    if (CResult chosen = ChooseColouring(choice, file, frame.ColourComponents(), stats, colouring);
        !chosen) {
        return chosen;
    }
    const int scale = TextScale(choice.width, choice.height);
    const int legendHeight = LegendHeight(scale);
    const CRegion view{0, 0, choice.width, choice.height - legendHeight};
    const CProjection projection(choice.view, bounds, view.width, view.height);
    if (CResult usable = projection.Usable(); !usable) {
        return CResult::Fail(file + ": " + usable.Message());
    }
    const int pointSize =
        choice.pointSize > 0 ? choice.pointSize : AutomaticPointSize(frame.Drawn(), view);
    CPointCanvas canvas(picture, view, projection, colouring, pointSize);
    if (CResult drawn =
            frame.ForEachDrawn([&](const CParticleFrame& block) { canvas.Draw(block); });
        !drawn) {
        return drawn;
    }
    const CRenderCounts& counts = canvas.Counts();

    CLegend legend;
    legend.title = Escaped(file);
    legend.detail = DrawnDetail(frame.Particles(), counts);
    legend.colouring = colouring;
    legend.rangeKnown = stats.finite > 0;
    if (!choice.colour.empty()) {
        legend.attribute = AttributeLabel(choice.colour, frame.ColourComponents(), choice.rgb);
        legend.nonFinite = stats.nonFinite;
    }
    DrawLegend(picture, {0, view.height, choice.width, legendHeight}, legend, scale);
    return CResult::Ok();
}

}  // namespace VelpoTools
