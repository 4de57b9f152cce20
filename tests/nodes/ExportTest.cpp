// VelpoExport on its own: the file it writes for the settings and inputs it
// is given, and what it does when it cannot write.
#include <gtest/gtest.h>

#include <fstream>

#include "plugin/Ports.h"
#include "tests/nodes/NodeTestSupport.h"

using namespace VelpoTest;

namespace {

constexpr int32_t Error = XSI::siErrorMsg;

std::vector<CVector3f> Positions(uint32_t count) {
    std::vector<CVector3f> positions(count);
    for (uint32_t p = 0; p < count; ++p) {
        positions[p] = {static_cast<float>(p), 0.5f, -static_cast<float>(p)};
    }
    return positions;
}

std::vector<int32_t> Ids(uint32_t count, int32_t first = 1) {
    std::vector<int32_t> ids(count);
    for (uint32_t p = 0; p < count; ++p) {
        ids[p] = first + static_cast<int32_t>(p);
    }
    return ids;
}

class Export : public ::testing::Test {
protected:
    void SetUp() override { TakeLog(); }

    // An export node over `points` points with positions and ids per point.
    CNodeInstance Node(uint32_t scop, uint32_t points, std::optional<int32_t> count) {
        CNodeInstance node(Plugin(), "VelpoExport");
        node.Connect(PortScop, CInput::Constant(static_cast<int32_t>(scop)));
        node.Connect(PortFrame, CInput::Constant(int32_t{1}));
        if (count) {
            node.Connect(PortCount, CInput::Constant(*count));
        }
        node.Connect(PortInPosition, CInput::PerElement(Positions(points)));
        node.Connect(PortId, CInput::PerElement(Ids(points)));
        return node;
    }

