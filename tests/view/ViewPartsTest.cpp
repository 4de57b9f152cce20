// The parts of the view server on their own: the stable subset, the access
// rules, record keys, gaps of a pattern, the points of a frame and the
// values of a picked particle.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <set>

#include "tests/support/FileContents.h"
#include "tests/support/ScratchFolder.h"
#include "tests/view/ViewTestSupport.h"
#include "tools/view/FramePoints.h"
#include "tools/view/PickedParticle.h"
#include "tools/view/RecordKey.h"
#include "tools/view/StableSubset.h"
#include "tools/view/ViewAccess.h"
#include "tools/view/ViewSequence.h"

namespace VelpoTools {
namespace {

using VelpoTestSupport::CScratchFolder;
using VelpoViewTest::CTestFrame;
using VelpoViewTest::SimpleFrame;
using VelpoViewTest::WriteFrame;

std::vector<uint32_t> KeysOfIds(const std::vector<int64_t>& ids) {
    std::vector<uint32_t> keys;
    for (const int64_t id : ids) {
        keys.push_back(IdKey(id));
    }
    return keys;
}

std::set<int64_t> ChosenIds(const std::vector<int64_t>& ids, int64_t budget) {
    std::set<int64_t> chosen;
    for (const int64_t index : StableSubset(KeysOfIds(ids), budget)) {
        chosen.insert(ids[static_cast<size_t>(index)]);
    }
    return chosen;
}

TEST(StableSubset, TakesExactlyTheBudgetInIndexOrder) {
    std::vector<int64_t> ids(1000);
    for (size_t i = 0; i < ids.size(); ++i) {
        ids[i] = static_cast<int64_t>(i) + 1;
    }
    for (const int64_t budget : {0, 1, 250, 999, 1000, 5000}) {
        const std::vector<int64_t> chosen = StableSubset(KeysOfIds(ids), budget);
        EXPECT_EQ(chosen.size(), static_cast<size_t>(std::min<int64_t>(budget, 1000))) << budget;
        EXPECT_TRUE(std::is_sorted(chosen.begin(), chosen.end())) << budget;
        EXPECT_EQ(std::set<int64_t>(chosen.begin(), chosen.end()).size(), chosen.size());
    }
}

TEST(StableSubset, KeepsTheSameParticlesWhereverTheyAreInTheFile) {
    std::vector<int64_t> ids(4000);
    for (size_t i = 0; i < ids.size(); ++i) {
        ids[i] = static_cast<int64_t>(i) * 7 + 3;
    }
    const std::set<int64_t> before = ChosenIds(ids, 1000);
    std::reverse(ids.begin(), ids.end());
    std::rotate(ids.begin(), ids.begin() + 1234, ids.end());
    EXPECT_EQ(ChosenIds(ids, 1000), before);
    // A few particles born and a few dying keep nearly all of the others.
    ids.resize(3900);
    for (int64_t id = 100000; id < 100100; ++id) {
        ids.push_back(id);
    }
    const std::set<int64_t> after = ChosenIds(ids, 1000);
    size_t kept = 0;
    for (const int64_t id : after) {
        kept += before.count(id);
    }
    EXPECT_GT(kept, 930u);
}

TEST(StableSubset, SpreadsEvenlyOverConsecutiveIds) {
    std::vector<int64_t> ids(10000);
    for (size_t i = 0; i < ids.size(); ++i) {
        ids[i] = static_cast<int64_t>(i);
    }
    const std::vector<int64_t> chosen = StableSubset(KeysOfIds(ids), 1000);
    // Each tenth of the ids holds about a tenth of the subset.
    std::vector<int> perTenth(10, 0);
    for (const int64_t index : chosen) {
        ++perTenth[static_cast<size_t>(index / 1000)];
    }
    for (const int count : perTenth) {
        EXPECT_GT(count, 60);
        EXPECT_LT(count, 140);
    }
}

TEST(StableSubset, EqualKeysFillTheBudgetLowestIndexFirst) {
    const std::vector<uint32_t> keys{5, 1, 5, 5, 0, 5};
    EXPECT_EQ(StableSubset(keys, 3), (std::vector<int64_t>{0, 1, 4}));
    EXPECT_EQ(StableSubset(keys, 4), (std::vector<int64_t>{0, 1, 2, 4}));
}

TEST(StableSubset, IdsStoredAsDoublesKeyLikeIntegers) {
    for (const int64_t id : {0, 1, -1, 2147483647, -2147483647 - 1}) {
        EXPECT_EQ(IdKey(static_cast<double>(id)), IdKey(id)) << id;
    }
    EXPECT_NE(IdKey(0.5), IdKey(int64_t{0}));
    EXPECT_EQ(IdKey(std::nan("")), IdKey(std::nan("")));
}

TEST(ViewAccess, LoopbackHostsAreTheOnlyOnesAllowedWithoutToken) {
    const std::vector<std::pair<std::string, bool>> hosts{{"127.0.0.1", true},
                                                          {"127.0.0.1:8123", true},
                                                          {"localhost:80", true},
                                                          {"LocalHost", true},
                                                          {"[::1]:9000", true},
                                                          {"[::1]", true},
                                                          {"127.1.2.3:1", true},
                                                          {"", false},
                                                          {"evil.example", false},
                                                          {"evil.example:8123", false},
                                                          {"127.0.0.1.evil.example", false},
                                                          {"localhost.evil", false},
                                                          {"[::2]:80", false},
                                                          {"127.0.0.1:80x", false},
                                                          {"[::1]:", false},
                                                          {"0.0.0.0", false},
                                                          {"10.0.0.1:8123", false}};
    for (const auto& [host, allowed] : hosts) {
        EXPECT_EQ(IsLoopbackHost(host), allowed) << host;
        const CAccess access = CheckAccess({false, ""}, {host, "", "", ""});
        EXPECT_EQ(access == CAccess::Allowed, allowed) << host;
    }
}

TEST(ViewAccess, TheTokenComesInTheQueryAHeaderOrTheCookie) {
    const CAccessRule rule{true, "0123456789abcdef0123456789abcdef"};
    const std::string good = rule.token;
    const std::string cookie = std::string(TokenCookie) + "=" + good;
    const std::vector<std::pair<CRequestCredentials, bool>> requests{
        {{"evil.example", good, "", ""}, true},
        {{"", "", good, ""}, true},
        {{"", "", "", cookie}, true},
        {{"", "", "", "a=b; " + cookie + "; c=d"}, true},
        {{"127.0.0.1", "", "", ""}, false},
        {{"", good.substr(1), "", ""}, false},
        {{"", good + "0", "", ""}, false},
        {{"", "", "", "x" + cookie}, false},
        {{"", "", "", std::string(TokenCookie) + "=" + good.substr(0, 31) + "0"}, false}};
    for (const auto& [request, allowed] : requests) {
        EXPECT_EQ(CheckAccess(rule, request) == CAccess::Allowed, allowed)
            << request.queryToken << "|" << request.headerToken << "|" << request.cookies;
    }
    // A rule whose token is empty admits nobody, whatever is sent.
    EXPECT_EQ(CheckAccess({true, ""}, {"", "", "", ""}), CAccess::NoToken);
}

TEST(ViewAccess, TokensAreNewAndLong) {
    const std::string a = NewToken();
    const std::string b = NewToken();
    EXPECT_EQ(a.size(), 32u);
    EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_NE(a, b);
}

TEST(RecordKey, EncodesEveryByteButThePlainOnes) {
    const std::vector<std::pair<std::string, std::string>> names{
        {"velocity", "velocity"},
        {"a b", "a%20b"},
        {"x/../y", "x%2F..%2Fy"},
        {"100%&?#+", "100%25%26%3F%23%2B"},
        {std::string("\xC3\xA9\xFF"), "%C3%A9%FF"},
        {"", ""},
        {"Az09-._~", "Az09-._~"}};
    for (const auto& [name, key] : names) {
        EXPECT_EQ(RecordKey(name), key) << name;
    }
}

TEST(ViewSequence, PatternGapsBecomeMissingFramesWithinTheLimit) {
    const std::vector<CSequenceFrame> found{{1, "f.1.pdc"}, {2, "f.2.pdc"}, {5, "f.5.pdc"}};
    const std::vector<CSequenceFrame> filled = WithGapsFilled("f.#.pdc", found, 100);
    std::vector<int32_t> numbers;
    for (const CSequenceFrame& frame : filled) {
        numbers.push_back(frame.frame);
    }
    EXPECT_EQ(numbers, (std::vector<int32_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(filled[2].file, "f.3.pdc");
    // Numbers that step by 250 leave out the numbers between steps.
    const std::vector<CSequenceFrame> stepped{{250, "a"}, {500, "b"}, {1000, "c"}};
    EXPECT_EQ(WithGapsFilled("f.#.pdc", stepped, 100).size(), 4u);
    // Beyond the limit only the frames found are listed.
    const std::vector<CSequenceFrame> far{{1, "a"}, {2, "b"}, {2000000, "c"}};
    EXPECT_EQ(WithGapsFilled("f.#.pdc", far, 1000).size(), 3u);
}

TEST(ViewSequence, KnowsEachFrameAndReadsAChangedOneAgain) {
    CScratchFolder scratch;
    WriteFrame(scratch / "f.1.pdc", SimpleFrame(4));
    VelpoTestSupport::WriteFile(scratch / "f.3.pdc", "PDC cut");
    CViewSequence sequence(
        {{1, scratch / "f.1.pdc"}, {2, scratch / "f.2.pdc"}, {3, scratch / "f.3.pdc"}});
    std::atomic<bool> stop{false};
    EXPECT_EQ(sequence.Refresh(stop), 3u);
    EXPECT_EQ(sequence.Refresh(stop), 0u);
    EXPECT_EQ(sequence.Frame(0).state, CFrameState::Readable);
    EXPECT_EQ(sequence.Frame(0).particleCount, 4);
    EXPECT_EQ(sequence.Frame(1).state, CFrameState::Missing);
    EXPECT_EQ(sequence.Frame(1).reason, "missing");
    EXPECT_EQ(sequence.Frame(2).state, CFrameState::Unreadable);
    EXPECT_NE(sequence.Frame(2).reason.find("unreadable"), std::string::npos);
    const nlohmann::ordered_json all = sequence.Changes(0);
    EXPECT_TRUE(all["complete"].get<bool>());
    const uint64_t generation = all["generation"];

    WriteFrame(scratch / "f.2.pdc", SimpleFrame(9));
    EXPECT_EQ(sequence.Refresh(stop), 1u);
    const nlohmann::ordered_json changes = sequence.Changes(generation);
    ASSERT_EQ(changes["frames"].size(), 1u);
    EXPECT_EQ(changes["frames"][0]["frame"], 2);
    EXPECT_EQ(changes["frames"][0]["particles"], 9);
    EXPECT_EQ(sequence.Find(3)->file, scratch / "f.3.pdc");
    EXPECT_FALSE(sequence.Find(4).has_value());
}

TEST(FramePoints, PositionsAndColourComeAsTheFileHoldsThem) {
    CScratchFolder scratch;
    CTestFrame frame = SimpleFrame(5);
    frame.ages[2] = std::nan("");
    frame.velocities[3 * 4] = 3.0;  // particle 4: (3, 0, 4) after the next line
    frame.velocities[3 * 4 + 2] = 4.0;
    WriteFrame(scratch / "f.pdc", frame);
    struct CCase {
        const char* record;
        CColourMode mode;
        std::vector<float> colour;
    };
    const float nan = std::nanf("");
    const std::vector<CCase> cases{
        {"", CColourMode::None, {}},
        {"age", CColourMode::Map, {0.0f, 0.1f, nan, 0.3f, 0.4f}},
        {"velocity", CColourMode::Map, {0, 1, 2, 3, 5}},
        {"velocity", CColourMode::Rgb, {0, 0, 0, 1, 0, 0, 2, 0, 0, 3, 0, 0, 3, 0, 4}}};
    for (const CCase& test : cases) {
        CFramePoints points;
        CPointsRequest request;
        request.colour = test.record;
        request.mode = test.mode;
        ASSERT_TRUE(ReadFramePoints(scratch / "f.pdc", request, points));
        EXPECT_FALSE(points.subset);
        const VelpoViewTest::CPayload payload =
            VelpoViewTest::ReadPayload(PointsPayload(points), points.colourComponents, false);
        ASSERT_TRUE(payload.valid) << test.record;
        EXPECT_EQ(payload.positions,
                  (std::vector<float>{0, 0, 0, 1, 2, -1, 2, 4, -2, 3, 6, -3, 4, 8, -4}));
        ASSERT_EQ(payload.colour.size(), test.colour.size()) << test.record;
        for (size_t i = 0; i < test.colour.size(); ++i) {
            if (std::isnan(test.colour[i])) {
                EXPECT_TRUE(std::isnan(payload.colour[i]));
            } else {
                EXPECT_EQ(payload.colour[i], test.colour[i]) << test.record << " " << i;
            }
        }
        const nlohmann::json header = nlohmann::json::parse(payload.headerText);
        EXPECT_EQ(header["particles"], 5);
        EXPECT_EQ(header["bounds"]["max"], (std::vector<double>{4, 8, 0}));
        if (std::string(test.record) == "age") {
            EXPECT_EQ(header["colour"]["nonFinite"], 1);
            EXPECT_EQ(header["colour"]["low"], 0.0);
            EXPECT_EQ(header["colour"]["high"], 0.4);
            EXPECT_EQ(header["colour"]["highText"], "0.4");
        }
    }
}

TEST(FramePoints, RefusesWhatCannotBeDrawnNamingTheFile) {
    CScratchFolder scratch;
    WriteFrame(scratch / "f.pdc", SimpleFrame(3));
    CTestFrame noPosition;
    VelpoTestSupport::WriteFile(scratch / "none.pdc", VelpoTestSupport::CPdcBytesIn<std::string>()
                                                          .Header(1, 1)
                                                          .Record("age", 3)
                                                          .Double(1)
                                                          .Bytes());
    const std::string cut = VelpoViewTest::FrameBytes(SimpleFrame(3));
    VelpoTestSupport::WriteFile(scratch / "cut.pdc", cut.substr(0, cut.size() - 5));
    const std::vector<std::pair<std::string, CPointsRequest>> cases{
        {"none.pdc", {"", CColourMode::None, 10}},
        {"cut.pdc", {"", CColourMode::None, 10}},
        {"absent.pdc", {"", CColourMode::None, 10}},
        {"f.pdc", {"age", CColourMode::Rgb, 10}},
        {"f.pdc", {"nosuch", CColourMode::Map, 10}}};
    for (const auto& [name, request] : cases) {
        CFramePoints points;
        const Velpo::CResult read = ReadFramePoints(scratch / name, request, points);
        EXPECT_FALSE(read) << name;
        EXPECT_NE(read.Message().find(scratch / name), std::string::npos) << read.Message();
    }
}

TEST(FramePoints, LargeFramesShowTheSameParticlesByIdFrameToFrame) {
    CScratchFolder scratch;
    CTestFrame frame = SimpleFrame(2000);
    WriteFrame(scratch / "a.pdc", frame);
    // The next frame: the same particles, moved and in reverse order.
    CTestFrame next;
    for (int32_t i = 1999; i >= 0; --i) {
        next.ids.push_back(frame.ids[static_cast<size_t>(i)]);
        next.positions.insert(next.positions.end(), {i + 0.5, 2.0 * i, -double(i)});
    }
    next.idsAsDoubles = false;
    WriteFrame(scratch / "b.pdc", next);
    CFramePoints a;
    CFramePoints b;
    ASSERT_TRUE(ReadFramePoints(scratch / "a.pdc", {"", CColourMode::None, 300}, a));
    ASSERT_TRUE(ReadFramePoints(scratch / "b.pdc", {"", CColourMode::None, 300}, b));
    ASSERT_TRUE(a.subset && a.byId && b.subset && b.byId);
    ASSERT_EQ(a.Shown(), 300u);
    ASSERT_EQ(b.Shown(), 300u);
    std::set<float> xa;
    std::set<float> xb;
    for (size_t k = 0; k < 300; ++k) {
        // Each shown point is the particle its index names.
        EXPECT_EQ(a.positions[3 * k], static_cast<float>(a.indices[k]));
        EXPECT_EQ(b.positions[3 * k], static_cast<float>(1999 - b.indices[k]) + 0.5f);
        xa.insert(a.positions[3 * k]);
        xb.insert(b.positions[3 * k] - 0.5f);
    }
    EXPECT_EQ(xa, xb);
}

TEST(PickedParticle, EveryRecordsValueAsTextThatReadsBack) {
    CScratchFolder scratch;
    CTestFrame frame = SimpleFrame(3);
    frame.ages[1] = 0.1 + 0.2;  // needs all 17 digits
    frame.velocities[3] = -std::numeric_limits<double>::infinity();
    frame.idsAsDoubles = false;
    WriteFrame(scratch / "f.pdc", frame);
    CPickedParticle picked;
    ASSERT_TRUE(PickParticle(scratch / "f.pdc", 1, picked));
    const nlohmann::ordered_json json = PickedJson(picked);
    EXPECT_EQ(json["id"], "2");
    ASSERT_EQ(json["records"].size(), 4u);
    EXPECT_EQ(json["records"][0]["values"], (std::vector<std::string>{"2"}));
    EXPECT_EQ(json["records"][1]["values"], (std::vector<std::string>{"0.30000000000000004"}));
    EXPECT_EQ(json["records"][2]["values"], (std::vector<std::string>{"1", "2", "-1"}));
    EXPECT_EQ(json["records"][3]["values"], (std::vector<std::string>{"-Infinity", "0", "0"}));
    EXPECT_EQ(json["records"][3]["key"], "velocity");

    for (const int64_t index : {int64_t{-1}, int64_t{3}, int64_t{1} << 40}) {
        const Velpo::CResult out = PickParticle(scratch / "f.pdc", index, picked);
        EXPECT_FALSE(out);
        EXPECT_TRUE(picked.noSuchParticle) << index;
        EXPECT_NE(out.Message().find("holds 3 particles"), std::string::npos) << out.Message();
    }
    const std::string bytes = VelpoViewTest::FrameBytes(frame);
    VelpoTestSupport::WriteFile(scratch / "cut.pdc", bytes.substr(0, bytes.size() - 1));
    EXPECT_FALSE(PickParticle(scratch / "cut.pdc", 0, picked));
    EXPECT_FALSE(picked.noSuchParticle);
}

// A frame cut at every offset is refused by every reading, with the file's
// name, and never read past its end (the sanitizer builds check that).
TEST(FramePoints, AFrameCutAnywhereIsRefusedByEveryReading) {
    CScratchFolder scratch;
    const std::string whole = VelpoViewTest::FrameBytes(SimpleFrame(3));
    const std::string file = scratch / "cut.pdc";
    for (size_t size = 0; size < whole.size(); ++size) {
        VelpoTestSupport::WriteFile(file, whole.substr(0, size));
        CFramePoints points;
        const Velpo::CResult read =
            ReadFramePoints(file, {"velocity", CColourMode::Rgb, 2}, points);
        EXPECT_FALSE(read) << size;
        EXPECT_NE(read.Message().find(file), std::string::npos) << size;
        // Cut right after the last record's name, the file is whole to
        // the readers, which take the records before it.
        const size_t nameOnly = whole.size() - 3 * 3 * 8 - 4;
        CPickedParticle picked;
        EXPECT_EQ(bool(PickParticle(file, 2, picked)), size == nameOnly) << size;
    }
    VelpoTestSupport::WriteFile(file, whole);
    CFramePoints points;
    EXPECT_TRUE(ReadFramePoints(file, {"velocity", CColourMode::Rgb, 2}, points));
    CPickedParticle picked;
    EXPECT_TRUE(PickParticle(file, 2, picked));
}

}  // namespace
}  // namespace VelpoTools
