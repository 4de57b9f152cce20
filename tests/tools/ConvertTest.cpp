// PDC <-> PLY conversion: exact round trips over every record kind, PLY
// files of other programs in every encoding and type, and damaged PLY files.
// PLY bytes are spelled out here with shifts of their own, so that a byte
// order mistake shared by the reader and the writer cannot hide.
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"
#include "tools/ply/ConvertFiles.h"
#include "tools/ply/PlyFormat.h"

namespace VelpoTools {
namespace {

using VelpoTestSupport::CScratchFolder;
using VelpoTestSupport::ReadFile;
using VelpoTestSupport::WriteFile;
using CPdcBytes = VelpoTestSupport::CPdcBytesIn<std::string>;

constexpr double Nan = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();
const double PayloadNan = std::bit_cast<double>(0x7FF0000000000ABCull);
const double NegativeNan = std::bit_cast<double>(0xFFF8000000000000ull);
constexpr double Denormal = std::numeric_limits<double>::denorm_min();

std::string Convert(const std::string& in, const std::string& out, const CPlyChoice& choice = {}) {
    CConvertSummary summary;
    std::vector<std::string> notes;
    const Velpo::CResult done = ConvertFile(in, out, choice, summary, notes);
    return done ? std::string() : done.Message();
}

struct CRoundTripCase {
    const char* name;
    std::string bytes;
    bool asciiExact = true;  // false: NaNs of unusual bits, which ASCII writes as nan
};

std::vector<CRoundTripCase> RoundTripCases() {
    std::vector<CRoundTripCase> cases;
    // As the nodes write: "id" and attributes as doubles, singles for
    // constant ports.
    cases.push_back({"nodes", CPdcBytes()
                                  .Header(2, 5)
                                  .Record("id", 3)
                                  .Doubles({1, 2})
                                  .Record("position", 5)
                                  .Doubles({0.5, -1, 2, 1.5, 3, -4})
                                  .Record("age", 3)
                                  .Doubles({0.1, 1e300})
                                  .Record("velocity", 5)
                                  .Doubles({1, 2, 3, 4, 5, 6})
                                  .Record("drag", 2)
                                  .Double(0.25)
                                  .Bytes()});
    cases.push_back({"code 0", CPdcBytes()
                                   .Header(0, 2)
                                   .Record("lo", 0)
                                   .Int(INT32_MIN)
                                   .Record("hi", 0)
                                   .Int(INT32_MAX)
                                   .Bytes()});
    cases.push_back(
        {"code 1",
         CPdcBytes().Header(3, 1).Record("state", 1).Int(INT32_MIN).Int(0).Int(INT32_MAX).Bytes()});
    cases.push_back({"code 2 specials", CPdcBytes()
                                            .Header(0, 5)
                                            .Record("a", 2)
                                            .Double(-0.0)
                                            .Record("b", 2)
                                            .Double(Nan)
                                            .Record("c", 2)
                                            .Double(-Inf)
                                            .Record("d", 2)
                                            .Double(Denormal)
                                            .Record("e", 2)
                                            .Double(NegativeNan)
                                            .Bytes()});
    cases.push_back(
        {"code 2 payload NaN", CPdcBytes().Header(0, 1).Record("a", 2).Double(PayloadNan).Bytes()});
    cases.push_back({"code 3 specials", CPdcBytes()
                                            .Header(6, 1)
                                            .Record("v", 3)
                                            .Doubles({-0.0, Nan, Inf, -Inf, Denormal, NegativeNan})
                                            .Bytes()});
    cases.push_back({"code 3 payload NaN",
                     CPdcBytes().Header(2, 1).Record("v", 3).Doubles({PayloadNan, 1}).Bytes(),
                     false});
    cases.push_back(
        {"code 4",
         CPdcBytes().Header(0, 1).Record("gravity", 4).Doubles({0, -9.81, PayloadNan}).Bytes()});
    cases.push_back(
        {"code 5 not position",
         CPdcBytes().Header(1, 1).Record("normal", 5).Doubles({-0.0, Inf, 1e-310}).Bytes()});
    cases.push_back({"position as doubles",
                     CPdcBytes().Header(2, 1).Record("position", 3).Doubles({1, 2}).Bytes()});
    cases.push_back({"two positions", CPdcBytes()
                                          .Header(1, 2)
                                          .Record("position", 5)
                                          .Doubles({1, 2, 3})
                                          .Record("position", 5)
                                          .Doubles({4, 5, 6})
                                          .Bytes()});
    // Names that would give the same property: x, y, z of the position,
    // "v" as a vector against "v_x" as a double.
    cases.push_back({"colliding names", CPdcBytes()
                                            .Header(1, 5)
                                            .Record("x", 3)
                                            .Double(7)
                                            .Record("v_x", 3)
                                            .Double(8)
                                            .Record("v", 5)
                                            .Doubles({1, 2, 3})
                                            .Record("position", 5)
                                            .Doubles({4, 5, 6})
                                            .Record("v_2_x", 1)
                                            .Int(9)
                                            .Bytes()});
    cases.push_back({"odd names", CPdcBytes()
                                      .Header(1, 6)
                                      .Record("with blank", 3)
                                      .Double(1)
                                      .Record("", 3)
                                      .Double(2)
                                      .Record("%41", 3)
                                      .Double(3)
                                      .Record("\x01\xff\xc3\xbc\n", 1)
                                      .Int(4)
                                      .Record(std::string_view("a\0b", 3), 2)
                                      .Double(5)
                                      .Record("comment velpo pdc", 4)
                                      .Doubles({1, 2, 3})
                                      .Bytes()});
    cases.push_back(
        {"long name",
         CPdcBytes().Header(1, 1).Record(std::string(70000, 'n'), 3).Double(1).Bytes()});
    CPdcBytes header = CPdcBytes().Raw("PDC ").Int(7).Int(0).Int(-1).Int(5).Int(2).Int(1);
    cases.push_back({"header fields", header.Record("a", 1).Int(1).Int(2).Bytes()});
    cases.push_back(
        {"no particles", CPdcBytes().Header(0, 2).Record("position", 5).Record("id", 1).Bytes()});
    cases.push_back({"no particles, no records", CPdcBytes().Header(0, 0).Bytes()});
    cases.push_back({"negative counts", CPdcBytes().Header(-3, -2).Bytes()});
    cases.push_back({"only singles", CPdcBytes().Header(40, 1).Record("m", 2).Double(1).Bytes()});
    cases.push_back({"name-only last record",
                     CPdcBytes().Header(1, 2).Record("a", 3).Double(1).Name("tail").Bytes()});
    return cases;
}

TEST(ConvertRoundTrip, EveryRecordKindComesBackByteForByte) {
    CScratchFolder scratch;
    for (const CRoundTripCase& c : RoundTripCases()) {
        for (const bool ascii : {false, true}) {
            if (ascii && !c.asciiExact) {
                continue;
            }
            SCOPED_TRACE(std::string(c.name) + (ascii ? " ascii" : " binary"));
            ASSERT_TRUE(WriteFile(scratch / "in.pdc", c.bytes));
            ASSERT_EQ(Convert(scratch / "in.pdc", scratch / "mid.ply", {ascii, false}), "");
            ASSERT_EQ(Convert(scratch / "mid.ply", scratch / "out.pdc"), "");
            EXPECT_EQ(ReadFile(scratch / "out.pdc"), c.bytes);
        }
    }
}

TEST(ConvertRoundTrip, AsciiWritesUnusualNaNsAsPlainNaN) {
    CScratchFolder scratch;
    const CPdcBytes in = CPdcBytes().Header(2, 1).Record("v", 3).Doubles({PayloadNan, 1});
    ASSERT_TRUE(WriteFile(scratch / "in.pdc", in.Bytes()));
    ASSERT_EQ(Convert(scratch / "in.pdc", scratch / "mid.ply", {true, false}), "");
    ASSERT_EQ(Convert(scratch / "mid.ply", scratch / "out.pdc"), "");
    const std::string expected = CPdcBytes().Header(2, 1).Record("v", 3).Doubles({Nan, 1}).Bytes();
    EXPECT_EQ(ReadFile(scratch / "out.pdc"), expected);
}

TEST(ConvertRoundTrip, FloatWritesFloatPropertiesAndRoundsTheDoubles) {
    CScratchFolder scratch;
    const CPdcBytes in =
        CPdcBytes().Header(1, 2).Record("position", 5).Doubles({0.1, 2, -3}).Record("id", 1).Int(7);
    ASSERT_TRUE(WriteFile(scratch / "in.pdc", in.Bytes()));
    ASSERT_EQ(Convert(scratch / "in.pdc", scratch / "mid.ply", {false, true}), "");
    const std::string ply = ReadFile(scratch / "mid.ply");
    EXPECT_NE(ply.find("property float x\n"), std::string::npos) << ply;
    EXPECT_NE(ply.find("property int id\n"), std::string::npos) << ply;
    ASSERT_EQ(Convert(scratch / "mid.ply", scratch / "out.pdc"), "");
    const std::string expected = CPdcBytes()
                                     .Header(1, 2)
                                     .Record("position", 5)
                                     .Doubles({static_cast<double>(0.1f), 2, -3})
                                     .Record("id", 1)
                                     .Int(7)
                                     .Bytes();
    EXPECT_EQ(ReadFile(scratch / "out.pdc"), expected);
}

TEST(ConvertPly, PropertiesAndCommentsAreWhatPointReadersExpect) {
    CScratchFolder scratch;
    const CPdcBytes in = CPdcBytes()
                             .Header(2, 4)
                             .Record("id", 1)
                             .Int(1)
                             .Int(2)
                             .Record("mass", 2)
                             .Double(0.5)
                             .Record("position", 5)
                             .Doubles({1, 2, 3, 4, 5, 6})
                             .Record("v el", 5)
                             .Doubles({0, 0, 0, 1, 1, 1});
    ASSERT_TRUE(WriteFile(scratch / "in.pdc", in.Bytes()));
    ASSERT_EQ(Convert(scratch / "in.pdc", scratch / "mid.ply", {true, false}), "");
    EXPECT_EQ(ReadFile(scratch / "mid.ply"),
              "ply\n"
              "format ascii 1.0\n"
              "comment velpo pdc PDC%20 1 1 0 0 2 4\n"
              "comment velpo array 1 id\n"
              "comment velpo value 2 mass 0.5\n"
              "comment velpo array 5 position\n"
              "comment velpo array 5 v%20el\n"
              "element vertex 2\n"
              "property double x\n"
              "property double y\n"
              "property double z\n"
              "property int id\n"
              "property double v%20el_x\n"
              "property double v%20el_y\n"
              "property double v%20el_z\n"
              "end_header\n"
              "1 2 3 1 0 0 0\n"
              "4 5 6 2 1 1 1\n");
}

// x, y, z, where point tools look, are the positions the nodes deliver: the
// last "position" holding vectors; the others keep a property of their own.
TEST(ConvertPly, XYZAreThePositionTheNodesDeliver) {
    CScratchFolder scratch;
    const CPdcBytes in = CPdcBytes()
                             .Header(1, 4)
                             .Record("position", 5)
                             .Doubles({1, 2, 3})
                             .Record("position", 5)
                             .Doubles({4, 5, 6})
                             .Record(std::string_view("position\0old", 12), 5)
                             .Doubles({7, 8, 9})
                             .Record("position", 3)
                             .Double(-1);
    ASSERT_TRUE(WriteFile(scratch / "in.pdc", in.Bytes()));
    ASSERT_EQ(Convert(scratch / "in.pdc", scratch / "mid.ply", {true, false}), "");
    const std::string ply = ReadFile(scratch / "mid.ply");
    EXPECT_NE(ply.find("property double x\nproperty double y\nproperty double z\n"
                       "property double position_x\n"),
              std::string::npos)
        << ply;
    EXPECT_NE(ply.find("end_header\n7 8 9 1 2 3 4 5 6 -1\n"), std::string::npos) << ply;
}

// The property names of the vertex element in the order the header lists them.
std::vector<std::string> PropertyNames(const std::string& ply) {
    std::vector<std::string> names;
    for (size_t at = ply.find("\nproperty "); at != std::string::npos;
         at = ply.find("\nproperty ", at + 1)) {
        const size_t end = ply.find('\n', at + 1);
        names.push_back(ply.substr(ply.rfind(' ', end) + 1, end - ply.rfind(' ', end) - 1));
    }
    return names;
}

// Names that collide get the first free suffix, scalars and vectors each
// on their own. The names are what a PLY's velpo comments are checked
// against when it comes back, so files written earlier depend on them.
TEST(ConvertNames, CollidingNamesGetTheFirstFreeSuffix) {
    CScratchFolder scratch;
    const CPdcBytes in = CPdcBytes()
                             .Header(1, 10)
                             .Record("x", 3)
                             .Double(1)
                             .Record("v_x", 3)
                             .Double(2)
                             .Record("v", 5)
                             .Doubles({3, 4, 5})
                             .Record("position", 5)
                             .Doubles({6, 7, 8})
                             .Record("v_2_x", 1)
                             .Int(9)
                             .Record("v", 3)
                             .Double(10)
                             .Record("v", 5)
                             .Doubles({11, 12, 13})
                             .Record("a", 3)
                             .Double(14)
                             .Record("a", 1)
                             .Int(15)
                             .Record("a", 3)
                             .Double(16);
    ASSERT_TRUE(WriteFile(scratch / "in.pdc", in.Bytes()));
    ASSERT_EQ(Convert(scratch / "in.pdc", scratch / "mid.ply", {true, false}), "");
    const std::string ply = ReadFile(scratch / "mid.ply");
    EXPECT_EQ(
        PropertyNames(ply),
        (std::vector<std::string>{"x", "y", "z", "x_2", "v_x", "v_2_x", "v_2_y", "v_2_z", "v_2_x_2",
                                  "v", "v_3_x", "v_3_y", "v_3_z", "a", "a_2", "a_3"}))
        << ply;
    EXPECT_NE(ply.find("\n6 7 8 1 2 3 4 5 9 10 11 12 13 14 15 16\n"), std::string::npos) << ply;
    ASSERT_EQ(Convert(scratch / "mid.ply", scratch / "out.pdc"), "");
    EXPECT_EQ(ReadFile(scratch / "out.pdc"), in.Bytes());
}

TEST(ConvertNames, EveryByteRoundTripsAndOnlyOneSpellingIsTaken) {
    std::string all;
    for (int c = 0; c < 256; ++c) {
        all += static_cast<char>(c);
    }
    for (const std::string& name : {all, std::string(), std::string("%"), std::string("a b")}) {
        const std::string word = EncodeName(name);
        EXPECT_EQ(word.find_first_of(" \t\r\n"), std::string::npos);
        std::string back;
        ASSERT_TRUE(DecodeName(word, back)) << word;
        EXPECT_EQ(back, name);
    }
    std::string ignored;
    for (const char* word : {"", "%4", "%zz", "%41", "%2a", "a b", "a%", "%%"}) {
        EXPECT_FALSE(DecodeName(word, ignored)) << word;
    }
}

// ---- PLY files of other programs ----

enum class CEncoding { Ascii, Little, Big };

// A PLY with a face element before the vertices (lists of 3 and 4 indices)
// and one vertex property of every type, under both names of the types.
std::string ForeignPly(CEncoding encoding) {
    const char* format = encoding == CEncoding::Ascii    ? "ascii"
                         : encoding == CEncoding::Little ? "binary_little_endian"
                                                         : "binary_big_endian";
    std::string text = std::string("ply\r\nformat ") + format + " 1.0\r\n" +
                       "comment made elsewhere\r\nobj_info anything\r\n"
                       "element face 2\r\nproperty list uchar int vertex_indices\r\n"
                       "property ushort flags\r\n"
                       "element vertex 2\r\n"
                       "property float x\r\nproperty float64 y\r\nproperty int16 z\r\n"
                       "property char c\r\nproperty uint8 uc\r\nproperty short s\r\n"
                       "property ushort us\r\nproperty int32 i\r\nproperty uint u\r\n"
                       "property float32 f\r\nproperty double d\r\n"
                       "property double n_y\r\nproperty double n_x\r\nproperty double n_z\r\n"
                       "property double lone_x\r\n"
                       "element edge 1\r\nproperty int a\r\n"
                       "end_header\r\n";
    if (encoding == CEncoding::Ascii) {
        return text +
               "3 0 1 1 7\n4 0 1 1 0 8\n"
               "1.5 -2 3 -5 250 -30000 60000 -2000000000 4000000000 0.25 0.1 1 2 3 -0\n"
               "0 nan -3 127 0 32767 0 2147483647 0 -inf 1e-300 4 5 6 inf\n"
               "99\n";
    }
    const bool big = encoding == CEncoding::Big;
    const auto put = [&](uint64_t bits, int width) {
        for (int k = 0; k < width; ++k) {
            const int shift = 8 * (big ? width - 1 - k : k);
            text += static_cast<char>((bits >> shift) & 0xFF);
        }
    };
    const auto f32 = [&](float v) { put(std::bit_cast<uint32_t>(v), 4); };
    const auto f64 = [&](double v) { put(std::bit_cast<uint64_t>(v), 8); };
    put(3, 1), put(0, 4), put(1, 4), put(1, 4), put(7, 2);
    put(4, 1), put(0, 4), put(1, 4), put(1, 4), put(0, 4), put(8, 2);
    f32(1.5f), f64(-2), put(3, 2), put(static_cast<uint8_t>(-5), 1), put(250, 1);
    put(static_cast<uint16_t>(-30000), 2), put(60000, 2);
    put(static_cast<uint32_t>(-2000000000), 4), put(4000000000u, 4);
    f32(0.25f), f64(0.1), f64(1), f64(2), f64(3), f64(-0.0);
    f32(0), f64(Nan), put(static_cast<uint16_t>(-3), 2), put(127, 1), put(0, 1);
    put(32767, 2), put(0, 2), put(2147483647, 4), put(0, 4);
    f32(-std::numeric_limits<float>::infinity()), f64(1e-300), f64(4), f64(5), f64(6), f64(Inf);
    put(99, 4);
    return text;
}

TEST(ConvertForeignPly, EveryEncodingAndTypeGivesTheSameRecords) {
    CScratchFolder scratch;
    const std::string expected = CPdcBytes()
                                     .Header(2, 11)
                                     .Record("position", 5)
                                     .Doubles({1.5, -2, 3, 0, Nan, -3})
                                     .Record("c", 1)
                                     .Int(-5)
                                     .Int(127)
                                     .Record("uc", 1)
                                     .Int(250)
                                     .Int(0)
                                     .Record("s", 1)
                                     .Int(-30000)
                                     .Int(32767)
                                     .Record("us", 1)
                                     .Int(60000)
                                     .Int(0)
                                     .Record("i", 1)
                                     .Int(-2000000000)
                                     .Int(2147483647)
                                     .Record("u", 3)
                                     .Doubles({4000000000.0, 0})
                                     .Record("f", 3)
                                     .Doubles({0.25, -Inf})
                                     .Record("d", 3)
                                     .Doubles({0.1, 1e-300})
                                     .Record("n", 5)
                                     .Doubles({2, 1, 3, 5, 4, 6})
                                     .Record("lone_x", 3)
                                     .Doubles({-0.0, Inf})
                                     .Bytes();
    for (const CEncoding encoding : {CEncoding::Ascii, CEncoding::Little, CEncoding::Big}) {
        SCOPED_TRACE(static_cast<int>(encoding));
        ASSERT_TRUE(WriteFile(scratch / "in.ply", ForeignPly(encoding)));
        ASSERT_EQ(Convert(scratch / "in.ply", scratch / "out.pdc"), "");
        EXPECT_EQ(ReadFile(scratch / "out.pdc"), expected);
    }
}

// Repeated names: each triple takes the first columns of its names not yet
// taken, and what is left of a triple becomes records of its own.
TEST(ConvertForeignPly, RepeatedNamesMakeTriplesInFileOrder) {
    std::string ply = "ply\nformat ascii 1.0\nelement vertex 1\n";
    for (const char* name : {"a_x", "a_y", "a_x", "a_z", "a_y", "a_z", "x", "x", "y", "z", "b_x"}) {
        ply += std::string("property double ") + name + "\n";
    }
    ply += "end_header\n0 1 2 3 4 5 6 7 8 9 10\n";
    CScratchFolder scratch;
    ASSERT_TRUE(WriteFile(scratch / "in.ply", ply));
    ASSERT_EQ(Convert(scratch / "in.ply", scratch / "out.pdc"), "");
    const std::string expected = CPdcBytes()
                                     .Header(1, 5)
                                     .Record("a", 5)
                                     .Doubles({0, 1, 3})
                                     .Record("a", 5)
                                     .Doubles({2, 4, 5})
                                     .Record("position", 5)
                                     .Doubles({6, 8, 9})
                                     .Record("x", 3)
                                     .Double(7)
                                     .Record("b_x", 3)
                                     .Double(10)
                                     .Bytes();
    EXPECT_EQ(ReadFile(scratch / "out.pdc"), expected);
}

TEST(ConvertForeignPly, CommentsThatNoLongerFitThePropertiesAreNoted) {
    CScratchFolder scratch;
    const CPdcBytes in = CPdcBytes()
                             .Header(1, 2)
                             .Record("position", 5)
                             .Doubles({1, 2, 3})
                             .Record("mass", 2)
                             .Double(4);
    ASSERT_TRUE(WriteFile(scratch / "in.pdc", in.Bytes()));
    ASSERT_EQ(Convert(scratch / "in.pdc", scratch / "mid.ply", {true, false}), "");
    std::string ply = ReadFile(scratch / "mid.ply");
    ply.replace(ply.find("property double z\n"), 18, "property double z\nproperty int k\n");
    ply.replace(ply.find("1 2 3\n"), 6, "1 2 3 9\n");
    ASSERT_TRUE(WriteFile(scratch / "mid.ply", ply));
    CConvertSummary summary;
    std::vector<std::string> notes;
    ASSERT_TRUE(ConvertFile(scratch / "mid.ply", scratch / "out.pdc", {}, summary, notes));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("not those its velpo comments describe"), std::string::npos);
    const std::string expected = CPdcBytes()
                                     .Header(1, 3)
                                     .Record("position", 5)
                                     .Doubles({1, 2, 3})
                                     .Record("k", 1)
                                     .Int(9)
                                     .Record("mass", 2)
                                     .Double(4)
                                     .Bytes();
    EXPECT_EQ(ReadFile(scratch / "out.pdc"), expected);
}

// Binary numbers of a PLY body in either byte order, with shifts of their own.
class CPlyBody {
public:
    explicit CPlyBody(bool bigEndian) : big_(bigEndian) {}
    CPlyBody& Put(uint64_t bits, int width) {
        for (int k = 0; k < width; ++k) {
            const int shift = 8 * (big_ ? width - 1 - k : k);
            bytes_ += static_cast<char>((bits >> shift) & 0xFF);
        }
        return *this;
    }
    CPlyBody& Int64(int64_t value) { return Put(static_cast<uint64_t>(value), 8); }
    CPlyBody& Double(double value) { return Put(std::bit_cast<uint64_t>(value), 8); }
    const std::string& Bytes() const { return bytes_; }

private:
    bool big_;
    std::string bytes_;
};

const char* FormatName(CEncoding encoding) {
    return encoding == CEncoding::Ascii    ? "ascii"
           : encoding == CEncoding::Little ? "binary_little_endian"
                                           : "binary_big_endian";
}

// Two vertices, one 64-bit property: the PLY and, when it converts, the record.
struct CWideCase {
    const char* name;
    const char* type;
    uint64_t values[2];
    const char* asText[2];
    std::string record;  // empty: refused
    const char* problem = "";
};

std::vector<CWideCase> WideCases() {
    constexpr double TwoTo53 = 9007199254740992.0;
    return {
        {"int64 within 32 bits",
         "int64",
         {static_cast<uint64_t>(-7), 2147483647},
         {"-7", "2147483647"},
         CPdcBytes().Record("id", 1).Int(-7).Int(INT32_MAX).Bytes()},
        {"int64 lowest 32-bit",
         "int64",
         {static_cast<uint64_t>(int64_t{INT32_MIN}), 0},
         {"-2147483648", "0"},
         CPdcBytes().Record("id", 1).Int(INT32_MIN).Int(0).Bytes()},
        {"int64 beyond 32 bits",
         "int64",
         {1, 2147483648ull},
         {"1", "2147483648"},
         CPdcBytes().Record("id", 3).Doubles({1, 2147483648.0}).Bytes()},
        {"int64 extremes exact",
         "int64",
         {static_cast<uint64_t>(INT64_MIN), 9007199254740992ull},
         {"-9223372036854775808", "+9007199254740992"},
         CPdcBytes().Record("id", 3).Doubles({-0x1p63, TwoTo53}).Bytes()},
        {"uint64 beyond 31 bits",
         "uint64",
         {0, 4294967295ull},
         {"0", "4294967295"},
         CPdcBytes().Record("id", 3).Doubles({0, 4294967295.0}).Bytes()},
        {"uint64 within 32 bits",
         "uint64",
         {3, 2147483647},
         {"3", "2147483647"},
         CPdcBytes().Record("id", 1).Int(3).Int(INT32_MAX).Bytes()},
        {"uint64 high exact",
         "uint64",
         {18446744073709549568ull, 1},
         {"18446744073709549568", "1"},
         CPdcBytes().Record("id", 3).Doubles({18446744073709549568.0, 1}).Bytes()},
        {"int64 past 2^53",
         "int64",
         {5, 9007199254740993ull},
         {"5", "9007199254740993"},
         "",
         "vertex 1, property \"id\": the int64 9007199254740993 is beyond what a double holds "
         "exactly"},
        {"int64 largest",
         "int64",
         {static_cast<uint64_t>(INT64_MAX), 0},
         {"9223372036854775807", "0"},
         "",
         "vertex 0, property \"id\": the int64 9223372036854775807 is beyond"},
        {"uint64 largest",
         "uint64",
         {1, UINT64_MAX},
         {"1", "18446744073709551615"},
         "",
         "vertex 1, property \"id\": the uint64 18446744073709551615 is beyond"},
    };
}

TEST(ConvertForeignPly, SixtyFourBitIntegersAreTakenWhereExactAndNamedWhereNot) {
    CScratchFolder scratch;
    for (const CWideCase& c : WideCases()) {
        for (const CEncoding encoding : {CEncoding::Ascii, CEncoding::Little, CEncoding::Big}) {
            SCOPED_TRACE(std::string(c.name) + " " + FormatName(encoding));
            std::string ply = std::string("ply\nformat ") + FormatName(encoding) +
                              " 1.0\nelement vertex 2\nproperty " + c.type + " id\nend_header\n";
            if (encoding == CEncoding::Ascii) {
                ply += std::string(c.asText[0]) + "\n" + c.asText[1] + "\n";
            } else {
                ply += CPlyBody(encoding == CEncoding::Big)
                           .Put(c.values[0], 8)
                           .Put(c.values[1], 8)
                           .Bytes();
            }
            std::filesystem::remove(scratch / "out.pdc");
            ASSERT_TRUE(WriteFile(scratch / "in.ply", ply));
            const std::string problem = Convert(scratch / "in.ply", scratch / "out.pdc");
            if (c.record.empty()) {
                EXPECT_EQ(problem.rfind(scratch / "in.ply", 0), 0u) << problem;
                EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
                EXPECT_FALSE(std::filesystem::exists(scratch / "out.pdc"));
                continue;
            }
            ASSERT_EQ(problem, "");
            EXPECT_EQ(ReadFile(scratch / "out.pdc"), CPdcBytes().Header(2, 1).Bytes() + c.record);
        }
    }
}

TEST(ConvertForeignPly, SixtyFourBitPositionsAndListsOfOtherElementsAreRead) {
    CScratchFolder scratch;
    for (const bool big : {false, true}) {
        SCOPED_TRACE(big);
        const std::string ply =
            std::string("ply\nformat ") + (big ? "binary_big_endian" : "binary_little_endian") +
            " 1.0\nelement face 1\nproperty list uint64 int64 corners\n"
            "element vertex 1\nproperty int64 x\nproperty int64 y\nproperty uint64 z\n"
            "end_header\n" +
            CPlyBody(big)
                .Put(2, 8)
                .Int64(-1)
                .Int64(INT64_MAX)
                .Int64(-3)
                .Int64(int64_t{1} << 40)
                .Put(5, 8)
                .Bytes();
        ASSERT_TRUE(WriteFile(scratch / "in.ply", ply));
        ASSERT_EQ(Convert(scratch / "in.ply", scratch / "out.pdc"), "");
        EXPECT_EQ(ReadFile(scratch / "out.pdc"),
                  CPdcBytes().Header(1, 1).Record("position", 5).Doubles({-3, 0x1p40, 5}).Bytes());
    }
}

// ---- particles that no record holds ----

TEST(ConvertEmptyParticles, AHeaderCountingParticlesWithoutRecordsIsRefusedBothWays) {
    struct CCase {
        const char* name;
        const char* file;
        std::string bytes;
        const char* problem;  // empty: converts
    };
    const CCase cases[] = {
        {"pdc without records", "in.pdc", CPdcBytes().Header(12, 0).Bytes(),
         "counts 12 particles but no record holds a value"},
        {"pdc with only a name", "in.pdc", CPdcBytes().Header(5, 1).Name("tail").Bytes(),
         "counts 5 particles but no record holds a value"},
        {"pdc with a single value", "in.pdc",
         CPdcBytes().Header(40, 1).Record("m", 2).Double(1).Bytes(), ""},
        {"pdc of no particles", "in.pdc", CPdcBytes().Header(0, 1).Name("tail").Bytes(), ""},
        {"ply vertices without properties", "in.ply",
         "ply\nformat binary_little_endian 1.0\nelement vertex 2147483647\nend_header\n",
         "counts 2147483647 particles but no record holds a value"},
        {"ascii ply vertices without properties", "in.ply",
         "ply\nformat ascii 1.0\nelement vertex 3\nend_header\n",
         "counts 3 particles but no record holds a value"},
        {"ply with velpo comments and no records", "in.ply",
         "ply\nformat ascii 1.0\ncomment velpo pdc PDC%20 1 1 0 0 12 0\nelement vertex "
         "0\nend_header\n",
         "counts 12 particles but no record holds a value"},
        {"ply of no vertices", "in.ply", "ply\nformat ascii 1.0\nelement vertex 0\nend_header\n",
         ""},
    };
    CScratchFolder scratch;
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.name);
        const bool pdc = std::string(c.file) == "in.pdc";
        const std::string out = scratch / (pdc ? "out.ply" : "out.pdc");
        std::filesystem::remove(out);
        ASSERT_TRUE(WriteFile(scratch / c.file, c.bytes));
        const std::string problem = Convert(scratch / c.file, out);
        if (*c.problem == '\0') {
            EXPECT_EQ(problem, "");
            continue;
        }
        EXPECT_EQ(problem.rfind(scratch / c.file, 0), 0u) << problem;
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

// ---- the header on its own ----

TEST(PlyHeader, CommentsElementsAndPropertiesAreReadAsWritten) {
    const std::string text =
        "ply\r\nformat binary_big_endian 1.0\r\n  comment  kept with its blank\r\n"
        "\tcomment\tafter a tab\nobj_info dropped\n"
        "element face 3\n property list uint8 int64 corners\n"
        "element vertex 2\nproperty uint64 id\nproperty float32 x\r\r\n\nend_header\nDATA";
    CPlyHeader header;
    ASSERT_TRUE(ParsePlyHeader(text, header));
    EXPECT_EQ(header.encoding, CPlyEncoding::BinaryBigEndian);
    EXPECT_EQ(header.comments, (std::vector<std::string>{" kept with its blank", "after a tab"}));
    ASSERT_EQ(header.elements.size(), 2u);
    EXPECT_EQ(header.elements[0].name, "face");
    EXPECT_EQ(header.elements[0].count, 3);
    ASSERT_EQ(header.elements[0].properties.size(), 1u);
    const CPlyProperty& corners = header.elements[0].properties[0];
    EXPECT_TRUE(corners.isList);
    EXPECT_EQ(corners.countType, CPlyType::UInt8);
    EXPECT_EQ(corners.type, CPlyType::Int64);
    EXPECT_EQ(header.elements[1].name, "vertex");
    ASSERT_EQ(header.elements[1].properties.size(), 2u);
    EXPECT_EQ(header.elements[1].properties[0].type, CPlyType::UInt64);
    EXPECT_EQ(header.elements[1].properties[1].type, CPlyType::Float32);
    EXPECT_EQ(header.elements[1].properties[1].name, "x");  // a stray CR is white space
    EXPECT_EQ(text.substr(header.dataOffset), "DATA");
}

// ---- damaged files ----

std::string Head(const std::string& format, const std::string& elements) {
    return "ply\nformat " + format + " 1.0\n" + elements + "end_header\n";
}

TEST(ConvertBadPly, EachDefectIsNamedAndNothingIsWritten) {
    struct CCase {
        const char* name;
        std::string bytes;
        const char* problem;
    };
    const std::string le = "binary_little_endian";
    const std::string xyz = "property double x\nproperty double y\nproperty double z\n";
    const CCase cases[] = {
        {"empty", "", "does not start with the line \"ply\""},
        {"not ply", "PDC \0\0\0\1", "does not start with the line \"ply\""},
        {"no end", "ply\nformat ascii 1.0\nelement vertex 1\nproperty double x\n",
         "no \"end_header\" line"},
        {"data without end", "ply\nformat ascii 1.0\nelement vertex 1\nproperty double x\n1\n",
         "header line 5: unknown header line \"1\" (a missing \"end_header\" line"},
        {"no format", "ply\nelement vertex 0\nend_header\n", "no \"format\" line"},
        {"unknown format", Head("binary_middle_endian", "element vertex 0\n"),
         "unknown format \"binary_middle_endian\""},
        {"unknown type", Head("ascii", "element vertex 1\nproperty string s\n") + "a\n",
         "unknown property type \"string\""},
        {"unknown line", Head("ascii", "vertices 3\n"), "unknown header line \"vertices 3\""},
        {"negative count", Head("ascii", "element vertex -1\n"), "a count of 0 or more"},
        {"orphan property", Head("ascii", "property double x\n"), "a property before any"},
        {"no vertex", Head("ascii", "element face 0\nproperty list uchar int i\n"),
         "no \"vertex\" element"},
        {"list on vertex",
         Head(le, "element vertex 1\nproperty list uchar float x\n") + "\1\0\0\0\0",
         "vertex property \"x\" is a list"},
        {"lying binary count",
         Head(le, "element vertex 1000000000000\n" + xyz) + std::string(48, 'a'),
         "counts 1000000000000 vertices of 24 bytes, but only 48 bytes"},
        {"cut binary", Head(le, "element vertex 3\n" + xyz) + std::string(70, 'a'),
         "but only 70 bytes"},
        {"lying ascii count", Head("ascii", "element vertex 1000000000000\n" + xyz) + "1 2 3\n",
         "more than the 6 bytes"},
        {"cut ascii", Head("ascii", "element vertex 2\n" + xyz) + "1 2 3\n4 5\n",
         "ends inside element \"vertex\""},
        {"cut list",
         Head(le, "element face 1\nproperty list uchar int i\nelement vertex 0\n") +
             std::string("\xff\0\0\0\0", 5),
         "ends inside element \"face\""},
        // The length counts items: 8 ints need 32 bytes, and only 24 follow
        // (though 8 bytes would be there), vertices included.
        {"list longer in items than in bytes",
         Head(le,
              "element face 1\nproperty list uchar int i\nelement vertex 2\nproperty double x\n") +
             "\x08" + std::string(24, '\0'),
         "ends inside element \"face\""},
        {"list longer in items than in bytes, big-endian",
         Head("binary_big_endian",
              "element face 1\nproperty list ushort double i\nelement vertex 1\n"
              "property int x\n") +
             std::string("\0\x04", 2) + std::string(28, '\0'),
         "ends inside element \"face\""},
        {"list length beyond 2^53",
         Head(le, "element face 1\nproperty list uint64 uchar i\nelement vertex 0\n") +
             std::string(8, '\xff'),
         "ends inside element \"face\""},
        {"negative list length",
         Head(le, "element face 1\nproperty list int64 uchar i\nelement vertex 0\n") +
             std::string(8, '\xff'),
         "list \"i\" has a negative length"},
        {"second element of a name",
         Head("ascii", "element vertex 0\nelement face 0\nelement vertex 0\n"),
         "header line 5: a second element \"vertex\""},
        {"lying face count",
         Head(le,
              "element face 99999999999\nproperty list uchar int i\n"
              "element vertex 0\n") +
             "\0",
         "ends inside element \"face\""},
        {"ascii list length",
         Head("ascii",
              "element face 1\nproperty list uchar int i\n"
              "element vertex 0\n") +
             "-1\n",
         "has the length \"-1\""},
        {"ascii cut inside its last number",
         Head("ascii", "element vertex 2\n" + xyz) + "1 2 3\n4 5 6",
         "ends inside the last value of element \"vertex\", with no line end after it"},
        {"not a number", Head("ascii", "element vertex 1\n" + xyz) + "1 abc 3\n",
         "property \"y\": \"abc\" is not a number of type double"},
        {"fraction in int", Head("ascii", "element vertex 1\nproperty int k\n") + "1.5\n",
         "\"1.5\" is not a number of type int"},
        {"beyond uchar", Head("ascii", "element vertex 1\nproperty uchar k\n") + "256\n",
         "is not a number of type uchar"},
        {"too many vertices", Head(le, "element vertex 3000000000\n"),
         "a PDC file holds at most 2147483647 particles"},
        {"bad velpo comment",
         Head("ascii",
              "comment velpo pdc PDC%20 1 1 0 0 0 1\n"
              "comment velpo value 2 mass\nelement vertex 0\n"),
         "record \"mass\" needs 1 numbers"},
        {"another PDC tag",
         Head("ascii", "comment velpo pdc XYZ%00 1 1 0 0 0 0\nelement vertex 0\n"),
         "the PDC tag \"XYZ\\x00\" is not \"PDC \""},
        {"velpo records without header",
         Head("ascii",
              "comment velpo value 2 m 1\n"
              "element vertex 0\n"),
         "without the \"velpo pdc\" header comment"},
        {"fraction for an integer record",
         Head("ascii",
              "comment velpo pdc PDC%20 1 1 0 0 1 1\ncomment velpo array 1 k\n"
              "element vertex 1\nproperty double k\n") +
             "2.5\n",
         "property \"k\", vertex 0: 2.5 is not a 32-bit integer"},
    };
    CScratchFolder scratch;
    for (const CCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteFile(scratch / "bad.ply", c.bytes));
        const std::string problem = Convert(scratch / "bad.ply", scratch / "out.pdc");
        EXPECT_EQ(problem.rfind(scratch / "bad.ply", 0), 0u) << problem;
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        EXPECT_FALSE(std::filesystem::exists(scratch / "out.pdc"));
    }
}

