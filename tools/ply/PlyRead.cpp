// Reading the vertex element of a PLY file (see tools/ply/PlyFormat.h).
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <system_error>
#include <type_traits>

#include "pdc/ByteOrder.h"
#include "tools/common/InputFile.h"
#include "tools/common/Text.h"
#include "tools/ply/PlyCursor.h"
#include "tools/ply/PlyFormat.h"

namespace VelpoTools {

using Velpo::CResult;

namespace {

CResult ReadWhole(const std::filesystem::path& file, std::string& bytes) {
    const std::string name = file.string();
    CFilePointer stream;
    if (const CResult opened = OpenForReading(file, stream); !opened) {
        return CResult::Fail(name + ": " + opened.Message());
    }
    // The size only sizes the buffer ahead; what counts is what the reads
    // deliver, so a file that changes meanwhile cannot mislead.
    std::error_code code;
    const uintmax_t size = std::filesystem::file_size(file, code);
    if (!code && size < std::numeric_limits<size_t>::max() / 2) {
        bytes.reserve(static_cast<size_t>(size) + 1);
    }
    constexpr size_t ChunkBytes = 1 << 20;
    for (;;) {
        const size_t at = bytes.size();
        bytes.resize(at + ChunkBytes);
        const size_t got = std::fread(bytes.data() + at, 1, ChunkBytes, stream.get());
        bytes.resize(at + got);
        if (got < ChunkBytes) {
            break;
        }
    }
    if (std::ferror(stream.get())) {
        return CResult::Fail(name + ": cannot be read: " + std::strerror(errno));
    }
    return CResult::Ok();
}

// One binary number of type T in the file's byte order, loaded through the
// file layer's byte order functions, so the host's own order never matters.
template <class T, bool BigEndian>
T Load(const unsigned char* in) {
    static_assert(sizeof(T) == 1 || sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8);
    if constexpr (sizeof(T) == 1) {
        return std::bit_cast<T>(in[0]);
    } else if constexpr (sizeof(T) == 2) {
        return std::bit_cast<T>(BigEndian ? PdcByteOrder::LoadUInt16(in)
                                          : PdcByteOrder::LoadLittleUInt16(in));
    } else if constexpr (sizeof(T) == 4) {
        return std::bit_cast<T>(BigEndian ? PdcByteOrder::LoadUInt32(in)
                                          : PdcByteOrder::LoadLittleUInt32(in));
    } else {
        return std::bit_cast<T>(BigEndian ? PdcByteOrder::LoadUInt64(in)
                                          : PdcByteOrder::LoadLittleUInt64(in));
    }
}

// A 64-bit integer as a double, when the double is that integer exactly.
template <class T>
bool ExactDouble(T integer, double& value) {
    value = static_cast<double>(integer);
    // The only double the conversion can round to outside T is 2^63 or
    // 2^64, which must not be converted back.
    constexpr double Beyond = std::is_signed_v<T> ? 0x1p63 : 0x1p64;
    return value < Beyond && static_cast<T>(value) == integer;
}

// Vertex i's value of one property (at in + i * row) into values[i]: one
// loop per type and byte order, no decision per value. The number of
// values taken: all, or for a 64-bit integer type the index of the first
// that a double cannot hold exactly.
template <class T, bool BigEndian>
size_t Gather(const unsigned char* in, size_t row, size_t count, double* values) {
    for (size_t i = 0; i < count; ++i) {
        const T value = Load<T, BigEndian>(in + i * row);
        if constexpr (std::is_integral_v<T> && sizeof(T) == 8) {
            if (!ExactDouble(value, values[i])) {
                return i;
            }
        } else {
            values[i] = static_cast<double>(value);
        }
    }
    return count;
}

template <bool BigEndian>
size_t GatherType(CPlyType type, const unsigned char* in, size_t row, size_t count,
                  double* values) {
    switch (type) {
        case CPlyType::Int8:
            return Gather<int8_t, BigEndian>(in, row, count, values);
        case CPlyType::UInt8:
            return Gather<uint8_t, BigEndian>(in, row, count, values);
        case CPlyType::Int16:
            return Gather<int16_t, BigEndian>(in, row, count, values);
        case CPlyType::UInt16:
            return Gather<uint16_t, BigEndian>(in, row, count, values);
        case CPlyType::Int32:
            return Gather<int32_t, BigEndian>(in, row, count, values);
        case CPlyType::UInt32:
            return Gather<uint32_t, BigEndian>(in, row, count, values);
        case CPlyType::Float32:
            return Gather<float, BigEndian>(in, row, count, values);
        case CPlyType::Float64:
            return Gather<double, BigEndian>(in, row, count, values);
        case CPlyType::Int64:
            return Gather<int64_t, BigEndian>(in, row, count, values);
        case CPlyType::UInt64:
            return Gather<uint64_t, BigEndian>(in, row, count, values);
    }
    return 0;
}

size_t GatherAny(bool bigEndian, CPlyType type, const unsigned char* in, size_t row, size_t count,
                 double* values) {
    return bigEndian ? GatherType<true>(type, in, row, count, values)
                     : GatherType<false>(type, in, row, count, values);
}

// The decimal text of a binary 64-bit integer, for messages.
std::string IntegerText(bool bigEndian, CPlyType type, const unsigned char* in) {
    if (type == CPlyType::UInt64) {
        return std::to_string(bigEndian ? Load<uint64_t, true>(in) : Load<uint64_t, false>(in));
    }
    return std::to_string(bigEndian ? Load<int64_t, true>(in) : Load<int64_t, false>(in));
}

CResult NotExactIn(const std::string& name, int64_t vertex, const CPlyProperty& property,
                   const std::string& value) {
    return CResult::Fail(name + ": vertex " + std::to_string(vertex) + ", property " +
                         Quoted(property.name) + ": the " + PlyTypeName(property.type) + " " +
                         value +
                         " is beyond what a double holds exactly (2^53), so no PDC record can "
                         "hold it");
}

enum class CAsciiValue { Number, NotANumber, NotExact };

CAsciiValue ParseInteger(std::string_view text, CPlyType type, double& value) {
    const char* end = text.data() + text.size();
    if (type == CPlyType::UInt64) {
        uint64_t integer = 0;
        const auto result = std::from_chars(text.data(), end, integer);
        if (result.ec != std::errc() || result.ptr != end) {
            return CAsciiValue::NotANumber;
        }
        return ExactDouble(integer, value) ? CAsciiValue::Number : CAsciiValue::NotExact;
    }
    int64_t integer = 0;
    const auto result = std::from_chars(text.data(), end, integer);
    if (result.ec != std::errc() || result.ptr != end) {
        return CAsciiValue::NotANumber;
    }
    if (type == CPlyType::Int64) {
        return ExactDouble(integer, value) ? CAsciiValue::Number : CAsciiValue::NotExact;
    }
    int64_t low = 0;
    int64_t high = UINT32_MAX;
    switch (type) {
        case CPlyType::Int8:
            low = INT8_MIN, high = INT8_MAX;
            break;
        case CPlyType::UInt8:
            high = UINT8_MAX;
            break;
        case CPlyType::Int16:
            low = INT16_MIN, high = INT16_MAX;
            break;
        case CPlyType::UInt16:
            high = UINT16_MAX;
            break;
        case CPlyType::Int32:
            low = INT32_MIN, high = INT32_MAX;
            break;
        default:
            break;
    }
    value = static_cast<double>(integer);
    return integer >= low && integer <= high ? CAsciiValue::Number : CAsciiValue::NotANumber;
}

// An ASCII number of `type`: integers as integer text within the type's
// range, floats as any decimal or "nan" / "inf" text.
CAsciiValue ParseNumber(std::string_view text, CPlyType type, double& value) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        // One sign at most: "+-5" is no number.
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
            return CAsciiValue::NotANumber;
        }
    }
    if (PlyTypeIsInteger(type)) {
        return ParseInteger(text, type, value);
    }
    // The sign of a NaN is kept, whatever the library makes of "-nan".
    if (text == "nan" || text == "-nan") {
        value =
            std::bit_cast<double>(text == "nan" ? 0x7FF8000000000000ull : 0xFFF8000000000000ull);
        return CAsciiValue::Number;
    }
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    // A value beyond a double's range is no number this file can mean.
    return result.ec == std::errc() && result.ptr == end ? CAsciiValue::Number
                                                         : CAsciiValue::NotANumber;
}

