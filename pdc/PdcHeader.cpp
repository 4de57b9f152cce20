#include <algorithm>
#include <cstring>

#include "pdc/ByteOrder.h"
#include "pdc/Pdc.h"
#include "pdc/RecordWriter.h"

namespace {

constexpr size_t FormatBytes = 4;
constexpr size_t FieldCount = 6;
constexpr size_t HeaderBytes = FormatBytes + FieldCount * PdcByteOrder::Int32Bytes;

}  // namespace

PdcHeader PdcHeader::ForWriting(int32_t particleCount, int32_t attributeCount) {
    PdcHeader header;
    std::memcpy(header.format, "PDC ", FormatBytes);
    header.version = 1;
    header.byteOrder = 1;
    header.particleCount = particleCount;
    header.attributeCount = attributeCount;
    return header;
}

bool PdcHeader::FWrite(FILE* file) const {
    CPdcWriter writer(file);
    return writer.WriteHeader(*this) && writer.Flush();
}

bool PdcHeader::FRead(FILE* file) {
    if (!file) {
        return false;
    }
    unsigned char bytes[HeaderBytes];
    const size_t got = std::fread(bytes, 1, HeaderBytes, file);
    std::memcpy(format, bytes, std::min(got, FormatBytes));
    int32_t* fields[FieldCount] = {&version,   &byteOrder,     &reserved1,
                                   &reserved2, &particleCount, &attributeCount};
    const size_t whole = got > FormatBytes ? (got - FormatBytes) / PdcByteOrder::Int32Bytes : 0;
    for (size_t i = 0; i < whole; ++i) {
        *fields[i] = PdcByteOrder::LoadInt32(bytes + FormatBytes + PdcByteOrder::Int32Bytes * i);
    }
    return got == HeaderBytes;
}
