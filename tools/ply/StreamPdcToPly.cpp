// PDC to PLY a block of particles at a time (see tools/ply/StreamConvert.h).
//
// Per block, each array record that feeds a column has its slice of values
// read from the file in one piece, turned into the machine's byte order in
// place, and the PLY writer interleaves the slices into rows. The slices
// are sized once for the largest block, so no buffer grows with the frame.
#include <fmt/format.h>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "pdc/ByteOrder.h"
#include "pdc/FileOffset.h"
#include "tools/common/InputFile.h"
#include "tools/common/OutputFile.h"
#include "tools/ply/StreamConvert.h"

namespace VelpoTools {

using Velpo::CResult;

namespace {

// One array record's values for the current block, in the machine's form.
struct CRecordSlice {
    size_t record = 0;
    int64_t valuesOffset = 0;
    int32_t components = 1;
    bool integers = false;
    std::vector<int32_t> int32s;
    std::vector<double> doubles;
};

class CPdcBlockReader {
public:
    CPdcBlockReader(std::string name, std::FILE* file) : name_(std::move(name)), file_(file) {}

    // A slice for every record a column reads, each sized for `particles`.
    void Plan(const CConvertFrame& frame, const std::vector<int64_t>& offsets,
              const std::vector<CPlyColumnSource>& sources, int64_t particles) {
        sliceOf_.assign(frame.records.size(), NoSlice);
        for (const CPlyColumnSource& source : sources) {
            if (sliceOf_[source.record] != NoSlice) {
                continue;
            }
            sliceOf_[source.record] = slices_.size();
            const CConvertRecord& record = frame.records[source.record];
            CRecordSlice slice;
            slice.record = source.record;
            slice.valuesOffset = offsets[source.record];
            slice.components = PdcCodeComponents(record.code);
            slice.integers = PdcCodeIsInteger(record.code);
            const auto numbers = static_cast<size_t>(particles * slice.components);
            (slice.integers ? slice.int32s.resize(numbers) : slice.doubles.resize(numbers));
            slices_.push_back(std::move(slice));
        }
    }

    // Particles [first, first + count) of every planned record.
    CResult Read(int64_t first, int64_t count) {
        for (CRecordSlice& slice : slices_) {
            const int64_t width = slice.integers ? 4 : 8;
            const auto numbers = static_cast<size_t>(count * slice.components);
            void* into = slice.integers ? static_cast<void*>(slice.int32s.data())
                                        : static_cast<void*>(slice.doubles.data());
            const int64_t at = slice.valuesOffset + first * slice.components * width;
            if (!PdcFileOffset::SeekTo(file_, at) ||
                std::fread(into, static_cast<size_t>(width), numbers, file_) != numbers) {
                return CResult::Fail(
                    fmt::format("{}: the values at byte {} cannot be read (the file changed while "
                                "it was read?)",
                                name_, at));
            }
            if (slice.integers) {
                PdcByteOrder::LoadUInt32sInPlace(reinterpret_cast<uint32_t*>(into), numbers);
            } else {
                PdcByteOrder::LoadUInt64sInPlace(reinterpret_cast<uint64_t*>(into), numbers);
            }
        }
        return CResult::Ok();
    }

    // Points the columns of `ply` at the current block's slices.
    void Aim(CPlyOutput& ply, const std::vector<CPlyColumnSource>& sources) const {
        for (size_t c = 0; c < sources.size(); ++c) {
            const CRecordSlice& slice = slices_[sliceOf_[sources[c].record]];
            if (slice.integers) {
                ply.columns[c].integers = slice.int32s.data() + sources[c].component;
            } else {
                ply.columns[c].doubles = slice.doubles.data() + sources[c].component;
            }
        }
    }

private:
    std::string name_;
    std::FILE* file_;
    static constexpr size_t NoSlice = SIZE_MAX;

    std::vector<CRecordSlice> slices_;
    std::vector<size_t> sliceOf_;  // per record of the frame: its slice, or NoSlice
};

// The bytes of one particle across the records the columns read.
int64_t ParticleBytes(const CConvertFrame& frame, const std::vector<CPlyColumnSource>& sources) {
    std::vector<bool> counted(frame.records.size(), false);
    int64_t bytes = 0;
    for (const CPlyColumnSource& source : sources) {
        if (counted[source.record]) {
            continue;
        }
        counted[source.record] = true;
        const int32_t code = frame.records[source.record].code;
        bytes += PdcCodeComponents(code) * (PdcCodeIsInteger(code) ? 4 : 8);
    }
    return bytes;
}

}  // namespace

CResult StreamPdcToPly(const std::string& in, const std::string& out, const CPlyChoice& choice,
                       const CConvertBlock& block, CConvertSummary& summary,
                       std::vector<std::string>& notes) {
    CConvertFrame frame;
    std::vector<int64_t> offsets;
    if (CResult read = ReadPdcLayout(in, frame, offsets, notes); !read) {
        return read;
    }
    if (CResult held = CheckParticlesHeld(frame); !held) {
        return CResult::Fail(in + ": " + held.Message() + "; " + out + " not written");
    }
    CPlyOutput ply = PlyFromFrame(frame, choice);
    const std::vector<CPlyColumnSource> sources = PlyColumnSources(frame);
    const int64_t particles = ply.count;
    const int64_t perBlock = std::min(particles, block.ParticlesFor(ParticleBytes(frame, sources)));
    CFilePointer stream;
    if (CResult opened = OpenForReading(in, stream); !opened) {
        return CResult::Fail(in + ": " + opened.Message());
    }
    CPdcBlockReader reader(in, stream.get());
    reader.Plan(frame, offsets, sources, perBlock);
    const CResult written = WriteFileReplacingChecked(out, [&](COutput& output) {
        output.Write(PlyHeaderText(ply));
        CPlyOutput rows = ply;
        for (int64_t first = 0; first < particles && output.Ok(); first += perBlock) {
            rows.count = std::min(perBlock, particles - first);
            if (CResult got = reader.Read(first, rows.count); !got) {
                return CResult::Fail(got.Message() + "; " + out + " not written");
            }
            reader.Aim(rows, sources);
            WritePlyRows(output, rows);
        }
        return CResult::Ok();
    });
    if (!written) {
        return written;
    }
    summary.particles = frame.header.particleCount;
    summary.records = frame.records.size();
    return CResult::Ok();
}

}  // namespace VelpoTools
