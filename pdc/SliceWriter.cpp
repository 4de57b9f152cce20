#include "pdc/SliceWriter.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

#include "pdc/ByteOrder.h"
#include "pdc/RecordWriter.h"

using XSI::MATH::CVector3f;

// A vector's three floats are converted as one run of floats.
static_assert(sizeof(CVector3f) == 3 * sizeof(float) && std::is_standard_layout_v<CVector3f>);

namespace {

using PdcByteOrder::DoubleBytes;
using PdcByteOrder::Int32Bytes;

constexpr uint64_t HeaderBytes = 28;
constexpr uint64_t VectorBytes = 3 * DoubleBytes;

// Values are converted through a buffer on the stack of this many bytes:
// large enough that a host's subset of a few thousand points goes out in
// one or two writes, small enough for any thread's stack.
constexpr size_t ChunkBytes = 64 * 1024;

// Records are moved up through a buffer of this many bytes.
constexpr size_t MoveBytes = 1024 * 1024;

uint64_t RecordStartBytes(const std::string& name) {
    return Int32Bytes + name.size() + Int32Bytes;
}

std::string NameOf(const CAttribute& slot) {
    return slot.name.GetAsciiString();
}

bool IsWritten(const CAttribute& slot) {
    return !slot.name.IsEmpty() && slot.type >= PdcTypeFloat && slot.type <= PdcTypeVector;
}

template <class T>
constexpr int32_t TypeOf() {
    if constexpr (std::is_same_v<T, float>) {
        return PdcTypeFloat;
    } else if constexpr (std::is_same_v<T, int32_t>) {
        return PdcTypeLong;
    } else {
        static_assert(std::is_same_v<T, CVector3f>);
        return PdcTypeVector;
    }
}

// `count` values from `values` into big-endian doubles at `out`.
void Store(unsigned char* out, const float* values, size_t count) {
    PdcByteOrder::StoreFloatsAsDoubles(out, values, count);
}
void Store(unsigned char* out, const int32_t* values, size_t count) {
    PdcByteOrder::StoreInt32sAsDoubles(out, values, count);
}
void Store(unsigned char* out, const CVector3f* values, size_t count) {
    PdcByteOrder::StoreFloatsAsDoubles(out, reinterpret_cast<const float*>(values), 3 * count);
}

}  // namespace

CPdcSliceWriter::CPdcSliceWriter(const CPdc& layout, int32_t particleCount)
    : particleCount_(static_cast<uint32_t>(std::max(particleCount, 0))) {
    // Laid out as arrays of at least one element, so that every record's
    // final place lies at or before this one whatever Finish is told.
    uint64_t at = HeaderBytes;
    for (int32_t slot = 0; slot < PdcSlotCount; ++slot) {
        const CAttribute& attribute = layout.attributes[slot];
        if (!IsWritten(attribute)) {
            continue;
        }
        CRecord& record = records_[slot];
        record.type = attribute.type;
        record.name = NameOf(attribute);
        record.width = attribute.type == PdcTypeVector ? VectorBytes : DoubleBytes;
        record.dataAt = at + RecordStartBytes(record.name);
        at = record.dataAt + record.width * std::max<uint64_t>(particleCount_, 1);
    }
    size_ = at;
}

bool CPdcSliceWriter::Begin(const std::string& target, std::string& reason) {
    return file_.Begin(target, size_, reason);
}

template <class T, class Convert>
bool CPdcSliceWriter::WriteConverted(int32_t slot, uint32_t first, uint32_t count,
                                     Convert convert) {
    if (slot < 0 || slot >= PdcSlotCount) {
        return false;
    }
    const CRecord& record = records_[slot];
    if (record.type == PdcTypeNone) {
        return true;
    }
    if (record.type != TypeOf<T>()) {
        return false;
    }
    if (first >= particleCount_) {
        return true;
    }
    count = std::min(count, particleCount_ - first);
    alignas(32) unsigned char chunk[ChunkBytes];
    const auto perChunk = static_cast<uint32_t>(ChunkBytes / record.width);
    for (uint32_t done = 0; done < count;) {
        const uint32_t run = std::min(perChunk, count - done);
        convert(chunk, done, run);
        if (!file_.WriteAt(record.dataAt + (uint64_t{first} + done) * record.width, chunk,
                           run * record.width)) {
            return false;
        }
        done += run;
    }
    return true;
}

