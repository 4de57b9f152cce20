// The rule for records of one name: which slot each record of a file goes
// to, for the nodes' slot layouts and for readers without slot types.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdc/SlotFilling.h"

namespace {

struct CSlot {
    const char* name;
    int32_t type;
};

struct CRecordIn {
    std::string name;
    int32_t code;
};

struct CFillingCase {
    const char* what;
    std::vector<CSlot> slots;
    std::vector<CRecordIn> records;
    std::vector<int32_t> slotOfRecord;  // -1: no slot takes it
};

XSI::CString Text(const std::string& bytes) {
    XSI::CString text;
    text.PutAsciiString(bytes.data(), bytes.size());
    return text;
}

TEST(SlotFilling, EachRecordGoesToTheFirstUnfilledSlotOfItsNameThatTakesItsCode) {
    constexpr int32_t F = PdcTypeFloat;
    constexpr int32_t L = PdcTypeLong;
    constexpr int32_t V = PdcTypeVector;
    const std::vector<CFillingCase> cases = {
        {"one slot: every record overwrites it",
         {{"age", F}},
         {{"age", 3}, {"age", 3}, {"age", 2}},
         {0, 0, 0}},
        {"two slots of a name take the records in turn, then the first again",
         {{"age", F}, {"age", F}},
         {{"age", 3}, {"age", 2}, {"age", 3}},
         {0, 1, 0}},
        {"a slot that does not take the code is passed over",
         {{"v", F}, {"v", V}},
         {{"v", 5}, {"v", 3}, {"v", 4}},
         {1, 0, 1}},
        {"integer codes reach Long slots only",
         {{"n", F}, {"n", L}},
         {{"n", 1}, {"n", 0}, {"n", 3}},
         {1, 1, 0}},
        {"no slot takes a code outside 0 to 5", {{"a", L}}, {{"a", 6}, {"a", -1}}, {-1, -1}},
        {"names compare exactly", {{"position", V}}, {{"Position", 5}, {"position ", 5}}, {-1, -1}},
        {"unnamed and untyped slots take nothing",
         {{"", F}, {"b", PdcTypeNone}},
         {{"", 3}, {"b", 3}},
         {-1, -1}},
        {"a name that is not UTF-8 is its Latin-1 text",
         {{"\xc3\xa9", F}},
         {{"\xe9", 3}, {"\xc3\xa9", 3}},
         {0, 0}},
        {"a slot of any type takes every code",
         {{"x", PdcTypeAny}},
         {{"x", 0}, {"x", 5}, {"x", 7}},
         {0, 0, -1}},
    };
    for (const CFillingCase& c : cases) {
        SCOPED_TRACE(c.what);
        CPdcSlotFilling filling;
        for (const CSlot& slot : c.slots) {
            filling.AddSlot(Text(slot.name), slot.type);
        }
        std::vector<int32_t> taken;
        for (const CRecordIn& record : c.records) {
            taken.push_back(filling.Take(Text(record.name), record.code));
        }
        EXPECT_EQ(taken, c.slotOfRecord);
    }
}

TEST(SlotFilling, ARecordWhoseNameWasCutReachesNoSlot) {
    CPdcSlotFilling filling;
    filling.AddSlot(Text("n"), PdcTypeFloat);
    CPdcRecord record;
    record.name = "n";
    record.code = PdcCodeDoubleArray;
    record.nameCut = true;
    EXPECT_EQ(filling.Take(record), -1);
    EXPECT_FALSE(filling.Filled(0));
    record.nameCut = false;
    EXPECT_EQ(filling.Take(record), 0);
    EXPECT_TRUE(filling.Filled(0));
}

// Readers without slot types deliver the last record of each name.
TEST(NameFilling, EachNameDeliversItsLastRecord) {
    CPdcNameFilling names;
    const std::vector<CRecordIn> records = {
        {"age", 3}, {"id", 1}, {"age", 5}, {"\xe9", 2}, {"\xc3\xa9", 3}, {"bad", 9}, {"id", 0},
    };
    for (size_t i = 0; i < records.size(); ++i) {
        names.Take(static_cast<int32_t>(i), records[i].name, false, records[i].code);
    }
    names.Take(7, "age", true, PdcCodeDouble);  // cut: not a record of "age"
    names.Take(8, "", false, PdcCodeDouble);    // no slot bears the empty name
    names.Take(9, "", false, PdcCodeDoubleArray);
    const std::vector<bool> delivered = {false, false, true,  false, true,
                                         false, true,  false, false, false};
    for (size_t i = 0; i < delivered.size(); ++i) {
        EXPECT_EQ(names.Delivers(static_cast<int32_t>(i)), delivered[i]) << "record " << i;
    }
    EXPECT_EQ(names.DeliveredIndex("age"), 2);
    EXPECT_EQ(names.DeliveredIndex("\xe9"), 4);
    EXPECT_EQ(names.DeliveredIndex("\xc3\xa9"), 4);
    EXPECT_EQ(names.DeliveredIndex("bad"), -1);
    EXPECT_EQ(names.DeliveredIndex(""), -1);
    EXPECT_EQ(names.DeliveredIndex("none"), -1);
    EXPECT_FALSE(names.Delivers(99));
}

// Many names cost no more per record than few: a file of 200,000 distinct
// names is placed in one pass (a search through every slot per record
// would take minutes).
TEST(NameFilling, ManyNamesArePlacedInOnePass) {
    CPdcNameFilling names;
    constexpr int32_t Count = 200000;
    for (int32_t i = 0; i < Count; ++i) {
        std::string name = std::to_string(i);  // g++ 12 warns falsely of "n" + ... at -O3
        name.insert(name.begin(), 'n');
        names.Take(i, name, false, PdcCodeDouble);
    }
    names.Take(Count, "n7", false, PdcCodeDouble);
    EXPECT_TRUE(names.Delivers(Count - 1));
    EXPECT_FALSE(names.Delivers(7));
    EXPECT_EQ(names.DeliveredIndex("n7"), Count);
}

}  // namespace
