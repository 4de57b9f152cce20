// Writing: the exact bytes of a file, and writers that report stream errors.
#include <gtest/gtest.h>

#include <cstring>

#include "PdcTestFiles.h"
#include "pdc/Pdc.h"

using namespace PdcTest;

namespace {

// Header and records of `pdc`, written as the exporting node does.
bool WritePdc(const std::string& path, const CPdc& pdc) {
    CFile file(path, "wb");
    const PdcHeader header = PdcHeader::ForWriting(pdc.PositionCount(), pdc.NamedAttributeCount());
    const bool written = header.FWrite(file) && pdc.FWriteAttributes(file);
    return file.Close() == 0 && written;
}

CPdc ThreeParticles() {
    CPdc pdc;
    SetLayout(pdc);
    pdc.Resize(3);
    CAttribute& id = pdc.attributes[PdcIdSlot];
    CAttribute& position = pdc.attributes[PdcPositionSlot];
    id.isArray = true;
    position.isArray = true;
    for (int32_t i = 0; i < 3; ++i) {
        id.longValues[i] = i + 1;
        position.vectorValues[i] = XSI::MATH::CVector3(i, -0.5 * i, 2.0);
    }
    return pdc;
}

TEST(PdcWrite, ThreeParticlesWithIdAndPositionMakeThe150ByteFile) {
    CTempFolder folder;
    const std::string path = folder.File("three.pdc");
    ASSERT_TRUE(WritePdc(path, ThreeParticles()));

    CBytes expected;
    expected.Header(3, 2).Record("id", 3).Double(1.0).Double(2.0).Double(3.0);
    expected.Record("position", 5);
    for (int i = 0; i < 3; ++i) {
        expected.Double(i).Double(-0.5 * i).Double(2.0);
    }
    const Bytes written = ReadFile(path);
    ASSERT_EQ(written.size(), 150u);
    EXPECT_EQ(written, expected.Get());

    // A few bytes spelled out, so that a byte order mistake shared by the
    // writer and the expectation above cannot hide.
    const Bytes start = {'P', 'D', 'C', ' ', 0, 0, 0,    1,    0, 0, 0, 1, 0, 0, 0, 0,
                         0,   0,   0,   0,   0, 0, 0,    3,    0, 0, 0, 2, 0, 0, 0, 2,
                         'i', 'd', 0,   0,   0, 3, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0};
    EXPECT_TRUE(std::equal(start.begin(), start.end(), written.begin()));
}

TEST(PdcWrite, SingleValuedAttributeWritesElementZeroOnly) {
    CTempFolder folder;
    const std::string path = folder.File("single.pdc");
    CPdc pdc;
    SetLayout(pdc, {{0, "mass"}, {11, "age"}, {17, "wind"}});
    pdc.Resize(2);
    pdc.attributes[0].floatValues[0] = 1.5f;
    pdc.attributes[0].floatValues[1] = 9.0f;
    pdc.attributes[11].longValues[0] = -7;
    pdc.attributes[17].vectorValues[0] = XSI::MATH::CVector3(1, 2, 3);
    ASSERT_TRUE(WritePdc(path, pdc));

    CBytes expected;
    expected.Header(2, 5).Record("mass", 2).Double(1.5);
    expected.Record("id", 2).Double(0).Record("age", 2).Double(-7);
    expected.Record("position", 4).Double(0).Double(0).Double(0);
    expected.Record("wind", 4).Double(1).Double(2).Double(3);
    EXPECT_EQ(ReadFile(path), expected.Get());
}

TEST(PdcWrite, NameLengthIsTheByteCountOfTheNarrowName) {
    CTempFolder folder;
    const std::string path = folder.File("accent.pdc");
    CPdc pdc;
    SetLayout(pdc, {{0, "d\xC3\xA9j\xC3\xA0"}});  // 4 characters, 6 bytes
    ASSERT_EQ(pdc.attributes[0].name.Length(), 4u);
    pdc.attributes[0].floatValues[0] = 0.25f;
    ASSERT_TRUE(WritePdc(path, pdc));

    CBytes expected;
    expected.Header(1, 3).Record("d\xC3\xA9j\xC3\xA0", 2).Double(0.25);
    expected.Record("id", 2).Double(0).Record("position", 4).Double(0).Double(0).Double(0);
    EXPECT_EQ(ReadFile(path), expected.Get());

    CPdc back;
    SetLayout(back, {{0, "d\xC3\xA9j\xC3\xA0"}});
    back.attributes[0].floatValues[0] = 0.0f;
    ASSERT_TRUE(ReadPdcFile(path, back));
    EXPECT_EQ(back.attributes[0].floatValues[0], 0.25f);
}

TEST(PdcWrite, EmptiedSingleValuedAttributeWritesAZeroValue) {
    CTempFolder folder;
    const std::string path = folder.File("empty.pdc");
    CPdc pdc;
    SetLayout(pdc);
    pdc.Resize(0);
    ASSERT_EQ(pdc.PositionCount(), 0);
    ASSERT_TRUE(WritePdc(path, pdc));

    CBytes expected;
    expected.Header(0, 2).Record("id", 2).Double(0);
    expected.Record("position", 4).Double(0).Double(0).Double(0);
    EXPECT_EQ(ReadFile(path), expected.Get());
}

TEST(PdcWrite, AttributeWithoutTypeIsRefusedBeforeAnyByte) {
    CTempFolder folder;
    const std::string path = folder.File("untyped.pdc");
    CFile file(path, "wb");
    CAttribute attribute;
    attribute.Set(Text("mass"), PdcTypeNone);
    EXPECT_FALSE(attribute.FWrite(file));
    attribute.Set(Text("mass"), 7);
    EXPECT_FALSE(attribute.FWrite(file));
    EXPECT_EQ(std::ftell(file), 0);

    CPdc pdc;
    pdc.SetAttribute(PdcPositionSlot, Text("position"), PdcTypeNone);
    EXPECT_FALSE(pdc.FWriteAttributes(file));
}

TEST(PdcWrite, NullStreamIsRefused) {
    const CPdc pdc = ThreeParticles();
    EXPECT_FALSE(PdcHeader::ForWriting(3, 2).FWrite(nullptr));
    EXPECT_FALSE(pdc.attributes[PdcIdSlot].FWrite(nullptr));
    EXPECT_FALSE(pdc.FWriteAttributes(nullptr));
}

TEST(PdcWrite, WritersReportAStreamThatRefusesWrites) {
    CTempFolder folder;
    const std::string path = folder.File("readonly.pdc");
    WriteFile(path, Bytes(10, 0));
    CFile file(path, "rb");
    const CPdc pdc = ThreeParticles();
    EXPECT_FALSE(PdcHeader::ForWriting(3, 2).FWrite(file));
    EXPECT_FALSE(pdc.attributes[PdcIdSlot].FWrite(file));
    EXPECT_FALSE(pdc.attributes[PdcPositionSlot].FWrite(file));
    EXPECT_FALSE(pdc.FWriteAttributes(file));
}

#ifdef __linux__
// A full disk: small writes land in the stream's buffer and fail only when
// it goes out, which FWriteAttributes forces.
TEST(PdcWrite, FullDiskIsReportedByTheWriters) {
    CFile buffered("/dev/full", "wb");
    ASSERT_NE(buffered.Get(), nullptr);
    const CPdc pdc = ThreeParticles();
    PdcHeader::ForWriting(3, 2).FWrite(buffered);
    EXPECT_FALSE(pdc.FWriteAttributes(buffered));

    CFile unbuffered("/dev/full", "wb");
    ASSERT_EQ(std::setvbuf(unbuffered, nullptr, _IONBF, 0), 0);
    EXPECT_FALSE(PdcHeader::ForWriting(3, 2).FWrite(unbuffered));
    EXPECT_FALSE(pdc.attributes[PdcIdSlot].FWrite(unbuffered));

    CPdc big;
    SetLayout(big);
    big.Resize(100000);
    big.attributes[PdcPositionSlot].isArray = true;
    CFile large("/dev/full", "wb");
    EXPECT_FALSE(big.attributes[PdcPositionSlot].FWrite(large));
}
#endif

}  // namespace