TEST(ConvertBadPdc, TheWalkersProblemIsNamedAndNoPlyIsWritten) {
    CScratchFolder scratch;
    const std::string whole =
        CPdcBytes().Header(2, 1).Record("position", 5).Doubles({1, 2, 3, 4, 5, 6}).Bytes();
    ASSERT_TRUE(WriteFile(scratch / "cut.pdc", whole.substr(0, 60)));
    const std::string problem = Convert(scratch / "cut.pdc", scratch / "out.ply");
    EXPECT_EQ(problem.rfind(scratch / "cut.pdc", 0), 0u) << problem;
    EXPECT_NE(problem.find("truncated file or forged particle count"), std::string::npos)
        << problem;
    EXPECT_FALSE(std::filesystem::exists(scratch / "out.ply"));
}

TEST(ConvertBadPdc, AFileOfAnotherTagIsNotAPdcFile) {
    CScratchFolder scratch;
    ASSERT_TRUE(WriteFile(scratch / "p.pdc", "ply\nformat ascii 1.0\nelement vertex 1\n"));
    const std::string problem = Convert(scratch / "p.pdc", scratch / "out.ply");
    EXPECT_NE(problem.find("not a PDC file: its first four bytes are \"ply\\x0a\""),
              std::string::npos)
        << problem;
    EXPECT_FALSE(std::filesystem::exists(scratch / "out.ply"));
}

