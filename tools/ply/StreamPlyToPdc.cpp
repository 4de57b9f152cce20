// PLY to PDC a block of vertices at a time (see
// tools/ply/StreamConvert.h).
//
// A PLY's vertex element is row after row, each row one value of every
// property, while a PDC file is record after record. The records go out in
// groups, one pass over the vertex rows per group: each record of a group
// has a writer of its own (the file layer's CPdcWriter) whose bytes land at
// the record's offset in the output, known beforehand from the header. A
// group holds as many records as their writers' blocks allow within the
// block's bytes, so a usual frame is one group read once. An output that
// cannot seek (a pipe) takes one record per pass, which writes the file
// front to back. ASCII rows are found by their words, read a piece at a
// time, and parsed again on each pass.
#include <fmt/format.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

#include "pdc/FileOffset.h"
#include "pdc/RecordWriter.h"
#include "tools/common/InputFile.h"
#include "tools/common/OutputFile.h"
#include "tools/common/Text.h"
#include "tools/ply/PlyWords.h"
#include "tools/ply/StreamConvert.h"

namespace VelpoTools {

using Velpo::CResult;

namespace {

constexpr size_t HeaderChunkBytes = 1 << 16;
// What a record's writer holds beyond its block, rounded up.
constexpr int64_t WriterBytes = 2048;

// The header from the file's first bytes, read in doubling pieces until it
// ends, so that a header of any length costs time in proportion to it.
CResult ReadHeader(std::FILE* file, const std::string& name, CPlyHeader& header) {
    std::string bytes;
    size_t want = HeaderChunkBytes;
    for (;;) {
        const size_t at = bytes.size();
        bytes.resize(at + want);
        const size_t got = std::fread(bytes.data() + at, 1, want, file);
        bytes.resize(at + got);
        bool ranOut = false;
        const CResult parsed = ParsePlyHeader(bytes, header, &ranOut);
        if (parsed) {
            return parsed;
        }
        if (std::ferror(file)) {
            return CResult::Fail(name + ": cannot be read: " + std::strerror(errno));
        }
        if (!ranOut || got < want) {
            return CResult::Fail(name + ": " + parsed.Message());
        }
        want = bytes.size();
    }
}

struct CVertexRows {
    const CPlyElement* element = nullptr;
    int64_t offset = 0;                   // of the first row in the file
    size_t rowBytes = 0;                  // binary rows
    std::vector<size_t> propertyOffsets;  // in a binary row
    bool ascii = false;
    int64_t fileSize = 0;
};

// Where the vertex rows of an ASCII file begin: the elements before it
// stepped over word by word (a file whose vertex element has a list, or
// follows one with lists, is read whole). Fails as the whole reader does on
// data that ends inside those elements, and on a vertex count that the
// bytes left cannot hold.
CResult FindAsciiVertexRows(const std::string& name, const CPlyHeader& header, std::FILE* file,
                            CVertexRows& rows) {
    CPlyWordReader words(file);
    if (!words.Start(static_cast<int64_t>(header.dataOffset))) {
        return CResult::Fail(name + ": cannot go to its data");
    }
    for (const CPlyElement& element : header.elements) {
        if (std::any_of(element.properties.begin(), element.properties.end(),
                        [](const CPlyProperty& p) { return p.isList; })) {
            return CResult::Ok();
        }
        const int64_t left = rows.fileSize - words.Position();
        const auto properties = static_cast<int64_t>(element.properties.size());
        if (element.name == "vertex") {
            if (properties > 0 && element.count > (left / 2 + 1) / properties) {
                return CResult::Fail(
                    fmt::format("{}: the header counts {} vertices of {} values, more than the {} "
                                "bytes of data can hold (a cut file, or a header that lies)",
                                name, element.count, properties, left));
            }
            if (properties > 0) {
                rows.element = &element;
                rows.offset = words.Position();
                rows.ascii = true;
            }
            return CResult::Ok();
        }
        if (properties == 0) {
            continue;
        }
        if (element.count > left) {
            return PlyEndsInside(name, element);
        }
        std::string_view word;
        for (int64_t i = 0; i < element.count * properties; ++i) {
            if (!words.Next(word)) {
                return CResult::Fail(name + ": cannot be read: " + std::strerror(errno));
            }
            if (word.empty()) {
                return PlyEndsInside(name, element);
            }
        }
    }
    return CResult::Ok();
}

// Where the vertex rows lie, when they can be streamed: a binary file whose
// vertex element has no list and follows elements without lists. `rows`
// stays without element otherwise (the file is read whole, as before).
// Fails, as the whole reader would, when the rows or the elements before
// them do not fit in the file.
CResult FindVertexRows(const std::string& name, const CPlyHeader& header, int64_t fileSize,
                       CVertexRows& rows) {
    int64_t at = static_cast<int64_t>(header.dataOffset);
    for (const CPlyElement& element : header.elements) {
        size_t row = 0;
        std::vector<size_t> offsets;
        for (const CPlyProperty& property : element.properties) {
            if (property.isList) {
                return CResult::Ok();
            }
            offsets.push_back(row);
            row += PlyTypeBytes(property.type);
        }
        const int64_t left = std::max<int64_t>(0, fileSize - at);
        const bool fits = row == 0 || element.count <= left / static_cast<int64_t>(row);
        if (element.name != "vertex") {
            if (!fits) {
                return CResult::Fail(
                    fmt::format("{}: the data ends inside element {} ({} counted in the header; a "
                                "cut file, or a header that counts more than the file holds)",
                                name, Quoted(element.name), element.count));
            }
            at += element.count * static_cast<int64_t>(row);
            continue;
        }
        if (!fits) {
            return CResult::Fail(
                fmt::format("{}: the header counts {} vertices of {} bytes, but only {} bytes of "
                            "data follow (a cut file, or a header that lies)",
                            name, element.count, row, left));
        }
        if (row > 0) {
            rows.element = &element;
            rows.offset = at;
            rows.rowBytes = row;
            rows.propertyOffsets = std::move(offsets);
        }
        return CResult::Ok();
    }
    return CResult::Ok();
}

// The vertex element's shape without values, as FrameFromPly's planning
// takes it.
CPlyVertices Shape(const CPlyHeader& header, const CPlyElement& vertex) {
    CPlyVertices shape;
    shape.encoding = header.encoding;
    shape.comments = header.comments;
    shape.count = vertex.count;
    for (const CPlyProperty& property : vertex.properties) {
        shape.columns.push_back({property.name, property.type, {}});
    }
    return shape;
}

// Reads the vertex rows a block at a time, each wanted property's values
// gathered into its column.
class CRowReader {
public:
    CRowReader(std::string name, std::FILE* file, const CPlyHeader& header, const CVertexRows& rows,
               int64_t perBlock)
        : name_(std::move(name)),
          file_(file),
          encoding_(header.encoding),
          rows_(rows),
          perBlock_(perBlock),
          bytes_(static_cast<size_t>(perBlock) * rows.rowBytes),
          words_(file),
          columns_(rows.element->properties.size()) {
        for (size_t c = 0; c < columns_.size(); ++c) {
            columns_[c].name = rows.element->properties[c].name;
            columns_[c].type = rows.element->properties[c].type;
        }
    }

