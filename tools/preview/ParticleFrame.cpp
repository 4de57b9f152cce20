#include "tools/preview/ParticleFrame.h"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>

#include "pdc/ByteOrder.h"
#include "pdc/FileOffset.h"
#include "pdc/RecordWalker.h"
#include "pdc/SlotFilling.h"
#include "tools/common/InputFile.h"
#include "tools/common/Text.h"

namespace VelpoTools {

using Velpo::CResult;

namespace {

// The record's numbers, decoded. The walker has checked its count against
// the bytes the file holds, so the size is bounded by the file's size.
bool ReadRecordValues(CPdcRecordWalker& walker, const CPdcRecord& record, CRecordValues& out) {
    out.components = record.Components();
    out.single = !record.IsArray();
    out.values.assign(static_cast<size_t>(record.Numbers()), 0.0);
    return walker.ReadNumbers([&](const unsigned char* bytes, int64_t first, size_t count) {
        double* to = out.values.data() + first;
        if (record.IsInteger()) {
            for (size_t i = 0; i < count; ++i) {
                to[i] = PdcByteOrder::LoadInt32(bytes + PdcByteOrder::Int32Bytes * i);
            }
        } else {
            PdcByteOrder::LoadDoubles(to, bytes, count);
        }
    });
}

// A 32-bit build cannot hold every record a large file may have.
bool Addressable(const CPdcRecord& record) {
    return static_cast<uint64_t>(record.Numbers()) <= SIZE_MAX / sizeof(double);
}

// An array record left in the file: its values come a block at a time.
void Place(const CPdcRecord& record, CRecordValues& values, CRecordPlace& place) {
    values.components = record.Components();
    values.single = false;
    values.values.clear();
    place = {record.valuesOffset, record.IsInteger()};
}

CResult TooLarge(const std::string& file, const CPdcRecord& record) {
    return CResult::Fail(
        fmt::format("{}: the record {} holds {} numbers, more than this build can hold in memory",
                    file, Quoted(record.name), record.Numbers()));
}

}  // namespace

namespace {

// The slots a preview fills. Of records sharing a name, the one the nodes
// deliver counts (pdc/SlotFilling.h): each is read as it comes and a later
// one replaces it. "position" is what a Vector slot delivers; the colour,
// whatever the code, what a slot taking every code delivers.
struct CFrameSlots {
    CPdcSlotFilling position;
    CPdcSlotFilling positionNamed;  // for the message when no vector comes
    CPdcSlotFilling colour;
    int32_t positionCode = -1;
    bool positionSeen = false;
    bool colourSeen = false;

