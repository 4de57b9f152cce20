// The bulk conversions: every variant the machine runs (plain code, SSE2,
// AVX2) gives the bits of the one-value functions, for every run length
// and alignment, the edge values of each conversion included.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "base/DoubleToInt32.h"
#include "pdc/ByteOrder.h"

namespace {

using PdcByteOrder::CBulkConversions;
using PdcByteOrder::CBulkLevel;

constexpr double Inf = std::numeric_limits<double>::infinity();

// Doubles that each conversion treats apart: signed zeros, subnormals (of
// double and of float), values that round between floats, the int32
// limits and the values just inside and outside them, infinities and NaNs
// with payloads and signs.
std::vector<double> EdgeDoubles() {
    std::vector<double> values = {0.0,
                                  -0.0,
                                  1.0,
                                  -2.9,
                                  2.9,
                                  0.1,
                                  1e300,
                                  -1e300,
                                  std::ldexp(1.0, -1070),
                                  std::ldexp(1.0, -140),
                                  std::ldexp(1.0, -150),
                                  1.0 + std::ldexp(1.0, -24),
                                  1.0 + std::ldexp(3.0, -25),
                                  3.4028235677973366e38,
                                  3.4028236e38,
                                  2147483647.0,
                                  2147483647.5,
                                  2147483648.0,
                                  -2147483648.0,
                                  -2147483648.9,
                                  -2147483649.0,
                                  Inf,
                                  -Inf,
                                  std::numeric_limits<double>::quiet_NaN(),
                                  -std::numeric_limits<double>::quiet_NaN(),
                                  std::bit_cast<double>(uint64_t{0x7FF0000000000001}),
                                  std::bit_cast<double>(uint64_t{0xFFF8DEADBEEF0001})};
    // Enough ordinary values that every vector width gets several loops.
    for (int i = 0; i < 64; ++i) {
        values.push_back((i - 32) * 123456.789 + i * 1e-3);
    }
    return values;
}

std::vector<int32_t> EdgeInt32s() {
    std::vector<int32_t> values = {0,
                                   1,
                                   -1,
                                   7,
                                   std::numeric_limits<int32_t>::min(),
                                   std::numeric_limits<int32_t>::max(),
                                   0x01020304,
                                   -0x01020304};
    for (int32_t i = 0; i < 64; ++i) {
        values.push_back(i * 0x10203 - 0x4000000);
    }
    return values;
}

std::vector<float> EdgeFloats() {
    std::vector<float> values;
    for (double value : EdgeDoubles()) {
        values.push_back(static_cast<float>(value));
    }
    values.push_back(std::bit_cast<float>(uint32_t{0x7F800001}));
    values.push_back(std::numeric_limits<float>::denorm_min());
    return values;
}

// The file bytes of `values` made one value at a time.
std::vector<unsigned char> FileDoubles(const std::vector<double>& values) {
    std::vector<unsigned char> bytes(values.size() * 8);
    for (size_t i = 0; i < values.size(); ++i) {
        PdcByteOrder::StoreDouble(bytes.data() + 8 * i, values[i]);
    }
    return bytes;
}

// Compares bytes, so that NaNs compare by their bits; an empty run (whose
// storage may be null) is always the same.
template <class T>
bool SameBits(const T* a, const T* b, size_t count) {
    return count == 0 || std::memcmp(a, b, count * sizeof(T)) == 0;
}

std::vector<CBulkLevel> Levels() {
    std::vector<CBulkLevel> levels;
    for (CBulkLevel level : {CBulkLevel::Portable, CBulkLevel::Sse2, CBulkLevel::Avx2}) {
        if (PdcByteOrder::BulkConversions(level)) {
            levels.push_back(level);
        }
    }
    return levels;
}

// Runs every length up to `total` at every alignment of 0 to 7 bytes, so
// that vector loops, their tails and unaligned loads are all met.
template <class Check>
void ForEveryRun(size_t total, Check check) {
    for (size_t shift = 0; shift < 8; ++shift) {
        for (size_t count = 0; count <= total; count += count < 40 ? 1 : 7) {
            SCOPED_TRACE("count " + std::to_string(count) + ", shift " + std::to_string(shift));
            check(shift, count);
        }
    }
}

class ByteOrderBulk : public ::testing::TestWithParam<CBulkLevel> {
protected:
    const CBulkConversions& Conversions() const {
        return *PdcByteOrder::BulkConversions(GetParam());
    }
};

TEST_P(ByteOrderBulk, DoublesFromTheFileKeepEveryBitAndNarrowOrTruncateAsOneByOne) {
    const std::vector<double> values = EdgeDoubles();
    const std::vector<unsigned char> file = FileDoubles(values);
    ForEveryRun(values.size(), [&](size_t shift, size_t count) {
        std::vector<unsigned char> in(shift + 8 * count + 8);
        std::memcpy(in.data() + shift, file.data(), 8 * count);
        const unsigned char* bytes = in.data() + shift;

        std::vector<unsigned char> doubles(8 * count + shift);
        Conversions().swap64(doubles.data() + shift, bytes, count);
        std::vector<float> floats(count + 1, -7.0f);
        Conversions().loadDoublesAsFloats(floats.data() + 1, bytes, count);
        std::vector<int32_t> longs(count + 1, -7);
        Conversions().loadDoublesAsLongs(longs.data() + 1, bytes, count);
        for (size_t i = 0; i < count; ++i) {
            double got;
            std::memcpy(&got, doubles.data() + shift + 8 * i, 8);
            const float narrowed = static_cast<float>(values[i]);
            const int32_t truncated = DoubleToInt32(values[i]);
            ASSERT_TRUE(SameBits(&got, &values[i], 1)) << i;
            ASSERT_TRUE(SameBits(&floats[i + 1], &narrowed, 1)) << i << ": " << values[i];
            ASSERT_EQ(longs[i + 1], truncated) << i << ": " << values[i];
        }
        // Nothing before the run is written.
        EXPECT_EQ(floats[0], -7.0f);
        EXPECT_EQ(longs[0], -7);
    });
}

TEST_P(ByteOrderBulk, ValuesToTheFileGiveTheBytesOfOneByOne) {
    const std::vector<double> doubles = EdgeDoubles();
    const std::vector<float> floats = EdgeFloats();
    const std::vector<int32_t> ints = EdgeInt32s();
    ForEveryRun(ints.size(), [&](size_t shift, size_t count) {
        std::vector<unsigned char> got(shift + 8 * count + 1, 0xAA);
        std::vector<unsigned char> expected(8 * count);

        Conversions().swap64(got.data() + shift, doubles.data(), count);
        for (size_t i = 0; i < count; ++i) {
            PdcByteOrder::StoreDouble(expected.data() + 8 * i, doubles[i]);
        }
        ASSERT_TRUE(SameBits(got.data() + shift, expected.data(), 8 * count));

        Conversions().storeFloatsAsDoubles(got.data() + shift, floats.data(), count);
        for (size_t i = 0; i < count; ++i) {
            PdcByteOrder::StoreDouble(expected.data() + 8 * i, static_cast<double>(floats[i]));
        }
        ASSERT_TRUE(SameBits(got.data() + shift, expected.data(), 8 * count));

        Conversions().storeInt32sAsDoubles(got.data() + shift, ints.data(), count);
        for (size_t i = 0; i < count; ++i) {
            PdcByteOrder::StoreDouble(expected.data() + 8 * i, static_cast<double>(ints[i]));
        }
        ASSERT_TRUE(SameBits(got.data() + shift, expected.data(), 8 * count));

        Conversions().swap32(got.data() + shift, ints.data(), count);
        for (size_t i = 0; i < count; ++i) {
            PdcByteOrder::StoreInt32(expected.data() + 4 * i, ints[i]);
        }
        ASSERT_TRUE(SameBits(got.data() + shift, expected.data(), 4 * count));
        // The byte after the longest run stays as it was.
        EXPECT_EQ(got[shift + 8 * count], 0xAA);
    });
}

TEST_P(ByteOrderBulk, SwapsInPlaceAndBack) {
    std::vector<int32_t> ints = EdgeInt32s();
    std::vector<double> doubles = EdgeDoubles();
    const std::vector<int32_t> intsBefore = ints;
    const std::vector<double> doublesBefore = doubles;
    Conversions().swap32(ints.data(), ints.data(), ints.size());
    Conversions().swap64(doubles.data(), doubles.data(), doubles.size());
    for (size_t i = 0; i < ints.size(); ++i) {
        unsigned char expected[4];
        PdcByteOrder::StoreInt32(expected, intsBefore[i]);
        ASSERT_EQ(std::memcmp(&ints[i], expected, 4), 0) << i;
    }
    Conversions().swap32(ints.data(), ints.data(), ints.size());
    Conversions().swap64(doubles.data(), doubles.data(), doubles.size());
    EXPECT_EQ(ints, intsBefore);
    EXPECT_TRUE(SameBits(doubles.data(), doublesBefore.data(), doubles.size()));
}

// Narrowing in place: the doubles land where the results go and are
// converted front to back, as the slot reader does.
TEST_P(ByteOrderBulk, NarrowsInPlace) {
    const std::vector<double> values = EdgeDoubles();
    const std::vector<unsigned char> file = FileDoubles(values);
    std::vector<unsigned char> memory(file);
    Conversions().loadDoublesAsFloats(reinterpret_cast<float*>(memory.data()), memory.data(),
                                      values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        const float expected = static_cast<float>(values[i]);
        ASSERT_TRUE(
            SameBits(memory.data() + 4 * i, reinterpret_cast<const unsigned char*>(&expected), 4))
            << i;
    }
    memory = file;
    Conversions().loadDoublesAsLongs(reinterpret_cast<int32_t*>(memory.data()), memory.data(),
                                     values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        int32_t got;
        std::memcpy(&got, memory.data() + 4 * i, 4);
        ASSERT_EQ(got, DoubleToInt32(values[i])) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, ByteOrderBulk, ::testing::ValuesIn(Levels()),
                         [](const auto& info) {
                             switch (info.param) {
                                 case CBulkLevel::Sse2:
                                     return "Sse2";
                                 case CBulkLevel::Avx2:
                                     return "Avx2";
                                 default:
                                     return "Portable";
                             }
                         });

// The entry points use the best level, and that level is one that runs.
TEST(ByteOrder, EntryPointsConvertWithTheBestLevel) {
    ASSERT_NE(PdcByteOrder::BulkConversions(PdcByteOrder::BestBulkLevel()), nullptr);
    ASSERT_NE(PdcByteOrder::BulkConversions(CBulkLevel::Portable), nullptr);
#if defined(__x86_64__) || defined(__i386__)
    // x86-64 always has SSE2; the 32-bit builds require it.
    EXPECT_NE(PdcByteOrder::BestBulkLevel(), CBulkLevel::Portable);
#endif
    const std::vector<double> values = EdgeDoubles();
    const std::vector<unsigned char> file = FileDoubles(values);
    std::vector<unsigned char> stored(file.size());
    PdcByteOrder::StoreDoubles(stored.data(), values.data(), values.size());
    EXPECT_EQ(stored, file);
    std::vector<double> loaded(values.size());
    PdcByteOrder::LoadDoubles(loaded.data(), file.data(), values.size());
    EXPECT_TRUE(SameBits(loaded.data(), values.data(), values.size()));
    std::vector<int32_t> longs(values.size());
    PdcByteOrder::LoadDoublesAsLongs(longs.data(), file.data(), values.size());
    std::vector<float> floats(values.size());
    PdcByteOrder::LoadDoublesAsFloats(floats.data(), file.data(), values.size());
    for (size_t i = 0; i < values.size(); ++i) {
        EXPECT_EQ(longs[i], DoubleToInt32(values[i])) << values[i];
        const float narrowed = static_cast<float>(values[i]);
        EXPECT_TRUE(SameBits(&floats[i], &narrowed, 1)) << values[i];
    }
}

// Both byte orders of every width load the same numbers from mirrored
// bytes, whatever the host's own order.
TEST(ByteOrder, BothOrdersLoadEveryWidth) {
    const unsigned char bytes[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    const unsigned char mirrored[8] = {0xEF, 0xCD, 0xAB, 0x89, 0x67, 0x45, 0x23, 0x01};
    EXPECT_EQ(PdcByteOrder::LoadUInt16(bytes), 0x0123u);
    EXPECT_EQ(PdcByteOrder::LoadLittleUInt16(bytes), 0x2301u);
    EXPECT_EQ(PdcByteOrder::LoadUInt32(bytes), 0x01234567u);
    EXPECT_EQ(PdcByteOrder::LoadLittleUInt32(bytes), 0x67452301u);
    EXPECT_EQ(PdcByteOrder::LoadUInt64(bytes), 0x0123456789ABCDEFull);
    EXPECT_EQ(PdcByteOrder::LoadLittleUInt64(bytes), 0xEFCDAB8967452301ull);
    EXPECT_EQ(PdcByteOrder::LoadLittleUInt64(mirrored), PdcByteOrder::LoadUInt64(bytes));
    EXPECT_EQ(PdcByteOrder::LoadLittleUInt32(mirrored + 4), PdcByteOrder::LoadUInt32(bytes));
    EXPECT_EQ(PdcByteOrder::LoadLittleUInt16(mirrored + 6), PdcByteOrder::LoadUInt16(bytes));
    // The top bit of every width survives (no sign spreads through a shift).
    const unsigned char high[8] = {0xFF, 0xFE, 0xFD, 0xFC, 0xFB, 0xFA, 0xF9, 0xF8};
    EXPECT_EQ(PdcByteOrder::LoadUInt16(high), 0xFFFEu);
    EXPECT_EQ(PdcByteOrder::LoadLittleUInt16(high), 0xFEFFu);
    EXPECT_EQ(PdcByteOrder::LoadUInt32(high), 0xFFFEFDFCu);
    EXPECT_EQ(PdcByteOrder::LoadLittleUInt32(high), 0xFCFDFEFFu);
    EXPECT_EQ(PdcByteOrder::LoadLittleUInt64(high), 0xF8F9FAFBFCFDFEFFull);
}

}  // namespace