class CPlyReader {
public:
    CPlyReader(std::string name, std::string_view bytes, const CPlyHeader& header)
        : name_(std::move(name)),
          cursor_(bytes, header.dataOffset),
          header_(header),
          bigEndian_(header.encoding == CPlyEncoding::BinaryBigEndian) {}

    CResult Read(CPlyVertices& vertices) {
        const CPlyElement* vertex = nullptr;
        for (const CPlyElement& element : header_.elements) {
            if (element.name == "vertex") {
                vertex = &element;
                break;
            }
        }
        if (!vertex) {
            return Fail("no \"vertex\" element in the header, so no points to convert");
        }
        for (const CPlyProperty& property : vertex->properties) {
            if (property.isList) {
                return Fail("vertex property " + Quoted(property.name) +
                            " is a list; only number properties can be converted");
            }
        }
        vertices.encoding = header_.encoding;
        vertices.comments = header_.comments;
        vertices.count = vertex->count;
        for (const CPlyElement& element : header_.elements) {
            if (&element == vertex) {
                return Ascii() ? ReadAsciiVertices(element, vertices)
                               : ReadBinaryVertices(element, vertices);
            }
            // The elements before it only need stepping over; those after
            // it are never reached.
            if (CResult skipped = Ascii() ? SkipAscii(element) : SkipBinary(element); !skipped) {
                return skipped;
            }
        }
        return CResult::Ok();
    }

private:
    bool Ascii() const { return header_.encoding == CPlyEncoding::Ascii; }

