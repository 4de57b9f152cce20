// Writing a vertex element as PLY (see tools/ply/PlyFormat.h).
//
// Binary rows are assembled column by column into a block of a few thousand
// vertices: each column is one tight loop over its values with a fixed
// store width, and the block goes to the output in one piece. Per value
// there is no call, no branch on the type and no stream.
#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <memory>

#include "tools/ply/PlyFormat.h"

namespace VelpoTools {

namespace {

// Large enough that per-block costs vanish, small enough to stay in cache
// while the columns are interleaved into it.
constexpr size_t BlockBytes = 1 << 20;

template <class T>
void StoreLittleEndian(unsigned char* out, T value) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &value, sizeof(T));
    } else {
        unsigned char bytes[sizeof(T)];
        std::memcpy(bytes, &value, sizeof(T));
        for (size_t k = 0; k < sizeof(T); ++k) {
            out[k] = bytes[sizeof(T) - 1 - k];
        }
    }
}

// Vertex i's value of the column, at out + i * row.
template <class Stored, class Source>
void Scatter(unsigned char* out, size_t row, const Source* in, size_t stride, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        StoreLittleEndian(out + i * row, static_cast<Stored>(in[i * stride]));
    }
}

void ScatterColumn(const CPlyOutputColumn& column, size_t first, unsigned char* out, size_t row,
                   size_t count) {
    const size_t start = first * column.stride;
    switch (column.type) {
        case CPlyType::Int32:
            Scatter<int32_t>(out, row, column.integers + start, column.stride, count);
            break;
        case CPlyType::Float32:
            Scatter<float>(out, row, column.doubles + start, column.stride, count);
            break;
        default:
            Scatter<double>(out, row, column.doubles + start, column.stride, count);
            break;
    }
}

void WriteBinary(COutput& out, const CPlyOutput& ply) {
    size_t row = 0;
    for (const CPlyOutputColumn& column : ply.columns) {
        row += PlyTypeBytes(column.type);
    }
    const size_t count = static_cast<size_t>(ply.count);
    if (row == 0 || count == 0) {
        return;
    }
    const size_t block = std::max<size_t>(1, BlockBytes / row);
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[block * row]);
    for (size_t first = 0; first < count && out.Ok(); first += block) {
        const size_t rows = std::min(block, count - first);
        size_t offset = 0;
        for (const CPlyOutputColumn& column : ply.columns) {
            ScatterColumn(column, first, buffer.get() + offset, row, rows);
            offset += PlyTypeBytes(column.type);
        }
        out.Write(std::string_view(reinterpret_cast<const char*>(buffer.get()), rows * row));
    }
}

template <class T>
void AppendNumber(std::string& text, T value) {
    char digits[64];
    const std::to_chars_result result = std::to_chars(digits, digits + sizeof(digits), value);
    text.append(digits, result.ptr);
}

void WriteAscii(COutput& out, const CPlyOutput& ply) {
    std::string text;
    const size_t count = static_cast<size_t>(ply.count);
    for (size_t i = 0; i < count && out.Ok(); ++i) {
        for (size_t c = 0; c < ply.columns.size(); ++c) {
            const CPlyOutputColumn& column = ply.columns[c];
            if (c > 0) {
                text += ' ';
            }
            const size_t at = i * column.stride;
            if (column.type == CPlyType::Int32) {
                AppendNumber(text, column.integers[at]);
            } else if (column.type == CPlyType::Float32) {
                AppendNumber(text, static_cast<float>(column.doubles[at]));
            } else {
                AppendNumber(text, column.doubles[at]);
            }
        }
        text += '\n';
        if (text.size() >= BlockBytes) {
            out.Write(text);
            text.clear();
        }
    }
    out.Write(text);
}

}  // namespace

void WritePly(COutput& out, const CPlyOutput& ply) {
    out.Write(PlyHeaderText(ply));
    WritePlyRows(out, ply);
}

void WritePlyRows(COutput& out, const CPlyOutput& ply) {
    if (ply.ascii) {
        WriteAscii(out, ply);
    } else {
        WriteBinary(out, ply);
    }
}

}  // namespace VelpoTools
