#include "pdc/RecordWriter.h"

#include <limits>

#include "pdc/ByteOrder.h"
#include "pdc/Chunks.h"
#include "pdc/Pdc.h"

namespace {

bool CountFitsCode(int32_t code, size_t numbers) {
    switch (code) {
        case PdcCodeInteger:
        case PdcCodeDouble:
            return numbers == 1;
        case PdcCodeVector:
            return numbers == 3;
        case PdcCodeVectorArray:
            return numbers % 3 == 0;
        default:
            return true;
    }
}

bool WriteNameAndCode(FILE* file, std::string_view name, int32_t code) {
    if (name.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        return false;
    }
    unsigned char lengthBytes[PdcByteOrder::Int32Bytes];
    unsigned char codeBytes[PdcByteOrder::Int32Bytes];
    PdcByteOrder::StoreInt32(lengthBytes, static_cast<int32_t>(name.size()));
    PdcByteOrder::StoreInt32(codeBytes, code);
    return std::fwrite(lengthBytes, 1, sizeof lengthBytes, file) == sizeof lengthBytes &&
           std::fwrite(name.data(), 1, name.size(), file) == name.size() &&
           std::fwrite(codeBytes, 1, sizeof codeBytes, file) == sizeof codeBytes;
}

}  // namespace

bool PdcWriteRecord(FILE* file, std::string_view name, int32_t code, const double* values,
                    size_t numbers) {
    if (!file || code < PdcCodeDouble || code > PdcCodeVectorArray ||
        !CountFitsCode(code, numbers) || !WriteNameAndCode(file, name, code)) {
        return false;
    }
    const bool written =
        PdcChunks::WriteValues(file, PdcByteOrder::DoubleBytes, numbers,
                               [values](unsigned char* out, size_t first, size_t run) {
                                   PdcByteOrder::StoreDoubles(out, values + first, run);
                               });
    return written && !std::ferror(file);
}

bool PdcWriteRecord(FILE* file, std::string_view name, int32_t code, const int32_t* values,
                    size_t numbers) {
    if (!file || !PdcCodeIsInteger(code) || !CountFitsCode(code, numbers) ||
        !WriteNameAndCode(file, name, code)) {
        return false;
    }
    const bool written = PdcChunks::WriteValues(
        file, PdcByteOrder::Int32Bytes, numbers,
        [values](unsigned char* out, size_t first, size_t run) {
            for (size_t i = 0; i < run; ++i) {
                PdcByteOrder::StoreInt32(out + PdcByteOrder::Int32Bytes * i, values[first + i]);
            }
        });
    return written && !std::ferror(file);
}
