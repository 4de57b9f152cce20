#include "tools/preview/Sheet.h"

#include <fmt/format.h>
#include <algorithm>
#include <memory>
#include <mutex>
#include <new>

#include "tools/common/MessageLines.h"
#include "tools/common/Text.h"
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

using Velpo::CResult;

namespace {

constexpr CRgb TileColour{28, 31, 39};

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

namespace {

// The sheet of one run: the first pass learns every frame it can read, the
// second draws them; a frame that cannot be read (in either pass) is
// marked in its tile, and the sheet is still written.
class CSheetWriter {
public:
    CSheetWriter(const CPreviewChoice& choice, const std::vector<CSequenceFrame>& frames,
                 const CSequenceChoice& sequence, const CSheetLayout& layout, CConsole& console)
        : choice_(choice),
          frames_(frames),
          sequence_(sequence),
          console_(console),
          layout_(layout),
          wants_{true, choice.colour},
          summaries_(frames.size()),
          read_(frames.size(), false),
          picture_(choice.width, choice.height, BackgroundColour) {}

    // Reads every frame for the common bounds and colour range; fails when
    // no frame can be read.
    CResult Summarise(CProgress& progress) {
        const size_t unread = RunFrames(
            frames_.size(), sequence_.jobs,
            [&](size_t i, CFrameReport& report) {
                CParticleBlocks frame;
                CColourStats stats;
                CBounds bounds;
                if (CResult read =
                        SummariseFrameNoThrow(frames_[i].file, wants_, frame, stats, bounds);
                    !read) {
                    report.err = ErrorLine("preview", read.Message());
                    report.failed = true;
                    return;
                }
                summaries_[i] = {bounds, stats, frame.Particles(), frame.ColourComponents()};
                read_[i] = true;
            },
            console_, &progress);
        if (unread == frames_.size()) {
            return CResult::Fail(fmt::format(
                "none of the {} frames could be read; no sheet written", frames_.size()));
        }
        for (size_t i = 0; i < frames_.size(); ++i) {
            if (read_[i]) {
                bounds_.Add(summaries_[i].bounds);
                stats_.Add(summaries_[i].stats);
                particles_ += summaries_[i].particles;
            }
        }
        return CResult::Ok();
    }

    // The colouring of the whole sheet; fails naming the first frame that
    // cannot be coloured as asked.
    CResult Colour() {
        for (size_t i = 0; i < frames_.size(); ++i) {
            if (!read_[i]) {
                continue;
            }
            if (CResult chosen = ChooseColouring(choice_, frames_[i].file, summaries_[i].components,
                                                 stats_, colouring_);
                !chosen) {
                return chosen;
            }
            components_ = summaries_[i].components;
        }
        return CResult::Ok();
    }

    const CBounds& Bounds() const { return bounds_; }

    // Draws every tile; returns how many frames are marked unread.
    size_t Draw(CProgress& progress) {
        for (size_t i = 0; i < frames_.size(); ++i) {
            if (!read_[i]) {
                MarkUnread(i);
            }
        }
        // Bytes, not a std::vector<bool>: jobs on several threads set their
        // own frame's flag, and packed bits would share one word.
        std::vector<char> drawn(frames_.size(), false);
        RunFrames(
            frames_.size(), sequence_.jobs,
            [&](size_t i, CFrameReport& report) {
                if (!read_[i]) {
                    return;
                }
                // A job must not throw: running out of memory fails the frame.
                try {
                    drawn[i] = DrawTile(i, report);
                } catch (const std::bad_alloc&) {
                    report.err =
                        ErrorLine("preview", frames_[i].file + ": out of memory drawing the frame");
                    report.failed = true;
                }
            },
            console_, &progress);
        size_t unread = 0;
        for (size_t i = 0; i < frames_.size(); ++i) {
            if (!drawn[i]) {
                // Read in the first pass but not in the second: marked too.
                MarkUnread(i);
                ++unread;
            }
        }
        return unread;
    }

    CResult Write(const std::string& pattern, int scale, int legendHeight) {
        CLegend legend;
        legend.title = fmt::format("{}, frames {} to {} ({})", Escaped(pattern),
                                   frames_.front().frame, frames_.back().frame, frames_.size());
        legend.detail = DrawnDetail(particles_, counts_) + " in all";
        legend.colouring = colouring_;
        legend.rangeKnown = stats_.finite > 0;
        if (!choice_.colour.empty()) {
            legend.attribute = AttributeLabel(choice_.colour, components_, choice_.rgb);
            legend.nonFinite = stats_.nonFinite;
        }
        DrawLegend(picture_, {0, choice_.height - legendHeight, choice_.width, legendHeight},
                   legend, scale);
        return WritePng(picture_, choice_.output);
    }

    int64_t Particles() const { return particles_; }

private:
    // A gap of a pixel between tiles, then the frame and its label; each
    // job draws only inside its own tile.
    CRegion Inner(size_t i) const {
        const CRegion tile = layout_.Tile(i);
        return {tile.x + 1, tile.y + 1, tile.width - 2, tile.height - 2};
    }