    CResult Fail(const std::string& what) const { return CResult::Fail(name_ + ": " + what); }

    CResult EndsInside(const CPlyElement& element) const { return PlyEndsInside(name_, element); }

    CResult NotExact(size_t vertex, const CPlyProperty& property, const std::string& value) const {
        return NotExactIn(name_, static_cast<int64_t>(vertex), property, value);
    }

    void Columns(const CPlyElement& element, CPlyVertices& vertices) const {
        for (const CPlyProperty& property : element.properties) {
            CPlyColumn column;
            column.name = property.name;
            column.type = property.type;
            column.values.resize(static_cast<size_t>(element.count));
            vertices.columns.push_back(std::move(column));
        }
    }

    CResult ReadBinaryVertices(const CPlyElement& element, CPlyVertices& vertices) {
        size_t row = 0;
        for (const CPlyProperty& property : element.properties) {
            row += PlyTypeBytes(property.type);
        }
        if (row == 0) {
            return CResult::Ok();
        }
        const size_t left = cursor_.Left();
        const unsigned char* rows = cursor_.Take(static_cast<uint64_t>(element.count), row);
        if (!rows) {
            return Fail("the header counts " + std::to_string(element.count) + " vertices of " +
                        std::to_string(row) + " bytes, but only " + std::to_string(left) +
                        " bytes of data follow (a cut file, or a header that lies)");
        }
        Columns(element, vertices);
        const size_t count = static_cast<size_t>(element.count);
        size_t offset = 0;
        for (size_t p = 0; p < element.properties.size(); ++p) {
            const CPlyProperty& property = element.properties[p];
            if (CResult gathered =
                    GatherPlyValues(name_, header_.encoding, property, rows + offset, row, count, 0,
                                    vertices.columns[p].values.data());
                !gathered) {
                return gathered;
            }
            offset += PlyTypeBytes(property.type);
        }
        return CResult::Ok();
    }

    // One list's length and items stepped over.
    CResult SkipList(const CPlyElement& element, const CPlyProperty& property, int64_t row) {
        const unsigned char* at = cursor_.Take(PlyTypeBytes(property.countType));
        double length = 0;
        if (!at || GatherAny(bigEndian_, property.countType, at, 0, 1, &length) != 1) {
            return EndsInside(element);  // a 64-bit length beyond 2^53 is no list a file holds
        }
        if (length < 0) {
            return Fail("element " + Quoted(element.name) + ", row " + std::to_string(row) +
                        ": list " + Quoted(property.name) + " has a negative length");
        }
        // The length counts items, not bytes.
        if (!cursor_.Take(static_cast<uint64_t>(length), PlyTypeBytes(property.type))) {
            return EndsInside(element);
        }
        return CResult::Ok();
    }

    CResult SkipBinary(const CPlyElement& element) {
        bool lists = false;
        size_t row = 0;
        for (const CPlyProperty& property : element.properties) {
            lists = lists || property.isList;
            row += PlyTypeBytes(property.isList ? property.countType : property.type);
        }
        if (!lists) {
            return cursor_.Take(static_cast<uint64_t>(element.count), row) ? CResult::Ok()
                                                                           : EndsInside(element);
        }
        // Every row takes at least `row` bytes, so a lying count runs out of
        // bytes after as many rows as the file could hold.
        for (int64_t i = 0; i < element.count; ++i) {
            for (const CPlyProperty& property : element.properties) {
                CResult skipped = CResult::Ok();
                if (property.isList) {
                    skipped = SkipList(element, property, i);
                } else if (!cursor_.Take(PlyTypeBytes(property.type))) {
                    skipped = EndsInside(element);
                }
                if (!skipped) {
                    return skipped;
                }
            }
        }
        return CResult::Ok();
    }

