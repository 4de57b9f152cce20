#include "tools/view/FramePoints.h"

#include <fmt/format.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <nlohmann/json.hpp>

#include "pdc/ByteOrder.h"
#include "pdc/RecordWalker.h"
#include "tools/common/InputFile.h"
#include "tools/common/Text.h"
#include "tools/preview/Legend.h"
#include "tools/preview/PreviewChoice.h"
#include "tools/view/StableSubset.h"

namespace VelpoTools {

using Velpo::CResult;

namespace {

// A key per particle from the first per-particle record "id" of single
// numbers; from the particle index in a file without one. Sets `byId`.
CResult ReadSubsetKeys(const std::string& file, int64_t particles, std::vector<uint32_t>& keys,
                       bool& byId) {
    keys.assign(static_cast<size_t>(particles), 0);
    for (int64_t i = 0; i < particles; ++i) {
        keys[static_cast<size_t>(i)] = IndexKey(i);
    }
    byId = false;
    CFilePointer stream;
    if (CResult opened = OpenForReading(file, stream); !opened) {
        return CResult::Fail(fmt::format("{}: {}", file, opened.Message()));
    }
    CPdcRecordWalker walker(stream.get());
    CPdcRecord record;
    bool read = walker.ReadHeader();
    while (read && walker.Next(record)) {
        if (record.nameCut || record.name != "id") {
            continue;
        }
        if (record.IsArray() && record.Components() == 1 && record.count == particles) {
            byId = true;
            read = walker.ReadNumbers([&](const unsigned char* bytes, int64_t first, size_t count) {
                for (size_t i = 0; i < count; ++i) {
                    keys[static_cast<size_t>(first) + i] =
                        record.IsInteger() ? IdKey(int64_t{PdcByteOrder::LoadInt32(bytes + 4 * i)})
                                           : IdKey(PdcByteOrder::LoadDouble(bytes + 8 * i));
                }
            });
        }
        break;  // the first record of the name counts, as for the readers
    }
    if (walker.Failed()) {
        return CResult::Fail(fmt::format("{}: {}", file, Escaped(walker.Problem())));
    }
    return CResult::Ok();
}

CResult CheckColourMode(const std::string& file, const CPointsRequest& request,
                        const CParticleFrame& frame) {
    if (request.mode == CColourMode::Rgb && frame.colour.components != 3) {
        return CResult::Fail(
            fmt::format("{}: RGB colouring needs vectors, and {} holds single "
                        "numbers",
                        file, Quoted(request.colour)));
    }
    return CResult::Ok();
}

void TakeParticle(const CParticleFrame& frame, CColourMode mode, int64_t i, CFramePoints& points) {
    const double* p = frame.positions.Of(i);
    points.positions.insert(
        points.positions.end(),
        {static_cast<float>(p[0]), static_cast<float>(p[1]), static_cast<float>(p[2])});
    if (mode == CColourMode::Map) {
        points.colour.push_back(static_cast<float>(ColourValue(frame.colour, i)));
    } else if (mode == CColourMode::Rgb) {
        const double* c = frame.colour.Of(i);
        points.colour.insert(
            points.colour.end(),
            {static_cast<float>(c[0]), static_cast<float>(c[1]), static_cast<float>(c[2])});
    }
}

CResult BuildPoints(const std::string& file, const CPointsRequest& request,
                    const CParticleFrame& frame, CFramePoints& points) {
    points.particles = frame.particles;
    points.positionsSingle = frame.positions.single;
    const int64_t drawn = frame.Drawn();
    const CColourMode mode = request.colour.empty() ? CColourMode::None : request.mode;
    if (mode != CColourMode::None) {
        points.colourName = request.colour;
        points.colourComponents = mode == CColourMode::Rgb ? 3 : 1;
        points.colourLabel =
            AttributeLabel(request.colour, frame.colour.components, mode == CColourMode::Rgb);
        points.stats = ColourStatsOf(frame);
    }
    points.bounds = BoundsOf(frame);
    points.subset = drawn > request.budget;
    if (points.subset) {
        std::vector<uint32_t> keys;
        if (CResult read = ReadSubsetKeys(file, drawn, keys, points.byId); !read) {
            return read;
        }
        points.indices = StableSubset(keys, request.budget);
    }
    const size_t shown = points.subset ? points.indices.size() : static_cast<size_t>(drawn);
    points.positions.reserve(3 * shown);
    points.colour.reserve(static_cast<size_t>(points.colourComponents) * shown);
    for (size_t k = 0; k < shown; ++k) {
        TakeParticle(frame, mode, points.subset ? points.indices[k] : static_cast<int64_t>(k),
                     points);
    }
    return CResult::Ok();
}

}  // namespace

CResult ReadFramePoints(const std::string& file, const CPointsRequest& request,
                        CFramePoints& points) {
    points = CFramePoints();
    try {
        CParticleFrame frame;
        const std::string colour = request.mode == CColourMode::None ? "" : request.colour;
        if (CResult read = ReadParticleFrame(file, {true, colour}, frame); !read) {
            return read;
        }
        if (CResult usable = CheckColourMode(file, request, frame); !usable) {
            return usable;
        }
        return BuildPoints(file, {colour, request.mode, request.budget}, frame, points);
    } catch (const std::bad_alloc&) {
        points = CFramePoints();
        return CResult::Fail(fmt::format("{}: out of memory reading the frame", file));
    }
}

namespace {

void AppendUInt32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

// 32-bit words, little-endian whatever the machine: a plain copy where the
// machine is little-endian, shifts elsewhere.
template <class Word>
void AppendWords(std::string& out, const std::vector<Word>& values) {
    static_assert(sizeof(Word) == 4);
    if (values.empty()) {
        return;  // memcpy takes no null pointer, even for no bytes
    }
    if constexpr (std::endian::native == std::endian::little) {
        const size_t at = out.size();
        out.resize(at + 4 * values.size());
        std::memcpy(out.data() + at, values.data(), 4 * values.size());
    } else {
        for (const Word value : values) {
            AppendUInt32(out, std::bit_cast<uint32_t>(value));
        }
    }
}

nlohmann::ordered_json ColourJson(const CFramePoints& points) {
    if (points.colourComponents == 0) {
        return nullptr;
    }
    const CColourStats& stats = points.stats;
    return {{"name", points.colourName},
            {"label", points.colourLabel},
            {"mode", points.colourComponents == 3 ? "rgb" : "map"},
            {"components", points.colourComponents},
            {"low", stats.min},
            {"high", stats.max},
            {"lowText", ShortNumber(stats.min)},
            {"middleText", ShortNumber(stats.min / 2 + stats.max / 2)},
            {"highText", ShortNumber(stats.max)},
            {"rangeKnown", stats.finite > 0},
            {"nonFinite", stats.nonFinite}};
}

nlohmann::ordered_json HeaderJson(const CFramePoints& points) {
    nlohmann::ordered_json header;
    header["particles"] = points.particles;
    header["shown"] = points.Shown();
    header["subset"] = points.subset;
    header["byId"] = points.byId;
    header["positionsSingle"] = points.positionsSingle;
    header["bounds"] = nullptr;
    if (!points.bounds.empty) {
        header["bounds"] = {{"min", points.bounds.min}, {"max", points.bounds.max}};
    }
    header["colour"] = ColourJson(points);
    return header;
}

}  // namespace

std::string PointsPayload(const CFramePoints& points) {
    std::string header =
        HeaderJson(points).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    header.append((4 - header.size() % 4) % 4, ' ');
    std::string out;
    out.reserve(8 + header.size() +
                4 * (points.positions.size() + points.colour.size() + points.indices.size()));
    out += "VPTS";
    AppendUInt32(out, static_cast<uint32_t>(header.size()));
    out += header;
    AppendWords(out, points.positions);
    AppendWords(out, points.colour);
    // Indices fit 32 bits: the header counts particles in an int32.
    std::vector<int32_t> indices(points.indices.begin(), points.indices.end());
    AppendWords(out, indices);
    return out;
}

}  // namespace VelpoTools
