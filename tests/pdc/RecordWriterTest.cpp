// Writing records from numbers in memory: the same bytes as the slots'
// writer, integer codes, and the calls that must write nothing; and the
// writer all of them go through, by runs of values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "PdcTestFiles.h"
#include "pdc/RecordWriter.h"

using namespace PdcTest;

namespace {

TEST(PdcRecordWriter, WritesTheBytesOfTheSlotsWriter) {
    CTempFolder folder;
    CAttribute position;
    position.Set(Text("position"), PdcTypeVector);
    position.isArray = true;
    position.Resize(3);
    std::vector<double> xyz;
    for (int32_t i = 0; i < 3; ++i) {
        const XSI::MATH::CVector3 v(i + 0.25, -1e300 * i, std::ldexp(1.0, -1070));
        position.vectorValues[i] = v;
        xyz.insert(xyz.end(), {v.GetX(), v.GetY(), v.GetZ()});
    }
    CAttribute mass;
    mass.Set(Text("mass"), PdcTypeFloat);
    mass.floatValues[0] = 0.5f;
    const double massValue = 0.5;

    const std::string bySlots = folder.File("slots.pdc");
    const std::string byRecords = folder.File("records.pdc");
    {
        CFile file(bySlots, "wb");
        ASSERT_TRUE(position.FWrite(file) && mass.FWrite(file));
    }
    {
        CFile file(byRecords, "wb");
        ASSERT_TRUE(PdcWriteRecord(file, "position", PdcCodeVectorArray, xyz.data(), xyz.size()));
        ASSERT_TRUE(PdcWriteRecord(file, "mass", PdcCodeDouble, &massValue, 1));
    }
    EXPECT_EQ(ReadFile(byRecords), ReadFile(bySlots));
}

TEST(PdcRecordWriter, IntegerCodesHoldInt32Numbers) {
    CTempFolder folder;
    const std::string path = folder.File("ints.pdc");
    const int32_t ids[] = {std::numeric_limits<int32_t>::min(), -1, 0, 7,
                           std::numeric_limits<int32_t>::max()};
    const int32_t state = 3;
    {
        CFile file(path, "wb");
        ASSERT_TRUE(PdcHeader::ForWriting(5, 2).FWrite(file));
        ASSERT_TRUE(PdcWriteRecord(file, "id", PdcCodeIntegerArray, ids, 5));
        ASSERT_TRUE(PdcWriteRecord(file, "state", PdcCodeInteger, &state, 1));
    }
    CBytes expected;
    expected.Header(5, 2).Record("id", 1);
    for (int32_t id : ids) {
        expected.Int32(id);
    }
    expected.Record("state", 0).Int32(3);
    EXPECT_EQ(ReadFile(path), expected.Get());
}

TEST(PdcRecordWriter, RefusesCallsThatWouldWriteABrokenRecord) {
    CTempFolder folder;
    const std::string path = folder.File("refused.pdc");
    const double doubles[4] = {1, 2, 3, 4};
    const int32_t ints[2] = {1, 2};
    struct Case {
        const char* what;
        bool written;
    };
    CFile file(path, "wb");
    const Case cases[] = {
        {"double values under an integer code", PdcWriteRecord(file, "a", 1, doubles, 1)},
        {"int32 values under a double code", PdcWriteRecord(file, "a", 3, ints, 1)},
        {"unknown code", PdcWriteRecord(file, "a", 6, doubles, 1)},
        {"two numbers for a single double", PdcWriteRecord(file, "a", 2, doubles, 2)},
        {"two numbers for a single integer", PdcWriteRecord(file, "a", 0, ints, 2)},
        {"two numbers for a single vector", PdcWriteRecord(file, "a", 4, doubles, 2)},
        {"four numbers for vectors", PdcWriteRecord(file, "a", 5, doubles, 4)},
        {"no stream", PdcWriteRecord(nullptr, "a", 3, doubles, 1)},
    };
    for (const Case& c : cases) {
        EXPECT_FALSE(c.written) << c.what;
    }
    file.Close();
    EXPECT_TRUE(ReadFile(path).empty());
}

TEST(PdcRecordWriter, ReportsAStreamThatCannotWrite) {
    CTempFolder folder;
    const std::string path = folder.File("read-only.pdc");
    WriteFile(path, {});
    CFile file(path, "rb");
    const double value = 1;
    EXPECT_FALSE(PdcWriteRecord(file, "a", PdcCodeDouble, &value, 1));
}

}  // namespace

// ---------------------------------------------------------------------------
// CPdcWriter: the one writer every path above goes through.

namespace {

// Every byte the writer hands over, and where each hand-over ended.
struct CCollectingSink {
    Bytes bytes;
    std::vector<size_t> ends;
    size_t refuseAfter = SIZE_MAX;  // bytes taken before the sink refuses