    CPlyColumn& Column(size_t c) { return columns_[c]; }

    // One pass over every row: `use(first, count)` after each block's
    // `wanted` columns are gathered.
    CResult Pass(const std::vector<size_t>& wanted,
                 const std::function<CResult(int64_t, size_t)>& use) {
        if (rows_.ascii) {
            return AsciiPass(use);
        }
        const int64_t count = rows_.element->count;
        if (!PdcFileOffset::SeekTo(file_, rows_.offset)) {
            return CResult::Fail(name_ + ": cannot go to the vertex rows at byte " +
                                 std::to_string(rows_.offset));
        }
        for (int64_t first = 0; first < count; first += perBlock_) {
            const auto n = static_cast<size_t>(std::min(perBlock_, count - first));
            if (std::fread(bytes_.data(), rows_.rowBytes, n, file_) != n) {
                return CResult::Fail(
                    fmt::format("{}: the data ends inside element \"vertex\" at vertex {} (the "
                                "file changed while it was read?)",
                                name_, first));
            }
            for (const size_t c : wanted) {
                columns_[c].values.resize(n);
                if (CResult gathered =
                        GatherPlyValues(name_, encoding_, rows_.element->properties[c],
                                        bytes_.data() + rows_.propertyOffsets[c], rows_.rowBytes, n,
                                        first, columns_[c].values.data());
                    !gathered) {
                    return gathered;
                }
            }
            if (CResult used = use(first, n); !used) {
                return used;
            }
        }
        return CResult::Ok();
    }

private:
    // Every value of every row is parsed, as the whole reader does, so each
    // pass checks the whole file again.
    CResult AsciiPass(const std::function<CResult(int64_t, size_t)>& use) {
        const CPlyElement& vertex = *rows_.element;
        if (!words_.Start(rows_.offset)) {
            return CResult::Fail(name_ + ": cannot go to the vertex rows at byte " +
                                 std::to_string(rows_.offset));
        }
        std::string_view word;
        for (int64_t first = 0; first < vertex.count; first += perBlock_) {
            const auto n = static_cast<size_t>(std::min(perBlock_, vertex.count - first));
            for (CPlyColumn& column : columns_) {
                column.values.resize(n);
            }
            for (size_t i = 0; i < n; ++i) {
                for (size_t p = 0; p < columns_.size(); ++p) {
                    const auto at = first + static_cast<int64_t>(i);
                    if (!words_.Next(word)) {
                        return CResult::Fail(fmt::format(
                            "{}: vertex {}: cannot be read, or a word longer than any number",
                            name_, at));
                    }
                    if (word.empty()) {
                        return PlyEndsInside(name_, vertex);
                    }
                    if (CResult parsed = ParsePlyAsciiValue(name_, at, vertex.properties[p], word,
                                                            columns_[p].values[i]);
                        !parsed) {
                        return parsed;
                    }
                }
            }
            if (CResult used = use(first, n); !used) {
                return used;
            }
        }
        // Every row ends with a line end: without one, the file may have
        // been cut inside its last number, which would still read as one.
        if (vertex.count > 0 && words_.Position() == rows_.fileSize) {
            return CResult::Fail(name_ +
                                 ": the data ends inside the last value of element \"vertex\", "
                                 "with no line end after it (a cut file?)");
        }
        return CResult::Ok();
    }

