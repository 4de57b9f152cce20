// A cache written by VelpoExport, counted by VelpoImport and read back by
// VelpoSetData gives every point its values back exactly, whatever subsets
// and threads the host uses on either side.
#include <gtest/gtest.h>

#include <climits>

#include "plugin/Ports.h"
#include "tests/nodes/NodeTestSupport.h"

using namespace VelpoTest;

namespace {

constexpr uint32_t N = 3001;
constexpr int32_t Frame = 3;
constexpr int32_t Step = 250;

// Which ports carry one value per point, one constant, or nothing.
enum class CFeed { PerPoint, Constant, Unconnected };

CFeed FloatFeed(int i) {
    return i == 4 ? CFeed::Constant : i == 7 ? CFeed::Unconnected : CFeed::PerPoint;
}
CFeed LongFeed(int i) {
    return i == 2 ? CFeed::Constant : CFeed::PerPoint;
}
CFeed VectorFeed(int i) {
    return i == 3 ? CFeed::Constant : i == 9 ? CFeed::Unconnected : CFeed::PerPoint;
}

// The value point p is given on each port; constants ignore p.
CVector3f PositionOf(uint32_t p) {
    return {p * 0.25f - 100.0f, -1.5f * p, p * 1e-3f + 0.1f};
}
int32_t IdOf(uint32_t p) {
    return static_cast<int32_t>(p) * 7 - 5;
}
float FloatOf(int i, uint32_t p) {
    if (FloatFeed(i) == CFeed::Constant)
        return 3.75f;
    if (FloatFeed(i) == CFeed::Unconnected)
        return 0.0f;
    return static_cast<float>(i) + p * 0.125f * static_cast<float>(i + 1) - 17.3f;
}
int32_t LongOf(int i, uint32_t p) {
    if (LongFeed(i) == CFeed::Constant)
        return -42;
    if (i == 0 && p == 0)
        return INT32_MIN;
    if (i == 0 && p == 1)
        return INT32_MAX;
    const int32_t value = static_cast<int32_t>(p) * 131 + i;
    return i % 2 ? -value : value;
}
CVector3f VectorOf(int i, uint32_t p) {
    if (VectorFeed(i) == CFeed::Constant)
        return {1.0f, 2.0f, 3.0f};
    if (VectorFeed(i) == CFeed::Unconnected)
        return {};
    return {static_cast<float>(p + i), -0.5f * p, 0.1f * static_cast<float>(i)};
}

template <class T, class Make>
CInput Feed(CFeed feed, Make make) {
    if (feed == CFeed::Constant) {
        return CInput::Constant(make(0));
    }
    std::vector<T> values(N);
    for (uint32_t p = 0; p < N; ++p) {
        values[p] = make(p);
    }
    return CInput::PerElement(std::move(values));
}

CNodeInstance MakeExport(uint32_t scop) {
    CNodeInstance node(Plugin(), "VelpoExport");
    node.Connect(PortScop, CInput::Constant(static_cast<int32_t>(scop)));
    node.Connect(PortFrame, CInput::Constant(Frame));
    node.Connect(PortCount, CInput::Constant(static_cast<int32_t>(N)));
    node.Connect(PortInPosition, Feed<CVector3f>(CFeed::PerPoint, PositionOf));
    node.Connect(PortId, Feed<int32_t>(CFeed::PerPoint, IdOf));
    for (int i = 0; i < 10; ++i) {
        if (FloatFeed(i) != CFeed::Unconnected) {
            node.Connect(PortFloatBase + i,
                         Feed<float>(FloatFeed(i), [i](uint32_t p) { return FloatOf(i, p); }));
        }
        if (VectorFeed(i) != CFeed::Unconnected) {
            node.Connect(PortVectorBase + i, Feed<CVector3f>(VectorFeed(i), [i](uint32_t p) {
                             return VectorOf(i, p);
                         }));
        }
    }
    for (int i = 0; i < 5; ++i) {
        node.Connect(PortLongBase + i,
                     Feed<int32_t>(LongFeed(i), [i](uint32_t p) { return LongOf(i, p); }));
    }
    return node;
}

struct CSplit {
    uint32_t subsetSize;
    uint32_t threads;