    CResult ReadAsciiVertices(const CPlyElement& element, CPlyVertices& vertices) {
        const size_t properties = element.properties.size();
        if (properties == 0) {
            return CResult::Ok();
        }
        // Each value is at least one character and a blank (but the last).
        const size_t left = cursor_.Left();
        if (static_cast<uint64_t>(element.count) > (left / 2 + 1) / properties) {
            return Fail("the header counts " + std::to_string(element.count) + " vertices of " +
                        std::to_string(properties) + " values, more than the " +
                        std::to_string(left) +
                        " bytes of data can hold (a cut file, or a header that lies)");
        }
        Columns(element, vertices);
        for (size_t i = 0; i < static_cast<size_t>(element.count); ++i) {
            for (size_t p = 0; p < properties; ++p) {
                const CPlyProperty& property = element.properties[p];
                const std::string_view word = cursor_.Word();
                if (word.empty()) {
                    return EndsInside(element);
                }
                if (CResult parsed = ParsePlyAsciiValue(name_, static_cast<int64_t>(i), property,
                                                        word, vertices.columns[p].values[i]);
                    !parsed) {
                    return parsed;
                }
            }
        }
        // Every row ends with a line end: without one, the file may have
        // been cut inside its last number, which would still read as one.
        if (element.count > 0 && cursor_.Left() == 0) {
            return Fail("the data ends inside the last value of element " + Quoted(element.name) +
                        ", with no line end after it (a cut file?)");
        }
        return CResult::Ok();
    }

    CResult SkipAscii(const CPlyElement& element) {
        if (element.properties.empty()) {
            return CResult::Ok();
        }
        // A word per row at least: a count past the bytes left is a lie,
        // and stepping over it word by word would only find that later.
        if (static_cast<uint64_t>(element.count) > cursor_.Left()) {
            return EndsInside(element);
        }
        for (int64_t i = 0; i < element.count; ++i) {
            for (const CPlyProperty& property : element.properties) {
                std::string_view word = cursor_.Word();
                if (word.empty()) {
                    return EndsInside(element);
                }
                if (!property.isList) {
                    continue;
                }
                double length = 0;
                if (ParseNumber(word, property.countType, length) != CAsciiValue::Number ||
                    length < 0) {
                    return Fail("element " + Quoted(element.name) + ", row " + std::to_string(i) +
                                ": list " + Quoted(property.name) + " has the length " +
                                Quoted(word));
                }
                for (double k = 0; k < length; ++k) {
                    if (cursor_.Word().empty()) {
                        return EndsInside(element);
                    }
                }
            }
        }
        return CResult::Ok();
    }

    std::string name_;
    CPlyCursor cursor_;
    const CPlyHeader& header_;
    bool bigEndian_;
};

}  // namespace

CResult PlyEndsInside(const std::string& name, const CPlyElement& element) {
    return CResult::Fail(name + ": the data ends inside element " + Quoted(element.name) + " (" +
                         std::to_string(element.count) +
                         " counted in the header; a cut file, or a header that counts more than "
                         "the file holds)");
}

CResult ParsePlyAsciiValue(const std::string& name, int64_t vertex, const CPlyProperty& property,
                           std::string_view word, double& value) {
    const CAsciiValue parsed = ParseNumber(word, property.type, value);
    if (parsed == CAsciiValue::NotExact) {
        return NotExactIn(name, vertex, property, std::string(word));
    }
    if (parsed != CAsciiValue::Number) {
        return CResult::Fail(name + ": vertex " + std::to_string(vertex) + ", property " +
                             Quoted(property.name) + ": " + Quoted(word) +
                             " is not a number of type " + PlyTypeName(property.type));
    }
    return CResult::Ok();
}

CResult GatherPlyValues(const std::string& name, CPlyEncoding encoding,
                        const CPlyProperty& property, const unsigned char* in, size_t row,
                        size_t count, int64_t firstVertex, double* values) {
    const bool bigEndian = encoding == CPlyEncoding::BinaryBigEndian;
    const size_t taken = GatherAny(bigEndian, property.type, in, row, count, values);
    if (taken < count) {
        return NotExactIn(name, firstVertex + static_cast<int64_t>(taken), property,
                          IntegerText(bigEndian, property.type, in + taken * row));
    }
    return CResult::Ok();
}

CResult ReadPly(const std::filesystem::path& file, CPlyVertices& vertices) {
    vertices = CPlyVertices();
    std::string bytes;
    if (CResult read = ReadWhole(file, bytes); !read) {
        return read;
    }
    return ReadPlyBytes(file.string(), bytes, vertices);
}

CResult ReadPlyBytes(const std::string& name, std::string_view bytes, CPlyVertices& vertices) {
    vertices = CPlyVertices();
    CPlyHeader header;
    if (CResult parsed = ParsePlyHeader(bytes, header); !parsed) {
        return CResult::Fail(name + ": " + parsed.Message());
    }
    return CPlyReader(name, bytes, header).Read(vertices);
}

}  // namespace VelpoTools
