#include "pdc/RecordWriter.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>

#include "pdc/ByteOrder.h"

namespace {

using PdcByteOrder::DoubleBytes;
using PdcByteOrder::Int32Bytes;

// Blocks (CPdcWriter::BlockBytes) are large enough that the per-call cost of
// the sink vanishes and small enough to stay in the cache between the
// conversion and the copy into the file; page-aligned for the copy.
constexpr std::align_val_t BlockAlignment{4096};

constexpr size_t FormatBytes = 4;
constexpr size_t HeaderFields = 6;

}  // namespace

void CPdcWriter::CBlockDelete::operator()(unsigned char* block) const {
    ::operator delete(block, BlockAlignment);
}

CPdcWriter::CPdcWriter(FILE* file) : file_(file), bytes_(small_), limit_(sizeof small_) {
    failed_ = file == nullptr;
}

CPdcWriter::CPdcWriter(CSink sink) : sink_(std::move(sink)), bytes_(small_), limit_(sizeof small_) {
    failed_ = !sink_;
}

bool CPdcWriter::Fail() {
    failed_ = true;
    return false;
}

size_t CPdcWriter::Limit() const {
    // Blocks end at multiples of the block size from the writer's start.
    return block_ ? BlockBytes - static_cast<size_t>(emitted_ % BlockBytes) : sizeof small_;
}

bool CPdcWriter::Emit() {
    if (used_ > 0) {
        const bool taken =
            sink_ ? sink_(bytes_, used_) : std::fwrite(bytes_, 1, used_, file_) == used_;
        if (!taken) {
            return Fail();
        }
        emitted_ += used_;
        used_ = 0;
    }
    limit_ = Limit();
    return true;
}

// The block is allocated only once a record's values need more room than
// the small buffer has; what the small buffer holds moves into it, or goes
// out first when it would pass the block's first end.
bool CPdcWriter::UseBlock() {
    block_.reset(static_cast<unsigned char*>(::operator new(BlockBytes, BlockAlignment)));
    if (used_ > Limit() && !Emit()) {
        return false;
    }
    std::memcpy(block_.get(), small_, used_);
    bytes_ = block_.get();
    limit_ = Limit();
    return true;
}

bool CPdcWriter::Put(const void* bytes, size_t count) {
    const auto* from = static_cast<const unsigned char*>(bytes);
    while (count > 0) {
        if (used_ == limit_ && !Emit()) {
            return false;
        }
        const size_t run = std::min(count, limit_ - used_);
        std::memcpy(bytes_ + used_, from, run);
        used_ += run;
        from += run;
        count -= run;
    }
    return true;
}

bool CPdcWriter::PutNameAndLength(std::string_view name) {
    unsigned char length[Int32Bytes];
    PdcByteOrder::StoreInt32(length, static_cast<int32_t>(name.size()));
    return Put(length, sizeof length) && Put(name.data(), name.size());
}

bool CPdcWriter::WriteHeader(const PdcHeader& header) {
    if (failed_ || inRecord_) {
        return Fail();
    }
    unsigned char bytes[FormatBytes + HeaderFields * Int32Bytes];
    std::memcpy(bytes, header.format, FormatBytes);
    const int32_t fields[HeaderFields] = {header.version,       header.byteOrder,
                                          header.reserved1,     header.reserved2,
                                          header.particleCount, header.attributeCount};
    for (size_t i = 0; i < HeaderFields; ++i) {
        PdcByteOrder::StoreInt32(bytes + FormatBytes + Int32Bytes * i, fields[i]);
    }
    return Put(bytes, sizeof bytes);
}

bool CPdcWriter::WriteRecordStart(std::string_view name, int32_t code) {
    if (failed_ || inRecord_ || code < PdcCodeInteger || code > PdcCodeVectorArray ||
        name.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        return Fail();
    }
    unsigned char codeBytes[Int32Bytes];
    PdcByteOrder::StoreInt32(codeBytes, code);
    return PutNameAndLength(name) && Put(codeBytes, sizeof codeBytes);
}