    explicit CFrameSlots(const CFrameWants& wants) {
        const XSI::CString positionName(L"position");
        position.AddSlot(positionName, PdcTypeVector);
        positionNamed.AddSlot(positionName, PdcTypeAny);
        colour.AddSlot(XSI::CString::FromUtf8(wants.colour), PdcTypeAny);
    }
};

// Keeps a record a slot took: where it lies when `place` is given and it is
// an array, else its values read now. `read` false when the file failed
// while they were read (the walker says why).
CResult KeepRecord(CPdcRecordWalker& walker, const std::string& file, const CPdcRecord& record,
                   CRecordValues& values, CRecordPlace* place, bool& read) {
    read = true;
    if (place && record.IsArray()) {
        Place(record, values, *place);
        return CResult::Ok();
    }
    if (!Addressable(record)) {
        return TooLarge(file, record);
    }
    read = ReadRecordValues(walker, record, values);
    return CResult::Ok();
}

// Offers one record to the slots and keeps it where one takes it.
CResult TakeRecord(CPdcRecordWalker& walker, const std::string& file, const CPdcRecord& record,
                   const CFrameWants& wants, CFrameSlots& slots, CParticleFrame& frame,
                   CFrameLayout* layout, bool& read) {
    read = true;
    if (wants.positions && slots.positionNamed.Take(record) >= 0) {
        slots.positionCode = record.code;
    }
    const bool isPosition = wants.positions && slots.position.Take(record) >= 0;
    if (isPosition) {
        slots.positionSeen = true;
        CRecordPlace* place = layout ? &layout->positions : nullptr;
        if (CResult kept = KeepRecord(walker, file, record, frame.positions, place, read);
            !kept || !read) {
            return kept;
        }
    }
    if (slots.colour.Take(record) < 0) {
        return CResult::Ok();
    }
    slots.colourSeen = true;
    if (!isPosition) {
        return KeepRecord(walker, file, record, frame.colour, layout ? &layout->colour : nullptr,
                          read);
    }
    frame.colour = frame.positions;
    if (layout) {
        layout->colour = layout->positions;
    }
    return CResult::Ok();
}

// Whether the walk found every record the preview wants.
CResult CheckFound(const std::string& file, const CFrameWants& wants, const CFrameSlots& slots) {
    if (wants.positions && !slots.positionSeen) {
        if (slots.positionCode >= 0) {
            return CResult::Fail(
                fmt::format("{}: the record \"position\" holds numbers (type code {}), not vectors",
                            file, slots.positionCode));
        }
        return CResult::Fail(file + ": no record \"position\" (the particles' positions)");
    }
    if (!wants.colour.empty() && !slots.colourSeen) {
        return CResult::Fail(file + ": no record " + Quoted(wants.colour) + " for --color");
    }
    return CResult::Ok();
}

// Walks `file` for the records a preview wants. With `layout`, array
// records keep no values: `layout` gets where they lie, and the stream
// stays open for the blocks read from them later.
CResult WalkFrame(const std::string& file, const CFrameWants& wants, CParticleFrame& frame,
                  CFrameLayout* layout) {
    frame = CParticleFrame();
    frame.file = file;
    CFilePointer stream;
    if (CResult opened = OpenForReading(file, stream); !opened) {
        return CResult::Fail(file + ": " + opened.Message());
    }
    CPdcRecordWalker walker(stream.get());
    if (!walker.ReadHeader()) {
        return CResult::Fail(file + ": " + walker.Problem());
    }
    frame.particles = std::max<int64_t>(walker.Header().particleCount, 0);
    CFrameSlots slots(wants);
    CPdcRecord record;
    bool read = true;
    while (read && walker.Next(record)) {
        if (CResult taken = TakeRecord(walker, file, record, wants, slots, frame, layout, read);
            !taken) {
            return taken;
        }
    }
    if (walker.Failed()) {
        return CResult::Fail(file + ": " + Escaped(walker.Problem()));
    }
    if (CResult found = CheckFound(file, wants, slots); !found) {
        return found;
    }
    if (layout) {
        layout->stream = std::move(stream);
    }
    return CResult::Ok();
}

}  // namespace

CResult ReadParticleFrame(const std::string& file, const CFrameWants& wants,
                          CParticleFrame& frame) {
    return WalkFrame(file, wants, frame, nullptr);
}

CResult ReadFrameNoThrow(const std::string& file, const CFrameWants& wants, CParticleFrame& frame) {
    try {
        return ReadParticleFrame(file, wants, frame);
    } catch (const std::bad_alloc&) {
        frame = CParticleFrame();
        return CResult::Fail(file + ": out of memory reading the frame");
    }
}

void CColourStats::Add(double value) {
    if (!std::isfinite(value)) {
        ++nonFinite;
        return;
    }
    min = finite ? std::min(min, value) : value;
    max = finite ? std::max(max, value) : value;
    sum += value;
    ++finite;
}

void CColourStats::Add(const CColourStats& other) {
    if (other.finite) {
        min = finite ? std::min(min, other.min) : other.min;
        max = finite ? std::max(max, other.max) : other.max;
        sum += other.sum;
        finite += other.finite;
    }
    nonFinite += other.nonFinite;
}

double ColourValue(const CRecordValues& colour, int64_t i) {
    const double* value = colour.Of(i);
    if (colour.components == 3) {
        // hypot keeps lengths of large components from overflowing.
        return std::hypot(value[0], value[1], value[2]);
    }
    return value[0];
}

CColourStats ColourStatsOf(const CParticleFrame& frame) {
    CColourStats stats;
    if (frame.colour.components == 0) {
        return stats;
    }
    if (frame.colour.single) {
        // Every particle holds the one value: counted once per particle.
        const double value = ColourValue(frame.colour, 0);
        if (frame.particles > 0 && std::isfinite(value)) {
            stats.min = stats.max = value;
            stats.sum = value * static_cast<double>(frame.particles);
            stats.finite = frame.particles;
        } else {
            stats.nonFinite = frame.particles;
        }
        return stats;
    }
    for (int64_t i = 0; i < frame.particles; ++i) {
        stats.Add(ColourValue(frame.colour, i));
    }
    return stats;
}

CBounds BoundsOf(const CParticleFrame& frame) {
    CBounds bounds;
    if (frame.positions.components != 3) {
        return bounds;
    }
    for (int64_t i = 0; i < frame.Drawn(); ++i) {
        const double* p = frame.positions.Of(i);
        if (std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2])) {
            bounds.Add(CVec3{p[0], p[1], p[2]});
        }
    }
    return bounds;
}

}  // namespace VelpoTools