    CPdcWriter::CSink Sink() {
        return [this](const unsigned char* data, size_t count) {
            if (bytes.size() + count > refuseAfter) {
                return false;
            }
            bytes.insert(bytes.end(), data, data + count);
            ends.push_back(bytes.size());
            return true;
        };
    }
};

// A frame of every record kind, large enough that its values cross many
// blocks, with a name that puts the first value off any alignment.
struct CFrame {
    static constexpr int32_t Particles = 70001;
    std::vector<double> positions;
    std::vector<float> masses;
    std::vector<int32_t> ids;
    XSI::MATH::CVector3 wind{1.5, -2, 1e-300};

    CFrame() {
        for (int32_t i = 0; i < Particles; ++i) {
            positions.insert(positions.end(), {i * 0.5, -i * 1e10, std::ldexp(1.0, -1060 + i % 7)});
            masses.push_back(static_cast<float>(i) / 3.0f);
            ids.push_back(i * 7919 - 1000000);
        }
    }

    // The file, built byte by byte by the test support.
    Bytes Expected() const {
        CBytes file;
        file.Header(Particles, 5).Record("position", PdcCodeVectorArray);
        for (double value : positions) {
            file.Double(value);
        }
        file.Record("mass", PdcCodeDoubleArray);
        for (float value : masses) {
            file.Double(value);
        }
        file.Record("idd", PdcCodeDoubleArray);
        for (int32_t value : ids) {
            file.Double(value);
        }
        file.Record("id", PdcCodeIntegerArray);
        for (int32_t value : ids) {
            file.Int32(value);
        }
        file.Record("wind", PdcCodeVector)
            .Double(wind.GetX())
            .Double(wind.GetY())
            .Double(wind.GetZ());
        return file.Get();
    }

