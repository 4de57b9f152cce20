// The view server spoken to over HTTP on 127.0.0.1, as the page and any
// other client would: every endpoint, the access rules, paths that must
// not reach anything, damaged and rewritten frames, clients at once.
#include <gtest/gtest.h>

#include <atomic>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/support/FileContents.h"
#include "tests/support/ScratchFolder.h"
#include "tests/view/ViewTestSupport.h"
#include "tools/view/ViewServer.h"

namespace VelpoTools {
namespace {

using VelpoTestSupport::CScratchFolder;
using VelpoViewTest::SimpleFrame;
using VelpoViewTest::WriteFrame;
using Json = nlohmann::json;

// A served sequence of frames 1 to 4 in a scratch folder: 1, 2 and 4 of
// 10, 20 and 40 particles, 3 missing.
class ViewServerTest : public ::testing::Test {
protected:
    void Serve(CViewOptions options = {}) {
        for (const int32_t frame : {1, 2, 4}) {
            WriteFrame(FileOf(frame), SimpleFrame(10 * frame));
        }
        std::vector<CSequenceFrame> frames;
        for (int32_t frame = 1; frame <= 4; ++frame) {
            frames.push_back({frame, FileOf(frame)});
        }
        options.rescan = std::chrono::milliseconds(20);
        options.timeout = std::chrono::seconds(5);
        server_ = std::make_unique<CViewServer>(frames, options);
        const Velpo::CResult started = server_->Start();
        ASSERT_TRUE(started) << started.Message();
        ASSERT_NE(server_->Port(), 0);
    }

    std::string FileOf(int32_t frame) const {
        return scratch_ / ("f." + std::to_string(frame) + ".pdc");
    }

    httplib::Client Client() const {
        httplib::Client client("127.0.0.1", server_->Port());
        client.set_connection_timeout(5, 0);
        client.set_read_timeout(10, 0);
        return client;
    }

    httplib::Result Get(const std::string& path, const httplib::Headers& headers = {}) const {
        return Client().Get(path, headers);
    }

    Json GetJson(const std::string& path, int status = 200) const {
        const httplib::Result result = Get(path);
        EXPECT_TRUE(result) << path;
        if (!result) {
            return Json();
        }
        EXPECT_EQ(result->status, status) << path << ": " << result->body;
        return Json::parse(result->body, nullptr, false);
    }