    CScratchFolder folder_;
};

// The smallest file: "id" and "position" only, every byte as the format
// gives it.
TEST_F(Export, WritesExactlyTheFormatsBytes) {
    const uint32_t scop = MakeSettings(folder_ / "p", 1);
    CNodeInstance node = Node(scop, 3, 3);
    ASSERT_TRUE(Clean(node.Evaluate(Split(2, 2))));

    CPdcBytes expected;
    expected.Header(3, 2).Name("id").Int(3).Double(1).Double(2).Double(3);
    expected.Name("position").Int(5);
    for (const CVector3f& v : Positions(3)) {
        expected.Double(v.GetX()).Double(v.GetY()).Double(v.GetZ());
    }
    const std::vector<uint8_t> bytes = ReadBytes(folder_ / "p.1.pdc");
    EXPECT_EQ(bytes.size(), 150u);
    EXPECT_TRUE(bytes == expected.Bytes());
    EXPECT_TRUE(TakeLog().empty());
}

struct CCountCase {
    const char* label;
    std::optional<int32_t> count;  // unset: Count left unconnected (default 4)
    uint32_t points;
    int32_t particles;  // particleCount written
    // Ids the file holds: those of the first points, then zeros.
    int32_t recorded;
};

// Printed as its label in failures.
void PrintTo(const CCountCase& c, std::ostream* out) {
    *out << c.label;
}

class ExportCount : public Export, public ::testing::WithParamInterface<CCountCase> {};

TEST_P(ExportCount, SizesEveryArrayToCount) {
    const CCountCase& c = GetParam();
    const uint32_t scop = MakeSettings(folder_ / "c", 1, {{"Float0", "mass"}});
    CNodeInstance node = Node(scop, c.points, c.count);
    std::vector<float> masses(c.points);
    for (uint32_t p = 0; p < c.points; ++p) {
        masses[p] = 0.5f * static_cast<float>(p);
    }
    node.Connect(PortFloatBase, CInput::PerElement(masses));
    const auto result = node.Evaluate(Split(3, 2));
    ASSERT_TRUE(Clean(result)) << result.status.Message();
    // The output carries every point whatever Count says.
    EXPECT_EQ(Vectors(result, PortPosition).size(), c.points);

    const CParsedPdc file = ParsePdc(ReadBytes(folder_ / "c.1.pdc"));
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(file.particleCount, c.particles);
    ASSERT_EQ(file.Find("id")->values.size(), static_cast<size_t>(c.particles));
    ASSERT_EQ(file.Find("mass")->values.size(), static_cast<size_t>(c.particles));
    for (int32_t p = 0; p < c.particles; ++p) {
        const bool stored = p < c.recorded;
        EXPECT_EQ(file.Find("id")->values[p], stored ? p + 1 : 0) << p;
        EXPECT_EQ(file.Find("mass")->values[p], stored ? 0.5 * p : 0.0) << p;
    }
    EXPECT_TRUE(TakeLog().empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, ExportCount,
                         ::testing::Values(CCountCase{"Unconnected", std::nullopt, 10, 4, 4},
                                           CCountCase{"Smaller", 3, 10, 3, 3},
                                           CCountCase{"Equal", 10, 10, 10, 10},
                                           CCountCase{"Larger", 16, 10, 16, 10},
                                           CCountCase{"Zero", 0, 10, 0, 0},
                                           CCountCase{"Negative", -5, 10, 0, 0}),
                         [](const auto& info) { return std::string(info.param.label); });

// The slot arrays are sized without zeroing; elements no Evaluate call
// stores are still written as zero. Each evaluation with fewer points than
// Count follows one that filled arrays of the same size, so the memory it
// gets back holds that one's values unless they are cleared.
TEST_F(Export, UnstoredElementsAreZeroInReusedMemory) {
    const uint32_t scop = MakeSettings(folder_ / "r", 1, {{"Float0", "mass"}, {"Vector0", "v"}});
    for (int pass = 0; pass < 3; ++pass) {
        SCOPED_TRACE(pass);
        for (const uint32_t points : {64u, 40u}) {
            CNodeInstance node = Node(scop, points, 64);
            node.Connect(PortFloatBase, CInput::PerElement(std::vector<float>(points, 9.5f)));
            node.Connect(PortVectorBase,
                         CInput::PerElement(std::vector<CVector3f>(points, {1, 2, 3})));
            ASSERT_TRUE(Clean(node.Evaluate(Split(7, 2))));
        }
        const CParsedPdc file = ParsePdc(ReadBytes(folder_ / "r.1.pdc"));
        ASSERT_TRUE(file.ok);
        ASSERT_EQ(file.particleCount, 64);
        for (int32_t p = 0; p < 64; ++p) {
            const bool stored = p < 40;
            EXPECT_EQ(file.Find("id")->values[p], stored ? p + 1 : 0) << p;
            EXPECT_EQ(file.Find("mass")->values[p], stored ? 9.5 : 0.0) << p;
            EXPECT_EQ(file.Find("v")->values[3 * p + 2], stored ? 3.0 : 0.0) << p;
            EXPECT_EQ(file.Find("position")->values[3 * p + 1], stored ? 0.5 : 0.0) << p;
        }
    }
    EXPECT_TRUE(TakeLog().empty());
}

// What the names in the settings object do to the records written.
struct CNamesCase {
    const char* label;
    std::map<std::string, std::string> names;
    std::vector<std::pair<std::string, int32_t>> records;  // name, code, in file order
};

// Printed as its label in failures.
void PrintTo(const CNamesCase& c, std::ostream* out) {
    *out << c.label;
}

class ExportNames : public Export, public ::testing::WithParamInterface<CNamesCase> {};

TEST_P(ExportNames, WritesOneRecordPerNamedSlotInSlotOrder) {
    const CNamesCase& c = GetParam();
    const uint32_t scop = MakeSettings(folder_ / "n", 1, c.names);
    CNodeInstance node = Node(scop, 5, 5);
    // Every numbered port per point, so the code shows which slot wrote.
    for (uint32_t i = 0; i < 10; ++i) {
        node.Connect(PortFloatBase + i, CInput::PerElement(std::vector<float>(5, 1.5f)));
        node.Connect(PortVectorBase + i, CInput::PerElement(std::vector<CVector3f>(5)));
    }
    for (uint32_t i = 0; i < 5; ++i) {
        node.Connect(PortLongBase + i, CInput::PerElement(std::vector<int32_t>(5, 7)));
    }
    ASSERT_TRUE(Clean(node.Evaluate()));
    const CParsedPdc file = ParsePdc(ReadBytes(folder_ / "n.1.pdc"));
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(file.attributeCount, static_cast<int32_t>(c.records.size()));
    std::vector<std::pair<std::string, int32_t>> records;
    for (const CRecord& record : file.records) {
        records.emplace_back(record.name, record.code);
    }
    EXPECT_EQ(records, c.records);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExportNames,
    ::testing::Values(CNamesCase{"NoNames", {}, {{"id", 3}, {"position", 5}}},
                      CNamesCase{"TwoNamesAlike",
                                 {{"Float0", "temp"}, {"Float1", "temp"}},
                                 {{"temp", 3}, {"temp", 3}, {"id", 3}, {"position", 5}}},
                      CNamesCase{"Float3IsPosition",
                                 {{"Float3", "position"}},
                                 {{"position", 3}, {"id", 3}, {"position", 5}}},
                      CNamesCase{
                          "Long0IsId", {{"Long0", "id"}}, {{"id", 3}, {"id", 3}, {"position", 5}}},
                      CNamesCase{"OnePerKind",
                                 {{"Vector9", "v"}, {"Long4", "l"}, {"Float9", "f"}},
                                 {{"f", 3}, {"id", 3}, {"l", 3}, {"position", 5}, {"v", 5}}}),
    [](const auto& info) { return std::string(info.param.label); });

// A named attribute whose port is unconnected is written once, with the
// port's default; so is an unconnected Id.
TEST_F(Export, UnconnectedPortsWriteTheirDefaultOnce) {
    const uint32_t scop = MakeSettings(folder_ / "d", 1, {{"Long1", "flags"}, {"Vector0", "v"}});
    CNodeInstance node = Node(scop, 4, 4);
    node.Disconnect(PortId);
    ASSERT_TRUE(Clean(node.Evaluate()));
    const CParsedPdc file = ParsePdc(ReadBytes(folder_ / "d.1.pdc"));
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(file.particleCount, 4);
    EXPECT_EQ(file.Find("id")->code, 2);
    EXPECT_EQ(file.Find("id")->values, std::vector<double>{0.0});
    EXPECT_EQ(file.Find("flags")->code, 2);
    EXPECT_EQ(file.Find("flags")->values, std::vector<double>{0.0});
    EXPECT_EQ(file.Find("v")->code, 4);
    EXPECT_EQ(file.Find("v")->values, (std::vector<double>{0.0, 0.0, 0.0}));
}

// A graph of a single point writes every attribute in single-value form.
TEST_F(Export, OnePointWritesSingleValues) {
    const uint32_t scop = MakeSettings(folder_ / "o", 1);
    CNodeInstance node = Node(scop, 1, 1);
    ASSERT_TRUE(Clean(node.Evaluate()));
    const CParsedPdc file = ParsePdc(ReadBytes(folder_ / "o.1.pdc"));
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(file.Find("id")->code, 2);
    EXPECT_EQ(file.Find("position")->code, 4);
    EXPECT_EQ(file.particleCount, 1);
}

TEST_F(Export, ReadsTheSettingsAgainEveryEvaluation) {
    const uint32_t scop = MakeSettings(folder_ / "first", 1, {{"Float0", "a"}});
    CNodeInstance node = Node(scop, 4, 4);
    ASSERT_TRUE(Clean(node.Evaluate()));
    auto object = VelpoHost::CObjectTable::Instance().Find(scop);
    object->SetParameter("Path", XSI::CValue(XSI::CString::FromUtf8(folder_ / "second")));
    object->SetParameter("Step", XSI::CValue(int32_t{10}));
    object->SetParameter("Float0", XSI::CValue(XSI::CString(L"")));
    object->SetParameter("Vector2", XSI::CValue(XSI::CString(L"b")));
    ASSERT_TRUE(Clean(node.Evaluate()));

    const CParsedPdc first = ParsePdc(ReadBytes(folder_ / "first.1.pdc"));
    const CParsedPdc second = ParsePdc(ReadBytes(folder_ / "second.10.pdc"));
    ASSERT_TRUE(first.ok && second.ok);
    EXPECT_NE(first.Find("a"), nullptr);
    EXPECT_EQ(second.Find("a"), nullptr);
    EXPECT_NE(second.Find("b"), nullptr);
}

// Settings that name no cache: the messages of each case, at error
// severity, and no file.
struct CNoRecordCase {
    const char* label;
    enum { Unknown, Default, DefaultAnswered, EmptyPath } scop;
    std::vector<std::string> messages;
};

// Printed as its label in failures.
void PrintTo(const CNoRecordCase& c, std::ostream* out) {
    *out << c.label;
}

class ExportWithoutRecord : public Export, public ::testing::WithParamInterface<CNoRecordCase> {};

TEST_P(ExportWithoutRecord, LogsAndWritesNothing) {
    const CNoRecordCase& c = GetParam();
    VelpoHost::CObjectTable::Instance().Remove(4);
    uint32_t scop = 0;
    switch (c.scop) {
        case CNoRecordCase::Unknown:
            scop = 987654;
            break;
        case CNoRecordCase::Default:
            break;
        case CNoRecordCase::DefaultAnswered:
            MakeSettings(folder_ / "four", 1, {}, 4);
            break;
        case CNoRecordCase::EmptyPath:
            scop = MakeSettings("", 1);
            break;
    }
    CNodeInstance node = Node(scop, 4, 4);
    if (c.scop == CNoRecordCase::Default || c.scop == CNoRecordCase::DefaultAnswered) {
        node.Disconnect(PortScop);
    }
    const auto result = node.Evaluate(Split(2, 2));
    EXPECT_TRUE(Clean(result)) << result.status.Message();
    std::vector<std::string> messages;
    for (const auto& entry : TakeLog()) {
        EXPECT_EQ(entry.severity, Error);
        messages.push_back(entry.text);
    }
    EXPECT_EQ(messages, c.messages);
    EXPECT_EQ(node.UserData().GetAsPointer(), nullptr);
    if (c.scop == CNoRecordCase::DefaultAnswered) {
        EXPECT_EQ(folder_.Files(), std::vector<std::string>{"four.1.pdc"});
        // The output is written when there is a record, and not otherwise.
        EXPECT_EQ(Vectors(result, PortPosition)[3], Positions(4)[3]);
    } else {
        EXPECT_TRUE(folder_.Files().empty());
        EXPECT_TRUE(Untouched(result, PortPosition));
    }
    VelpoHost::CObjectTable::Instance().Remove(4);
}

const std::vector<std::string> NotConnected = {
    "VelpoExport: Error, VelpoExportOperator not connected", "VelpoExport: Cannot Read User Data"};

INSTANTIATE_TEST_SUITE_P(
    Cases, ExportWithoutRecord,
    ::testing::Values(
        CNoRecordCase{"UnknownObject", CNoRecordCase::Unknown, NotConnected},
        CNoRecordCase{"UnconnectedScop", CNoRecordCase::Default, NotConnected},
        CNoRecordCase{"UnconnectedScopWithObject4", CNoRecordCase::DefaultAnswered, {}},
        CNoRecordCase{
            "EmptyPath", CNoRecordCase::EmptyPath, {"VelpoExport: Cannot Read User Data"}}),
    [](const auto& info) { return std::string(info.param.label); });

// Places no cache can be written to, even by root. Each leaves what was
// there as it was, and no temporary file behind.
struct CUnwritableCase {
    const char* label;
    std::string (*prepare)(const CScratchFolder& folder);  // returns the "Path"
};

// Printed as its label in failures.
void PrintTo(const CUnwritableCase& c, std::ostream* out) {
    *out << c.label;
}

class ExportCannotWrite : public Export, public ::testing::WithParamInterface<CUnwritableCase> {};

TEST_P(ExportCannotWrite, LogsTheFileNameAndLeavesNoTrace) {
    const std::string path = GetParam().prepare(folder_);
    const std::vector<std::string> before = folder_.Files();
    const uint32_t scop = MakeSettings(path, 1);
    CNodeInstance node = Node(scop, 4, 4);
    EXPECT_TRUE(Clean(node.Evaluate()));
    const auto log = TakeLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, "VelpoExport: Cannot Write " + path + ".1.pdc");
    EXPECT_EQ(log[0].severity, Error);
    EXPECT_EQ(folder_.Files(), before);
    EXPECT_EQ(node.UserData().GetAsPointer(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExportCannotWrite,
    ::testing::Values(CUnwritableCase{"MissingFolder",
                                      [](const CScratchFolder& folder) {
                                          return folder / "missing/cache";
                                      }},
                      CUnwritableCase{"FolderIsAFile",
                                      [](const CScratchFolder& folder) {
                                          WriteBytes(folder / "file.txt", {1, 2, 3});
                                          return folder / "file.txt/cache";
                                      }},
                      CUnwritableCase{"TargetIsAFolder",
                                      [](const CScratchFolder& folder) {
                                          std::filesystem::create_directory(folder / "cache.1.pdc");
                                          return folder / "cache";
                                      }}),
    [](const auto& info) { return std::string(info.param.label); });

#ifdef _WIN32
// Windows does not replace a file that a reader holds open (the C library
// opens files without delete sharing), but lets it be written: after a
// short retry the cache is written in place, and no temporary file is left.
TEST_F(Export, CacheHeldOpenByAReaderIsWrittenInPlace) {
    const uint32_t scop = MakeSettings(folder_ / "cache", 1);
    CNodeInstance node = Node(scop, 4, 4);
    ASSERT_TRUE(Clean(node.Evaluate()));
    const std::vector<uint8_t> earlier = ReadBytes(folder_ / "cache.1.pdc");
    const std::vector<std::string> before = folder_.Files();
    {
        std::ifstream reader(folder_.Path() / "cache.1.pdc", std::ios::binary);
        ASSERT_TRUE(reader.is_open());
        node.Connect(PortCount, CInput::Constant(int32_t{2}));
        EXPECT_TRUE(Clean(node.Evaluate()));
    }
    const CParsedPdc file = ParsePdc(ReadBytes(folder_ / "cache.1.pdc"));
    ASSERT_TRUE(file.ok);
    EXPECT_EQ(file.particleCount, 2);
    EXPECT_FALSE(ReadBytes(folder_ / "cache.1.pdc") == earlier);
    EXPECT_EQ(folder_.Files(), before);
    EXPECT_TRUE(TakeLog().empty());
}
#endif

}  // namespace
