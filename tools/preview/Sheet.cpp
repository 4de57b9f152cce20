#include "tools/preview/Sheet.h"

#include <algorithm>
#include <mutex>
#include <new>

#include "tools/Command.h"
#include "tools/Output.h"
#include "tools/Text.h"
#include "tools/preview/ColorMap.h"
#include "tools/preview/FramePicture.h"
#include "tools/preview/Legend.h"
#include "tools/preview/Lettering.h"
#include "tools/preview/ParticleFrame.h"
#include "tools/preview/Picture.h"
#include "tools/preview/Projection.h"
#include "tools/sequence/FrameRunner.h"
#include "tools/sequence/Progress.h"

namespace VelpoTools {

using VelpoHost::CResult;

namespace {

constexpr CRgb TileColour{28, 31, 39};

std::string ErrorLine(const std::string& text) {
    return "velpo preview: error: " + Escaped(text) + "\n";
}

// What the first pass learns of one frame.
struct CFrameSummary {
    CBounds bounds;
    CColourStats stats;
    int64_t particles = 0;
    int32_t components = 0;
};

}  // namespace

CRegion CSheetLayout::Tile(size_t index) const {
    const int column = static_cast<int>(index % static_cast<size_t>(columns));
    const int row = static_cast<int>(index / static_cast<size_t>(columns));
    return {left + column * tileWidth, top + row * tileHeight, tileWidth, tileHeight};
}

CSheetLayout LayOutSheet(size_t tiles, int width, int height) {
    CSheetLayout best;
    const double aspect = static_cast<double>(width) / height;
    const int count = static_cast<int>(std::min<size_t>(std::max<size_t>(tiles, 1), 1u << 20));
    for (int columns = 1; columns <= std::min(count, width); ++columns) {
        const int rows = (count + columns - 1) / columns;
        const double fitWide = static_cast<double>(width) / columns;
        const double fitHigh = static_cast<double>(height) / rows * aspect;
        const int tileWidth = static_cast<int>(std::min(fitWide, fitHigh));
        // On a tie the wider grid wins: it leaves fewer empty rows.
        if (tileWidth >= best.tileWidth) {
            best.columns = columns;
            best.rows = rows;
            best.tileWidth = tileWidth;
        }
    }
    best.tileHeight = static_cast<int>(best.tileWidth / aspect);
    best.left = (width - best.columns * best.tileWidth) / 2;
    best.top = (height - best.rows * best.tileHeight) / 2;
    return best;
}

int WriteSheet(const CPreviewChoice& choice, const std::string& pattern,
               const std::vector<CSequenceFrame>& frames, const CSequenceChoice& sequence) {
    const int scale = TextScale(choice.width, choice.height);
    const int legendHeight = LegendHeight(scale);
    const CSheetLayout layout =
        LayOutSheet(frames.size(), choice.width, choice.height - legendHeight);
    if (layout.tileWidth < MinTileSide || layout.tileHeight < MinTileSide) {
        return UsageError(
            "preview",
            CResult::Fail(std::to_string(frames.size()) + " frames do not fit a sheet of " +
                          std::to_string(choice.width) + "x" + std::to_string(choice.height) +
                          ": give a larger --size or fewer --frames"));
    }
    const CFrameWants wants{true, choice.colour};
    CProgress progress("preview", 2 * frames.size(), sequence.progress);

    std::vector<CFrameSummary> summaries(frames.size());
    const size_t unread = RunFrames(
        frames.size(), sequence.jobs,
        [&](size_t i, CFrameReport& report) {
            CParticleFrame frame;
            if (CResult read = ReadFrameNoThrow(frames[i].file, wants, frame); !read) {
                report.err = ErrorLine(read.Message());
                report.failed = true;
                return;
            }
            summaries[i] = {BoundsOf(frame), ColourStatsOf(frame), frame.particles,
                            frame.colour.components};
        },
        &progress);
    if (unread > 0) {
        progress.Finish();
        PrintError("preview", std::to_string(unread) + " of " + std::to_string(frames.size()) +
                                  " frames could not be read; no sheet written");
        return ExitFailed;
    }

    CBounds bounds;
    CColourStats stats;
    int64_t particles = 0;
    for (const CFrameSummary& summary : summaries) {
        bounds.Add(summary.bounds);
        stats.Add(summary.stats);
        particles += summary.particles;
    }
    CColouring colouring;
    for (size_t i = 0; i < frames.size(); ++i) {
        if (CResult chosen =
                ChooseColouring(choice, frames[i].file, summaries[i].components, stats, colouring);
            !chosen) {
            progress.Finish();
            PrintError("preview", chosen.Message());
            return ExitFailed;
        }
    }
    const CProjection projection(choice.view, bounds, layout.tileWidth, layout.tileHeight);
    if (CResult usable = projection.Usable(); !usable) {
        progress.Finish();
        return UsageError("preview", usable);
    }

    CPicture picture(choice.width, choice.height, BackgroundColour);
    std::mutex countsMutex;
    CRenderCounts counts;
    const size_t undrawn = RunFrames(
        frames.size(), sequence.jobs,
        [&](size_t i, CFrameReport& report) {
            // The tile's depth buffer and the frame are allocated here; a
            // job must not throw, so running out of memory fails the frame.
            try {
                CParticleFrame frame;
                if (CResult read = ReadFrameNoThrow(frames[i].file, wants, frame); !read) {
                    report.err = ErrorLine(read.Message());
                    report.failed = true;
                    return;
                }
                const CRegion tile = layout.Tile(i);
                // A gap of a pixel between tiles, then the frame and its label;
                // each job draws only inside its own tile.
                const CRegion inner{tile.x + 1, tile.y + 1, tile.width - 2, tile.height - 2};
                picture.FillRect(inner.x, inner.y, inner.width, inner.height, TileColour);
                const int pointSize = choice.pointSize > 0
                                          ? choice.pointSize
                                          : AutomaticPointSize(frame.Drawn(), inner);
                const CProjection tileProjection(choice.view, bounds, inner.width, inner.height);
                const CRenderCounts drawn =
                    RenderPoints(picture, inner, tileProjection, frame, colouring, pointSize);
                const int labelScale = std::max(1, std::min(scale, tile.height / 40));
                DrawText(picture, inner.x + 3 * labelScale, inner.y + 3 * labelScale,
                         std::to_string(frames[i].frame), labelScale, TextColour);
                const std::lock_guard<std::mutex> lock(countsMutex);
                counts.drawn += drawn.drawn;
                counts.outside += drawn.outside;
                counts.noPosition += drawn.noPosition;
            } catch (const std::bad_alloc&) {
                report.err = ErrorLine(frames[i].file + ": out of memory drawing the frame");
                report.failed = true;
            }
        },
        &progress);
    progress.Finish();
    if (undrawn > 0) {
        PrintError("preview", std::to_string(undrawn) + " of " + std::to_string(frames.size()) +
                                  " frames could not be read; no sheet written");
        return ExitFailed;
    }

    CLegend legend;
    legend.title = Escaped(pattern) + ", frames " + std::to_string(frames.front().frame) + " to " +
                   std::to_string(frames.back().frame) + " (" + std::to_string(frames.size()) + ")";
    legend.detail = DrawnDetail(particles, counts) + " in all";
    legend.colouring = colouring;
    legend.rangeKnown = stats.finite > 0;
    if (!choice.colour.empty()) {
        legend.attribute = AttributeLabel(choice.colour, summaries.front().components, choice.rgb);
        legend.nonFinite = stats.nonFinite;
    }
    DrawLegend(picture, {0, choice.height - legendHeight, choice.width, legendHeight}, legend,
               scale);
    if (CResult written = WritePng(picture, choice.output); !written) {
        PrintError("preview", written.Message());
        return ExitFailed;
    }
    StandardOutput().Write(Escaped(choice.output) + ": " + std::to_string(choice.width) + "x" +
                           std::to_string(choice.height) + ", a sheet of " +
                           std::to_string(frames.size()) + " frames, " + std::to_string(particles) +
                           " particles\n");
    return ExitOk;
}

}  // namespace VelpoTools
