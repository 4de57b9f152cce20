#include "tools/preview/Plot.h"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

#include "tools/common/MessageLines.h"
#include "tools/common/Text.h"
#include "tools/preview/ColorMap.h"
#include "tools/preview/Legend.h"
#include "tools/preview/Lettering.h"
#include "tools/sequence/FrameRunner.h"
#include "tools/sequence/Progress.h"

namespace VelpoTools {

using Velpo::CResult;

namespace {

constexpr CRgb GridColour{48, 52, 63};
constexpr CRgb AxisColour{150, 154, 165};
constexpr CRgb CountColour{235, 225, 200};
constexpr CRgb MinColour{90, 160, 235};
constexpr CRgb MeanColour{120, 210, 120};
constexpr CRgb MaxColour{250, 190, 60};

struct CSeries {
    std::string name;
    CRgb colour;
    // The value at a frame, none where the frame has no finite value.
    std::function<std::optional<double>(const CPlotFrame&)> value;
};

// Numbers on an axis with as many decimals as its step needs.
std::string TickLabel(double value, double step) {
    if (std::abs(value) < 1e7 && step >= 1e-4) {
        const int decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step))), 0, 6);
        return fmt::format("{:.{}f}", value == 0.0 ? 0.0 : value, decimals);
    }
    return fmt::format("{:.6g}", value);
}

struct CAxis {
    double low = 0.0;
    double high = 1.0;
    std::vector<double> ticks;

    double Step() const { return ticks.size() > 1 ? ticks[1] - ticks[0] : 1.0; }
};

class CPanel {
public:
    CPanel(CPicture& picture, const CRegion& area, int scale)
        : picture_(picture), area_(area), scale_(scale) {}

    // Finds the axes; then LabelWidth is known, for panels to line up.
    void Prepare(const std::vector<CPlotFrame>& frames, const std::vector<CSeries>& series,
                 bool startAtZero) {
        xAxis_ = FrameAxis(frames);
        yAxis_ = ValueAxis(frames, series, startAtZero);
    }

    int LabelWidth() const {
        int width = 0;
        for (const double tick : yAxis_.ticks) {
            width = std::max(width, TextWidth(TickLabel(tick, yAxis_.Step()), scale_));
        }
        return width;
    }

    // Axes, grid, tick numbers, heading and key, then the curves.
    void Draw(const std::string& heading, const std::vector<CPlotFrame>& frames,
              const std::vector<CSeries>& series, int labelWidth) {
        const CAxis& xAxis = xAxis_;
        const CAxis& yAxis = yAxis_;
        const int line = LineUnits * scale_;
        box_ = {area_.x + labelWidth + 4 * scale_, area_.y + line + 2 * scale_,
                area_.width - labelWidth - 6 * scale_, area_.height - 2 * line - 4 * scale_};
        if (box_.width < 8 || box_.height < 8) {
            return;
        }
        DrawText(picture_, area_.x, area_.y, heading, scale_, TextColour);
        DrawKey(series);
        for (const double tick : yAxis.ticks) {
            const double y = Y(tick, yAxis);
            picture_.Line(box_.x, y, box_.x + box_.width - 1, y, GridColour);
            const std::string label = TickLabel(tick, yAxis.Step());
            DrawText(picture_, box_.x - 3 * scale_ - TextWidth(label, scale_),
                     static_cast<int>(y) - 3 * scale_, label, scale_, TextColour);
        }
        for (const double tick : xAxis.ticks) {
            const double x = X(tick, xAxis);
            picture_.Line(x, box_.y + box_.height - 1, x, box_.y + box_.height - 1 + 2 * scale_,
                          AxisColour);
            const std::string label = TickLabel(tick, xAxis.Step());
            DrawText(picture_, static_cast<int>(x) - TextWidth(label, scale_) / 2,
                     box_.y + box_.height + 3 * scale_, label, scale_, TextColour);
        }
        picture_.Line(box_.x, box_.y, box_.x, box_.y + box_.height - 1, AxisColour);
        picture_.Line(box_.x, box_.y + box_.height - 1, box_.x + box_.width - 1,
                      box_.y + box_.height - 1, AxisColour);
        for (const CSeries& one : series) {
            DrawSeries(frames, one, xAxis, yAxis);
        }
        MarkUnread(frames, xAxis);
    }

private:
    static CAxis FrameAxis(const std::vector<CPlotFrame>& frames) {
        CAxis axis;
        axis.low = frames.empty() ? 0.0 : frames.front().frame;
        axis.high = frames.empty() ? 1.0 : frames.back().frame;
        axis.ticks = AxisTicks(axis.low, axis.high, 10, true);
        return axis;
    }