template <class T>
bool CPdcSliceWriter::Write(int32_t slot, uint32_t first, const T* values, uint32_t count) {
    return WriteConverted<T>(
        slot, first, count,
        [values](unsigned char* out, uint32_t from, uint32_t n) { Store(out, values + from, n); });
}

template <class T>
bool CPdcSliceWriter::Fill(int32_t slot, uint32_t first, const T& value, uint32_t count) {
    unsigned char one[VectorBytes];
    Store(one, &value, 1);
    constexpr size_t Width = TypeOf<T>() == PdcTypeVector ? VectorBytes : DoubleBytes;
    return WriteConverted<T>(slot, first, count, [&one](unsigned char* out, uint32_t, uint32_t n) {
        for (uint32_t i = 0; i < n; ++i) {
            std::memcpy(out + i * Width, one, Width);
        }
    });
}

template bool CPdcSliceWriter::Write(int32_t, uint32_t, const float*, uint32_t);
template bool CPdcSliceWriter::Write(int32_t, uint32_t, const int32_t*, uint32_t);
template bool CPdcSliceWriter::Write(int32_t, uint32_t, const CVector3f*, uint32_t);
template bool CPdcSliceWriter::Fill(int32_t, uint32_t, const float&, uint32_t);
template bool CPdcSliceWriter::Fill(int32_t, uint32_t, const int32_t&, uint32_t);
template bool CPdcSliceWriter::Fill(int32_t, uint32_t, const CVector3f&, uint32_t);

// Front to back, so a move to an earlier place never overwrites bytes it
// has still to read.
bool CPdcSliceWriter::MoveData(uint64_t from, uint64_t to, uint64_t bytes) {
    if (from == to || bytes == 0) {
        return true;
    }
    std::vector<unsigned char> buffer(static_cast<size_t>(std::min<uint64_t>(bytes, MoveBytes)));
    for (uint64_t done = 0; done < bytes;) {
        const auto run = static_cast<size_t>(std::min<uint64_t>(buffer.size(), bytes - done));
        if (!file_.ReadAt(from + done, buffer.data(), run) ||
            !file_.WriteAt(to + done, buffer.data(), run)) {
            return false;
        }
        done += run;
    }
    return true;
}

// What `put` hands the format's one writer, written at `at`.
template <class Put>
bool CPdcSliceWriter::PutAt(uint64_t at, Put put) {
    std::vector<unsigned char> bytes;
    CPdcWriter writer([&bytes](const unsigned char* data, size_t count) {
        bytes.insert(bytes.end(), data, data + count);
        return true;
    });
    return put(writer) && writer.Flush() && file_.WriteAt(at, bytes.data(), bytes.size());
}

bool CPdcSliceWriter::Finish(const CPdc& layout, CDurability durability, std::string& reason) {
    bool placed = true;
    uint64_t at = HeaderBytes;
    int32_t attributeCount = 0;
    for (int32_t slot = 0; placed && slot < PdcSlotCount; ++slot) {
        const CRecord& record = records_[slot];
        if (record.type == PdcTypeNone) {
            continue;
        }
        const std::string& name = record.name;
        const bool array = layout.attributes[slot].isArray;
        const int32_t code = record.type == PdcTypeVector
                                 ? (array ? PdcCodeVectorArray : PdcCodeVector)
                                 : (array ? PdcCodeDoubleArray : PdcCodeDouble);
        const uint64_t dataAt = at + RecordStartBytes(name);
        const uint64_t dataBytes = record.width * (array ? particleCount_ : 1);
        placed = MoveData(record.dataAt, dataAt, dataBytes) &&
                 PutAt(at, [&](CPdcWriter& writer) { return writer.WriteRecordStart(name, code); });
        at = dataAt + dataBytes;
        ++attributeCount;
    }
    const PdcHeader header =
        PdcHeader::ForWriting(static_cast<int32_t>(particleCount_), attributeCount);
    if (!placed || !PutAt(0, [&](CPdcWriter& writer) { return writer.WriteHeader(header); })) {
        return file_.Abandon(reason);
    }
    return file_.Commit(at, durability, reason);
}
