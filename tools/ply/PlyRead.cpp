// Reading the vertex element of a PLY file (see tools/ply/PlyFormat.h).
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <system_error>
#include <type_traits>

#include "tools/InputFile.h"
#include "tools/Text.h"
#include "tools/ply/PlyFormat.h"

namespace VelpoTools {

using VelpoHost::CResult;

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

// One binary number of type T in the file's byte order. Built with shifts,
// so the host's own byte order never matters.
template <class T, bool BigEndian>
T Load(const unsigned char* in) {
    using Bits = std::conditional_t<
        sizeof(T) == 8, uint64_t,
        std::conditional_t<sizeof(T) == 4, uint32_t,
                           std::conditional_t<sizeof(T) == 2, uint16_t, uint8_t>>>;
    Bits bits = 0;
    for (size_t k = 0; k < sizeof(T); ++k) {
        const size_t shift = 8 * (BigEndian ? sizeof(T) - 1 - k : k);
        bits = static_cast<Bits>(bits | (Bits{in[k]} << shift));
    }
    return std::bit_cast<T>(bits);
}

// Vertex i's value of one property (at in + i * row) into values[i]: one
// loop per type and byte order, no decision per value.
template <class T, bool BigEndian>
void Gather(const unsigned char* in, size_t row, size_t count, double* values) {
    for (size_t i = 0; i < count; ++i) {
        values[i] = static_cast<double>(Load<T, BigEndian>(in + i * row));
    }
}

template <bool BigEndian>
void GatherType(CPlyType type, const unsigned char* in, size_t row, size_t count, double* values) {
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
    }
}

// One number, for list lengths.
double LoadNumber(const unsigned char* in, CPlyType type, bool bigEndian) {
    double value = 0.0;
    if (bigEndian) {
        GatherType<true>(type, in, 0, 1, &value);
    } else {
        GatherType<false>(type, in, 0, 1, &value);
    }
    return value;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// An ASCII number of `type`: integers as integer text within the type's
// range, floats as any decimal or "nan" / "inf" text.
bool ParseNumber(std::string_view text, CPlyType type, double& value) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    const char* end = text.data() + text.size();
    if (!PlyTypeIsInteger(type)) {
        // The sign of a NaN is kept, whatever the library makes of "-nan".
        if (text == "nan" || text == "-nan") {
            value = std::bit_cast<double>(text == "nan" ? 0x7FF8000000000000ull
                                                        : 0xFFF8000000000000ull);
            return true;
        }
        const auto result = std::from_chars(text.data(), end, value);
        // A value beyond a double's range is no number this file can mean.
        return result.ec == std::errc() && result.ptr == end;
    }
    int64_t integer = 0;
    const auto result = std::from_chars(text.data(), end, integer);
    if (result.ec != std::errc() || result.ptr != end) {
        return false;
    }
    int64_t low = 0;
    int64_t high = 0;
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
            high = UINT32_MAX;
            break;
    }
    value = static_cast<double>(integer);
    return integer >= low && integer <= high;
}

class CPlyReader {
public:
    CPlyReader(std::string name, std::string_view bytes, const CPlyHeader& header)
        : name_(std::move(name)),
          data_(reinterpret_cast<const unsigned char*>(bytes.data())),
          size_(bytes.size()),
          at_(header.dataOffset),
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
    size_t Left() const { return size_ - at_; }

    CResult Fail(const std::string& what) const { return CResult::Fail(name_ + ": " + what); }

    CResult EndsInside(const CPlyElement& element) const {
        return Fail("the data ends inside element " + Quoted(element.name) + " (" +
                    std::to_string(element.count) + " counted in the header; a cut file, or a " +
                    "header that counts more than the file holds)");
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
        if (static_cast<uint64_t>(element.count) > Left() / row) {
            return Fail("the header counts " + std::to_string(element.count) + " vertices of " +
                        std::to_string(row) + " bytes, but only " + std::to_string(Left()) +
                        " bytes of data follow (a cut file, or a header that lies)");
        }
        Columns(element, vertices);
        const size_t count = static_cast<size_t>(element.count);
        size_t offset = 0;
        for (size_t p = 0; p < element.properties.size(); ++p) {
            const CPlyType type = element.properties[p].type;
            double* values = vertices.columns[p].values.data();
            const unsigned char* in = data_ + at_ + offset;
            if (bigEndian_) {
                GatherType<true>(type, in, row, count, values);
            } else {
                GatherType<false>(type, in, row, count, values);
            }
            offset += PlyTypeBytes(type);
        }
        at_ += count * row;
        return CResult::Ok();
    }