    std::string Text() const {
        return "subset " + std::to_string(subsetSize) + ", threads " + std::to_string(threads);
    }
};

const CSplit Splits[] = {{4096, 1}, {7, 1}, {7, 4}, {64, 4}, {1000, 4}, {2, 4}, {3000, 4}};

// Values of every port that differ from what MakeExport fed it.
uint32_t Mismatches(const VelpoHost::CEvaluationResult& result) {
    uint32_t mismatches = 0;
    for (uint32_t p = 0; p < N; ++p) {
        mismatches += Vectors(result, PortPosition)[p] != PositionOf(p);
        mismatches += Longs(result, PortId)[p] != IdOf(p);
        for (int i = 0; i < 10; ++i) {
            mismatches += Floats(result, PortFloatBase + i)[p] != FloatOf(i, p);
            mismatches += Vectors(result, PortVectorBase + i)[p] != VectorOf(i, p);
        }
        for (int i = 0; i < 5; ++i) {
            mismatches += Longs(result, PortLongBase + i)[p] != LongOf(i, p);
        }
    }
    return mismatches;
}

// Every output of VelpoSetData over the N points of the frame.
VelpoHost::CEvaluationResult ReadBack(uint32_t scop) {
    CNodeInstance reader(Plugin(), "VelpoSetData");
    reader.Connect(PortScop, CInput::Constant(static_cast<int32_t>(scop)));
    reader.Connect(PortFrame, CInput::Constant(Frame));
    reader.Connect(PortInPosition, CInput::PerElement(std::vector<CVector3f>(N)));
    return reader.Evaluate();
}

class RoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        TakeLog();
        // A "Path" naming a file of the sequence gives the same stem.
        scop_ = MakeSettings(folder_ / "cache.1.pdc", Step, AllNames());
    }

    std::string CacheName() const { return folder_ / "cache.750.pdc"; }

    CScratchFolder folder_;
    uint32_t scop_ = 0;
};

TEST_F(RoundTrip, ExportWritesTheSameBytesWhateverTheSplit) {
    CNodeInstance node = MakeExport(scop_);
    std::vector<uint8_t> first;
    for (const CSplit& split : Splits) {
        SCOPED_TRACE(split.Text());
        const auto result = node.Evaluate(Split(split.subsetSize, split.threads));
        ASSERT_TRUE(Clean(result)) << result.status.Message();
        EXPECT_TRUE(TakeLog().empty());
        EXPECT_EQ(node.UserData().GetAsPointer(), nullptr);
        // Position is handed on unchanged.
        const auto& positions = Vectors(result, PortPosition);
        ASSERT_EQ(positions.size(), N);
        for (uint32_t p = 0; p < N; p += 97) {
            EXPECT_EQ(positions[p], PositionOf(p));
        }
        EXPECT_EQ(folder_.Files(), std::vector<std::string>{"cache.750.pdc"});
        const std::vector<uint8_t> bytes = ReadBytes(CacheName());
        if (first.empty()) {
            first = bytes;
        } else {
            EXPECT_TRUE(bytes == first);
        }
    }
}

TEST_F(RoundTrip, FileHoldsEveryRecordInSlotOrderInItsForm) {
    CNodeInstance node = MakeExport(scop_);
    ASSERT_TRUE(Clean(node.Evaluate(Split(500, 4))));
    const CParsedPdc file = ParsePdc(ReadBytes(CacheName()));
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(file.particleCount, static_cast<int32_t>(N));
    EXPECT_EQ(file.attributeCount, 27);

    std::vector<std::pair<std::string, int32_t>> expected;
    for (int i = 0; i < 10; ++i) {
        expected.emplace_back("float" + std::to_string(i), FloatFeed(i) == CFeed::PerPoint ? 3 : 2);
    }
    expected.emplace_back("id", 3);
    for (int i = 0; i < 5; ++i) {
        expected.emplace_back("long" + std::to_string(i), LongFeed(i) == CFeed::PerPoint ? 3 : 2);
    }
    expected.emplace_back("position", 5);
    for (int i = 0; i < 10; ++i) {
        expected.emplace_back("vector" + std::to_string(i),
                              VectorFeed(i) == CFeed::PerPoint ? 5 : 4);
    }
    ASSERT_EQ(file.records.size(), expected.size());
    for (size_t r = 0; r < expected.size(); ++r) {
        EXPECT_EQ(file.records[r].name, expected[r].first);
        EXPECT_EQ(file.records[r].code, expected[r].second) << expected[r].first;
    }
    EXPECT_EQ(file.Find("long0")->values[0], static_cast<double>(INT32_MIN));
    EXPECT_EQ(file.Find("float4")->values, std::vector<double>{3.75});
}

