#include "tools/preview/FramePicture.h"

#include "tools/Text.h"
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
    std::string detail = std::to_string(particles) + (particles == 1 ? " particle" : " particles");
    if (counts.noPosition > 0) {
        detail += ", " + std::to_string(counts.noPosition) + " with a NaN/inf position not drawn";
    }
    if (counts.outside > 0) {
        detail += ", " + std::to_string(counts.outside) + " out of view";
    }
    return detail;
}

CResult DrawFramePicture(const CPreviewChoice& choice, const std::string& file, CPicture& picture,
                         int64_t& particles) {
    CParticleFrame frame;
    if (CResult read = ReadParticleFrame(file, {true, choice.colour}, frame); !read) {
        return read;
    }
    particles = frame.particles;
    const CColourStats stats = ColourStatsOf(frame);
    CColouring colouring;
    if (CResult chosen = ChooseColouring(choice, file, frame.colour.components, stats, colouring);
        !chosen) {
        return chosen;
    }
    const int scale = TextScale(choice.width, choice.height);
    const int legendHeight = LegendHeight(scale);
    const CRegion view{0, 0, choice.width, choice.height - legendHeight};
    const CProjection projection(choice.view, BoundsOf(frame), view.width, view.height);
    if (CResult usable = projection.Usable(); !usable) {
        return CResult::Fail(file + ": " + usable.Message());
    }
    const int pointSize =
        choice.pointSize > 0 ? choice.pointSize : AutomaticPointSize(frame.Drawn(), view);
    const CRenderCounts counts =
        RenderPoints(picture, view, projection, frame, colouring, pointSize);

    CLegend legend;
    legend.title = Escaped(file);
    legend.detail = DrawnDetail(frame.particles, counts);
    legend.colouring = colouring;
    legend.rangeKnown = stats.finite > 0;
    if (!choice.colour.empty()) {
        legend.attribute = AttributeLabel(choice.colour, frame.colour.components, choice.rgb);
        legend.nonFinite = stats.nonFinite;
    }
    DrawLegend(picture, {0, view.height, choice.width, legendHeight}, legend, scale);
    return CResult::Ok();
}

}  // namespace VelpoTools
