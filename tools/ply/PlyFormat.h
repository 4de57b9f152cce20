// PLY point files: the header, a reader of the vertex element and a writer
// of one. `velpo convert` moves particles between PDC and PLY through here;
// what the columns mean is the converter's business (tools/ply/Convert.h).
//
//   ply
//   format binary_little_endian 1.0      or ascii, binary_big_endian
//   comment any text
//   element vertex 3
//   property double x                    one scalar per vertex
//   property int id
//   element face 1
//   property list uchar int vertex_indices
//   end_header
//   <data: each element's rows in header order>
//
// Scalar types: char, uchar, short, ushort, int, uint, float, double and
// their aliases int8, uint8, int16, uint16, int32, uint32, float32, float64;
// also int64 and uint64, which writers built on NumPy use for its
// default integers. A 64-bit value is taken when a double holds it exactly (every
// value up to 2^53 does) and refused otherwise, naming the property, the
// vertex and the value.
//
// The reader takes the whole file into memory (a conversion needs every
// value before it can write the other format anyway) and checks every count
// from the header against the bytes that are really there before it sizes
// anything, so a header that lies cannot make it allocate more than the
// file holds. Elements other than `vertex` are stepped over, lists walked
// with the same checks. Errors name the file and what is wrong. Nothing here
// keeps state: any number of threads may read and write different files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"
#include "tools/common/Output.h"

namespace VelpoTools {

enum class CPlyEncoding { Ascii, BinaryLittleEndian, BinaryBigEndian };

enum class CPlyType { Int8, UInt8, Int16, UInt16, Int32, UInt32, Float32, Float64, Int64, UInt64 };

// Either name of a type (char or int8, ...). False for anything else.
bool PlyTypeFromName(std::string_view name, CPlyType& type);
// The classic name: char, uchar, short, ushort, int, uint, float, double;
// int64 and uint64 have no other.
const char* PlyTypeName(CPlyType type);
size_t PlyTypeBytes(CPlyType type);
bool PlyTypeIsInteger(CPlyType type);

struct CPlyProperty {
    std::string name;
    CPlyType type = CPlyType::Float64;  // of a list: its items
    bool isList = false;
    CPlyType countType = CPlyType::UInt8;  // of a list: its length
};

struct CPlyElement {
    std::string name;
    int64_t count = 0;
    std::vector<CPlyProperty> properties;
};

struct CPlyHeader {
    CPlyEncoding encoding = CPlyEncoding::Ascii;
    std::vector<std::string> comments;  // text after "comment ", in order
    std::vector<CPlyElement> elements;
    size_t dataOffset = 0;  // of the first byte after "end_header" and its line end
};

// The header at the start of `bytes`: "ply", one "format" line, then
// comment, obj_info, element and property lines up to "end_header". Lines
// may end in LF or CR LF. Fails, without naming the file, on a missing
// "ply" or "end_header", an unknown format or type, a count that is not a
// non-negative number, a property before any element, a duplicate element.
// Takes time in proportion to the header's bytes, whatever they declare.
// `ranOut`, when given, is set on a failure that only more bytes could
// have avoided (the bytes end inside the header): a reader of the file's
// first bytes then reads more and tries again.
Velpo::CResult ParsePlyHeader(std::string_view bytes, CPlyHeader& header, bool* ranOut = nullptr);

// One scalar property of the vertex element, every value as a double (each
// 8- to 32-bit type and every float fits one exactly, and a double's bits,
// NaN payloads included, arrive unchanged from a binary file; 64-bit
// integers are read only when each value is exact as a double).
struct CPlyColumn {
    std::string name;
    CPlyType type = CPlyType::Float64;
    std::vector<double> values;
};

struct CPlyVertices {
    CPlyEncoding encoding = CPlyEncoding::Ascii;
    std::vector<std::string> comments;
    int64_t count = 0;
    std::vector<CPlyColumn> columns;  // in header order
};

// Reads the vertex element of `file`. Fails naming the file on anything
// ParsePlyHeader refuses, on a file without a `vertex` element or with a
// list property on it, on data that ends before the vertex element does
// (an element or a list longer than the bytes left, or ASCII vertices whose
// last value has no line end after it, as in a file cut inside a number),
// on ASCII values that are not numbers of their property's type, and on a
// 64-bit integer that a double cannot hold exactly.
Velpo::CResult ReadPly(const std::filesystem::path& file, CPlyVertices& vertices);

// The same over the whole file's bytes; messages name it `name`.
Velpo::CResult ReadPlyBytes(const std::string& name, std::string_view bytes,
                            CPlyVertices& vertices);

// One property's values from `count` binary rows of `row` bytes, `in`
// pointing at the property's bytes in the first row, into values[0 ..
// count). Fails, naming the file `name` and the vertex (`firstVertex` + i),
// on a 64-bit integer that a double cannot hold exactly.
Velpo::CResult GatherPlyValues(const std::string& name, CPlyEncoding encoding,
                               const CPlyProperty& property, const unsigned char* in, size_t row,
                               size_t count, int64_t firstVertex, double* values);

// One ASCII value of `property` (integers as integer text within the
// type's range, floats as any decimal or "nan" / "inf" text). Fails naming
// the file `name`, the vertex and the property.
Velpo::CResult ParsePlyAsciiValue(const std::string& name, int64_t vertex,
                                  const CPlyProperty& property, std::string_view word,
                                  double& value);

// The failure of data that ends inside `element`, naming the file `name`.
Velpo::CResult PlyEndsInside(const std::string& name, const CPlyElement& element);

// A property to write: one value per vertex from `integers` (type Int32) or
// `doubles` (Float64, or Float32 rounded from the doubles), vertex i at
// index i * stride, so that x, y, z runs are three columns of stride 3.
struct CPlyOutputColumn {
    std::string name;
    CPlyType type = CPlyType::Float64;
    const int32_t* integers = nullptr;
    const double* doubles = nullptr;
    size_t stride = 1;
};

struct CPlyOutput {
    bool ascii = false;  // else binary little-endian
    std::vector<std::string> comments;
    int64_t count = 0;
    std::vector<CPlyOutputColumn> columns;
};

// The header text of `ply`, "ply" to "end_header\n".
std::string PlyHeaderText(const CPlyOutput& ply);

// Writes header and vertices to `out`. Binary rows are put together a block
// of vertices at a time, column by column, in one large buffer; ASCII
// writes each number as the shortest text that reads back to the same
// value ("nan", "-nan", "inf", "-inf" for the others). Write errors are for
// the caller to find through out.Flush().
void WritePly(COutput& out, const CPlyOutput& ply);

// Only the vertex rows of `ply`, as WritePly writes them after the header:
// a streamed conversion writes the header once and then one CPlyOutput per
// block of vertices, its columns pointing at the block's first vertex.
void WritePlyRows(COutput& out, const CPlyOutput& ply);

}  // namespace VelpoTools