    CResult SkipBinary(const CPlyElement& element) {
        bool lists = false;
        size_t row = 0;
        for (const CPlyProperty& property : element.properties) {
            lists = lists || property.isList;
            row += PlyTypeBytes(property.isList ? property.countType : property.type);
        }
        if (row == 0) {
            return CResult::Ok();
        }
        // Every row takes at least `row` bytes, lists or not.
        if (static_cast<uint64_t>(element.count) > Left() / row) {
            return EndsInside(element);
        }
        if (!lists) {
            at_ += static_cast<size_t>(element.count) * row;
            return CResult::Ok();
        }
        for (int64_t i = 0; i < element.count; ++i) {
            for (const CPlyProperty& property : element.properties) {
                const size_t width =
                    PlyTypeBytes(property.isList ? property.countType : property.type);
                if (width > Left()) {
                    return EndsInside(element);
                }
                if (!property.isList) {
                    at_ += width;
                    continue;
                }
                const double length = LoadNumber(data_ + at_, property.countType, bigEndian_);
                at_ += width;
                const size_t item = PlyTypeBytes(property.type);
                if (length < 0) {
                    return Fail("element " + Quoted(element.name) + ", row " + std::to_string(i) +
                                ": list " + Quoted(property.name) + " has a negative length");
                }
                if (length > static_cast<double>(Left() / item)) {
                    return EndsInside(element);
                }
                at_ += static_cast<size_t>(length) * item;
            }
        }
        return CResult::Ok();
    }

    // The next blank-separated word of ASCII data; empty at the end.
    std::string_view Word() {
        while (at_ < size_ && IsBlank(static_cast<char>(data_[at_]))) {
            ++at_;
        }
        const size_t start = at_;
        while (at_ < size_ && !IsBlank(static_cast<char>(data_[at_]))) {
            ++at_;
        }
        return {reinterpret_cast<const char*>(data_) + start, at_ - start};
    }

    CResult ReadAsciiVertices(const CPlyElement& element, CPlyVertices& vertices) {
        const size_t properties = element.properties.size();
        if (properties == 0) {
            return CResult::Ok();
        }
        // Each value is at least one character and a blank (but the last).
        if (static_cast<uint64_t>(element.count) > (Left() / 2 + 1) / properties) {
            return Fail("the header counts " + std::to_string(element.count) + " vertices of " +
                        std::to_string(properties) + " values, more than the " +
                        std::to_string(Left()) +
                        " bytes of data can hold (a cut file, or a header that lies)");
        }
        Columns(element, vertices);
        for (size_t i = 0; i < static_cast<size_t>(element.count); ++i) {
            for (size_t p = 0; p < properties; ++p) {
                const CPlyProperty& property = element.properties[p];
                const std::string_view word = Word();
                if (word.empty()) {
                    return EndsInside(element);
                }
                if (!ParseNumber(word, property.type, vertices.columns[p].values[i])) {
                    return Fail("vertex " + std::to_string(i) + ", property " +
                                Quoted(property.name) + ": " + Quoted(word) +
                                " is not a number of type " + PlyTypeName(property.type));
                }
            }
        }
        return CResult::Ok();
    }

    CResult SkipAscii(const CPlyElement& element) {
        if (element.properties.empty()) {
            return CResult::Ok();
        }
        // A word per row at least: a count past the bytes left is a lie,
        // and stepping over it word by word would only find that later.
        if (static_cast<uint64_t>(element.count) > Left()) {
            return EndsInside(element);
        }
        for (int64_t i = 0; i < element.count; ++i) {
            for (const CPlyProperty& property : element.properties) {
                std::string_view word = Word();
                if (word.empty()) {
                    return EndsInside(element);
                }
                if (!property.isList) {
                    continue;
                }
                double length = 0;
                if (!ParseNumber(word, property.countType, length) || length < 0) {
                    return Fail("element " + Quoted(element.name) + ", row " + std::to_string(i) +
                                ": list " + Quoted(property.name) + " has the length " +
                                Quoted(word));
                }
                for (double k = 0; k < length; ++k) {
                    if (Word().empty()) {
                        return EndsInside(element);
                    }
                }
            }
        }
        return CResult::Ok();
    }

    std::string name_;
    const unsigned char* data_;
    size_t size_;
    size_t at_;
    const CPlyHeader& header_;
    bool bigEndian_;
};

}  // namespace

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