    std::string name_;
    std::FILE* file_;
    CPlyEncoding encoding_;
    const CVertexRows& rows_;
    int64_t perBlock_;
    std::vector<unsigned char> bytes_;
    CPlyWordReader words_;
    std::vector<CPlyColumn> columns_;
};

// Whether each 64-bit integer column's every value fits 32 bits (the code
// of such a property of another program depends on it); a pass over the
// rows only when there is one.
CResult FindIntegerFits(CRowReader& reader, const CPlyVertices& shape, std::vector<bool>& fits) {
    fits.assign(shape.columns.size(), true);
    std::vector<size_t> wide;
    for (size_t c = 0; c < shape.columns.size(); ++c) {
        if (shape.columns[c].type == CPlyType::Int64 || shape.columns[c].type == CPlyType::UInt64) {
            wide.push_back(c);
        }
    }
    if (wide.empty()) {
        return CResult::Ok();
    }
    return reader.Pass(wide, [&](int64_t, size_t) {
        for (const size_t c : wide) {
            fits[c] = fits[c] && ColumnFitsInt32(reader.Column(c));
        }
        return CResult::Ok();
    });
}

// Bytes of the output at their offsets, seeking only where a write does not
// follow the one before.
class CPlacer {
public:
    explicit CPlacer(COutput& out) : out_(out) {}

    bool Put(int64_t at, const unsigned char* bytes, size_t count) {
        if (at != position_ && !out_.Seek(at)) {
            return false;
        }
        position_ = at + static_cast<int64_t>(count);
        return out_.Write(std::string_view(reinterpret_cast<const char*>(bytes), count));
    }

