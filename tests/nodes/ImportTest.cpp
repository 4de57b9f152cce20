// VelpoImport: the element count it gives for the file of the frame, and
// for files and settings that give none.
#include <gtest/gtest.h>

#include "plugin/Ports.h"
#include "tests/nodes/NodeTestSupport.h"

using namespace VelpoTest;

namespace {

class Import : public ::testing::Test {
protected:
    void SetUp() override { TakeLog(); }

    // Evaluates an Import node and checks it ran cleanly and agrees with
    // itself: as many elements as NumberOfElements says.
    uint32_t Count(std::optional<int32_t> scop, int32_t frame = 1) {
        CNodeInstance node(Plugin(), "VelpoImport");
        if (scop) {
            node.Connect(PortImportScop, CInput::Constant(*scop));
        }
        node.Connect(PortFrame, CInput::Constant(frame));
        const auto result = node.Evaluate();
        EXPECT_TRUE(Clean(result)) << result.status.Message();
        if (!result.status) {
            return UINT32_MAX;
        }
        EXPECT_EQ(Longs(result, PortNumberOfElements),
                  std::vector<int32_t>{static_cast<int32_t>(result.elementCount)});
        // Position gets its count of elements and no values.
        EXPECT_EQ(Vectors(result, PortPosition).size(), result.elementCount);
        return result.elementCount;
    }

    CScratchFolder folder_;
};

// Headers as they come, whole or cut short.
struct CHeaderCase {
    const char* label;
    std::vector<uint8_t> bytes;
    uint32_t elements;
    bool cut = false;  // reported as unreadable, though it may still count
};

// Printed as its label in failures.
void PrintTo(const CHeaderCase& c, std::ostream* out) {
    *out << c.label;
}

std::vector<uint8_t> Cut(std::vector<uint8_t> bytes, size_t size) {
    bytes.resize(size);
    return bytes;
}

std::vector<uint8_t> OtherFormat() {
    std::vector<uint8_t> bytes = CPdcBytes().Header(7, 0).Bytes();
    bytes[0] = 'X';
    return bytes;
}

class ImportHeader : public Import, public ::testing::WithParamInterface<CHeaderCase> {};

TEST_P(ImportHeader, CountsTheHeadersParticles) {
    const CHeaderCase& c = GetParam();
    WriteBytes(folder_ / "h.250.pdc", c.bytes);
    const uint32_t scop = MakeSettings(folder_ / "h", 250);
    EXPECT_EQ(Count(static_cast<int32_t>(scop)), c.elements);
    const auto log = TakeLog();
    if (!c.cut) {
        EXPECT_TRUE(log.empty());
        return;
    }
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, "VelpoImport: Cannot Read " + folder_ / "h.250.pdc");
    EXPECT_EQ(log[0].severity, XSI::siErrorMsg);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImportHeader,
    ::testing::Values(
        CHeaderCase{"FiveHundred", CPdcBytes().Header(500, 2).Bytes(), 500},
        CHeaderCase{"Zero", CPdcBytes().Header(0, 2).Bytes(), 0},
        CHeaderCase{"OtherFormat", OtherFormat(), 7},
        // Cut inside attributeCount: particleCount was read.
        CHeaderCase{"TwentyFourBytes", Cut(CPdcBytes().Header(9, 2).Bytes(), 24), 9, true},
        CHeaderCase{"TwentySevenBytes", Cut(CPdcBytes().Header(9, 2).Bytes(), 27), 9, true},
        // Cut before particleCount: no particles.
        CHeaderCase{"TwentyThreeBytes", Cut(CPdcBytes().Header(9, 2).Bytes(), 23), 0, true},
        CHeaderCase{"Empty", {}, 0, true},
        CHeaderCase{"Negative", CPdcBytes().Header(-3, 2).Bytes(), 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(Import, NamesTheFileByFrameAndStep) {
    WriteBytes(folder_ / "seq.500.pdc", CPdcBytes().Header(12, 0).Bytes());
    // "Path" naming another file of the sequence finds the same stem.
    const uint32_t scop = MakeSettings(folder_ / "seq.250.pdc", 250);
    EXPECT_EQ(Count(static_cast<int32_t>(scop), 2), 12u);
    EXPECT_TRUE(TakeLog().empty());
}

TEST_F(Import, MissingFileIsReportedWithItsFullName) {
    const uint32_t scop = MakeSettings(folder_ / "none", 250);
    EXPECT_EQ(Count(static_cast<int32_t>(scop), 3), 0u);
    const auto log = TakeLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, "VelpoImport: Cannot Read " + folder_ / "none.750.pdc");
    EXPECT_EQ(log[0].severity, XSI::siErrorMsg);
}

TEST_F(Import, EmptyPathGivesNothingSilently) {
    const uint32_t scop = MakeSettings("", 250);
    EXPECT_EQ(Count(static_cast<int32_t>(scop)), 0u);
    EXPECT_TRUE(TakeLog().empty());
}

// Unconnected, Scop serves 9999; that names nothing unless someone made it.
TEST_F(Import, UnconnectedScopReadsObject9999) {
    VelpoHost::CObjectTable::Instance().Remove(9999);
    EXPECT_EQ(Count(std::nullopt), 0u);
    const auto log = TakeLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, "VelpoImport: Error, VelpoOperator not connected");
    EXPECT_EQ(log[0].severity, XSI::siErrorMsg);

    WriteBytes(folder_ / "x.1.pdc", CPdcBytes().Header(3, 0).Bytes());
    MakeSettings(folder_ / "x", 1, {}, 9999);
    EXPECT_EQ(Count(std::nullopt), 3u);
    EXPECT_TRUE(TakeLog().empty());
    VelpoHost::CObjectTable::Instance().Remove(9999);
}

}  // namespace
