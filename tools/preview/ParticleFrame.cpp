#include "tools/preview/ParticleFrame.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>

#include "pdc/ByteOrder.h"
#include "pdc/RecordWalker.h"
#include "pdc/SlotFilling.h"
#include "tools/InputFile.h"
#include "tools/Text.h"

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

CResult TooLarge(const std::string& file, const CPdcRecord& record) {
    return CResult::Fail(file + ": the record " + Quoted(record.name) + " holds " +
                         std::to_string(record.Numbers()) +
                         " numbers, more than this build can hold in memory");
}

}  // namespace

CResult ReadParticleFrame(const std::string& file, const CFrameWants& wants,
                          CParticleFrame& frame) {
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
    // Of records sharing a name, the one the nodes deliver counts
    // (pdc/SlotFilling.h): each is read as it comes and a later one replaces
    // it. "position" is what a Vector slot delivers; the colour, whatever
    // the code, what a slot taking every code delivers.
    const XSI::CString positionName(L"position");
    CPdcSlotFilling position;
    position.AddSlot(positionName, PdcTypeVector);
    CPdcSlotFilling positionNamed;  // for the message when no vector comes
    positionNamed.AddSlot(positionName, PdcTypeAny);
    CPdcSlotFilling colour;
    colour.AddSlot(XSI::CString::FromUtf8(wants.colour), PdcTypeAny);
    int32_t positionCode = -1;
    bool positionSeen = false;
    bool colourSeen = false;
    CPdcRecord record;
    while (walker.Next(record)) {
        if (wants.positions && positionNamed.Take(record) >= 0) {
            positionCode = record.code;
        }
        const bool isPosition = wants.positions && position.Take(record) >= 0;
        if (isPosition) {
            positionSeen = true;
            if (!Addressable(record)) {
                return TooLarge(file, record);
            }
            if (!ReadRecordValues(walker, record, frame.positions)) {
                break;
            }
        }
        if (colour.Take(record) >= 0) {
            colourSeen = true;
            if (isPosition) {
                frame.colour = frame.positions;
            } else if (!Addressable(record)) {
                return TooLarge(file, record);
            } else if (!ReadRecordValues(walker, record, frame.colour)) {
                break;
            }
        }
    }
    if (walker.Failed()) {
        return CResult::Fail(file + ": " + Escaped(walker.Problem()));
    }
    if (wants.positions && !positionSeen) {
        if (positionCode >= 0) {
            return CResult::Fail(file + ": the record \"position\" holds numbers (type code " +
                                 std::to_string(positionCode) + "), not vectors");
        }
        return CResult::Fail(file + ": no record \"position\" (the particles' positions)");
    }
    if (!wants.colour.empty() && !colourSeen) {
        return CResult::Fail(file + ": no record " + Quoted(wants.colour) + " for --color");
    }
    return CResult::Ok();
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