    // The same through a writer, each record's values in runs of `run`
    // numbers.
    bool Write(CPdcWriter& writer, size_t run) const {
        const auto inRuns = [&](auto append, const auto& values) {
            for (size_t at = 0; at < values.size(); at += run) {
                if (!append(values.data() + at, std::min(run, values.size() - at))) {
                    return false;
                }
            }
            return writer.EndRecord();
        };
        const auto doubles = [&](const double* v, size_t n) { return writer.AppendDoubles(v, n); };
        const auto floats = [&](const float* v, size_t n) { return writer.AppendFloats(v, n); };
        const auto ints = [&](const int32_t* v, size_t n) { return writer.AppendInt32s(v, n); };
        const double windNumbers[] = {wind.GetX(), wind.GetY(), wind.GetZ()};
        return writer.WriteHeader(PdcHeader::ForWriting(Particles, 5)) &&
               writer.BeginRecord("position", PdcCodeVectorArray, Particles) &&
               inRuns(doubles, positions) &&
               writer.BeginRecord("mass", PdcCodeDoubleArray, Particles) &&
               inRuns(floats, masses) && writer.BeginRecord("idd", PdcCodeDoubleArray, Particles) &&
               inRuns(ints, ids) && writer.BeginRecord("id", PdcCodeIntegerArray, Particles) &&
               inRuns(ints, ids) && writer.BeginRecord("wind", PdcCodeVector, 1) &&
               writer.AppendDoubles(windNumbers, 3) && writer.EndRecord() && writer.Flush();
    }
};

// Runs of any length, to a stream or to a sink, give the bytes the format
// gives; the slots' writer and the one-record writer give the same.
TEST(PdcWriter, EveryWayOfWritingGivesTheSameBytes) {
    const CFrame frame;
    const Bytes expected = frame.Expected();
    for (size_t run : {size_t{1}, size_t{3}, size_t{1000}, size_t{65537}, SIZE_MAX / 2}) {
        SCOPED_TRACE("runs of " + std::to_string(run));
        CCollectingSink sink;
        CPdcWriter writer(sink.Sink());
        ASSERT_TRUE(frame.Write(writer, run));
        EXPECT_TRUE(sink.bytes == expected);
    }

    CTempFolder folder;
    const std::string byStream = folder.File("stream.pdc");
    const std::string byRecords = folder.File("records.pdc");
    const std::string bySlots = folder.File("slots.pdc");
    {
        CFile file(byStream, "wb");
        CPdcWriter writer(file.Get());
        ASSERT_TRUE(frame.Write(writer, 4096));
    }
    {
        CFile file(byRecords, "wb");
        std::vector<double> masses(frame.masses.begin(), frame.masses.end());
        std::vector<double> ids(frame.ids.begin(), frame.ids.end());
        const double wind[] = {frame.wind.GetX(), frame.wind.GetY(), frame.wind.GetZ()};
        ASSERT_TRUE(PdcHeader::ForWriting(CFrame::Particles, 5).FWrite(file));
        ASSERT_TRUE(PdcWriteRecord(file, "position", PdcCodeVectorArray, frame.positions.data(),
                                   frame.positions.size()));
        ASSERT_TRUE(PdcWriteRecord(file, "mass", PdcCodeDoubleArray, masses.data(), masses.size()));
        ASSERT_TRUE(PdcWriteRecord(file, "idd", PdcCodeDoubleArray, ids.data(), ids.size()));
        ASSERT_TRUE(
            PdcWriteRecord(file, "id", PdcCodeIntegerArray, frame.ids.data(), frame.ids.size()));
        ASSERT_TRUE(PdcWriteRecord(file, "wind", PdcCodeVector, wind, 3));
    }
    {
        // The slots hold what the records hold, except that a Long slot is
        // always written as doubles: so "id" goes through the one-record
        // writer here.
        CPdc pdc;
        VelpoTestSupport::NameSlots(pdc, {{PdcPositionSlot, "position"},
                                          {PdcFirstFloatSlot, "mass"},
                                          {PdcIdSlot, "idd"},
                                          {PdcFirstVectorSlot, "wind"}});
        pdc.Resize(CFrame::Particles);
        for (int32_t i = 0; i < CFrame::Particles; ++i) {
            pdc.attributes[PdcPositionSlot].vectorValues[i] = XSI::MATH::CVector3(
                frame.positions[3 * i], frame.positions[3 * i + 1], frame.positions[3 * i + 2]);
            pdc.attributes[PdcFirstFloatSlot].floatValues[i] = frame.masses[i];
            pdc.attributes[PdcIdSlot].longValues[i] = frame.ids[i];
        }
        pdc.attributes[PdcFirstVectorSlot].vectorValues[0] = frame.wind;
        for (int32_t slot : {PdcPositionSlot, PdcFirstFloatSlot, PdcIdSlot}) {
            pdc.attributes[slot].isArray = true;
        }
        CFile file(bySlots, "wb");
        ASSERT_TRUE(PdcHeader::ForWriting(CFrame::Particles, 5).FWrite(file));
        ASSERT_TRUE(pdc.attributes[PdcPositionSlot].FWrite(file));
        ASSERT_TRUE(pdc.attributes[PdcFirstFloatSlot].FWrite(file));
        ASSERT_TRUE(pdc.attributes[PdcIdSlot].FWrite(file));
        ASSERT_TRUE(
            PdcWriteRecord(file, "id", PdcCodeIntegerArray, frame.ids.data(), frame.ids.size()));
        ASSERT_TRUE(pdc.attributes[PdcFirstVectorSlot].FWrite(file));
    }
    EXPECT_TRUE(ReadFile(byStream) == expected);
    EXPECT_TRUE(ReadFile(byRecords) == expected);
    EXPECT_TRUE(ReadFile(bySlots) == expected);
}

// Large values go out in whole blocks that end at multiples of the block
// size from the writer's start; only the last hand-over is shorter.
TEST(PdcWriter, ValuesGoOutInAlignedBlocks) {
    const CFrame frame;
    CCollectingSink sink;
    CPdcWriter writer(sink.Sink());
    ASSERT_TRUE(frame.Write(writer, 999));
    ASSERT_GT(sink.ends.size(), 4u);
    size_t blocks = 0;
    for (size_t i = 0; i + 1 < sink.ends.size(); ++i) {
        // The small start (header and first name) may go out alone.
        if (sink.ends[i] > CPdcWriter::BlockBytes) {
            EXPECT_EQ(sink.ends[i] % CPdcWriter::BlockBytes, 0u) << i;
            ++blocks;
        }
    }
    EXPECT_GE(blocks, sink.bytes.size() / CPdcWriter::BlockBytes - 1);
    EXPECT_EQ(sink.ends.back(), sink.bytes.size());
}

// What the writer refuses: each call fails and nothing of it goes out, and
// the writer stays failed.
TEST(PdcWriter, RefusesWhatWouldBreakTheFile) {
    const double doubles[4] = {1, 2, 3, 4};
    const float floats[1] = {1};
    const int32_t ints[2] = {1, 2};
    struct Case {
        const char* what;
        std::function<bool(CPdcWriter&)> call;
    };
    const Case cases[] = {
        {"unknown code", [](CPdcWriter& w) { return w.BeginRecord("a", 6, 1); }},
        {"negative code", [](CPdcWriter& w) { return w.BeginRecord("a", -1, 1); }},
        {"negative count", [](CPdcWriter& w) { return w.BeginRecord("a", 3, -1); }},
        {"two values for a single code", [](CPdcWriter& w) { return w.BeginRecord("a", 4, 2); }},
        {"values outside a record", [&](CPdcWriter& w) { return w.AppendDoubles(doubles, 1); }},
        {"a record inside a record",
         [](CPdcWriter& w) { return w.BeginRecord("a", 3, 1) && w.BeginRecord("b", 3, 1); }},
        {"more values than declared",
         [&](CPdcWriter& w) { return w.BeginRecord("a", 3, 3) && w.AppendDoubles(doubles, 4); }},
        {"more vector numbers than declared",
         [&](CPdcWriter& w) { return w.BeginRecord("a", 5, 1) && w.AppendDoubles(doubles, 4); }},
        {"fewer values than declared",
         [&](CPdcWriter& w) {
             return w.BeginRecord("a", 1, 3) && w.AppendInt32s(ints, 2) && w.EndRecord();
         }},
        {"doubles under an integer code",
         [&](CPdcWriter& w) { return w.BeginRecord("a", 0, 1) && w.AppendDoubles(doubles, 1); }},
        {"floats under an integer code",
         [&](CPdcWriter& w) { return w.BeginRecord("a", 1, 1) && w.AppendFloats(floats, 1); }},
        {"an open record at the end",
         [&](CPdcWriter& w) { return w.BeginRecord("a", 3, 1) && w.Flush(); }},
        {"a header inside a record",
         [](CPdcWriter& w) {
             return w.BeginRecord("a", 3, 1) && w.WriteHeader(PdcHeader::ForWriting(1, 1));
         }},
        {"a name-only record inside a record",
         [](CPdcWriter& w) { return w.BeginRecord("a", 3, 1) && w.WriteNameOnlyRecord("b"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CCollectingSink sink;
        CPdcWriter writer(sink.Sink());
        EXPECT_FALSE(c.call(writer));
        EXPECT_TRUE(writer.Failed());
        // A failed writer writes nothing more, and what it held is lost.
        EXPECT_FALSE(writer.BeginRecord("b", 2, 1));
        EXPECT_FALSE(writer.Flush());
        EXPECT_TRUE(sink.bytes.empty());
    }
    CPdcWriter noStream(static_cast<FILE*>(nullptr));
    EXPECT_FALSE(noStream.WriteHeader(PdcHeader::ForWriting(1, 1)));
    CPdcWriter noSink{CPdcWriter::CSink()};
    EXPECT_FALSE(noSink.BeginRecord("a", 2, 1));
}

// A sink that stops taking bytes fails the call that needed it and every
// later one; the bytes it took are the file's first bytes.
TEST(PdcWriter, SinkThatRefusesFailsTheWrite) {
    const CFrame frame;
    const Bytes expected = frame.Expected();
    for (size_t refuseAfter :
         {size_t{0}, size_t{100}, size_t{CPdcWriter::BlockBytes}, expected.size() - 1}) {
        SCOPED_TRACE(refuseAfter);
        CCollectingSink sink;
        sink.refuseAfter = refuseAfter;
        CPdcWriter writer(sink.Sink());
        EXPECT_FALSE(frame.Write(writer, 5000));
        EXPECT_TRUE(writer.Failed());
        EXPECT_LE(sink.bytes.size(), refuseAfter);
        EXPECT_TRUE(std::equal(sink.bytes.begin(), sink.bytes.end(), expected.begin()));
    }
}

// A last record cut after its name, and a header as it stands, whatever
// its fields: what convert writes back for files that hold them.
TEST(PdcWriter, WritesHeadersAsTheyStandAndNameOnlyRecords) {
    PdcHeader header = PdcHeader::ForWriting(0, 2);
    std::memcpy(header.format, "XYZ\0", 4);
    header.version = -7;
    header.reserved2 = 0x01020304;
    CCollectingSink sink;
    CPdcWriter writer(sink.Sink());
    const int32_t state = 5;
    ASSERT_TRUE(writer.WriteHeader(header) && writer.BeginRecord("s", PdcCodeInteger, 1) &&
                writer.AppendInt32s(&state, 1) && writer.EndRecord() &&
                writer.WriteNameOnlyRecord(std::string("a\0b", 3)) && writer.Flush());
    const Bytes expected = {'X', 'Y', 'Z', 0, 0xFF, 0xFF, 0xFF, 0xF9, 0, 0, 0, 1, 0, 0,   0, 0,
                            1,   2,   3,   4, 0,    0,    0,    0,    0, 0, 0, 2, 0, 0,   0, 1,
                            's', 0,   0,   0, 0,    0,    0,    0,    5, 0, 0, 0, 3, 'a', 0, 'b'};
    EXPECT_EQ(sink.bytes, expected);
}

}  // namespace