    // A writer whose bytes start at `at`.
    std::unique_ptr<CPdcWriter> WriterAt(int64_t at) {
        return std::make_unique<CPdcWriter>(
            [this, next = at](const unsigned char* bytes, size_t count) mutable {
                const bool put = Put(next, bytes, count);
                next += static_cast<int64_t>(count);
                return put;
            });
    }

private:
    COutput& out_;
    int64_t position_ = 0;
};

int64_t ValueBytes(const CConvertRecord& record, int32_t particles) {
    if (record.nameOnly) {
        return 0;
    }
    const int64_t count = PdcCodeIsArray(record.code) ? particles : 1;
    return count * PdcCodeComponents(record.code) * (PdcCodeIsInteger(record.code) ? 4 : 8);
}

class CGroupWriter {
public:
    CGroupWriter(const std::string& in, const std::string& out, const CConvertFrame& frame,
                 const std::vector<std::vector<size_t>>& recordColumns, CRowReader& reader)
        : in_(in), out_(out), frame_(frame), recordColumns_(recordColumns), reader_(reader) {
        int64_t at = 28;
        for (const CConvertRecord& record : frame.records) {
            offsets_.push_back(at);
            const int64_t head = record.nameOnly ? 4 : 8;
            at += head + static_cast<int64_t>(record.name.size()) +
                  ValueBytes(record, frame.header.particleCount);
        }
    }

    CResult Write(COutput& output, int64_t groupBytes) {
        output_ = &output;
        CPlacer placer(output);
        // A stream that cannot seek takes the records one by one, in order.
        const bool seeks = output.Seek(0);
        std::unique_ptr<CPdcWriter> header = placer.WriterAt(0);
        if (!header->WriteHeader(frame_.header) || !header->Flush()) {
            return Stopped();
        }
        for (size_t first = 0; first < frame_.records.size();) {
            size_t end = first + 1;
            int64_t bytes = Cost(first);
            while (seeks && end < frame_.records.size() && bytes + Cost(end) <= groupBytes) {
                bytes += Cost(end++);
            }
            if (CResult written = WriteGroup(placer, first, end); !written) {
                return written;
            }
            first = end;
        }
        return CResult::Ok();
    }

private:
    // What a record's writer holds: its block only for values beyond its
    // small buffer.
    int64_t Cost(size_t record) const {
        const bool block = ValueBytes(frame_.records[record], frame_.header.particleCount) > 1000;
        return WriterBytes + (block ? static_cast<int64_t>(CPdcWriter::BlockBytes) : 0);
    }

    // A writer refused to go on: the output failed (a full disk), or could
    // not seek.
    CResult Stopped() const {
        if (!output_->Ok()) {
            return CResult::Fail(output_->Flush().Message() +
                                 "; the earlier file, if any, is kept");
        }
        return CResult::Fail(out_ +
                             ": cannot be written at a record's offset (an output that cannot "
                             "seek?); the earlier file, if any, is kept");
    }

    bool BeginRecord(CPdcWriter& writer, const CConvertRecord& record) const {
        if (record.nameOnly) {
            return writer.WriteNameOnlyRecord(record.name);
        }
        const bool array = PdcCodeIsArray(record.code);
        if (!writer.BeginRecord(record.name, record.code,
                                array ? frame_.header.particleCount : 1)) {
            return false;
        }
        if (array) {
            return true;
        }
        const bool appended =
            PdcCodeIsInteger(record.code)
                ? writer.AppendInt32s(record.integers.data(), record.integers.size())
                : writer.AppendDoubles(record.doubles.data(), record.doubles.size());
        return appended && writer.EndRecord();
    }

    CResult AppendBlock(CPdcWriter& writer, size_t r, int64_t first) {
        const CConvertRecord& record = frame_.records[r];
        std::vector<CPlyColumn*> columns;
        for (const size_t c : recordColumns_[r]) {
            columns.push_back(&reader_.Column(c));
        }
        if (record.code == PdcCodeDoubleArray) {  // the column's values as they are
            return writer.AppendDoubles(columns[0]->values.data(), columns[0]->values.size())
                       ? CResult::Ok()
                       : CResult::Fail("");
        }
        scratch_.code = record.code;
        if (CResult filled = FillRecord(scratch_, columns, first, false); !filled) {
            return CResult::Fail(in_ + ": " + filled.Message());
        }
        const bool appended =
            PdcCodeIsInteger(record.code)
                ? writer.AppendInt32s(scratch_.integers.data(), scratch_.integers.size())
                : writer.AppendDoubles(scratch_.doubles.data(), scratch_.doubles.size());
        return appended ? CResult::Ok() : CResult::Fail("");
    }

