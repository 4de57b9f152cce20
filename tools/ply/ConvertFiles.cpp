#include "tools/ply/ConvertFiles.h"

#include <fmt/format.h>
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <system_error>

#include "pdc/FileOffset.h"
#include "pdc/RecordWalker.h"
#include "pdc/RecordWriter.h"
#include "tools/common/InputFile.h"
#include "tools/common/OutputFile.h"
#include "tools/common/Text.h"
#include "tools/ply/PlyFormat.h"
#include "tools/ply/StreamConvert.h"

namespace VelpoTools {

using Velpo::CResult;

namespace {

std::string LowerExtension(const std::string& name) {
    return AsciiLower(std::filesystem::path(name).extension().string());
}

// A name's bytes as the file holds them, read through a stream of its own
// so that the walker's stream stays where it is.
CResult ReadWholeName(const std::filesystem::path& file, int64_t offset, int64_t length,
                      std::string& name) {
    CFilePointer stream;
    if (CResult opened = OpenForReading(file, stream); !opened) {
        return opened;
    }
    // The walker checked that the name lies inside the file.
    name.assign(static_cast<size_t>(length), '\0');
    if (!PdcFileOffset::Skip(stream.get(), offset) ||
        std::fread(name.data(), 1, name.size(), stream.get()) != name.size()) {
        return CResult::Fail("the name of the record at byte " + std::to_string(offset - 4) +
                             " cannot be read again");
    }
    return CResult::Ok();
}

// The record's name with every byte, from the walker's record.
CResult WholeName(const std::filesystem::path& file, const CPdcRecord& record, int64_t length,
                  std::string& name) {
    if (static_cast<size_t>(length) == record.name.size()) {
        name = record.name;
        return CResult::Ok();
    }
    return ReadWholeName(file, record.offset + 4, length, name);
}

// The current record's values, decoded into the one vector of its kind.
bool ReadValues(CPdcRecordWalker& walker, const CPdcRecord& record, CConvertRecord& out) {
    const auto numbers = static_cast<size_t>(record.Numbers());
    if (record.IsInteger()) {
        out.integers.resize(numbers);
        return walker.ReadDecoded(out.integers.data());
    }
    out.doubles.resize(numbers);
    return walker.ReadDecoded(out.doubles.data());
}

// One record through the file layer's writer.
bool WriteRecord(CPdcWriter& writer, const CConvertRecord& record, int32_t particleCount) {
    if (record.nameOnly) {
        return writer.WriteNameOnlyRecord(record.name);
    }
    const int64_t count = PdcCodeIsArray(record.code) ? particleCount : 1;
    if (!writer.BeginRecord(record.name, record.code, count)) {
        return false;
    }
    const bool appended = PdcCodeIsInteger(record.code)
                              ? writer.AppendInt32s(record.integers.data(), record.integers.size())
                              : writer.AppendDoubles(record.doubles.data(), record.doubles.size());
    return appended && writer.EndRecord();
}

CResult CheckFrame(const std::string& name, const CConvertFrame& frame) {
    for (const CConvertRecord& record : frame.records) {
        if (record.nameOnly) {
            continue;
        }
        const int64_t count = PdcCodeIsArray(record.code) ? frame.header.particleCount : 1;
        const int64_t wanted = count * PdcCodeComponents(record.code);
        const size_t held =
            PdcCodeIsInteger(record.code) ? record.integers.size() : record.doubles.size();
        if (wanted < 0 || static_cast<uint64_t>(wanted) != held ||
            record.name.size() > static_cast<size_t>(INT32_MAX)) {
            return CResult::Fail(
                fmt::format("{}: record {} holds {} numbers where {} are needed; nothing written",
                            name, Quoted(record.name), held, wanted));
        }
    }
    return CResult::Ok();
}

// A 32-bit build cannot hold every record a valid file may have.
bool FitsInMemory(int64_t bytes) {
    return static_cast<uint64_t>(bytes) <= SIZE_MAX / 2;
}

CResult TooLarge(const std::string& file, const CPdcRecord& record) {
    return CResult::Fail(
        fmt::format("{}: record {} at byte {} is too large for the memory of this build", file,
                    record.index, record.offset));
}

uint64_t FileBytes(const std::string& file) {
    std::error_code code;
    const uintmax_t size = std::filesystem::file_size(file, code);
    return code ? 0 : static_cast<uint64_t>(size);
}

}  // namespace

CResult ConvertDirection(const std::string& in, const std::string& out,
                         CConvertDirection& direction) {
    const std::string from = LowerExtension(in);
    const std::string to = LowerExtension(out);
    for (const auto& [name, extension] : {std::pair{&in, from}, {&out, to}}) {
        if (extension != ".pdc" && extension != ".ply") {
            return CResult::Fail(Quoted(*name) + " must end in .pdc or .ply");
        }
    }
    if (from == to) {
        return CResult::Fail(Quoted(in) + " and " + Quoted(out) + " are both " +
                             (from == ".pdc" ? "PDC" : "PLY") +
                             " files; convert turns PDC into PLY or PLY into PDC");
    }
    direction = from == ".pdc" ? CConvertDirection::PdcToPly : CConvertDirection::PlyToPdc;
    return CResult::Ok();
}

namespace {

// The records of `file`; array records without their values unless
// `arrayValues`, their first value's offset in `valuesOffsets`.
CResult ReadPdcRecords(const std::filesystem::path& file, bool arrayValues, CConvertFrame& frame,
                       std::vector<int64_t>& valuesOffsets, std::vector<std::string>& notes) {
    frame = CConvertFrame();
    valuesOffsets.clear();
    const std::string name = file.string();
    CFilePointer stream;
    if (CResult opened = OpenForReading(file, stream); !opened) {
        return CResult::Fail(name + ": " + opened.Message());
    }
    CPdcRecordWalker walker(stream.get());
    if (!walker.ReadHeader()) {
        return CResult::Fail(name + ": " + walker.Problem());
    }
    frame.header = walker.Header();
    CPdcRecord record;
    while (walker.Next(record)) {
        CConvertRecord converted;
        converted.code = record.code;
        const int64_t nameLength = record.valuesOffset - record.offset - 8;
        if (!FitsInMemory(record.ValueBytes()) || !FitsInMemory(nameLength)) {
            return TooLarge(name, record);
        }
        if (CResult named = WholeName(file, record, nameLength, converted.name); !named) {
            return CResult::Fail(name + ": " + named.Message());
        }
        // Values not read here are stepped over by the next step of the walk,
        // which still checks that they are all in the file.
        if ((arrayValues || !record.IsArray()) && !ReadValues(walker, record, converted)) {
            break;
        }
        frame.records.push_back(std::move(converted));
        valuesOffsets.push_back(record.valuesOffset);
    }
    if (walker.Failed()) {
        return CResult::Fail(name + ": " + walker.Problem());
    }
    if (walker.EndedWithNameOnlyRecord()) {
        const CPdcRecord& last = walker.NameOnlyRecord();
        CConvertRecord converted;
        converted.nameOnly = true;
        const int64_t nameLength = walker.FileSize() - last.offset - 4;
        if (!FitsInMemory(nameLength)) {
            return TooLarge(name, last);
        }
        if (CResult named = WholeName(file, last, nameLength, converted.name); !named) {
            return CResult::Fail(name + ": " + named.Message());
        }
        frame.records.push_back(std::move(converted));
        valuesOffsets.push_back(walker.FileSize());
    } else if (walker.BytesLeft() > 0) {
        notes.push_back(fmt::format(
            "{}: the {} bytes after the last record belong to no record and are left out", name,
            walker.BytesLeft()));
    }
    return CResult::Ok();
}

}  // namespace

CResult ReadPdcFrame(const std::filesystem::path& file, CConvertFrame& frame,
                     std::vector<std::string>& notes) {
    std::vector<int64_t> offsets;
    return ReadPdcRecords(file, true, frame, offsets, notes);
}

CResult ReadPdcLayout(const std::filesystem::path& file, CConvertFrame& frame,
                      std::vector<int64_t>& valuesOffsets, std::vector<std::string>& notes) {
    return ReadPdcRecords(file, false, frame, valuesOffsets, notes);
}

int64_t CConvertBlock::ParticlesFor(int64_t bytesPerParticle) const {
    const int64_t fit = bytes / std::max<int64_t>(1, bytesPerParticle);
    return std::max<int64_t>(1, std::min(particles, fit));
}

CResult WritePdcFrame(const std::filesystem::path& file, const CConvertFrame& frame) {
    if (CResult sound = CheckFrame(file.string(), frame); !sound) {
        return sound;
    }
    return WriteFileReplacing(file, [&](COutput& out) {
        CPdcWriter writer([&out](const unsigned char* bytes, size_t count) {
            return out.Write(std::string_view(reinterpret_cast<const char*>(bytes), count));
        });
        bool written = writer.WriteHeader(frame.header);
        for (const CConvertRecord& record : frame.records) {
            written = written && WriteRecord(writer, record, frame.header.particleCount);
        }
        // Frames hold codes 0 to 5 (both readers check them) and CheckFrame
        // has ruled out every other record the writer refuses, so only the
        // output can fail here, and it reports that itself.
        (void)(written && writer.Flush());
    });
}

CResult ConvertFile(const std::string& in, const std::string& out, const CPlyChoice& choice,
                    CConvertSummary& summary, std::vector<std::string>& notes,
                    const CConvertBlock& block) {
    CConvertDirection direction = CConvertDirection::PdcToPly;
    if (CResult chosen = ConvertDirection(in, out, direction); !chosen) {
        return chosen;
    }
    if (direction == CConvertDirection::PdcToPly) {
        if (CResult done = StreamPdcToPly(in, out, choice, block, summary, notes); !done) {
            return done;
        }
        summary.bytesRead = FileBytes(in);
        return CResult::Ok();
    }
    bool streamed = false;
    if (CResult done = StreamPlyToPdc(in, out, block, summary, notes, streamed);
        !done || streamed) {
        summary.bytesRead = FileBytes(in);
        return done;
    }
    CConvertFrame frame;
    {
        CPlyVertices ply;
        if (CResult read = ReadPly(in, ply); !read) {
            return read;
        }
        std::vector<std::string> found;
        if (CResult taken = FrameFromPly(ply, frame, found); !taken) {
            return CResult::Fail(in + ": " + taken.Message());
        }
        for (const std::string& note : found) {
            notes.push_back(in + ": " + note);
        }
        ply = CPlyVertices();  // its columns are in the frame now
    }
    if (CResult written = WritePdcFrame(out, frame); !written) {
        return written;
    }
    summary.particles = frame.header.particleCount;
    summary.records = frame.records.size();
    summary.bytesRead = FileBytes(in);
    return CResult::Ok();
}

}  // namespace VelpoTools