TEST_F(RoundTrip, ImportCountsAndSetDataGivesEveryValueBack) {
    CNodeInstance exporter = MakeExport(scop_);
    ASSERT_TRUE(Clean(exporter.Evaluate()));

    CNodeInstance importer(Plugin(), "VelpoImport");
    importer.Connect(PortImportScop, CInput::Constant(static_cast<int32_t>(scop_)));
    importer.Connect(PortFrame, CInput::Constant(Frame));
    const auto imported = importer.Evaluate();
    ASSERT_TRUE(Clean(imported)) << imported.status.Message();
    EXPECT_EQ(imported.elementCount, N);
    EXPECT_EQ(Longs(imported, PortNumberOfElements), std::vector<int32_t>{static_cast<int32_t>(N)});

    CNodeInstance reader(Plugin(), "VelpoSetData");
    reader.Connect(PortScop, CInput::Constant(static_cast<int32_t>(scop_)));
    reader.Connect(PortFrame, CInput::Constant(Frame));
    reader.Connect(PortInPosition,
                   CInput::PerElement(std::vector<CVector3f>(imported.elementCount)));
    for (const CSplit& split : Splits) {
        SCOPED_TRACE(split.Text());
        const auto result = reader.Evaluate(Split(split.subsetSize, split.threads));
        ASSERT_TRUE(Clean(result)) << result.status.Message();
        EXPECT_EQ(result.outputs.size(), 27u);
        EXPECT_EQ(reader.UserData().GetAsPointer(), nullptr);
        EXPECT_EQ(Mismatches(result), 0u);
    }
    EXPECT_TRUE(TakeLog().empty());
}

// Settings that give two ports one name, or a port the name "id" or
// "position", write records of the same name; each comes back to its port.
TEST_F(RoundTrip, PortsNamedAlikeGetTheirOwnValuesBack) {
    std::map<std::string, std::string> names = AllNames();
    names["Float1"] = names["Float0"];
    names["Float2"] = "id";
    names["Long0"] = "id";
    names["Long3"] = names["Long1"];
    names["Vector0"] = "position";
    names["Vector5"] = names["Vector4"];
    const uint32_t scop = MakeSettings(folder_ / "alike", Step, names);
    CNodeInstance exporter = MakeExport(scop);
    ASSERT_TRUE(Clean(exporter.Evaluate()));
    const auto result = ReadBack(scop);
    ASSERT_TRUE(Clean(result)) << result.status.Message();
    EXPECT_EQ(Mismatches(result), 0u);
    EXPECT_TRUE(TakeLog().empty());
}

// Two exports of one frame: the second replaces the first whole.
TEST_F(RoundTrip, SecondEvaluationReplacesTheFile) {
    CNodeInstance node = MakeExport(scop_);
    ASSERT_TRUE(Clean(node.Evaluate()));
    node.Connect(PortCount, CInput::Constant(int32_t{10}));
    node.Connect(PortInPosition, CInput::PerElement(std::vector<CVector3f>(10, {5, 6, 7})));
    node.Disconnect(PortId);
    for (int i = 0; i < 10; ++i) {
        node.Disconnect(PortFloatBase + i);
        node.Disconnect(PortVectorBase + i);
    }
    for (int i = 0; i < 5; ++i) {
        node.Disconnect(PortLongBase + i);
    }
    ASSERT_TRUE(Clean(node.Evaluate()));
    const CParsedPdc file = ParsePdc(ReadBytes(CacheName()));
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(file.particleCount, 10);
    EXPECT_EQ(file.Find("position")->values.size(), 30u);
    EXPECT_EQ(file.Find("id")->code, 2);
}

}  // namespace