    static CAxis ValueAxis(const std::vector<CPlotFrame>& frames,
                           const std::vector<CSeries>& series, bool startAtZero) {
        CAxis axis;
        bool any = false;
        for (const CPlotFrame& frame : frames) {
            for (const CSeries& one : series) {
                if (!frame.read) {
                    continue;
                }
                if (const std::optional<double> value = one.value(frame)) {
                    axis.low = any ? std::min(axis.low, *value) : *value;
                    axis.high = any ? std::max(axis.high, *value) : *value;
                    any = true;
                }
            }
        }
        if (!any) {
            axis.low = 0.0;
            axis.high = 1.0;
        }
        if (startAtZero) {
            axis.low = std::min(axis.low, 0.0);
        }
        axis.ticks = AxisTicks(axis.low, axis.high, 6, false);
        return axis;
    }

    double X(double frame, const CAxis& axis) const {
        return box_.x + RangePosition(frame, axis.low, axis.high) * (box_.width - 1);
    }

    double Y(double value, const CAxis& axis) const {
        return box_.y + box_.height - 1 -
               RangePosition(value, axis.low, axis.high) * (box_.height - 1);
    }

    void DrawKey(const std::vector<CSeries>& series) {
        if (series.size() < 2) {
            return;
        }
        int x = area_.x + area_.width;
        for (const CSeries& one : series) {
            x -= TextWidth(one.name, scale_) + 14 * scale_;
        }
        for (const CSeries& one : series) {
            picture_.FillRect(x, area_.y + scale_, 8 * scale_, 5 * scale_, one.colour);
            DrawText(picture_, x + 10 * scale_, area_.y, one.name, scale_, TextColour);
            x += TextWidth(one.name, scale_) + 14 * scale_;
        }
    }

    // A cross on the frame axis under each frame that could not be read.
    void MarkUnread(const std::vector<CPlotFrame>& frames, const CAxis& xAxis) {
        const int half = 3 * scale_;
        const double y = box_.y + box_.height - 1 - half;
        for (const CPlotFrame& frame : frames) {
            if (!frame.read) {
                const double x = X(frame.frame, xAxis);
                picture_.Line(x - half, y - half, x + half, y + half, UnreadColour, scale_);
                picture_.Line(x - half, y + half, x + half, y - half, UnreadColour, scale_);
            }
        }
    }

    void DrawSeries(const std::vector<CPlotFrame>& frames, const CSeries& series,
                    const CAxis& xAxis, const CAxis& yAxis) {
        const int thickness = std::max(1, scale_);
        const bool dots =
            static_cast<double>(box_.width) / std::max<size_t>(frames.size(), 1) >= 6.0 * thickness;
        std::optional<std::pair<double, double>> last;
        for (const CPlotFrame& frame : frames) {
            const std::optional<double> value =
                frame.read ? series.value(frame) : std::optional<double>();
            if (!value) {
                last.reset();  // a gap where the frame has no value
                continue;
            }
            const double x = X(frame.frame, xAxis);
            const double y = Y(*value, yAxis);
            if (last) {
                picture_.Line(last->first, last->second, x, y, series.colour, thickness);
            }
            if (dots || !last) {
                picture_.FillRect(static_cast<int>(x) - thickness, static_cast<int>(y) - thickness,
                                  2 * thickness + 1, 2 * thickness + 1, series.colour);
            }
            last = std::pair{x, y};
        }
    }

    CPicture& picture_;
    CRegion area_;
    int scale_;
    CRegion box_;
    CAxis xAxis_;
    CAxis yAxis_;
};

std::optional<double> IfFinite(const CPlotFrame& frame, double value) {
    return frame.stats.finite > 0 ? std::optional<double>(value) : std::nullopt;
}

}  // namespace

std::vector<double> AxisTicks(double& low, double& high, int most, bool integers) {
    if (!std::isfinite(low) || !std::isfinite(high)) {
        low = 0.0;
        high = 1.0;
    }
    if (!(high > low)) {
        const double widen = integers ? 1.0 : (low != 0.0 ? std::abs(low) * 0.1 : 1.0);
        low -= widen;
        high += widen;
    }
    const double span = high - low;
    if (!std::isfinite(span) || !(span > 0.0)) {
        return {low, high};
    }
    const double raw = span / std::max(most, 1);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10.0 * magnitude;
    for (const double factor : {1.0, 2.0, 5.0}) {
        if (factor * magnitude >= raw) {
            step = factor * magnitude;
            break;
        }
    }
    if (integers) {
        step = std::max(1.0, std::round(step));
    }
    const double first = std::floor(low / step);
    const double last = std::ceil(high / step);
    if (!(last - first <= most + 3)) {
        return {low, high};
    }
    low = first * step;
    high = last * step;
    std::vector<double> ticks;
    for (double k = first; k <= last; ++k) {
        ticks.push_back(k * step);
    }
    return ticks;
}

