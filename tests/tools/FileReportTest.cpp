// `velpo info`'s inspection against the file layer, file by file: both read
// through the record walker, so they must agree on every file there is -
// the fuzz seeds, the hostile fixtures, files as other programs write them,
// and each of those cut at every byte.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/PdcSeeds.h"
#include "tests/pdc/PdcHostileFiles.h"
#include "tests/pdc/PdcTestFiles.h"
#include "tools/contents/FileReport.h"

namespace VelpoTools {
namespace {

using PdcTest::Bytes;
using PdcTest::CBytes;

struct CFileCase {
    std::string name;
    Bytes bytes;
};

// Files the way other writers make them: integer records, headers with
// other versions, repeated and zero-cut names, bytes after the records.
std::vector<CFileCase> ProducerStyleFiles() {
    return {
        {"other version and byte order", CBytes()
                                             .Text("PDC ")
                                             .Int32(2)
                                             .Int32(0)
                                             .Int32(7)
                                             .Int32(-1)
                                             .Int32(2)
                                             .Int32(2)
                                             .Record("position", 5)
                                             .Double(1)
                                             .Double(2)
                                             .Double(3)
                                             .Double(4)
                                             .Double(5)
                                             .Double(6)
                                             .Record("id", 1)
                                             .Int32(10)
                                             .Int32(11)
                                             .Get()},
        {"integer records only", CBytes()
                                     .Header(3, 3)
                                     .Record("id", 1)
                                     .Int32(1)
                                     .Int32(2)
                                     .Int32(3)
                                     .Record("state", 0)
                                     .Int32(-7)
                                     .Record("kind", 1)
                                     .Int32(0)
                                     .Int32(0)
                                     .Int32(9)
                                     .Get()},
        {"one name three times", CBytes()
                                     .Header(1, 3)
                                     .Record("age", 2)
                                     .Double(1)
                                     .Record("age", 3)
                                     .Double(2)
                                     .Record("age", 2)
                                     .Double(3)
                                     .Get()},
        {"a name cut at a zero byte",
         CBytes().Header(1, 1).Record(std::string("mass\0x", 6), 2).Double(4).Get()},
        {"no records, trailing bytes", CBytes().Header(5, 0).Raw({1, 2, 3}).Get()},
        {"uncounted name-only record",
         CBytes().Header(1, 1).Record("id", 2).Double(3).Int32(5).Text("trail").Get()},
        {"zero particles", CBytes().Header(0, 2).Record("id", 3).Record("position", 5).Get()},
    };
}

std::vector<CFileCase> AllFiles(const std::filesystem::path& scratch) {
    std::vector<CFileCase> files = ProducerStyleFiles();
    const std::filesystem::path seeds = scratch / "seeds";
    EXPECT_TRUE(PdcSeeds::WriteSeeds(seeds));
    for (const auto& entry : std::filesystem::directory_iterator(seeds)) {
        files.push_back(
            {"seed " + entry.path().filename().string(), PdcTest::ReadFile(entry.path().string())});
    }
    for (const PdcTest::HostileCase& hostile : PdcTest::HostileCases()) {
        files.push_back({std::string("hostile: ") + hostile.defect, hostile.file.Get()});
    }
    const size_t whole = files.size();
    for (size_t i = 0; i < whole; ++i) {
        for (size_t cut = 0; cut < files[i].bytes.size(); ++cut) {
            files.push_back({files[i].name + ", cut after " + std::to_string(cut) + " bytes",
                             Bytes(files[i].bytes.begin(), files[i].bytes.begin() + cut)});
        }
    }
    return files;
}

// A layout with one slot for each record info reports, of the type its code
// goes to, each set up as the opposite of what info says the record is:
// only a record read into it turns it into what info says.
struct CAssignedSlot {
    int32_t slot = -1;
    const CInspectedRecord* record = nullptr;
};

bool AssignSlots(const CPdcInspection& inspection, CPdc& pdc, std::vector<CAssignedSlot>& slots) {
    std::vector<int32_t> free[3] = {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9},
                                    {10, 11, 12, 13, 14, 15},
                                    {16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26}};
    const int32_t types[3] = {PdcTypeFloat, PdcTypeLong, PdcTypeVector};
    for (const CInspectedRecord& inspected : inspection.records) {
        const CPdcRecord& record = inspected.record;
        const int kind = record.IsInteger() ? 1 : record.Components() == 3 ? 2 : 0;
        if (free[kind].empty() || record.nameCut) {
            return false;
        }
        const int32_t slot = free[kind].front();
        free[kind].erase(free[kind].begin());
        XSI::CString name;
        name.PutAsciiString(record.name.data(), record.name.size());
        pdc.SetAttribute(slot, name, types[kind]);
        CAttribute& attribute = pdc.attributes[slot];
        attribute.isArray = !record.IsArray();
        attribute.Resize(record.IsArray() ? 1 : 2);
        slots.push_back({slot, &inspected});
    }
    return true;
}

int32_t Elements(const CAttribute& attribute) {
    switch (attribute.type) {
        case PdcTypeFloat:
            return attribute.floatValues.GetCount();
        case PdcTypeLong:
            return attribute.longValues.GetCount();
        default:
            return attribute.vectorValues.GetCount();
    }
}

TEST(InspectAgainstFileLayer, SameVerdictAndSameRecordsOnEveryFile) {
    PdcTest::CTempFolder scratch;
    const std::filesystem::path folder = std::filesystem::path(scratch.File("x")).parent_path();
    const std::vector<CFileCase> files = AllFiles(folder);
    size_t compared = 0;
    size_t readable = 0;
    for (const CFileCase& file : files) {
        SCOPED_TRACE(file.name);
        const std::string path = scratch.File("file.pdc");
        PdcTest::WriteFile(path, file.bytes);
        const CPdcInspection inspection = InspectPdc(path);
        CPdc pdc;
        std::vector<CAssignedSlot> slots;
        if (!AssignSlots(inspection, pdc, slots)) {
            continue;
        }
        const bool read = PdcTest::ReadPdcFile(path, pdc);
        ASSERT_EQ(read, inspection.Readable()) << inspection.Failure();
        if (inspection.header) {
            EXPECT_EQ(inspection.header->particleCount, pdc.header.particleCount);
            EXPECT_EQ(inspection.header->attributeCount, pdc.header.attributeCount);
        }
        for (const CAssignedSlot& assigned : slots) {
            const CPdcRecord& record = assigned.record->record;
            const CAttribute& attribute = pdc.attributes[assigned.slot];
            SCOPED_TRACE("record " + std::to_string(record.index));
            EXPECT_EQ(static_cast<bool>(attribute.isArray), record.IsArray());
            if (record.IsArray()) {
                EXPECT_EQ(Elements(attribute), record.count);
            }
        }
        ++compared;
        readable += read ? 1 : 0;
    }
    // Nearly every file fits the 27 slots; the comparison must not pass by
    // skipping them.
    EXPECT_GT(compared, files.size() * 9 / 10);
    EXPECT_GT(readable, 20u);
    EXPECT_LT(readable, compared);
}

TEST(InspectStatistics, MatchValuesComputedHereOnAFileLargerThanAChunk) {
    // 40,000 vectors are 960,000 bytes: the walker hands them over in
    // several runs, which may start at any component.
    constexpr int32_t Count = 40000;
    CBytes file;
    file.Header(Count, 3).Record("position", 5);
    double min[3] = {INFINITY, INFINITY, INFINITY};
    double max[3] = {-INFINITY, -INFINITY, -INFINITY};
    double sum[3] = {0, 0, 0};
    uint64_t finite[3] = {0, 0, 0};
    for (int32_t i = 0; i < Count; ++i) {
        for (int c = 0; c < 3; ++c) {
            double value = std::sin(0.001 * i * (c + 1)) * (c + 1) * 1000.0 + c;
            if (i % 997 == 0 && c == 1) {
                value = NAN;
            }
            file.Double(value);
            if (std::isfinite(value)) {
                min[c] = std::min(min[c], value);
                max[c] = std::max(max[c], value);
                sum[c] += value;
                ++finite[c];
            }
        }
    }
    file.Record("id", 1);
    int64_t idSum = 0;
    for (int32_t i = 0; i < Count; ++i) {
        file.Int32(i * 7 - 100000);
        idSum += i * 7 - 100000;
    }
    file.Record("drag", 2).Double(0.25);
    PdcTest::CTempFolder scratch;
    const std::string path = scratch.File("large.pdc");
    PdcTest::WriteFile(path, file.Get());

    const nlohmann::ordered_json json = InspectionJson(InspectPdc(path));
    ASSERT_TRUE(json["readable"].get<bool>()) << json.dump();
    const nlohmann::ordered_json& position = json["records"][0];
    EXPECT_EQ(position["count"], Count);
    for (size_t c = 0; c < 3; ++c) {
        SCOPED_TRACE(c);
        EXPECT_EQ(position["min"][c].get<double>(), min[c]);
        EXPECT_EQ(position["max"][c].get<double>(), max[c]);
        const double mean = sum[c] / static_cast<double>(finite[c]);
        EXPECT_NEAR(position["mean"][c].get<double>(), mean, 1e-9 * (1 + std::fabs(mean)));
    }
    const nlohmann::ordered_json& id = json["records"][1];
    EXPECT_EQ(id["min"][0].get<double>(), -100000.0);
    EXPECT_EQ(id["max"][0].get<double>(), (Count - 1) * 7.0 - 100000.0);
    EXPECT_DOUBLE_EQ(id["mean"][0].get<double>(), static_cast<double>(idSum) / Count);
    EXPECT_EQ(json["records"][2]["mean"][0].get<double>(), 0.25);
    // The NaN values are counted, not averaged.
    ASSERT_EQ(json["problems"].size(), 1u);
    EXPECT_EQ(json["problems"][0]["text"],
              "record 0 (\"position\"): " + std::to_string(Count / 997 + 1) + " NaN values");
    EXPECT_EQ(position["nan"], Count / 997 + 1);
    EXPECT_EQ(position["infinite"], 0);
}

}  // namespace
}  // namespace VelpoTools
