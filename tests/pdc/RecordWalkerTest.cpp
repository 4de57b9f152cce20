// The record walker: where it finds each record, what it hands over, and
// why it stops on a broken file.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "PdcTestFiles.h"
#include "pdc/ByteOrder.h"
#include "pdc/RecordWalker.h"

using namespace PdcTest;

namespace {

// Everything one walk saw, values decoded to doubles.
struct CWalk {
    bool headerRead = false;
    std::vector<CPdcRecord> records;
    std::vector<std::vector<double>> values;
    bool failed = false;
    std::string problem;
    bool nameOnly = false;
    std::string nameOnlyName;
    int64_t bytesLeft = 0;
};

CWalk Walk(const std::string& path, bool readValues = true) {
    CFile file(path, "rb");
    CPdcRecordWalker walker(file);
    CWalk walk;
    walk.headerRead = walker.ReadHeader();
    CPdcRecord record;
    while (walker.Next(record)) {
        walk.records.push_back(record);
        walk.values.emplace_back();
        if (!readValues) {
            continue;
        }
        std::vector<double>& values = walk.values.back();
        walker.ReadNumbers([&](const unsigned char* bytes, int64_t first, size_t count) {
            EXPECT_EQ(first, static_cast<int64_t>(values.size()));
            for (size_t i = 0; i < count; ++i) {
                values.push_back(record.IsInteger() ? PdcByteOrder::LoadInt32(bytes + 4 * i)
                                                    : PdcByteOrder::LoadDouble(bytes + 8 * i));
            }
        });
    }
    walk.failed = walker.Failed();
    walk.problem = walker.Problem();
    walk.nameOnly = walker.EndedWithNameOnlyRecord();
    walk.nameOnlyName = walker.NameOnlyRecord().name;
    walk.bytesLeft = walker.BytesLeft();
    return walk;
}

TEST(RecordWalker, HandsOverEachRecordWhereItLies) {
    CTempFolder folder;
    const std::string path = folder.File("walk.pdc");
    CBytes file;
    file.Header(2, 4);
    file.Record("id", 1).Int32(7).Int32(-8);                             // at 28
    file.Record("mass", 2).Double(0.5);                                  // at 46
    file.Record("position", 5).Double(1).Double(2).Double(3).Double(4);  // at 66
    file.Double(5).Double(6);
    file.Record(std::string("v\0junk", 6), 4).Double(-1).Double(-2).Double(-3);  // at 130
    file.Raw({9, 9, 9});
    WriteFile(path, file.Get());

    const CWalk walk = Walk(path);
    ASSERT_TRUE(walk.headerRead);
    EXPECT_FALSE(walk.failed) << walk.problem;
    ASSERT_EQ(walk.records.size(), 4u);
    struct Expected {
        const char* name;
        int32_t code;
        int64_t offset;
        int64_t valuesOffset;
        int64_t count;
        std::vector<double> values;
    };
    const Expected expected[] = {
        {"id", 1, 28, 38, 2, {7, -8}},
        {"mass", 2, 46, 58, 1, {0.5}},
        {"position", 5, 66, 82, 2, {1, 2, 3, 4, 5, 6}},
        {"v", 4, 130, 144, 1, {-1, -2, -3}},
    };
    for (size_t i = 0; i < walk.records.size(); ++i) {
        SCOPED_TRACE(i);
        const CPdcRecord& record = walk.records[i];
        EXPECT_EQ(record.name, expected[i].name);
        EXPECT_EQ(record.code, expected[i].code);
        EXPECT_EQ(record.index, static_cast<int32_t>(i));
        EXPECT_EQ(record.offset, expected[i].offset);
        EXPECT_EQ(record.valuesOffset, expected[i].valuesOffset);
        EXPECT_EQ(record.count, expected[i].count);
        EXPECT_EQ(walk.values[i], expected[i].values);
    }
    EXPECT_EQ(walk.bytesLeft, 3) << "the trailing bytes after the last record";

    // Values left unread are stepped over: the same records are found.
    const CWalk skipped = Walk(path, false);
    EXPECT_FALSE(skipped.failed);
    ASSERT_EQ(skipped.records.size(), 4u);
    EXPECT_EQ(skipped.records[3].offset, 130);
}

struct CBrokenCase {
    const char* defect;
    CBytes file;
    const char* problem;  // a part of the walker's reason
};

TEST(RecordWalker, NamesTheRecordAndTheReasonOfEveryDefect) {
    const int32_t huge = 2000000000;
    const CBrokenCase cases[] = {
        {"short header", CBytes().Text("PDC ").Int32(1),
         "truncated header: the file holds 8 bytes"},
        {"shorter than a tag", CBytes().Text("PD"), "truncated header: the file holds 2 bytes"},
        {"a PLY file", CBytes().Text("ply\nformat binary_little_endian 1.0\n"),
         "not a PDC file: its first four bytes are \"ply\\x0a\", not \"PDC \""},
        {"another tag, whole header", CBytes().Text("pdc ").Int32(1).Int32(1).Int32(0).Int32(0),
         "not a PDC file: its first four bytes are \"pdc \""},
        {"another tag, short header", CBytes().Raw({0x89, 'P', 'N', 'G', '\r'}),
         "not a PDC file: its first four bytes are \"\\x89PNG\""},
        {"code 6", CBytes().Header(1, 1).Record("id", 6),
         "record 0 at byte 28 (\"id\"): unknown type code 6"},
        {"negative name length", CBytes().Header(1, 1).Int32(-4), "negative name length -4"},
        {"forged name length", CBytes().Header(1, 1).Int32(0x7FFFFFFF).Text("id"),
         "name length 2147483647 exceeds the 2 bytes left"},
        {"forged particle count", CBytes().Header(huge, 1).Record("position", 5),
         "2000000000 values need 48000000000 bytes, only 0 are left"},
        {"array under a negative count", CBytes().Header(-1, 1).Record("zz", 3),
         "array record under a negative particle count -1"},
        {"more records counted than present", CBytes().Header(1, 2).Record("id", 2).Double(1),
         "record 1 at byte 46: the file ends inside its name length"},
        {"cut inside the type code",
         CBytes().Header(1, 2).Record("id", 2).Double(1).Int32(1).Text("x").Raw({0, 0}),
         "record 1 at byte 46 (\"x\"): the file ends inside its type code"},
        {"name-only record not the last",
         CBytes().Header(1, 3).Record("id", 2).Double(1).Int32(1).Text("x"),
         "the file ends inside its type code"},
    };
    CTempFolder folder;
    for (const CBrokenCase& c : cases) {
        SCOPED_TRACE(c.defect);
        const std::string path = folder.File("broken.pdc");
        WriteFile(path, c.file.Get());
        const CWalk walk = Walk(path);
        EXPECT_TRUE(walk.failed);
        EXPECT_NE(walk.problem.find(c.problem), std::string::npos) << walk.problem;
    }
}

TEST(RecordWalker, LastRecordHoldingOnlyItsNameEndsTheWalkWithoutFailing) {
    CTempFolder folder;
    const std::string path = folder.File("trail.pdc");
    WriteFile(path, CBytes().Header(1, 2).Record("id", 2).Double(3).Int32(5).Text("trail").Get());
    const CWalk walk = Walk(path);
    EXPECT_FALSE(walk.failed) << walk.problem;
    EXPECT_TRUE(walk.nameOnly);
    EXPECT_EQ(walk.nameOnlyName, "trail");
    ASSERT_EQ(walk.records.size(), 1u);
    EXPECT_EQ(walk.values[0], std::vector<double>{3});
}

// A record larger than a chunk arrives in runs that follow one another and
// never exceed the chunk size.
TEST(RecordWalker, LargeRecordArrivesInBoundedRunsInOrder) {
    CTempFolder folder;
    const std::string path = folder.File("large.pdc");
    const int32_t particles = 100000;
    CBytes file;
    file.Header(particles, 1).Record("position", 5);
    for (int32_t i = 0; i < 3 * particles; ++i) {
        file.Double(i * 0.5);
    }
    WriteFile(path, file.Get());
    CFile stream(path, "rb");
    CPdcRecordWalker walker(stream);
    ASSERT_TRUE(walker.ReadHeader());
    CPdcRecord record;
    ASSERT_TRUE(walker.Next(record));
    int64_t next = 0;
    size_t runs = 0;
    bool inOrder = true;
    ASSERT_TRUE(walker.ReadNumbers([&](const unsigned char* bytes, int64_t first, size_t count) {
        ++runs;
        EXPECT_LE(count * 8, PdcChunks::MaxChunkBytes);
        inOrder = inOrder && first == next;
        for (size_t i = 0; i < count; ++i) {
            inOrder = inOrder && PdcByteOrder::LoadDouble(bytes + 8 * i) == (first + i) * 0.5;
        }
        next = first + static_cast<int64_t>(count);
    }));
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(next, 3 * particles);
    EXPECT_GT(runs, 1u);
    EXPECT_FALSE(walker.Next(record));
    EXPECT_FALSE(walker.Failed());
}

// Whole records decoded into the caller's words: int32 numbers and the
// bits of doubles in the machine's order, over more than one run; a file
// cut inside a record's values is refused before its words are read.
TEST(RecordWalker, DecodesWholeRecordsIntoMachineWords) {
    CTempFolder folder;
    const std::string path = folder.File("decoded.pdc");
    const int32_t particles = 40000;  // the vector record spans several runs
    CBytes file;
    file.Header(particles, 2).Record("id", 1);
    for (int32_t i = 0; i < particles; ++i) {
        file.Int32(-i);
    }
    file.Record("position", 5);
    for (int32_t i = 0; i < 3 * particles; ++i) {
        file.Double(i * 0.25);
    }
    WriteFile(path, file.Get());
    for (const size_t cut : {size_t{0}, size_t{12}, size_t{8 * 70000 + 3}}) {
        SCOPED_TRACE(cut);
        const Bytes& bytes = file.Get();
        WriteFile(path, Bytes(bytes.begin(), bytes.end() - static_cast<ptrdiff_t>(cut)));
        CFile stream(path, "rb");
        CPdcRecordWalker walker(stream);
        ASSERT_TRUE(walker.ReadHeader());
        CPdcRecord record;
        ASSERT_TRUE(walker.Next(record));
        std::vector<uint32_t> ids(static_cast<size_t>(record.Numbers()), 1);
        ASSERT_TRUE(walker.ReadDecoded(ids.data()));
        bool idsRight = true;
        for (int32_t i = 0; i < particles; ++i) {
            idsRight = idsRight && static_cast<int32_t>(ids[static_cast<size_t>(i)]) == -i;
        }
        EXPECT_TRUE(idsRight);
        if (cut != 0) {
            // The walker refuses a record whose values the file cannot hold.
            EXPECT_FALSE(walker.Next(record));
            EXPECT_NE(walker.Problem().find("truncated file"), std::string::npos)
                << walker.Problem();
            continue;
        }
        ASSERT_TRUE(walker.Next(record));
        std::vector<uint64_t> positions(static_cast<size_t>(record.Numbers()), 1);
        ASSERT_TRUE(walker.ReadDecoded(positions.data()));
        bool positionsRight = true;
        for (size_t i = 0; i < positions.size(); ++i) {
            positionsRight = positionsRight && std::bit_cast<double>(positions[i]) == i * 0.25;
        }
        EXPECT_TRUE(positionsRight);
        EXPECT_FALSE(walker.Next(record));
        EXPECT_FALSE(walker.Failed()) << walker.Problem();
    }
}

// A name longer than the walker keeps is stepped over whole, marked as cut,
// and reaches no slot even when a slot bears its first bytes.
TEST(RecordWalker, OverlongNameIsCutAndMatchesNoSlot) {
    CTempFolder folder;
    const std::string path = folder.File("longname.pdc");
    const std::string name(CPdcRecord::MaxKeptNameBytes + 10, 'a');
    WriteFile(path,
              CBytes().Header(1, 2).Record(name, 2).Double(4).Record("id", 2).Double(5).Get());
    const CWalk walk = Walk(path);
    EXPECT_FALSE(walk.failed) << walk.problem;
    ASSERT_EQ(walk.records.size(), 2u);
    EXPECT_TRUE(walk.records[0].nameCut);
    EXPECT_EQ(walk.records[0].name.size(), CPdcRecord::MaxKeptNameBytes);
    EXPECT_EQ(walk.records[1].name, "id");

    CPdc pdc;
    SetLayout(pdc, {{0, name.substr(0, CPdcRecord::MaxKeptNameBytes).c_str()}});
    ASSERT_TRUE(ReadPdcFile(path, pdc));
    EXPECT_EQ(pdc.attributes[0].floatValues[0], 0.0f);
    EXPECT_EQ(pdc.attributes[PdcIdSlot].longValues[0], 5);
}

// Cut at every length, a valid file is taken by the slot reader exactly
// when the walker finds nothing wrong with it.
TEST(RecordWalker, AgreesWithTheSlotReaderOnEveryCutOfAFile) {
    CTempFolder folder;
    const std::string path = folder.File("cut.pdc");
    CBytes full;
    full.Header(2, 4).Record("id", 3).Double(1).Double(2).Record("age", 0).Int32(3);
    full.Record("position", 5).Double(1).Double(2).Double(3).Double(4).Double(5).Double(6);
    full.Record("tail", 4).Double(7).Double(8).Double(9);
    for (size_t length = 0; length <= full.Size(); ++length) {
        SCOPED_TRACE(length);
        const Bytes& bytes = full.Get();
        WriteFile(path, Bytes(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(length)));
        const CWalk walk = Walk(path);
        CPdc pdc;
        SetLayout(pdc);
        const bool read = ReadPdcFile(path, pdc);
        EXPECT_EQ(read, walk.headerRead && !walk.failed) << walk.problem;
        EXPECT_EQ(read, length == full.Size() || walk.nameOnly);
    }
}

#ifndef _WIN32
TEST(RecordWalker, FolderIsRefusedWithTheSystemsReason) {
    CTempFolder folder;
    CFile stream(folder.File(""), "rb");
    if (!stream.Get()) {
        GTEST_SKIP() << "this C library does not open folders as streams";
    }
    CPdcRecordWalker walker(stream);
    EXPECT_FALSE(walker.ReadHeader());
    EXPECT_NE(walker.Problem().find("cannot be read"), std::string::npos) << walker.Problem();
}
#endif

}  // namespace