namespace VelpoTools {

namespace {

// Particles [first, first + count) of an array record placed in the file,
// as doubles.
bool ReadSlice(std::FILE* file, const CRecordPlace& place, int32_t components, int64_t first,
               int64_t count, std::vector<double>& values, std::vector<int32_t>& integers) {
    const auto numbers = static_cast<size_t>(count * components);
    const int64_t width = place.integers ? 4 : 8;
    values.resize(numbers);
    if (!PdcFileOffset::SeekTo(file, place.valuesOffset + first * components * width)) {
        return false;
    }
    if (!place.integers) {
        if (std::fread(values.data(), 8, numbers, file) != numbers) {
            return false;
        }
        PdcByteOrder::LoadUInt64sInPlace(reinterpret_cast<uint64_t*>(values.data()), numbers);
        return true;
    }
    integers.resize(numbers);
    if (std::fread(integers.data(), 4, numbers, file) != numbers) {
        return false;
    }
    PdcByteOrder::LoadUInt32sInPlace(reinterpret_cast<uint32_t*>(integers.data()), numbers);
    std::copy(integers.begin(), integers.end(), values.begin());
    return true;
}

}  // namespace

CResult CParticleBlocks::Open(const std::string& file, const CFrameWants& wants,
                              int64_t blockParticles) {
    blockParticles_ = std::max<int64_t>(1, blockParticles);
    layout_ = CFrameLayout();
    return WalkFrame(file, wants, frame_, &layout_);
}

CResult CParticleBlocks::ForEach(int64_t count,
                                 const std::function<void(const CParticleFrame&)>& use) {
    // The jobs of a sequence must not throw; a block is small, but may still
    // not fit.
    try {
        return ForEachBlock(count, use);
    } catch (const std::bad_alloc&) {
        return CResult::Fail(frame_.file + ": out of memory reading the frame");
    }
}

CResult CParticleBlocks::ForEachBlock(int64_t count,
                                      const std::function<void(const CParticleFrame&)>& use) {
    CParticleFrame block;
    block.file = frame_.file;
    block.positions = frame_.positions;
    block.colour = frame_.colour;
    const bool positions = block.positions.components > 0 && !block.positions.single;
    const bool colour = block.colour.components > 0 && !block.colour.single;
    const bool same =
        colour && positions && layout_.colour.valuesOffset == layout_.positions.valuesOffset;
    for (int64_t first = 0; first < count; first += blockParticles_) {
        block.particles = std::min(blockParticles_, count - first);
        const bool read =
            (!positions || ReadSlice(layout_.stream.get(), layout_.positions, 3, first,
                                     block.particles, block.positions.values, integers_)) &&
            (!colour || same ||
             ReadSlice(layout_.stream.get(), layout_.colour, block.colour.components, first,
                       block.particles, block.colour.values, integers_));
        if (!read) {
            return CResult::Fail(frame_.file +
                                 ": its values cannot be read again (the file changed while it "
                                 "was read?)");
        }
        if (same) {
            block.colour.values = block.positions.values;
        }
        use(block);
    }
    return CResult::Ok();
}

CResult CParticleBlocks::Summarise(CColourStats& stats, CBounds& bounds) {
    stats = CColourStats();
    bounds = CBounds();
    const bool colourPerParticle = frame_.colour.components > 0 && !frame_.colour.single;
    if (frame_.colour.components > 0 && !colourPerParticle) {
        stats = ColourStatsOf(frame_);  // one value for every particle
    }
    const bool positions = frame_.positions.components == 3;
    if (positions && frame_.positions.single) {
        bounds = BoundsOf(frame_);
    }
    if (!colourPerParticle && !(positions && !frame_.positions.single)) {
        return CResult::Ok();
    }
    // In file order, value after value, as over the whole frame: the same
    // sums to the last bit.
    return ForEach(frame_.particles, [&](const CParticleFrame& block) {
        for (int64_t i = 0; i < block.particles; ++i) {
            if (colourPerParticle) {
                stats.Add(ColourValue(block.colour, i));
            }
            if (positions && !block.positions.single) {
                const double* p = block.positions.Of(i);
                if (std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2])) {
                    bounds.Add(CVec3{p[0], p[1], p[2]});
                }
            }
        }
    });
}

CResult CParticleBlocks::ForEachDrawn(const std::function<void(const CParticleFrame&)>& use) {
    return ForEach(frame_.Drawn(), use);
}

CResult OpenBlocksNoThrow(const std::string& file, const CFrameWants& wants,
                          CParticleBlocks& blocks) {
    try {
        return blocks.Open(file, wants);
    } catch (const std::bad_alloc&) {
        return CResult::Fail(file + ": out of memory reading the frame");
    }
}

CResult SummariseFrameNoThrow(const std::string& file, const CFrameWants& wants,
                              CParticleBlocks& blocks, CColourStats& stats, CBounds& bounds) {
    try {
        if (CResult opened = blocks.Open(file, wants); !opened) {
            return opened;
        }
        return blocks.Summarise(stats, bounds);
    } catch (const std::bad_alloc&) {
        return CResult::Fail(file + ": out of memory reading the frame");
    }
}

}  // namespace VelpoTools