bool CPdcWriter::BeginRecord(std::string_view name, int32_t code, int64_t count) {
    if (count < 0 || (!PdcCodeIsArray(code) && count != 1)) {
        return Fail();
    }
    if (!WriteRecordStart(name, code)) {
        return false;
    }
    inRecord_ = true;
    integerRecord_ = PdcCodeIsInteger(code);
    numbersLeft_ = static_cast<uint64_t>(count) * static_cast<uint64_t>(PdcCodeComponents(code));
    return true;
}

bool CPdcWriter::AcceptRun(size_t count, bool integers) {
    if (failed_ || !inRecord_ || count > numbersLeft_ || (integerRecord_ && !integers)) {
        return Fail();
    }
    return true;
}

template <class T, class Convert>
bool CPdcWriter::Append(const T* numbers, size_t count, size_t width, Convert convert) {
    if (!block_ && used_ + numbersLeft_ * width > sizeof small_ && !UseBlock()) {
        return false;
    }
    numbersLeft_ -= count;
    while (count > 0) {
        if (used_ == limit_ && !Emit()) {
            return false;
        }
        const size_t run = std::min(count, (limit_ - used_) / width);
        if (run == 0) {
            // A number that straddles the end of the block.
            unsigned char number[DoubleBytes];
            convert(number, numbers, 1);
            if (!Put(number, width)) {
                return false;
            }
            ++numbers;
            --count;
            continue;
        }
        convert(bytes_ + used_, numbers, run);
        used_ += run * width;
        numbers += run;
        count -= run;
    }
    return true;
}

bool CPdcWriter::AppendDoubles(const double* numbers, size_t count) {
    return AcceptRun(count, false) &&
           Append(numbers, count, DoubleBytes, PdcByteOrder::StoreDoubles);
}

bool CPdcWriter::AppendFloats(const float* numbers, size_t count) {
    return AcceptRun(count, false) &&
           Append(numbers, count, DoubleBytes, PdcByteOrder::StoreFloatsAsDoubles);
}

bool CPdcWriter::AppendInt32s(const int32_t* numbers, size_t count) {
    if (!AcceptRun(count, true)) {
        return false;
    }
    if (integerRecord_) {
        return Append(numbers, count, Int32Bytes, PdcByteOrder::StoreInt32s);
    }
    return Append(numbers, count, DoubleBytes, PdcByteOrder::StoreInt32sAsDoubles);
}

bool CPdcWriter::EndRecord() {
    if (failed_ || !inRecord_ || numbersLeft_ != 0) {
        return Fail();
    }
    inRecord_ = false;
    return true;
}

bool CPdcWriter::WriteNameOnlyRecord(std::string_view name) {
    if (failed_ || inRecord_ ||
        name.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
        return Fail();
    }
    return PutNameAndLength(name);
}

bool CPdcWriter::Flush() {
    if (failed_ || inRecord_) {
        return Fail();
    }
    if (!Emit()) {
        return false;
    }
    return file_ == nullptr || !std::ferror(file_) || Fail();
}

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

template <class T>
bool WriteWholeRecord(FILE* file, std::string_view name, int32_t code, const T* values,
                      size_t numbers) {
    CPdcWriter writer(file);
    const int64_t count = static_cast<int64_t>(numbers / PdcCodeComponents(code));
    if (!writer.BeginRecord(name, code, count)) {
        return false;
    }
    bool appended;
    if constexpr (std::is_same_v<T, double>) {
        appended = writer.AppendDoubles(values, numbers);
    } else {
        appended = writer.AppendInt32s(values, numbers);
    }
    return appended && writer.EndRecord() && writer.Flush();
}

}  // namespace

bool PdcWriteRecord(FILE* file, std::string_view name, int32_t code, const double* values,
                    size_t numbers) {
    if (!file || code < PdcCodeDouble || code > PdcCodeVectorArray ||
        !CountFitsCode(code, numbers)) {
        return false;
    }
    return WriteWholeRecord(file, name, code, values, numbers);
}

bool PdcWriteRecord(FILE* file, std::string_view name, int32_t code, const int32_t* values,
                    size_t numbers) {
    if (!file || !PdcCodeIsInteger(code) || !CountFitsCode(code, numbers)) {
        return false;
    }
    return WriteWholeRecord(file, name, code, values, numbers);
}
