// The one reading of a PDC file's layout: the header, then record after
// record, with every count and length checked against the bytes the file
// still holds before anything is read, sized or skipped.
//
// CPdc::ReadParticles fills its slots through the walker, and every tool
// that looks inside a file (info, dump, check, diff, convert, the Python
// module) walks it the same way, so all of them take the same files and
// refuse the same files, for the same reason.
//
//   CPdcRecordWalker walker(file);
//   if (!walker.ReadHeader()) { ... walker.Problem() ... }
//   CPdcRecord record;
//   while (walker.Next(record)) {
//       if (wanted) walker.ReadNumbers([&](const unsigned char* bytes,
//                                          int64_t first, size_t count) { ... });
//   }                                    // values not read are stepped over
//   if (walker.Failed()) { ... walker.Problem() ... }
//
// A walker reads at the stream's position and moves it; nothing else may
// move the stream while it walks. It takes no lock and never throws beyond
// what allocating the buffers of a read may throw (std::bad_alloc).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "pdc/Chunks.h"
#include "pdc/Pdc.h"

// The tag a PDC file begins with.
inline constexpr char PdcMagic[] = "PDC ";
inline constexpr int32_t PdcMagicBytes = 4;

// One record as the walker found it, before its values.
struct CPdcRecord {
    // The name as readers match it: the name bytes up to the first zero
    // byte. Names longer than MaxKeptNameBytes keep their first bytes only
    // and set nameCut; such a record matches no slot.
    std::string name;
    bool nameCut = false;
    int32_t code = 0;
    int32_t index = 0;         // in file order, from 0
    int64_t offset = 0;        // of its name length, from the start of the file
    int64_t valuesOffset = 0;  // of its first value
    int64_t count = 0;         // values: 1, or the header's particleCount for an array code

    static constexpr size_t MaxKeptNameBytes = 1 << 16;

    bool IsArray() const { return PdcCodeIsArray(code); }
    // Codes 0 and 1 hold int32 numbers, the others doubles.
    bool IsInteger() const { return PdcCodeIsInteger(code); }
    int32_t Components() const { return PdcCodeComponents(code); }
    int64_t NumberBytes() const { return IsInteger() ? 4 : 8; }
    int64_t Numbers() const { return count * Components(); }
    int64_t ValueBytes() const { return Numbers() * NumberBytes(); }
};

class CPdcRecordWalker {
public:
    explicit CPdcRecordWalker(FILE* file) : file_(file) {}
    CPdcRecordWalker(const CPdcRecordWalker&) = delete;
    CPdcRecordWalker& operator=(const CPdcRecordWalker&) = delete;

    // Reads the 28-byte header at the stream's position. False, with a
    // problem, on a null stream, a stream whose size cannot be found (a
    // pipe), a file whose first four bytes are not "PDC " ("not a PDC
    // file"; no producer is known to write another tag) or a file shorter
    // than a header; the fields read whole are set.
    //
    // The nodes do not test the tag (CPdc::ReadParticles walks a header
    // that PdcHeader::FRead read, through UseHeader), so a file with another
    // tag reaches a graph as its counts say; every tool refuses it here, and
    // `velpo import` before the nodes read it.
    bool ReadHeader();

    // Walks the records of a header read by the caller; the stream stands
    // right after it. False, with a problem, on a null stream or one whose
    // size cannot be found.
    bool UseHeader(const PdcHeader& header);

    const PdcHeader& Header() const { return header_; }

    // The next counted record: its name, code and where its values lie.
    // Values of the previous record that the caller did not read are
    // stepped over first. False at the end of the records (Failed() false),
    // after a last record that ends right after its name (see
    // NameOnlyRecord), or on a problem (Failed() true).
    bool Next(CPdcRecord& record);

    // The current record's values in runs of whole numbers (int32 or
    // double, by the code; a vector is three numbers): consume(bytes,
    // firstNumber, numbers) receives the big-endian bytes of `numbers`
    // numbers starting at number `firstNumber` of the record, at most
    // PdcChunks::MaxChunkBytes at a time. False, with a problem, when the
    // file ends early; the runs that arrived whole have been consumed.
    template <class Consume>
    bool ReadNumbers(Consume&& consume);

    // The current record's numbers, all of them, into `numbers`: memory for
    // Numbers() words of NumberBytes() bytes each, written in the machine's
    // byte order (int32 numbers for codes 0 and 1, the bits of doubles for
    // the others). False, with a problem, when the file ends early; the
    // words not read whole are then zero.
    bool ReadDecoded(void* numbers);

    // Lets `read` take the current record's values straight from the stream;
    // it must read exactly ValueBytes() bytes and say whether it did.
    template <class Read>
    bool ReadFromStream(Read&& read);

    // Steps over the current record's values.
    bool SkipValues();

    bool Failed() const { return failed_; }
    // Why the walk failed, naming the record and its byte offset where
    // there is one; empty when it has not failed.
    const std::string& Problem() const { return problem_; }

    // True when the last counted record held only its name: the readers
    // accept it and take the records before it, so it is not a failure.
    bool EndedWithNameOnlyRecord() const { return nameOnly_; }
    const CPdcRecord& NameOnlyRecord() const { return nameOnlyRecord_; }

    int64_t Position() const { return position_; }
    int64_t FileSize() const { return fileSize_; }
    // Bytes after the point the walk reached: after the last record once
    // Next has returned false without failing.
    int64_t BytesLeft() const { return fileSize_ - position_; }

private:
    bool Measure();
    bool ReadInt32(int32_t& value);
    bool Fail(std::string problem);
    bool FailInRecord(const CPdcRecord& record, const std::string& what);
    bool ValuesDone();
    // The parts of one record, each failing with the record's problem.
    bool ReadName(CPdcRecord& found);
    bool ReadCode(CPdcRecord& found);  // and the count and place of its values

    FILE* file_;
    PdcHeader header_;
    int64_t position_ = 0;
    int64_t fileSize_ = 0;
    int32_t nextIndex_ = 0;
    bool measured_ = false;
    bool failed_ = false;
    bool nameOnly_ = false;
    bool valuesPending_ = false;
    CPdcRecord current_;
    CPdcRecord nameOnlyRecord_;
    std::string problem_;
};

template <class Consume>
bool CPdcRecordWalker::ReadNumbers(Consume&& consume) {
    if (!valuesPending_) {
        return !failed_;
    }
    const auto width = static_cast<size_t>(current_.NumberBytes());
    if (!PdcChunks::ReadValues(file_, width, current_.Numbers(), consume)) {
        return FailInRecord(current_, "the file ends inside its values (truncated file)");
    }
    return ValuesDone();
}

template <class Read>
bool CPdcRecordWalker::ReadFromStream(Read&& read) {
    if (!valuesPending_) {
        return !failed_;
    }
    if (!read(file_)) {
        return FailInRecord(current_, "its values cannot be read whole (truncated file)");
    }
    return ValuesDone();
}