    // Waits, boundedly, until the sequence has read every frame.
    Json Scanned() const {
        for (int i = 0; i < 500; ++i) {
            const Json sequence = GetJson("/api/sequence");
            if (sequence.value("complete", false)) {
                return sequence;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ADD_FAILURE() << "the sequence was not read within 5 s";
        return Json();
    }

    // Waits, boundedly, until frame `frame` (1-4) is in `state`.
    Json FrameOnceIn(int frame, const std::string& state) const {
        for (int i = 0; i < 500; ++i) {
            const Json sequence = GetJson("/api/sequence");
            const Json& entry = sequence["frames"][static_cast<size_t>(frame - 1)];
            if (entry["state"] == state) {
                return entry;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ADD_FAILURE() << "frame " << frame << " was not " << state << " within 5 s";
        return Json();
    }

    CScratchFolder scratch_;
    std::unique_ptr<CViewServer> server_;
};

TEST_F(ViewServerTest, ServesThePageFromTheProgramWithItsSafetyHeaders) {
    Serve();
    const std::vector<std::pair<std::string, std::string>> files{
        {"/", "text/html"},
        {"/main.js", "text/javascript"},
        {"/view.css", "text/css"},
        {"/renderer.js", "text/javascript"}};
    for (const auto& [path, type] : files) {
        const httplib::Result result = Get(path);
        ASSERT_TRUE(result) << path;
        EXPECT_EQ(result->status, 200) << path;
        EXPECT_EQ(result->get_header_value("Content-Type").rfind(type, 0), 0u) << path;
        EXPECT_NE(result->get_header_value("Content-Security-Policy").find("default-src 'none'"),
                  std::string::npos);
        EXPECT_EQ(result->get_header_value("Cache-Control"), "no-store");
        EXPECT_GT(result->body.size(), 100u) << path;
        // Nothing is loaded from elsewhere.
        EXPECT_EQ(result->body.find("http://"), std::string::npos) << path;
        EXPECT_EQ(result->body.find("https://"), std::string::npos) << path;
    }
    EXPECT_NE(Get("/")->body.find("/main.js"), std::string::npos);
}

TEST_F(ViewServerTest, SequenceListsEveryFrameWithCheckReasonsAndTheColourMap) {
    CViewOptions options;
    options.title = "fluid.#.pdc";
    Serve(options);
    const Json sequence = Scanned();
    EXPECT_EQ(sequence["title"], "fluid.#.pdc");
    EXPECT_EQ(sequence["count"], 4);
    EXPECT_EQ(sequence["colourMap"]["samples"].size(), 257u);
    EXPECT_EQ(sequence["colourMap"]["samples"][0], Json::parse("[68, 1, 84]"));
    EXPECT_EQ(sequence["colourMap"]["samples"][256], Json::parse("[253, 231, 37]"));
    EXPECT_EQ(sequence["colourMap"]["nonFinite"], Json::parse("[150, 150, 150]"));
    ASSERT_EQ(sequence["frames"].size(), 4u);
    const std::vector<std::pair<std::string, int>> states{
        {"readable", 10}, {"readable", 20}, {"missing", 0}, {"readable", 40}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(sequence["frames"][i]["frame"], i + 1);
        EXPECT_EQ(sequence["frames"][i]["state"], states[i].first);
        EXPECT_EQ(sequence["frames"][i]["particles"], states[i].second);
    }
    EXPECT_EQ(sequence["frames"][2]["reason"], "missing");
    // Asked for what changed since, nothing has.
    const Json later = GetJson("/api/sequence?since=" + sequence["generation"].dump());
    EXPECT_TRUE(later["frames"].empty());
    EXPECT_FALSE(later.contains("colourMap"));
}

TEST_F(ViewServerTest, InfoIsWhatInfoJsonSaysWithRecordKeys) {
    Serve();
    const Json info = GetJson("/api/frames/2/info");
    EXPECT_EQ(info["frame"], 2);
    EXPECT_TRUE(info["readable"].get<bool>());
    EXPECT_EQ(info["header"]["particleCount"], 20);
    ASSERT_EQ(info["records"].size(), 4u);
    EXPECT_EQ(info["records"][1]["name"], "age");
    EXPECT_EQ(info["records"][1]["key"], "age");
    EXPECT_EQ(info["records"][1]["max"], Json::parse("[1.9]"));
    EXPECT_EQ(info["records"][2]["code"], 5);
}

TEST_F(ViewServerTest, PointsArePositionsAndColourAsFloat32) {
    Serve();
    const httplib::Result result = Get("/api/frames/4/points?colour=velocity&mode=rgb");
    ASSERT_TRUE(result);
    ASSERT_EQ(result->status, 200) << result->body;
    EXPECT_EQ(result->get_header_value("Content-Type"), "application/octet-stream");
    const VelpoViewTest::CPayload payload = VelpoViewTest::ReadPayload(result->body, 3, false);
    ASSERT_TRUE(payload.valid);
    ASSERT_EQ(payload.positions.size(), 120u);
    EXPECT_EQ(payload.positions[3 * 39 + 1], 78.0f);
    EXPECT_EQ(payload.colour[3 * 39], 39.0f);
    const Json header = Json::parse(payload.headerText);
    EXPECT_EQ(header["shown"], 40);
    EXPECT_EQ(header["colour"]["mode"], "rgb");
    EXPECT_EQ(header["colour"]["label"], "velocity as RGB");
}

TEST_F(ViewServerTest, OverTheBudgetAStableSubsetWithIndices) {
    CViewOptions options;
    options.budget = 7;
    Serve(options);
    const httplib::Result result = Get("/api/frames/2/points?colour=age");
    ASSERT_TRUE(result);
    ASSERT_EQ(result->status, 200);
    const VelpoViewTest::CPayload payload = VelpoViewTest::ReadPayload(result->body, 1, true);
    ASSERT_TRUE(payload.valid);
    ASSERT_EQ(payload.indices.size(), 7u);
    for (size_t k = 0; k < 7; ++k) {
        EXPECT_EQ(payload.positions[3 * k], static_cast<float>(payload.indices[k]));
        EXPECT_EQ(payload.colour[k], static_cast<float>(payload.indices[k] / 10.0));
    }
    const Json header = Json::parse(payload.headerText);
    EXPECT_EQ(header["particles"], 20);
    EXPECT_TRUE(header["subset"].get<bool>());
    EXPECT_TRUE(header["byId"].get<bool>());
}

TEST_F(ViewServerTest, PickedParticleHasIdAndEveryRecord) {
    Serve();
    const Json picked = GetJson("/api/frames/1/particles/3");
    EXPECT_EQ(picked["frame"], 1);
    EXPECT_EQ(picked["index"], 3);
    EXPECT_EQ(picked["id"], "4");
    ASSERT_EQ(picked["records"].size(), 4u);
    EXPECT_EQ(picked["records"][1]["values"], Json::parse(R"(["0.3"])"));
    EXPECT_EQ(picked["records"][2]["values"], Json::parse(R"(["3", "6", "-3"])"));
}

TEST_F(ViewServerTest, NoPathReachesAnythingButTheSequence) {
    Serve();
    const std::vector<std::pair<std::string, int>> refused{
        {"/../etc/passwd", 404},
        {"/%2e%2e/%2e%2e/etc/passwd", 404},
        {"/etc/passwd", 404},
        {"/main.js/../../etc/passwd", 404},
        {"/tmp", 404},
        {"/api/file?path=/etc/passwd", 404},
        {"/api/frames/5/info", 404},
        {"/api/frames/0/points", 404},
        {"/api/frames/abc/info", 404},
        {"/api/frames/99999999999/info", 404},
        {"/api/frames/1/points?colour=..%2F..%2Fetc%2Fpasswd", 404},
        {"/api/frames/1/points?colour=nosuch", 404},
        {"/api/frames/1/points?colour=age&mode=bogus", 400},
        {"/api/frames/1/points?mode=rgb", 400},
        {"/api/frames/1/points?colour=age&mode=rgb", 422},
        {"/api/frames/1/particles/10", 404},
        {"/api/frames/1/particles/-1", 404},
        {"/api/sequence?since=x", 400}};
    for (const auto& [path, status] : refused) {
        const httplib::Result result = Get(path);
        ASSERT_TRUE(result) << path;
        EXPECT_EQ(result->status, status) << path << ": " << result->body;
        EXPECT_TRUE(Json::parse(result->body, nullptr, false).contains("error")) << path;
        EXPECT_EQ(result->body.find("root:"), std::string::npos) << path;
    }
    // Nothing but GET is answered, and requests carry no body.
    const httplib::Result posted = Client().Post("/", std::string(100000, 'x'), "text/plain");
    ASSERT_TRUE(posted);
    EXPECT_GE(posted->status, 400);
}

TEST_F(ViewServerTest, ADamagedFrameIsThatFramesErrorNotTheServers) {
    Serve();
    const std::string whole = VelpoViewTest::FrameBytes(SimpleFrame(20));
    VelpoTestSupport::WriteFile(FileOf(2), whole.substr(0, whole.size() / 2));
    const Json error = GetJson("/api/frames/2/points", 422);
    EXPECT_NE(error["error"].get<std::string>().find(FileOf(2)), std::string::npos);
    EXPECT_NE(error["error"].get<std::string>().find("truncated"), std::string::npos);
    EXPECT_EQ(GetJson("/api/frames/2/particles/0", 422).count("error"), 1u);
    EXPECT_FALSE(GetJson("/api/frames/2/info")["readable"].get<bool>());
    EXPECT_EQ(GetJson("/api/frames/3/points", 422).count("error"), 1u);
    // A forged count that would size gigabytes is refused before anything is.
    VelpoTestSupport::WriteFile(FileOf(4), VelpoTestSupport::CPdcBytesIn<std::string>()
                                               .Header(2000000000, 1)
                                               .Record("position", 5)
                                               .Double(1)
                                               .Bytes());
    EXPECT_EQ(GetJson("/api/frames/4/points", 422).count("error"), 1u);
    // The other frames are served as before.
    EXPECT_EQ(GetJson("/api/frames/1/particles/0")["id"], "1");
    const Json frame = FrameOnceIn(2, "unreadable");
    EXPECT_NE(frame.value("reason", "").find("truncated"), std::string::npos) << frame;
}

TEST_F(ViewServerTest, AFrameRewrittenWhileServedIsReadAgain) {
    Serve();
    const Json before = Scanned();
    const std::string version = before["frames"][0]["version"];
    ASSERT_EQ(
        VelpoViewTest::ReadPayload(Get("/api/frames/1/points")->body, 0, false).positions.size(),
        30u);
    // A new file under the name, as a safe write leaves it.
    WriteFrame(FileOf(1) + ".new", SimpleFrame(13));
    std::filesystem::rename(FileOf(1) + ".new", FileOf(1));
    EXPECT_EQ(
        VelpoViewTest::ReadPayload(Get("/api/frames/1/points")->body, 0, false).positions.size(),
        39u);
    EXPECT_EQ(GetJson("/api/frames/1/particles/12")["id"], "13");
    // The sequence says so to pages that poll it.
    Json changed;
    for (int i = 0; i < 500 && changed.empty(); ++i) {
        const Json changes = GetJson("/api/sequence?since=" + before["generation"].dump());
        for (const Json& frame : changes["frames"]) {
            if (frame["frame"] == 1) {
                changed = frame;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(changed.empty());
    EXPECT_NE(changed["version"], version);
    EXPECT_EQ(changed["particles"], 13);
}

TEST_F(ViewServerTest, EightClientsAtOnceEachGetTheirOwnAnswers) {
    Serve();
    std::atomic<int> wrong{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 8; ++c) {
        clients.emplace_back([&, c] {
            httplib::Client client = Client();
            for (int round = 0; round < 15; ++round) {
                const int32_t frame = (c + round) % 2 == 0 ? 2 : 4;
                const httplib::Result points =
                    client.Get("/api/frames/" + std::to_string(frame) +
                               (c % 2 ? "/points?colour=age" : "/points"));
                const VelpoViewTest::CPayload payload =
                    points ? VelpoViewTest::ReadPayload(points->body, c % 2, false)
                           : VelpoViewTest::CPayload();
                const httplib::Result picked = client.Get("/api/frames/" + std::to_string(frame) +
                                                          "/particles/" + std::to_string(c));
                const bool right = points && points->status == 200 && payload.valid &&
                                   payload.positions.size() == static_cast<size_t>(30 * frame) &&
                                   picked && picked->status == 200 &&
                                   Json::parse(picked->body)["id"] == std::to_string(c + 1);
                wrong += right ? 0 : 1;
            }
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(ViewServerTest, WithBindEveryRequestNeedsTheToken) {
    CViewOptions options;
    options.tokenRequired = true;
    Serve(options);
    const std::string token = server_->Token();
    ASSERT_EQ(token.size(), 32u);
    EXPECT_NE(server_->Url().find("?token=" + token), std::string::npos);
    for (const std::string path :
         {"/", "/main.js", "/api/sequence", "/api/frames/1/info", "/api/frames/1/points",
          "/api/frames/1/particles/0", "/nosuch"}) {
        const httplib::Result refused = Get(path);
        ASSERT_TRUE(refused) << path;
        EXPECT_EQ(refused->status, 403) << path;
        EXPECT_EQ(refused->body.find("PDC"), std::string::npos);
        EXPECT_EQ(Get(path + "?token=" + token.substr(0, 31) + "x")->status, 403) << path;
        EXPECT_EQ(Get(path, {{"X-Velpo-Token", token + "x"}})->status, 403) << path;
    }
    EXPECT_EQ(Get("/api/frames/1/info?token=" + token)->status, 200);
    EXPECT_EQ(Get("/api/frames/1/info", {{"X-Velpo-Token", token}})->status, 200);
    // The page, fetched with the token, sets the cookie that admits later
    // requests, from any host name.
    const httplib::Result page = Get("/?token=" + token);
    ASSERT_TRUE(page);
    const std::string cookie = page->get_header_value("Set-Cookie");
    EXPECT_EQ(cookie.rfind("velpo-token=" + token + ";", 0), 0u) << cookie;
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
    EXPECT_EQ(
        Get("/api/sequence", {{"Cookie", "velpo-token=" + token}, {"Host", "farm12.example:8123"}})
            ->status,
        200);
}

TEST_F(ViewServerTest, WithoutBindOnlyLoopbackHostNamesAreAnswered) {
    Serve();
    EXPECT_EQ(server_->Token(), "");
    EXPECT_EQ(Get("/api/sequence", {{"Host", "localhost:1234"}})->status, 200);
    EXPECT_EQ(Get("/api/sequence", {{"Host", "rebound.example"}})->status, 403);
    EXPECT_EQ(Get("/", {{"Host", "127.0.0.1.rebound.example"}})->status, 403);
}

TEST_F(ViewServerTest, APortInUseIsRefusedByNumberAndStopEndsServing) {
    Serve();
    CViewOptions options;
    options.port = server_->Port();
    CViewServer second({{1, FileOf(1)}}, options);
    const Velpo::CResult started = second.Start();
    ASSERT_FALSE(started);
    EXPECT_NE(started.Message().find(std::to_string(server_->Port())), std::string::npos)
        << started.Message();
    // A client keeps a connection open; stopping still ends, and the port
    // answers no more.
    httplib::Client client = Client();
    client.set_keep_alive(true);
    ASSERT_TRUE(client.Get("/api/sequence"));
    std::thread waiting([this] { server_->Wait(); });
    server_->Stop();
    waiting.join();
    EXPECT_FALSE(Get("/api/sequence"));
    server_->Stop();  // twice is fine
}

}  // namespace
}  // namespace VelpoTools
