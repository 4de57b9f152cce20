// The PLY reader on files from other programs: headers that are wrong in
// one word, every scalar type in both byte orders, ASCII values at the
// edges of their types, and elements before the vertices stepped over.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tools/ply/PlyCursor.h"
#include "tools/ply/PlyFormat.h"

namespace VelpoTools {
namespace {

// Binary data in a chosen byte order, built byte by byte.
class CBody {
public:
    explicit CBody(bool bigEndian) : bigEndian_(bigEndian) {}

    template <class T>
    CBody& Put(T value) {
        unsigned char raw[sizeof(T)];
        std::memcpy(raw, &value, sizeof(T));
        // The bytes of an integer of the host, least significant first on
        // x86; a big-endian file wants them the other way round.
        const bool hostLittle = std::endian::native == std::endian::little;
        for (size_t k = 0; k < sizeof(T); ++k) {
            const size_t from = (bigEndian_ == hostLittle) ? sizeof(T) - 1 - k : k;
            bytes_ += static_cast<char>(raw[from]);
        }
        return *this;
    }

    const std::string& Bytes() const { return bytes_; }

private:
    bool bigEndian_;
    std::string bytes_;
};

std::string Header(const std::string& format, const std::string& elements) {
    return "ply\nformat " + format + " 1.0\n" + elements + "end_header\n";
}

std::string Failure(const std::string& bytes) {
    CPlyVertices vertices;
    const Velpo::CResult read = ReadPlyBytes("in.ply", bytes, vertices);
    return read.Succeeded() ? "read" : read.Message();
}

TEST(PlyHeaderParse, EachWrongLineIsNamedAndOnlyACutHeaderAsksForMore) {
    struct Case {
        std::string text;
        std::string message;
        bool ranOut;
    } cases[] = {
        {"", "not a PLY file: it does not start with the line \"ply\"", true},
        {"ply", "not a PLY file", true},
        {"plyx\nformat ascii 1.0\n", "not a PLY file", false},
        {"PLY\n", "not a PLY file", false},
        {"ply\nformat ascii 1.0\n", "the header never ends: no \"end_header\" line", true},
        {"ply\nformat ascii 1.0\nelement vertex 1\nend_hea", "the header never ends", true},
        {"ply\nend_header\n", "header line 2: the header has no \"format\" line", false},
        {"ply\nformat ascii 2.0\n", "header line 2: expected \"format <encoding> 1.0\"", false},
        {"ply\nformat ascii\n", "header line 2: expected \"format <encoding> 1.0\"", false},
        {"ply\nformat binary 1.0\n", "header line 2: unknown format \"binary\"", false},
        {"ply\nformat ascii 1.0\nformat ascii 1.0\n", "header line 3: a second \"format\" line",
         false},
        {"ply\nformat ascii 1.0\nelement vertex -1\n",
         "header line 3: expected \"element <name> <count>\" with a count of 0 or more", false},
        {"ply\nformat ascii 1.0\nelement vertex 1x\n", "header line 3: expected \"element", false},
        {"ply\nformat ascii 1.0\nelement vertex +1\n", "header line 3: expected \"element", false},
        {"ply\nformat ascii 1.0\nelement vertex 99999999999999999999\n",
         "header line 3: expected \"element", false},
        {"ply\nformat ascii 1.0\nelement vertex\n", "header line 3: expected \"element", false},
        {"ply\nformat ascii 1.0\nelement vertex 1 2\n", "header line 3: expected \"element", false},
        {"ply\nformat ascii 1.0\nelement vertex 1\nelement vertex 2\n",
         "header line 4: a second element \"vertex\"", false},
        {"ply\nformat ascii 1.0\nproperty float x\n",
         "header line 3: a property before any element", false},
        {"ply\nformat ascii 1.0\nelement vertex 1\nproperty float128 x\n",
         "header line 4: unknown property type \"float128\"", false},
        {"ply\nformat ascii 1.0\nelement vertex 1\nproperty float\n",
         "header line 4: expected \"property <type> <name>\"", false},
        {"ply\nformat ascii 1.0\nelement f 1\nproperty list uchar int\n",
         "header line 4: expected \"property <type> <name>\"", false},
        {"ply\nformat ascii 1.0\nelement f 1\nproperty list float int i\n",
         "header line 4: the length type of a list must be an integer type, not \"float\"", false},
        {"ply\nformat ascii 1.0\nelement f 1\nproperty list double int i\n",
         "header line 4: the length type of a list must be an integer type", false},
        {"ply\nformat ascii 1.0\nvertex 3\n", "header line 3: unknown header line \"vertex 3\"",
         false},
    };
    for (const Case& c : cases) {
        CPlyHeader header;
        bool ranOut = !c.ranOut;
        const Velpo::CResult parsed = ParsePlyHeader(c.text, header, &ranOut);
        ASSERT_FALSE(parsed.Succeeded()) << c.text;
        EXPECT_EQ(parsed.Message().substr(0, c.message.size()), c.message) << parsed.Message();
        EXPECT_EQ(ranOut, c.ranOut) << c.text;
        // The file reader puts the name before the same message.
        EXPECT_EQ(Failure(c.text), "in.ply: " + parsed.Message());
    }
}

TEST(PlyHeaderParse, ValidHeadersGiveTheirEncodingCountsAndDataOffset) {
    struct Case {
        std::string text;
        CPlyEncoding encoding;
        int64_t count;
    } cases[] = {
        {"ply\nformat ascii 1.0\nelement vertex 0\nend_header\n", CPlyEncoding::Ascii, 0},
        {"ply\r\nformat binary_little_endian 1.0\r\nelement vertex 7\r\nend_header\r\n",
         CPlyEncoding::BinaryLittleEndian, 7},
        {"ply\nformat  binary_big_endian\t1.0 \n  element vertex 9223372036854775807\nend_header\n",
         CPlyEncoding::BinaryBigEndian, 9223372036854775807},
        {"ply\nformat ascii 1.0\n\nobj_info made by hand\nelement vertex 2\n\nend_header\n",
         CPlyEncoding::Ascii, 2},
    };
    for (const Case& c : cases) {
        CPlyHeader header;
        bool ranOut = true;
        const Velpo::CResult parsed = ParsePlyHeader(c.text + "rest", header, &ranOut);
        ASSERT_TRUE(parsed.Succeeded()) << c.text << ": " << parsed.Message();
        EXPECT_FALSE(ranOut);
        EXPECT_EQ(header.encoding, c.encoding);
        ASSERT_EQ(header.elements.size(), 1u);
        EXPECT_EQ(header.elements[0].count, c.count);
        EXPECT_EQ(header.dataOffset, c.text.size());
        EXPECT_TRUE(header.comments.empty());
    }
}

TEST(PlyTypes, EveryNameSizeAndKindOfTheTypes) {
    struct Case {
        const char* classic;
        const char* sized;
        CPlyType type;
        size_t bytes;
        bool integer;
    } cases[] = {
        {"char", "int8", CPlyType::Int8, 1, true},
        {"uchar", "uint8", CPlyType::UInt8, 1, true},
        {"short", "int16", CPlyType::Int16, 2, true},
        {"ushort", "uint16", CPlyType::UInt16, 2, true},
        {"int", "int32", CPlyType::Int32, 4, true},
        {"uint", "uint32", CPlyType::UInt32, 4, true},
        {"float", "float32", CPlyType::Float32, 4, false},
        {"double", "float64", CPlyType::Float64, 8, false},
        {"int64", "int64", CPlyType::Int64, 8, true},
        {"uint64", "uint64", CPlyType::UInt64, 8, true},
    };
    for (const Case& c : cases) {
        for (const char* name : {c.classic, c.sized}) {
            CPlyType type = CPlyType::Float64;
            if (c.type == CPlyType::Float64) {
                type = CPlyType::Int8;
            }
            ASSERT_TRUE(PlyTypeFromName(name, type)) << name;
            EXPECT_EQ(type, c.type) << name;
        }
        EXPECT_STREQ(PlyTypeName(c.type), c.classic);
        EXPECT_EQ(PlyTypeBytes(c.type), c.bytes) << c.classic;
        EXPECT_EQ(PlyTypeIsInteger(c.type), c.integer) << c.classic;
    }
    CPlyType type = CPlyType::Int8;
    for (const char* name : {"", "Float", "float16", "int128", "uchar8", "double "}) {
        EXPECT_FALSE(PlyTypeFromName(name, type)) << name;
        EXPECT_EQ(type, CPlyType::Int8);
    }
}

// One vertex property of two values, in either byte order.
struct CTypedValues {
    const char* type;
    double first;
    double second;
    void (*put)(CBody&, double, double);
};

template <class T>
void PutTwo(CBody& body, double a, double b) {
    body.Put(static_cast<T>(a)).Put(static_cast<T>(b));
}

TEST(PlyBinaryRead, EveryTypeInBothByteOrdersGivesItsValues) {
    const CTypedValues cases[] = {
        {"char", -128, 127, PutTwo<int8_t>},
        {"uchar", 0, 255, PutTwo<uint8_t>},
        {"short", -32768, 258, PutTwo<int16_t>},
        {"ushort", 65535, 258, PutTwo<uint16_t>},
        {"int", -2147483648.0, 16909060, PutTwo<int32_t>},
        {"uint", 4294967295.0, 16909060, PutTwo<uint32_t>},
        {"float", -1.5, 65536.5, PutTwo<float>},
        {"double", -0.1, 1e300, PutTwo<double>},
        {"int64", -9007199254740992.0, 72623859790381056.0, PutTwo<int64_t>},
        {"uint64", 9007199254740992.0, 18446744073709549568.0, PutTwo<uint64_t>},
    };
    for (const bool big : {false, true}) {
        for (const CTypedValues& c : cases) {
            SCOPED_TRACE(std::string(c.type) + (big ? " big-endian" : " little-endian"));
            // Two rows of (uchar a, T v, uchar b): the values alternate
            // with the bytes around them.
            CBody first(big);
            c.put(first, c.first, c.first);
            CBody second(big);
            c.put(second, c.second, c.second);
            const size_t size = first.Bytes().size() / 2;
            const std::string text =
                Header(big ? "binary_big_endian" : "binary_little_endian",
                       std::string("element vertex 2\nproperty uchar a\nproperty ") + c.type +
                           " v\nproperty uchar b\n") +
                "\x01" + first.Bytes().substr(0, size) + "\x02" + "\x03" +
                second.Bytes().substr(0, size) + "\x04";
            CPlyVertices vertices;
            const Velpo::CResult read = ReadPlyBytes("in.ply", text, vertices);
            ASSERT_TRUE(read.Succeeded()) << read.Message();
            EXPECT_EQ(vertices.encoding,
                      big ? CPlyEncoding::BinaryBigEndian : CPlyEncoding::BinaryLittleEndian);
            EXPECT_EQ(vertices.count, 2);
            ASSERT_EQ(vertices.columns.size(), 3u);
            EXPECT_EQ(vertices.columns[0].values, (std::vector<double>{1, 3}));
            EXPECT_EQ(vertices.columns[1].name, "v");
            EXPECT_EQ(vertices.columns[1].values,
                      (std::vector<double>{static_cast<double>(c.first), c.second}));
            EXPECT_EQ(vertices.columns[2].values, (std::vector<double>{2, 4}));
        }
    }
}

TEST(PlyBinaryRead, SixtyFourBitIntegersBeyondADoubleAreNamed) {
    for (const bool big : {false, true}) {
        CBody body(big);
        body.Put(int64_t{5}).Put(int64_t{9007199254740993});
        const std::string text = Header(big ? "binary_big_endian" : "binary_little_endian",
                                        "element vertex 2\nproperty int64 n\n") +
                                 body.Bytes();
        EXPECT_EQ(Failure(text),
                  "in.ply: vertex 1, property \"n\": the int64 9007199254740993 is beyond what a "
                  "double holds exactly (2^53), so no PDC record can hold it");
    }
}

TEST(PlyBinaryRead, ListsOfElementsBeforeTheVerticesAreSteppedOverByItems) {
    for (const bool big : {false, true}) {
        SCOPED_TRACE(big ? "big-endian" : "little-endian");
        // Two faces: a uchar count of int items, and a ushort count of
        // double items, then a short of their own.
        CBody faces(big);
        faces.Put(uint8_t{3}).Put(int32_t{1}).Put(int32_t{2}).Put(int32_t{3});
        faces.Put(uint16_t{1}).Put(1.5).Put(int16_t{-4});
        faces.Put(uint8_t{0});
        faces.Put(uint16_t{2}).Put(2.5).Put(3.5).Put(int16_t{-5});
        CBody vertices(big);
        vertices.Put(0.25f).Put(-0.5f);
        const std::string head = Header(big ? "binary_big_endian" : "binary_little_endian",
                                        "element face 2\nproperty list uchar int corners\n"
                                        "property list ushort double weights\nproperty short tag\n"
                                        "element vertex 2\nproperty float x\n");
        CPlyVertices read;
        const Velpo::CResult result =
            ReadPlyBytes("in.ply", head + faces.Bytes() + vertices.Bytes(), read);
        ASSERT_TRUE(result.Succeeded()) << result.Message();
        ASSERT_EQ(read.columns.size(), 1u);
        EXPECT_EQ(read.columns[0].values, (std::vector<double>{0.25, -0.5}));

        // Cut anywhere, the file fails with a message; never a wrong read.
        const std::string whole = head + faces.Bytes() + vertices.Bytes();
        for (size_t size = head.size(); size < whole.size(); ++size) {
            CPlyVertices cut;
            const Velpo::CResult failed = ReadPlyBytes("in.ply", whole.substr(0, size), cut);
            ASSERT_FALSE(failed.Succeeded()) << size;
            EXPECT_EQ(failed.Message().rfind("in.ply: ", 0), 0u) << failed.Message();
        }
    }
}

TEST(PlyBinaryRead, CountsTheBytesCannotHoldAreRefusedBeforeAnythingIsSized) {
    struct Case {
        std::string elements;
        std::string data;
        std::string message;
    } cases[] = {
        {"element vertex 3\nproperty double x\n", std::string(16, '\0'),
         "in.ply: the header counts 3 vertices of 8 bytes, but only 16 bytes of data follow"},
        {"element vertex 2305843009213693952\nproperty double x\n", std::string(16, '\0'),
         "in.ply: the header counts 2305843009213693952 vertices of 8 bytes"},
        {"element face 1\nproperty list uchar int i\nelement vertex 1\nproperty float x\n",
         std::string("\xff") + std::string(12, '\0'),
         "in.ply: the data ends inside element \"face\""},
        {"element face 1000000000000\nproperty int i\nelement vertex 0\nproperty float x\n",
         std::string(8, '\0'), "in.ply: the data ends inside element \"face\""},
        {"element face 1\nproperty list uint64 int i\nelement vertex 0\nproperty float x\n",
         std::string(8, '\xff'), "in.ply: the data ends inside element \"face\""},
        {"element face 1\nproperty list char int i\nelement vertex 0\nproperty float x\n",
         std::string(1, '\xff'),
         "in.ply: element \"face\", row 0: list \"i\" has a negative length"},
        {"element face 1\nproperty float x\n", "", "in.ply: no \"vertex\" element in the header"},
        {"element vertex 1\nproperty list uchar int i\n", "\x00",
         "in.ply: vertex property \"i\" is a list; only number properties can be converted"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Failure(Header("binary_little_endian", c.elements) + c.data)
                      .substr(0, c.message.size()),
                  c.message)
            << c.elements;
    }
}

TEST(PlyAsciiValue, IntegersWithinTheirTypeAndFloatsAsAnyDecimal) {
    struct Case {
        CPlyType type;
        const char* word;
        bool ok;
        double value;
    } cases[] = {
        {CPlyType::Int8, "-128", true, -128},
        {CPlyType::Int8, "127", true, 127},
        {CPlyType::Int8, "128", false, 0},
        {CPlyType::Int8, "-129", false, 0},
        {CPlyType::UInt8, "255", true, 255},
        {CPlyType::UInt8, "+7", true, 7},
        {CPlyType::Int8, "+-5", false, 0},
        {CPlyType::Int32, "++5", false, 0},
        {CPlyType::Float32, "+-1.5", false, 0},
        {CPlyType::Float64, "+1.5", true, 1.5},
        {CPlyType::UInt8, "256", false, 0},
        {CPlyType::UInt8, "-1", false, 0},
        {CPlyType::Int16, "-32768", true, -32768},
        {CPlyType::Int16, "32767", true, 32767},
        {CPlyType::Int16, "32768", false, 0},
        {CPlyType::UInt16, "65535", true, 65535},
        {CPlyType::UInt16, "40000", true, 40000},
        {CPlyType::UInt16, "65536", false, 0},
        {CPlyType::UInt16, "-1", false, 0},
        {CPlyType::Int32, "-2147483648", true, -2147483648.0},
        {CPlyType::Int32, "2147483647", true, 2147483647},
        {CPlyType::Int32, "2147483648", false, 0},
        {CPlyType::UInt32, "4294967295", true, 4294967295.0},
        {CPlyType::UInt32, "4294967296", false, 0},
        {CPlyType::UInt32, "-1", false, 0},
        {CPlyType::Int64, "-9007199254740992", true, -9007199254740992.0},
        {CPlyType::UInt64, "18446744073709549568", true, 18446744073709549568.0},
        {CPlyType::Int32, "1.0", false, 0},
        {CPlyType::Int32, "1e3", false, 0},
        {CPlyType::Int32, "0x10", false, 0},
        {CPlyType::Int32, "++1", false, 0},
        {CPlyType::Float32, "+1.5", true, 1.5},
        {CPlyType::Float32, "-2.5e-3", true, -2.5e-3},
        {CPlyType::Float64, "inf", true, HUGE_VAL},
        {CPlyType::Float64, "-inf", true, -HUGE_VAL},
        {CPlyType::Float64, "1e400", false, 0},
        {CPlyType::Float64, "1.5.2", false, 0},
        {CPlyType::Float64, "x", false, 0},
    };
    for (const Case& c : cases) {
        CPlyProperty property;
        property.name = "p";
        property.type = c.type;
        double value = -99;
        const Velpo::CResult parsed = ParsePlyAsciiValue("in.ply", 4, property, c.word, value);
        ASSERT_EQ(parsed.Succeeded(), c.ok) << PlyTypeName(c.type) << " " << c.word;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.word;
        } else {
            EXPECT_EQ(parsed.Message(), std::string("in.ply: vertex 4, property \"p\": \"") +
                                            c.word + "\" is not a number of type " +
                                            PlyTypeName(c.type));
        }
    }
    // NaN keeps its sign; an integer beyond a double's exact range is named as such.
    CPlyProperty real{"r", CPlyType::Float64, false, CPlyType::UInt8};
    double value = 0;
    ASSERT_TRUE(ParsePlyAsciiValue("in.ply", 0, real, "nan", value).Succeeded());
    EXPECT_TRUE(std::isnan(value));
    EXPECT_FALSE(std::signbit(value));
    ASSERT_TRUE(ParsePlyAsciiValue("in.ply", 0, real, "-nan", value).Succeeded());
    EXPECT_TRUE(std::isnan(value));
    EXPECT_TRUE(std::signbit(value));
    CPlyProperty big{"n", CPlyType::Int64, false, CPlyType::UInt8};
    const Velpo::CResult inexact = ParsePlyAsciiValue("in.ply", 2, big, "9007199254740993", value);
    ASSERT_FALSE(inexact.Succeeded());
    EXPECT_EQ(inexact.Message(),
              "in.ply: vertex 2, property \"n\": the int64 9007199254740993 is beyond what a "
              "double holds exactly (2^53), so no PDC record can hold it");
}

TEST(PlyAsciiRead, OtherElementsAreSteppedOverAndACutLastValueIsRefused) {
    const std::string head = Header("ascii",
                                    "element face 2\nproperty list uchar int corners\n"
                                    "property float w\nelement vertex 2\n"
                                    "property ushort n\nproperty float x\n");
    const std::string data = "3 1 2 3 0.5\n0 7\n65535 1.5\n0 -2\n";
    CPlyVertices vertices;
    const Velpo::CResult read = ReadPlyBytes("in.ply", head + data, vertices);
    ASSERT_TRUE(read.Succeeded()) << read.Message();
    ASSERT_EQ(vertices.columns.size(), 2u);
    EXPECT_EQ(vertices.columns[0].values, (std::vector<double>{65535, 0}));
    EXPECT_EQ(vertices.columns[1].values, (std::vector<double>{1.5, -2}));

    struct Case {
        std::string data;
        std::string message;
    } cases[] = {
        {"3 1 2 3 0.5\n0 7\n65535 1.5\n0 -2", "in.ply: the data ends inside the last value of"},
        {"3 1 2 3 0.5\n0 7\n65535 1.5\n0\n", "in.ply: the data ends inside element \"vertex\""},
        {"3 1 2\n", "in.ply: the data ends inside element \"face\""},
        {"-1 0.5\n0 7\n1 1\n1 1\n",
         "in.ply: element \"face\", row 0: list \"corners\" has the length \"-1\""},
        {"x 0.5\n0 7\n1 1\n1 1\n",
         "in.ply: element \"face\", row 0: list \"corners\" has the length"},
        {"0 0.5\n0 7\n65536 1\n1 1\n",
         "in.ply: vertex 0, property \"n\": \"65536\" is not a number of type ushort"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Failure(head + c.data).substr(0, c.message.size()), c.message) << c.data;
    }
    // A count beyond what the bytes can hold is refused at once.
    EXPECT_EQ(Failure(Header("ascii", "element vertex 1000\nproperty float x\n") + "1\n2\n")
                  .substr(0, 40),
              "in.ply: the header counts 1000 vertices ");
}

TEST(PlyCursorTake, NothingIsTakenPastTheEndWhateverTheCount) {
    const std::string bytes = "0123456789";
    CPlyCursor cursor(bytes, 2);
    EXPECT_EQ(cursor.Left(), 8u);
    EXPECT_EQ(cursor.Take(uint64_t{3}, 3), nullptr);
    EXPECT_EQ(cursor.Take(uint64_t{1} << 62, 8), nullptr);
    EXPECT_EQ(cursor.Take(UINT64_MAX, 2), nullptr);
    EXPECT_EQ(cursor.Left(), 8u);
    const unsigned char* four = cursor.Take(uint64_t{2}, 2);
    ASSERT_NE(four, nullptr);
    EXPECT_EQ(*four, '2');
    EXPECT_EQ(cursor.Left(), 4u);
    EXPECT_EQ(cursor.Take(5), nullptr);
    ASSERT_NE(cursor.Take(4), nullptr);
    EXPECT_EQ(cursor.Left(), 0u);
    EXPECT_NE(cursor.Take(uint64_t{0}, 8), nullptr);

    CPlyCursor past(bytes, 99);
    EXPECT_EQ(past.Left(), 0u);
    const std::string words = " \t1.5\r\n\f-2\v";
    CPlyCursor reader(words, 0);
    EXPECT_EQ(reader.Word(), "1.5");
    EXPECT_EQ(reader.Word(), "-2");
    EXPECT_EQ(reader.Word(), "");
}

}  // namespace
}  // namespace VelpoTools
