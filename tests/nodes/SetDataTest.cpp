// VelpoSetData: what each output gives for the file of the frame, for files
// of other tools, and when points and particles do not agree.
#include <gtest/gtest.h>

#include "plugin/Ports.h"
#include "tests/nodes/NodeTestSupport.h"

using namespace VelpoTest;

namespace {

class SetData : public ::testing::Test {
protected:
    void SetUp() override { TakeLog(); }

    CEvaluationResult Read(std::optional<uint32_t> scop, uint32_t points, uint32_t subsetSize = 4,
                           uint32_t threads = 2, int32_t frame = 1) {
        CNodeInstance node(Plugin(), "VelpoSetData");
        if (scop) {
            node.Connect(PortScop, CInput::Constant(static_cast<int32_t>(*scop)));
        }
        node.Connect(PortFrame, CInput::Constant(frame));
        node.Connect(PortInPosition, CInput::PerElement(std::vector<CVector3f>(points)));
        CEvaluationResult result = node.Evaluate(Split(subsetSize, threads));
        EXPECT_TRUE(Clean(result)) << result.status.Message();
        EXPECT_EQ(node.UserData().GetAsPointer(), nullptr);
        return result;
    }

    CScratchFolder folder_;
};

// A file as another tool writes it: integer records, single values, a
// record only a Float slot named "unknown" takes, and doubles for an
// integer slot.
std::vector<uint8_t> ForeignFile() {
    CPdcBytes file;
    file.Header(3, 6);
    file.Name("id").Int(1).Int(10).Int(-20).Int(30);  // integers, per particle
    file.Name("count").Int(0).Int(77);                // one integer
    file.Name("unknown").Int(3).Double(1).Double(2).Double(3);
    file.Name("position").Int(5);
    for (int p = 0; p < 3; ++p) {
        file.Double(p).Double(p + 0.5).Double(-p);
    }
    file.Name("age").Int(3).Double(-2.9).Double(2.9).Double(1e9);
    file.Name("wind").Int(4).Double(1).Double(2).Double(3);
    return file.Bytes();
}

TEST_F(SetData, ReadsAnotherToolsIntegerAndSingleValueRecords) {
    WriteBytes(folder_ / "f.1.pdc", ForeignFile());
    const uint32_t scop = MakeSettings(folder_ / "f", 1,
                                       {{"Long0", "count"},
                                        {"Long1", "age"},
                                        {"Vector4", "wind"},
                                        {"Float2", "unknown"},
                                        {"Float3", "missing"}});
    const CEvaluationResult result = Read(scop, 3);
    EXPECT_EQ(Longs(result, PortId), (std::vector<int32_t>{10, -20, 30}));
    EXPECT_EQ(Longs(result, PortLongBase + 0), (std::vector<int32_t>{77, 77, 77}));
    EXPECT_EQ(Longs(result, PortLongBase + 1), (std::vector<int32_t>{-2, 2, 1000000000}));
    EXPECT_EQ(Floats(result, PortFloatBase + 2), (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(Floats(result, PortFloatBase + 3), (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(Vectors(result, PortVectorBase + 4), std::vector<CVector3f>(3, {1, 2, 3}));
    EXPECT_EQ(Vectors(result, PortPosition)[2], CVector3f(2, 2.5f, -2));
    EXPECT_TRUE(TakeLog().empty());
}

// Names that two slots share, or that fit a slot of another type.
TEST_F(SetData, ARecordGoesToTheFirstSlotOfItsNameAndType) {
    WriteBytes(folder_ / "f.1.pdc", ForeignFile());
    const uint32_t scop = MakeSettings(folder_ / "f", 1, {{"Float3", "position"}, {"Long0", "id"}});
    const CEvaluationResult result = Read(scop, 3);
    EXPECT_EQ(Floats(result, PortFloatBase + 3), (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(Vectors(result, PortPosition)[1], CVector3f(1, 1.5f, -1));
    EXPECT_EQ(Longs(result, PortLongBase + 0), (std::vector<int32_t>{0, 0, 0}));
    EXPECT_EQ(Longs(result, PortId), (std::vector<int32_t>{10, -20, 30}));
}

// Points past the file's particles get zero from array records and the
// single value from single-value records, however the points are split.
TEST_F(SetData, PointsPastTheParticlesGetZeroWhateverTheSplit) {
    WriteBytes(folder_ / "f.1.pdc", ForeignFile());
    const uint32_t scop = MakeSettings(folder_ / "f", 1, {{"Long0", "count"}});
    const struct {
        uint32_t subsetSize, threads;
    } splits[] = {{1, 1}, {2, 4}, {3, 2}, {4, 1}, {100, 1}};
    for (const auto& split : splits) {
        SCOPED_TRACE("subset " + std::to_string(split.subsetSize));
        const CEvaluationResult result = Read(scop, 8, split.subsetSize, split.threads);
        EXPECT_EQ(Longs(result, PortId), (std::vector<int32_t>{10, -20, 30, 0, 0, 0, 0, 0}));
        EXPECT_EQ(Longs(result, PortLongBase), std::vector<int32_t>(8, 77));
        EXPECT_EQ(Vectors(result, PortPosition)[7], CVector3f());
    }
}

TEST_F(SetData, FewerPointsThanParticlesTakeTheFirstParticles) {
    WriteBytes(folder_ / "f.1.pdc", ForeignFile());
    const uint32_t scop = MakeSettings(folder_ / "f", 1);
    EXPECT_EQ(Longs(Read(scop, 2), PortId), (std::vector<int32_t>{10, -20}));
}

// Files that hold no values for any point. One that reads whole gives
// zeros; one that does not leaves no record, and the outputs untouched.
struct CEmptyCase {
    const char* label;
    std::vector<uint8_t> bytes;
    bool damaged;  // cannot be read whole: reported, outputs left alone
};

// Printed as its label in failures.
void PrintTo(const CEmptyCase& c, std::ostream* out) {
    *out << c.label;
}

std::vector<uint8_t> NoParticles() {
    CPdcBytes file;
    file.Header(0, 2).Name("id").Int(3).Name("position").Int(5);
    return file.Bytes();
}

std::vector<uint8_t> CutInsideARecord() {
    std::vector<uint8_t> bytes = ForeignFile();
    bytes.resize(bytes.size() - 5);
    return bytes;
}

class SetDataEmpty : public SetData, public ::testing::WithParamInterface<CEmptyCase> {};

// Files without particles give zeros quietly; a damaged file leaves the
// outputs alone and says so.
TEST_P(SetDataEmpty, GivesZerosOrReportsTheDamage) {
    WriteBytes(folder_ / "e.1.pdc", GetParam().bytes);
    const uint32_t scop = MakeSettings(folder_ / "e", 1, {{"Long1", "age"}});
    const CEvaluationResult result = Read(scop, 5);
    EXPECT_EQ(result.outputs.size(), 27u);
    const auto log = TakeLog();
    if (!GetParam().damaged) {
        EXPECT_EQ(Longs(result, PortId), std::vector<int32_t>(5, 0));
        EXPECT_EQ(Longs(result, PortLongBase + 1), std::vector<int32_t>(5, 0));
        EXPECT_EQ(Vectors(result, PortPosition), std::vector<CVector3f>(5));
        EXPECT_TRUE(log.empty());
        return;
    }
    EXPECT_TRUE(result.acquiredOutputs.empty());
    EXPECT_TRUE(Untouched(result, PortId));
    EXPECT_TRUE(Untouched(result, PortLongBase + 1));
    EXPECT_TRUE(Untouched(result, PortPosition));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, "VelpoSetData: Cannot Read " + folder_ / "e.1.pdc");
    EXPECT_EQ(log[0].severity, XSI::siErrorMsg);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetDataEmpty,
    ::testing::Values(CEmptyCase{"NoParticles", NoParticles(), false},
                      CEmptyCase{"NoRecords", CPdcBytes().Header(5, 0).Bytes(), false},
                      CEmptyCase{"ShortHeader", {'P', 'D', 'C'}, true},
                      CEmptyCase{"CutInsideARecord", CutInsideARecord(), true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(SetData, NamesTheFileByFrameAndStep) {
    WriteBytes(folder_ / "p.500.pdc", ForeignFile());
    const uint32_t scop = MakeSettings(folder_ / "p.250.pdc", 250);
    EXPECT_EQ(Longs(Read(scop, 3, 4, 2, 2), PortId), (std::vector<int32_t>{10, -20, 30}));
    EXPECT_TRUE(TakeLog().empty());
}

TEST_F(SetData, MissingFileIsReportedWithItsFullName) {
    const uint32_t scop = MakeSettings(folder_ / "none", 250);
    const CEvaluationResult result = Read(scop, 3, 4, 2, 2);
    EXPECT_TRUE(result.acquiredOutputs.empty());
    EXPECT_TRUE(Untouched(result, PortId));
    const auto log = TakeLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, "VelpoSetData: Cannot Read " + folder_ / "none.500.pdc");
    EXPECT_EQ(log[0].severity, XSI::siErrorMsg);
}

TEST_F(SetData, EmptyPathGivesNothingSilently) {
    const CEvaluationResult result = Read(MakeSettings("", 1), 3);
    EXPECT_TRUE(result.acquiredOutputs.empty());
    EXPECT_TRUE(Untouched(result, PortPosition));
    EXPECT_TRUE(TakeLog().empty());
}

TEST_F(SetData, UnconnectedScopReadsObject4) {
    VelpoHost::CObjectTable::Instance().Remove(4);
    EXPECT_TRUE(Read(std::nullopt, 3).acquiredOutputs.empty());
    const auto log = TakeLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, "VelpoSetData: Error, VelpoImportOperator not connected");
    EXPECT_EQ(log[0].severity, XSI::siErrorMsg);

    WriteBytes(folder_ / "f.1.pdc", ForeignFile());
    MakeSettings(folder_ / "f", 1, {}, 4);
    EXPECT_EQ(Longs(Read(std::nullopt, 3), PortId), (std::vector<int32_t>{10, -20, 30}));
    EXPECT_TRUE(TakeLog().empty());
    VelpoHost::CObjectTable::Instance().Remove(4);
}

TEST_F(SetData, ReadsTheSettingsAgainEveryEvaluation) {
    WriteBytes(folder_ / "f.1.pdc", ForeignFile());
    const uint32_t scop = MakeSettings(folder_ / "f", 1, {{"Vector0", "wind"}});
    EXPECT_EQ(Vectors(Read(scop, 3), PortVectorBase)[0], CVector3f(1, 2, 3));
    auto object = VelpoHost::CObjectTable::Instance().Find(scop);
    object->SetParameter("Vector0", XSI::CValue(XSI::CString(L"")));
    object->SetParameter("Long4", XSI::CValue(XSI::CString(L"count")));
    const CEvaluationResult result = Read(scop, 3);
    EXPECT_EQ(Vectors(result, PortVectorBase)[0], CVector3f());
    EXPECT_EQ(Longs(result, PortLongBase + 4), std::vector<int32_t>(3, 77));
}

}  // namespace