    int LabelScale(size_t i) const {
        return std::max(
            1, std::min(TextScale(choice_.width, choice_.height), layout_.Tile(i).height / 40));
    }

    bool DrawTile(size_t i, CFrameReport& report) {
        CParticleBlocks frame;
        if (CResult read = OpenBlocksNoThrow(frames_[i].file, wants_, frame); !read) {
            report.err = ErrorLine("preview", read.Message());
            report.failed = true;
            return false;
        }
        const CRegion inner = Inner(i);
        picture_.FillRect(inner.x, inner.y, inner.width, inner.height, TileColour);
        const int pointSize =
            choice_.pointSize > 0 ? choice_.pointSize : AutomaticPointSize(frame.Drawn(), inner);
        // Every tile on the bounds of the whole sequence, so motion shows.
        const CProjection projection(choice_.view, bounds_, inner.width, inner.height);
        CPointCanvas canvas(picture_, inner, projection, colouring_, pointSize);
        if (CResult read =
                frame.ForEachDrawn([&](const CParticleFrame& block) { canvas.Draw(block); });
            !read) {
            report.err = ErrorLine("preview", read.Message());
            report.failed = true;
            return false;
        }
        const CRenderCounts& drawn = canvas.Counts();
        const int labelScale = LabelScale(i);
        DrawText(picture_, inner.x + 3 * labelScale, inner.y + 3 * labelScale,
                 std::to_string(frames_[i].frame), labelScale, TextColour);
        const std::lock_guard<std::mutex> lock(countsMutex_);
        counts_.drawn += drawn.drawn;
        counts_.outside += drawn.outside;
        counts_.noPosition += drawn.noPosition;
        return true;
    }

    // A cross over the tile and "unreadable" under its frame number.
    void MarkUnread(size_t i) {
        const CRegion inner = Inner(i);
        picture_.FillRect(inner.x, inner.y, inner.width, inner.height, TileColour);
        const int labelScale = LabelScale(i);
        picture_.Line(inner.x, inner.y, inner.x + inner.width - 1, inner.y + inner.height - 1,
                      UnreadColour, labelScale);
        picture_.Line(inner.x + inner.width - 1, inner.y, inner.x, inner.y + inner.height - 1,
                      UnreadColour, labelScale);
        const int x = inner.x + 3 * labelScale;
        const int y = inner.y + 3 * labelScale;
        DrawText(picture_, x, y, std::to_string(frames_[i].frame), labelScale, TextColour);
        DrawText(picture_, x, y + LineUnits * labelScale,
                 FitText("unreadable", inner.width - 6 * labelScale, labelScale), labelScale,
                 UnreadColour);
    }

    const CPreviewChoice& choice_;
    const std::vector<CSequenceFrame>& frames_;
    const CSequenceChoice& sequence_;
    CConsole& console_;
    const CSheetLayout layout_;
    const CFrameWants wants_;
    std::vector<CFrameSummary> summaries_;
    std::vector<char> read_;  // set by the jobs, one frame each: bytes, not packed bits
    CBounds bounds_;
    CColourStats stats_;
    int64_t particles_ = 0;
    int32_t components_ = 0;
    CColouring colouring_;
    CPicture picture_;
    std::mutex countsMutex_;
    CRenderCounts counts_;
};

}  // namespace

CSequencePicture WriteSheet(const CPreviewChoice& choice, const std::string& pattern,
                            const std::vector<CSequenceFrame>& frames,
                            const CSequenceChoice& sequence, CConsole& console) {
    const int scale = TextScale(choice.width, choice.height);
    const int legendHeight = LegendHeight(scale);
    const CSheetLayout layout =
        LayOutSheet(frames.size(), choice.width, choice.height - legendHeight);
    if (layout.tileWidth < MinTileSide || layout.tileHeight < MinTileSide) {
        return CSequencePicture::Refused(CResult::Fail(fmt::format(
            "{} frames do not fit a sheet of {}x{}: give a larger --size or fewer --frames",
            frames.size(), choice.width, choice.height)));
    }
    CProgress progress("preview", 2 * frames.size(), sequence.progress, console);
    auto sheet = std::make_unique<CSheetWriter>(choice, frames, sequence, layout, console);
    if (CResult summarised = sheet->Summarise(progress); !summarised) {
        return CSequencePicture::Failed(summarised);
    }
    if (CResult coloured = sheet->Colour(); !coloured) {
        return CSequencePicture::Failed(coloured);
    }
    const CProjection projection(choice.view, sheet->Bounds(), layout.tileWidth, layout.tileHeight);
    if (CResult usable = projection.Usable(); !usable) {
        return CSequencePicture::Refused(usable);
    }
    const size_t unread = sheet->Draw(progress);
    progress.Finish();
    if (CResult written = sheet->Write(pattern, scale, legendHeight); !written) {
        return CSequencePicture::Failed(written);
    }
    return CSequencePicture::Written(
        fmt::format("{}: {}x{}, a sheet of {} frames, {} particles", Escaped(choice.output),
                    choice.width, choice.height, frames.size(), sheet->Particles()),
        unread, frames.size(), "sheet");
}

}  // namespace VelpoTools