void DrawPlot(CPicture& picture, const std::string& title, const std::string& attribute,
              const std::vector<CPlotFrame>& frames) {
    const int scale = TextScale(picture.Width(), picture.Height());
    const int pad = 8 * scale;
    const int line = LineUnits * scale;
    DrawText(picture, pad, pad, FitText(title, picture.Width() - 2 * pad, scale), scale,
             TextColour);
    const std::string frameLabel = "frame";
    DrawText(picture, (picture.Width() - TextWidth(frameLabel, scale)) / 2,
             picture.Height() - pad - TextHeight(scale), frameLabel, scale, FaintColour);
    const int top = pad + line + pad;
    const int bottom = picture.Height() - pad - line;
    const int panels = attribute.empty() ? 1 : 2;
    const int panelHeight = (bottom - top - (panels - 1) * pad) / panels;

    const std::vector<CSeries> counts{{"particles", CountColour, [](const CPlotFrame& frame) {
                                           return std::optional<double>(frame.particles);
                                       }}};
    CPanel countPanel(picture, {pad, top, picture.Width() - 2 * pad, panelHeight}, scale);
    countPanel.Prepare(frames, counts, true);
    if (attribute.empty()) {
        countPanel.Draw("particles", frames, counts, countPanel.LabelWidth());
        return;
    }
    const std::vector<CSeries> range{
        {"max", MaxColour, [](const CPlotFrame& f) { return IfFinite(f, f.stats.max); }},
        {"mean", MeanColour, [](const CPlotFrame& f) { return IfFinite(f, f.stats.Mean()); }},
        {"min", MinColour, [](const CPlotFrame& f) { return IfFinite(f, f.stats.min); }},
    };
    CPanel rangePanel(
        picture, {pad, top + panelHeight + pad, picture.Width() - 2 * pad, panelHeight}, scale);
    rangePanel.Prepare(frames, range, false);
    const int labelWidth = std::max(countPanel.LabelWidth(), rangePanel.LabelWidth());
    countPanel.Draw("particles", frames, counts, labelWidth);
    rangePanel.Draw(attribute, frames, range, labelWidth);
}

namespace {

// The chart's title and the attribute panel's label, which say what is
// left out.
struct CPlotLabels {
    std::string title;
    std::string attribute;
};

CPlotLabels LabelPlot(const CPreviewChoice& choice, const std::string& pattern,
                      const std::vector<CPlotFrame>& points, const std::vector<int32_t>& components,
                      size_t failed) {
    int64_t nonFinite = 0;
    int32_t shownComponents = 0;
    for (size_t i = 0; i < points.size(); ++i) {
        nonFinite += points[i].stats.nonFinite;
        shownComponents = points[i].read ? components[i] : shownComponents;
    }
    CPlotLabels labels;
    labels.title = fmt::format("{}, {} frame{}", Escaped(pattern), points.size(),
                               points.size() == 1 ? "" : "s");
    if (failed > 0) {
        labels.title += fmt::format(" ({} unreadable, marked x)", failed);
    }
    if (!choice.colour.empty()) {
        labels.attribute = AttributeLabel(choice.colour, shownComponents, false);
        if (nonFinite > 0) {
            labels.attribute += fmt::format(" (finite values; {} NaN/inf left out)", nonFinite);
        }
    }
    return labels;
}

}  // namespace

CSequencePicture WritePlot(const CPreviewChoice& choice, const std::string& pattern,
                           const std::vector<CSequenceFrame>& frames,
                           const CSequenceChoice& sequence, CConsole& console) {
    const CFrameWants wants{false, choice.colour};
    std::vector<CPlotFrame> points(frames.size());
    std::vector<int32_t> components(frames.size(), 0);
    CProgress progress("preview", frames.size(), sequence.progress, console);
    const size_t failed = RunFrames(
        frames.size(), sequence.jobs,
        [&](size_t i, CFrameReport& report) {
            CParticleBlocks frame;
            CColourStats stats;
            CBounds bounds;
            if (CResult read = SummariseFrameNoThrow(frames[i].file, wants, frame, stats, bounds);
                !read) {
                report.err = ErrorLine("preview", read.Message());
                report.failed = true;
                points[i] = {frames[i].frame, 0, CColourStats(), false};
                return;
            }
            points[i] = {frames[i].frame, frame.Particles(), stats, true};
            components[i] = frame.ColourComponents();
        },
        console, &progress);
    progress.Finish();
    if (failed == frames.size()) {
        return CSequencePicture::Failed(CResult::Fail(
            fmt::format("none of the {} frames could be read; no chart written", frames.size())));
    }
    const CPlotLabels labels = LabelPlot(choice, pattern, points, components, failed);
    CPicture picture(choice.width, choice.height, BackgroundColour);
    DrawPlot(picture, labels.title, labels.attribute, points);
    if (CResult written = WritePng(picture, choice.output); !written) {
        return CSequencePicture::Failed(written);
    }
    return CSequencePicture::Written(
        fmt::format("{}: {}x{}, a chart of {} frames", Escaped(choice.output), choice.width,
                    choice.height, frames.size()),
        failed, frames.size(), "chart");
}

}  // namespace VelpoTools
