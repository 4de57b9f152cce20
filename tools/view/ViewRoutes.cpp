#include "tools/view/ViewRoutes.h"

#include <fmt/format.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <charconv>
#include <new>

#include "pdc/RecordWalker.h"
#include "tools/common/InputFile.h"
#include "tools/common/Text.h"
#include "tools/contents/FileReport.h"
#include "tools/preview/ColorMap.h"
#include "tools/view/FramePoints.h"
#include "tools/view/PageFiles.h"
#include "tools/view/PickedParticle.h"
#include "tools/view/RecordKey.h"

namespace VelpoTools {

namespace {

using httplib::Request;
using httplib::Response;
using Velpo::CResult;
using Json = nlohmann::ordered_json;

constexpr const char* JsonType = "application/json";

void SendJson(Response& response, int status, const Json& body) {
    response.status = status;
    response.set_content(body.dump(-1, ' ', false, Json::error_handler_t::replace), JsonType);
}

void SendError(Response& response, int status, const std::string& text) {
    SendJson(response, status, Json{{"error", text}});
}

std::string FrameName(const CSequenceFrame& frame) {
    return fmt::format("frame {} ({})", frame.frame, frame.file);
}

// The frame of the sequence that the path's first number names; a 404
// answered when there is none.
std::optional<CSequenceFrame> FrameOf(const CViewContext& context, const Request& request,
                                      Response& response) {
    const std::string text = request.matches[1];
    int32_t number = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), number);
    std::optional<CSequenceFrame> frame;
    if (parsed.ec == std::errc() && parsed.ptr == text.data() + text.size()) {
        frame = context.sequence.Find(number);
    }
    if (!frame) {
        SendError(response, 404, fmt::format("the sequence has no frame {}", text));
    }
    return frame;
}

void ServePage(const Request& request, Response& response, const CViewContext& context) {
    for (size_t i = 0; i < PageFileCount; ++i) {
        const CPageFile& file = PageFiles[i];
        if (request.path == file.path) {
            response.set_content(reinterpret_cast<const char*>(file.bytes), file.size,
                                 file.mediaType);
            if (context.access.tokenRequired && request.path == "/") {
                // The page's own requests carry the token from here on.
                response.set_header("Set-Cookie",
                                    fmt::format("{}={}; Path=/; HttpOnly; SameSite=Strict",
                                                TokenCookie, context.access.token));
            }
            return;
        }
    }
    SendError(response, 404, "no such page");
}

Json ColourMapJson() {
    // Sampled where the map's stops fall (every 32nd of 256 steps), so a
    // linear lookup between samples gives the map itself.
    Json samples = Json::array();
    for (int i = 0; i <= 256; ++i) {
        const CRgb c = MapColour(i / 256.0);
        samples.push_back({c.r, c.g, c.b});
    }
    const auto rgb = [](const CRgb& c) { return Json{c.r, c.g, c.b}; };
    return {{"samples", samples},
            {"nonFinite", rgb(NonFiniteColour)},
            {"plain", rgb(PlainPointColour)},
            {"background", rgb(BackgroundColour)}};
}

void ServeSequence(const Request& request, Response& response, const CViewContext& context) {
    uint64_t since = 0;
    if (request.has_param("since")) {
        const std::string text = request.get_param_value("since");
        const auto parsed = std::from_chars(text.data(), text.data() + text.size(), since);
        if (parsed.ec != std::errc() || parsed.ptr != text.data() + text.size()) {
            SendError(response, 400, "since: not a generation number");
            return;
        }
    }
    Json body;
    body["title"] = context.options.title;
    body["fps"] = context.options.fps;
    body["budget"] = context.options.budget;
    body["count"] = context.sequence.Size();
    if (since == 0) {
        body["colourMap"] = ColourMapJson();
    }
    body.update(context.sequence.Changes(since));
    SendJson(response, 200, body);
}

void ServeInfo(const Request& request, Response& response, const CViewContext& context) {
    const std::optional<CSequenceFrame> frame = FrameOf(context, request, response);
    if (!frame) {
        return;
    }
    const CPdcInspection inspection = InspectPdc(frame->file);
    Json body = InspectionJson(inspection);
    for (size_t i = 0; i < inspection.records.size(); ++i) {
        body["records"][i]["key"] = RecordKey(inspection.records[i].record.name);
    }
    body["frame"] = frame->frame;
    SendJson(response, 200, body);
}

// Whether the frame holds a record of the name; a walk that reads no
// values. A file that cannot be walked is left to the read to report.
bool HoldsRecord(const std::string& file, const std::string& name) {
    CFilePointer stream;
    if (!OpenForReading(file, stream)) {
        return true;
    }
    CPdcRecordWalker walker(stream.get());
    CPdcRecord record;
    bool walked = walker.ReadHeader();
    while (walked && walker.Next(record)) {
        if (!record.nameCut && record.name == name) {
            return true;
        }
    }
    return !walked || walker.Failed();
}