TEST(ConvertBadPdc, BytesAfterTheLastRecordAreNotedAndLeftOut) {
    CScratchFolder scratch;
    const std::string records = CPdcBytes().Header(1, 1).Record("a", 3).Double(1).Bytes();
    ASSERT_TRUE(WriteFile(scratch / "in.pdc", records + "junk"));
    CConvertSummary summary;
    std::vector<std::string> notes;
    ASSERT_TRUE(ConvertFile(scratch / "in.pdc", scratch / "mid.ply", {}, summary, notes));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("the 4 bytes after the last record"), std::string::npos) << notes[0];
    ASSERT_EQ(Convert(scratch / "mid.ply", scratch / "out.pdc"), "");
    EXPECT_EQ(ReadFile(scratch / "out.pdc"), records);
}

TEST(ConvertDirection, ExtensionsChooseItAndAnythingElseIsRefused) {
    CConvertDirection direction = CConvertDirection::PlyToPdc;
    EXPECT_TRUE(ConvertDirection("a.pdc", "b.PLY", direction));
    EXPECT_EQ(direction, CConvertDirection::PdcToPly);
    EXPECT_TRUE(ConvertDirection("a.#.Ply", "b.#.pdc", direction));
    EXPECT_EQ(direction, CConvertDirection::PlyToPdc);
    for (const auto& [in, out] : {std::pair{"a.pdc", "b.pdc"},
                                  {"a.ply", "b.ply"},
                                  {"a.obj", "b.ply"},
                                  {"a.pdc", "b"},
                                  {"pdc", "ply"}}) {
        EXPECT_FALSE(ConvertDirection(in, out, direction)) << in << " " << out;
    }
}

}  // namespace
}  // namespace VelpoTools
