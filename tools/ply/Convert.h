// Particles between the records of a PDC file and the vertex element of a
// PLY file, both ways, so that PDC -> PLY -> PDC gives back the same bytes.
//
// PDC -> PLY: one vertex per particle. The first vector array named
// "position" becomes the properties x, y, z (first, where point readers
// look for them); every other array record becomes properties named after
// it: `name` for codes 1 (int) and 3 (double), `name_x`, `name_y`, `name_z`
// for code 5. Names are encoded (EncodeName) and made unique with "_2",
// "_3", ... where two records would share one. What the vertices cannot
// hold goes into comment lines, one per record in file order:
//
//   comment velpo pdc <format> <version> <byteOrder> <reserved1> <reserved2>
//                     <particleCount> <attributeCount>      the header
//   comment velpo array <code> <name>                       an array record
//   comment velpo value <code> <name> <number> [<number> <number>]
//   comment velpo name-only <name>         a last record that holds only its name
//
// Numbers are written exactly: integers in decimal, doubles as the shortest
// text that reads back to the same bits, "inf", "-inf", "nan", "-nan" for
// the usual NaNs and "nan:0x<16 hex digits>" for a NaN of any other bits.
//
// PLY -> PDC: with these comments, and vertex properties that are exactly
// those the comments describe, the records, their order, names and codes
// and the header come back as they were. Without them (a PLY from another
// program) x, y, z become "position", triples `name_x`, `name_y`, `name_z`
// become vector records, other properties records of their own: code 1 for
// integer types that fit 32 bits and for int64 and uint64 properties whose
// every value does, code 3 for uint, float, double and other 64-bit ones; the
// header gets the values writers use (version 1, byte order 1, zeros).
//
// Neither way makes a file of particles that no record holds: a header
// that counts particles with no record of values (a PLY whose vertex
// element has no properties, a PDC header without records) is refused, so
// that a few bytes can never claim billions of particles. Every step takes
// time in proportion to the records and properties, whatever their names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"
#include "pdc/Pdc.h"
#include "tools/ply/PlyFormat.h"

namespace VelpoTools {

// One record with its values in the machine's form.
struct CConvertRecord {
    std::string name;  // every byte the file holds, zero bytes included
    int32_t code = PdcCodeDoubleArray;
    bool nameOnly = false;          // the last record ended right after its name
    std::vector<int32_t> integers;  // codes 0 and 1
    std::vector<double> doubles;    // codes 2 to 5, a vector as x, y, z
};

struct CConvertFrame {
    PdcHeader header;
    std::vector<CConvertRecord> records;  // in file order
};

struct CPlyChoice {
    bool ascii = false;   // else binary little-endian
    bool floats = false;  // double values as float: smaller, not exact
};

// A name as one word of printable ASCII: letters, digits, '_', '-' and '.'
// stand as they are, every other byte as %XX (two upper-case hex digits);
// the empty name is "%". DecodeName undoes it and refuses anything else.
std::string EncodeName(std::string_view name);
bool DecodeName(std::string_view word, std::string& name);

// The PLY of a frame; its columns point into `frame`, which must outlive it.
// The vertex count is the header's particle count when there is an array
// record, else 0 (the comment keeps the count).
CPlyOutput PlyFromFrame(const CConvertFrame& frame, const CPlyChoice& choice);

// Where the columns of PlyFromFrame(frame, ...) take their values, in column
// order: record `record` of the frame, component `component` of a vector
// (else 0). Needs only the records' names and codes, not their values, so a
// conversion can plan the columns first and read the values in blocks.
struct CPlyColumnSource {
    size_t record = 0;
    int32_t component = 0;
};
std::vector<CPlyColumnSource> PlyColumnSources(const CConvertFrame& frame);

// The frame a PLY holds (see above); the columns' values move into the
// frame, so `ply` is left without them. Fails, saying what is wrong without the
// file's name, on a malformed velpo comment, more than 2^31 - 1 vertices,
// a value that the record it goes to cannot hold (a fraction or a number
// beyond 32 bits for an integer record), and what CheckParticlesHeld
// refuses. `notes` receives what the user should know, such as comments
// that no longer fit the properties.
Velpo::CResult FrameFromPly(CPlyVertices& ply, CConvertFrame& frame,
                            std::vector<std::string>& notes);

// FrameFromPly in two steps, for a conversion that reads the vertices in
// blocks. First the frame from the header alone (the columns' names and
// types; their values are not looked at): the records, their order, names,
// codes and single values, the header, and per record the columns its
// values come from (one, or x, y, z; none for a record without array
// values). `fitsInt32[c]` says whether every value of column c fits 32
// bits, which decides the code of an int64 or uint64 property of another
// program; the other columns' entries are not consulted. Fails as
// FrameFromPly does on everything but the values.
Velpo::CResult PlanFrameFromPly(const CPlyVertices& ply, const std::vector<bool>& fitsInt32,
                                CConvertFrame& frame,
                                std::vector<std::vector<size_t>>& recordColumns,
                                std::vector<std::string>& notes);

// Then the values of an array record, from the values of its columns for
// the vertices from `firstVertex` on (into record.integers or
// record.doubles, a vector as x, y, z). Fails, naming the property and the
// vertex, on a value its integer record cannot hold. With `moveValues` a
// double column's values are moved into the record rather than copied.
Velpo::CResult FillRecord(CConvertRecord& record, const std::vector<CPlyColumn*>& columns,
                          int64_t firstVertex, bool moveValues);

// Whether every value of the column fits 32 bits.
bool ColumnFitsInt32(const CPlyColumn& column);

// Fails, without the file's name, when the header counts particles (more
// than 0) but no record holds a value: none at all, or only a last record
// that holds its name. A single-value record holds a value for every
// particle and is enough.
Velpo::CResult CheckParticlesHeld(const CConvertFrame& frame);

}  // namespace VelpoTools