    CResult WriteGroup(CPlacer& placer, size_t first, size_t end) {
        std::vector<std::unique_ptr<CPdcWriter>> writers;
        std::vector<size_t> wanted;
        std::vector<size_t> arrays;
        for (size_t r = first; r < end; ++r) {
            writers.push_back(placer.WriterAt(offsets_[r]));
            if (!BeginRecord(*writers.back(), frame_.records[r])) {
                return Stopped();
            }
            if (!recordColumns_[r].empty()) {
                arrays.push_back(r);
                wanted.insert(wanted.end(), recordColumns_[r].begin(), recordColumns_[r].end());
            }
        }
        if (!arrays.empty()) {
            CResult passed = reader_.Pass(wanted, [&](int64_t from, size_t) {
                for (const size_t r : arrays) {
                    CResult appended = AppendBlock(*writers[r - first], r, from);
                    if (!appended) {
                        return appended.Message().empty() ? Stopped() : appended;
                    }
                }
                return CResult::Ok();
            });
            if (!passed) {
                return passed;
            }
        }
        for (size_t r = first; r < end; ++r) {
            const bool open = !recordColumns_[r].empty();
            if ((open && !writers[r - first]->EndRecord()) || !writers[r - first]->Flush()) {
                return Stopped();
            }
        }
        return CResult::Ok();
    }

    const std::string& in_;
    const std::string& out_;
    const CConvertFrame& frame_;
    const std::vector<std::vector<size_t>>& recordColumns_;
    CRowReader& reader_;
    std::vector<int64_t> offsets_;
    CConvertRecord scratch_;
    COutput* output_ = nullptr;
};

}  // namespace

CResult StreamPlyToPdc(const std::string& in, const std::string& out, const CConvertBlock& block,
                       CConvertSummary& summary, std::vector<std::string>& notes, bool& streamed) {
    streamed = false;
    CFilePointer stream;
    if (CResult opened = OpenForReading(in, stream); !opened) {
        return CResult::Fail(in + ": " + opened.Message());
    }
    int64_t fileSize = 0;
    if (!PdcFileOffset::BytesLeft(stream.get(), fileSize)) {
        return CResult::Fail(in + ": its size cannot be found");
    }
    CPlyHeader header;
    CVertexRows rows;
    if (CResult read = ReadHeader(stream.get(), in, header); !read) {
        return read;
    }
    rows.fileSize = fileSize;
    if (CResult found = header.encoding == CPlyEncoding::Ascii
                            ? FindAsciiVertexRows(in, header, stream.get(), rows)
                            : FindVertexRows(in, header, fileSize, rows);
        !found) {
        return found;
    }
    const int64_t columns =
        rows.element ? static_cast<int64_t>(rows.element->properties.size()) : 0;
    // Per vertex: its row, its values gathered, a vector record's values.
    const int64_t perBlock =
        block.ParticlesFor(static_cast<int64_t>(rows.rowBytes) + 8 * columns + 24);
    // Vertices that one block holds are read whole, as are the layouts the
    // rows cannot be streamed from.
    if (!rows.element || rows.element->count <= perBlock) {
        return CResult::Ok();
    }
    streamed = true;
    const CPlyVertices shape = Shape(header, *rows.element);
    CRowReader reader(in, stream.get(), header, rows, perBlock);
    std::vector<bool> fits;
    if (CResult found = FindIntegerFits(reader, shape, fits); !found) {
        return found;
    }
    CConvertFrame frame;
    std::vector<std::vector<size_t>> recordColumns;
    std::vector<std::string> found;
    if (CResult planned = PlanFrameFromPly(shape, fits, frame, recordColumns, found); !planned) {
        return CResult::Fail(in + ": " + planned.Message());
    }
    for (const std::string& note : found) {
        notes.push_back(in + ": " + note);
    }
    CGroupWriter writer(in, out, frame, recordColumns, reader);
    if (CResult written = WriteFileReplacingChecked(
            out, [&](COutput& output) { return writer.Write(output, block.bytes); });
        !written) {
        return written;
    }
    summary.particles = frame.header.particleCount;
    summary.records = frame.records.size();
    return CResult::Ok();
}

}  // namespace VelpoTools
