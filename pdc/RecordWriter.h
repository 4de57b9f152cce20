// The one writer of the PDC format: the counterpart of the record walker.
// Every writer of the project (the slots of a CPdc, the Python module,
// `velpo convert`) puts its header and records out through CPdcWriter, so
// all of them write the same bytes for the same values.
//
//   CPdcWriter writer(file);
//   writer.WriteHeader(PdcHeader::ForWriting(particleCount, 2));
//   writer.BeginRecord("position", PdcCodeVectorArray, particleCount);
//   writer.AppendDoubles(xyz, 3 * particleCount);    // in as many runs as suit
//   writer.EndRecord();
//   writer.BeginRecord("mass", PdcCodeDouble, 1);
//   writer.AppendFloats(&mass, 1);
//   writer.EndRecord();
//   if (!writer.Flush()) { ... }
//
// A record is begun with its name, type code and count of values (1 for a
// single-value code; for an array code, the header's particle count: the
// writer does not compare them). Its values are then appended in runs of
// numbers, a vector being three numbers x, y, z, and EndRecord checks that
// exactly the declared numbers arrived. Numbers are in the machine's form
// and go out big-endian: codes 0 and 1 hold int32 numbers and take only
// AppendInt32s; codes 2 to 5 hold doubles and take doubles as they are,
// floats and int32 numbers widened exactly.
//
// The writer gathers bytes into blocks (large ones, at multiples of their
// size from where the writer started, once a record's values need them) and
// hands each whole block to its sink; Flush hands over the rest. A writer
// destroyed without Flush drops what it holds. Errors: every call returns
// false once anything failed (a refused call, a sink or stream that took
// fewer bytes); nothing is logged or thrown, except std::bad_alloc when no
// block can be allocated. One thread uses a writer at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string_view>

#include "pdc/Pdc.h"

class CPdcWriter {
public:
    // Takes `count` bytes whole and says so, or returns false.
    using CSink = std::function<bool(const unsigned char* bytes, size_t count)>;

    // The size of the blocks values go out in, a multiple of every page
    // size.
    static constexpr size_t BlockBytes = 256 * 1024;

    // Writes to an open stream at its position; a null stream fails every
    // call. Flush does not flush the stream itself, and reports an error
    // the stream has recorded (ferror).
    explicit CPdcWriter(FILE* file);
    explicit CPdcWriter(CSink sink);
    CPdcWriter(const CPdcWriter&) = delete;
    CPdcWriter& operator=(const CPdcWriter&) = delete;
    ~CPdcWriter() = default;

    // The 28 header bytes, every field as it stands (the format's 4 bytes
    // included). False inside a record.
    bool WriteHeader(const PdcHeader& header);

    // Starts a record. False, with nothing written, inside another record,
    // on a code outside 0 to 5, a negative count, a count other than 1 for
    // a single-value code, or a name longer than 2^31 - 1 bytes.
    bool BeginRecord(std::string_view name, int32_t code, int64_t count);

    // A record's name and type code alone, outside any record, for a writer
    // that puts the values at their place itself (CPdcSliceWriter). False,
    // with nothing written, inside a record, on a code outside 0 to 5 or a
    // name longer than 2^31 - 1 bytes.
    bool WriteRecordStart(std::string_view name, int32_t code);

    // Values of the current record. False, with nothing of the run written,
    // outside a record, for a run that would pass the declared count, or
    // for doubles or floats under an integer code.
    bool AppendDoubles(const double* numbers, size_t count);
    bool AppendFloats(const float* numbers, size_t count);
    bool AppendInt32s(const int32_t* numbers, size_t count);

    // False when fewer numbers arrived than the record declared.
    bool EndRecord();

    // A last record cut right after its name, as some tools end their
    // files: the name length and the name, nothing more. Readers take the
    // records before it.
    bool WriteNameOnlyRecord(std::string_view name);

    // Hands every gathered byte to the sink. True when everything written
    // so far went out whole and no record is left open.
    bool Flush();

    bool Failed() const { return failed_; }

private:
    struct CBlockDelete {
        void operator()(unsigned char* block) const;
    };

    bool Fail();
    bool Put(const void* bytes, size_t count);
    bool PutNameAndLength(std::string_view name);
    size_t Limit() const;
    bool Emit();
    bool UseBlock();
    template <class T, class Convert>
    bool Append(const T* numbers, size_t count, size_t width, Convert convert);
    bool AcceptRun(size_t count, bool integers);

    FILE* file_ = nullptr;
    CSink sink_;
    std::unique_ptr<unsigned char, CBlockDelete> block_;  // null until values need it
    unsigned char* bytes_;                                // block_ or small_
    size_t limit_;  // bytes_ is handed over when it holds this many
    size_t used_ = 0;
    uint64_t emitted_ = 0;  // bytes handed to the sink
    bool failed_ = false;
    bool inRecord_ = false;
    bool integerRecord_ = false;
    uint64_t numbersLeft_ = 0;
    unsigned char small_[1024];
};

// One whole record written from numbers in memory (the Python module
// writes NumPy arrays this way):
//
//   PdcHeader::ForWriting(particleCount, 2).FWrite(file);
//   PdcWriteRecord(file, "position", PdcCodeVectorArray, xyz, 3 * particleCount);
//   PdcWriteRecord(file, "mass", PdcCodeDouble, &mass, 1);
//
// Doubles for codes 2 to 5, int32 numbers for codes 0 and 1. `numbers` is
// the count of numbers: 1 for code 0 or 2, 3 for code 4, any count for code
// 1 or 3 and a multiple of 3 for code 5 (the caller sizes an array record to
// the header's particle count). False, with nothing written, on a null
// stream, a code that does not match the overload or the count, or a name
// longer than 2^31 - 1 bytes; false when the stream reports an error; the
// stream stands wherever the failure left it.
bool PdcWriteRecord(FILE* file, std::string_view name, int32_t code, const double* values,
                    size_t numbers);
bool PdcWriteRecord(FILE* file, std::string_view name, int32_t code, const int32_t* values,
                    size_t numbers);
