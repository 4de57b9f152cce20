#include "pdc/RecordWalker.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "pdc/ByteOrder.h"
#include "pdc/FileOffset.h"

namespace {

constexpr int64_t HeaderBytes = 28;

std::string Quoted(const std::string& name) {
    return "\"" + name + "\"";
}

// Bytes of unknown meaning, quoted, printable ASCII as it stands and every
// other byte as \xHH.
std::string ShownBytes(const char* bytes, size_t count) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string shown = "\"";
    for (size_t i = 0; i < count; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= 0x20 && byte < 0x7f && byte != '"' && byte != '\\') {
            shown += static_cast<char>(byte);
        } else {
            shown += {'\\', 'x', Hex[byte >> 4], Hex[byte & 15]};
        }
    }
    return shown + "\"";
}

}  // namespace

bool CPdcRecordWalker::Measure() {
    if (!file_) {
        return Fail("no file to read");
    }
    int64_t here = 0;
    int64_t left = 0;
    if (!PdcFileOffset::Tell(file_, here) || !PdcFileOffset::BytesLeft(file_, left)) {
        return Fail("the size of the file cannot be found (not a regular file)");
    }
    position_ = here;
    fileSize_ = here + left;
    measured_ = true;
    return true;
}

bool CPdcRecordWalker::ReadHeader() {
    if (!Measure()) {
        return false;
    }
    const bool whole = header_.FRead(file_);
    if (!whole && std::ferror(file_)) {
        // A folder opens as a stream on some systems and fails only here.
        return Fail(std::string("cannot be read: ") + std::strerror(errno));
    }
    // The tag first: a PLY, a picture or a text given by mistake says what
    // it is not, rather than what its bytes would mean as counts.
    const auto tagBytes = static_cast<size_t>(PdcMagicBytes);
    if (BytesLeft() >= PdcMagicBytes && std::memcmp(header_.format, PdcMagic, tagBytes) != 0) {
        return Fail("not a PDC file: its first four bytes are " +
                    ShownBytes(header_.format, tagBytes) + ", not \"PDC \"");
    }
    if (!whole) {
        return Fail("truncated header: the file holds " + std::to_string(BytesLeft()) +
                    " bytes, a header takes 28");
    }
    position_ += HeaderBytes;
    return true;
}

bool CPdcRecordWalker::UseHeader(const PdcHeader& header) {
    header_ = header;
    return Measure();
}

bool CPdcRecordWalker::Fail(std::string problem) {
    if (!failed_) {
        failed_ = true;
        problem_ = std::move(problem);
    }
    valuesPending_ = false;
    return false;
}

bool CPdcRecordWalker::FailInRecord(const CPdcRecord& record, const std::string& what) {
    std::string where =
        "record " + std::to_string(record.index) + " at byte " + std::to_string(record.offset);
    if (!record.name.empty()) {
        where += " (" + Quoted(record.name) + ")";
    }
    return Fail(where + ": " + what);
}

bool CPdcRecordWalker::ReadInt32(int32_t& value) {
    unsigned char bytes[PdcByteOrder::Int32Bytes];
    if (BytesLeft() < 4 || std::fread(bytes, 1, sizeof bytes, file_) != sizeof bytes) {
        return false;
    }
    value = PdcByteOrder::LoadInt32(bytes);
    position_ += 4;
    return true;
}

bool CPdcRecordWalker::ValuesDone() {
    valuesPending_ = false;
    position_ = current_.valuesOffset + current_.ValueBytes();
    return true;
}

bool CPdcRecordWalker::SkipValues() {
    if (!valuesPending_) {
        return !failed_;
    }
    if (!PdcFileOffset::Skip(file_, current_.ValueBytes())) {
        return FailInRecord(current_, "its values cannot be stepped over");
    }
    return ValuesDone();
}

bool CPdcRecordWalker::ReadDecoded(void* numbers) {
    const auto count = static_cast<size_t>(current_.Numbers());
    return ReadFromStream([&](FILE* stream) {
        if (current_.IsInteger()) {
            return PdcChunks::ReadInPlace(stream, static_cast<uint32_t*>(numbers), count,
                                          PdcByteOrder::LoadUInt32sInPlace);
        }
        return PdcChunks::ReadInPlace(stream, static_cast<uint64_t*>(numbers), count,
                                      PdcByteOrder::LoadUInt64sInPlace);
    });
}

bool CPdcRecordWalker::ReadName(CPdcRecord& found) {
    int32_t nameLength = 0;
    if (!ReadInt32(nameLength)) {
        return FailInRecord(found, "the file ends inside its name length (truncated file)");
    }
    if (nameLength < 0) {
        return FailInRecord(found, "negative name length " + std::to_string(nameLength));
    }
    if (nameLength > BytesLeft()) {
        return FailInRecord(found, "name length " + std::to_string(nameLength) + " exceeds the " +
                                       std::to_string(BytesLeft()) +
                                       " bytes left (forged length or truncated file)");
    }
    // The name is kept up to a bound and the rest stepped over, so a forged
    // length costs no memory; the bytes are there, as checked above.
    const size_t kept =
        std::min<size_t>(static_cast<size_t>(nameLength), CPdcRecord::MaxKeptNameBytes);
    std::string bytes(kept, '\0');
    if (std::fread(bytes.data(), 1, kept, file_) != kept ||
        !PdcFileOffset::Skip(file_, nameLength - static_cast<int64_t>(kept))) {
        return FailInRecord(found, "the file ends inside its name (truncated file)");
    }
    position_ += nameLength;
    found.name = bytes.substr(0, bytes.find('\0'));
    found.nameCut = kept < static_cast<size_t>(nameLength) && bytes.find('\0') == std::string::npos;
    return true;
}

bool CPdcRecordWalker::ReadCode(CPdcRecord& found) {
    if (!ReadInt32(found.code)) {
        return FailInRecord(found, "the file ends inside its type code (truncated file)");
    }
    if (found.code < PdcCodeInteger || found.code > PdcCodeVectorArray) {
        return FailInRecord(found, "unknown type code " + std::to_string(found.code));
    }
    const int32_t particleCount = header_.particleCount;
    if (found.IsArray() && particleCount < 0) {
        return FailInRecord(
            found, "array record under a negative particle count " + std::to_string(particleCount));
    }
    found.count = found.IsArray() ? particleCount : 1;
    found.valuesOffset = position_;
    if (found.ValueBytes() > BytesLeft()) {
        return FailInRecord(found, std::to_string(found.count) + " values need " +
                                       std::to_string(found.ValueBytes()) + " bytes, only " +
                                       std::to_string(BytesLeft()) +
                                       " are left (truncated file or forged particle count)");
    }
    return true;
}

bool CPdcRecordWalker::Next(CPdcRecord& record) {
    if (!measured_ || failed_ || nameOnly_) {
        return false;
    }
    if (valuesPending_ && !SkipValues()) {
        return false;
    }
    if (nextIndex_ >= header_.attributeCount) {
        return false;
    }
    CPdcRecord& found = current_;
    found = CPdcRecord();
    found.index = nextIndex_;
    found.offset = position_;
    if (!ReadName(found)) {
        return false;
    }
    // Some tools end their files with one more counted record that holds
    // only a name; readers take every record before it. Anywhere else a
    // record cut after its name is a broken file.
    if (BytesLeft() == 0 && nextIndex_ == header_.attributeCount - 1) {
        nameOnly_ = true;
        nameOnlyRecord_ = found;
        return false;
    }
    if (!ReadCode(found)) {
        return false;
    }
    ++nextIndex_;
    valuesPending_ = true;
    record = found;
    return true;
}