// Parses mode and colour; answers 400 or 404 and gives false when they are
// wrong.
bool ReadPointsQuery(const Request& request, Response& response, const CSequenceFrame& frame,
                     CPointsRequest& query) {
    query.colour = request.get_param_value("colour");
    const std::string mode = request.get_param_value("mode");
    if (mode == "rgb") {
        query.mode = CColourMode::Rgb;
    } else if (mode == "map" || mode.empty()) {
        query.mode = query.colour.empty() ? CColourMode::None : CColourMode::Map;
    } else {
        SendError(response, 400, "mode: expected map or rgb");
        return false;
    }
    if (query.mode == CColourMode::Rgb && query.colour.empty()) {
        SendError(response, 400, "mode rgb needs a colour record");
        return false;
    }
    if (!query.colour.empty() && !HoldsRecord(frame.file, query.colour)) {
        SendError(response, 404,
                  fmt::format("{}: no record {}", FrameName(frame), Quoted(query.colour)));
        return false;
    }
    return true;
}

// The points of a frame, read anew unless the last response was of the
// same file, unchanged, and the same query.
std::shared_ptr<const std::string> PointsOf(CViewContext& context, const CSequenceFrame& frame,
                                            const CPointsRequest& query, CResult& result) {
    const CFileStamp stamp = StampOf(frame.file);
    const std::string key =
        fmt::format("{}\n{:x}.{:x}.{:x}\n{}\n{}", frame.file, stamp.size, stamp.modified,
                    stamp.inode, query.colour, static_cast<int>(query.mode));
    std::lock_guard reading(context.readMutex);
    {
        std::lock_guard lock(context.cacheMutex);
        if (context.cached && context.cachedKey == key) {
            return context.cached;
        }
        // Dropped before the next frame is read, so that memory holds one.
        context.cached.reset();
    }
    CFramePoints points;
    result = ReadFramePoints(frame.file, query, points);
    if (!result) {
        return nullptr;
    }
    auto payload = std::make_shared<const std::string>(PointsPayload(points));
    std::lock_guard lock(context.cacheMutex);
    context.cachedKey = key;
    context.cached = payload;
    return payload;
}

void SendPayload(Response& response, std::shared_ptr<const std::string> payload) {
    static constexpr size_t Piece = size_t{1} << 20;
    response.set_content_provider(payload->size(), "application/octet-stream",
                                  [payload](size_t offset, size_t length, httplib::DataSink& sink) {
                                      return sink.write(payload->data() + offset,
                                                        std::min(length, Piece));
                                  });
}

void ServePoints(const Request& request, Response& response, CViewContext& context) {
    const std::optional<CSequenceFrame> frame = FrameOf(context, request, response);
    CPointsRequest query;
    query.budget = context.options.budget;
    if (!frame || !ReadPointsQuery(request, response, *frame, query)) {
        return;
    }
    CResult result = CResult::Ok();
    std::shared_ptr<const std::string> payload;
    try {
        payload = PointsOf(context, *frame, query, result);
    } catch (const std::bad_alloc&) {
        SendError(response, 503, fmt::format("{}: out of memory", FrameName(*frame)));
        return;
    }
    if (!payload) {
        SendError(response, 422, result.Message());
        return;
    }
    SendPayload(response, std::move(payload));
}

void ServeParticle(const Request& request, Response& response, const CViewContext& context) {
    const std::optional<CSequenceFrame> frame = FrameOf(context, request, response);
    if (!frame) {
        return;
    }
    const std::string text = request.matches[2];
    int64_t index = 0;
    std::from_chars(text.data(), text.data() + text.size(), index);
    CPickedParticle picked;
    if (CResult read = PickParticle(frame->file, index, picked); !read) {
        SendError(response, picked.noSuchParticle ? 404 : 422, read.Message());
        return;
    }
    Json body = PickedJson(picked);
    body["frame"] = frame->frame;
    SendJson(response, 200, body);
}

}  // namespace

void AddViewRoutes(httplib::Server& server, CViewContext& context) {
    server.Get(R"(/|/[A-Za-z0-9_-]+\.[a-z]+)",
               [&context](const Request& request, Response& response) {
                   ServePage(request, response, context);
               });
    server.Get("/api/sequence", [&context](const Request& request, Response& response) {
        ServeSequence(request, response, context);
    });
    server.Get(R"(/api/frames/(-?[0-9]{1,11})/info)",
               [&context](const Request& request, Response& response) {
                   ServeInfo(request, response, context);
               });
    server.Get(R"(/api/frames/(-?[0-9]{1,11})/points)",
               [&context](const Request& request, Response& response) {
                   ServePoints(request, response, context);
               });
    server.Get(R"(/api/frames/(-?[0-9]{1,11})/particles/([0-9]{1,12}))",
               [&context](const Request& request, Response& response) {
                   ServeParticle(request, response, context);
               });
}

}  // namespace VelpoTools
