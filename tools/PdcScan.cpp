#include "tools/PdcScan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <system_error>

#include "pdc/ByteOrder.h"

namespace VelpoTools {

namespace {

constexpr uint64_t HeaderBytes = 28;
constexpr size_t ChunkBytes = 1 << 20;
// Longer names are shown cut; their bytes are still stepped over.
constexpr uint64_t ShownNameBytes = 4096;

// Bytes a record's values take, by type code.
uint64_t ValueWidth(int32_t code) {
    static constexpr uint64_t widths[] = {4, 4, 8, 8, 24, 24};
    return widths[code];
}

std::string Quoted(const std::string& name) {
    return "\"" + name + "\"";
}

// The file in 1 MiB pieces; `Need` keeps the unread rest of the buffer and
// tops it up, so a value never straddles two pieces.
class CChunkReader {
public:
    explicit CChunkReader(std::FILE* file) : file_(file), buffer_(new unsigned char[ChunkBytes]) {}

    uint64_t Position() const { return position_; }
    size_t Available() const { return end_ - begin_; }
    const unsigned char* Data() const { return buffer_.get() + begin_; }

    // At least min(bytes, ChunkBytes) bytes available; false at end of file.
    bool Need(size_t bytes) {
        bytes = std::min(bytes, ChunkBytes);
        if (Available() >= bytes) {
            return true;
        }
        std::memmove(buffer_.get(), Data(), Available());
        end_ = Available();
        begin_ = 0;
        end_ += std::fread(buffer_.get() + end_, 1, ChunkBytes - end_, file_);
        return Available() >= bytes;
    }

    void Consume(size_t bytes) {
        begin_ += bytes;
        position_ += bytes;
    }

    bool ReadInt32(int32_t& value) {
        if (!Need(4)) {
            return false;
        }
        value = PdcByteOrder::LoadInt32(Data());
        Consume(4);
        return true;
    }

    // Appends up to `keep` of the next `bytes` bytes to `out` and steps over
    // the rest.
    bool Read(uint64_t bytes, uint64_t keep, std::string& out) {
        while (bytes > 0) {
            if (!Need(1)) {
                return false;
            }
            const size_t run = static_cast<size_t>(std::min<uint64_t>(bytes, Available()));
            if (keep > 0) {
                const size_t kept = static_cast<size_t>(std::min<uint64_t>(run, keep));
                out.append(reinterpret_cast<const char*>(Data()), kept);
                keep -= kept;
            }
            Consume(run);
            bytes -= run;
        }
        return true;
    }

private:
    std::FILE* file_;
    std::unique_ptr<unsigned char[]> buffer_;
    size_t begin_ = 0;
    size_t end_ = 0;
    uint64_t position_ = 0;
};

struct CFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

class CScanner {
public:
    CScanner(std::FILE* file, CPdcScan& scan, CPdcValueVisitor* visitor)
        : reader_(file), scan_(scan), visitor_(visitor), decoded_(ChunkBytes / 4) {}

    void Run() {
        if (!ReadHeader()) {
            return;
        }
        const CPdcScanHeader& header = *scan_.header;
        if (header.attributeCount < 0) {
            Suspicious("negative attribute count " + std::to_string(header.attributeCount) +
                       ": readers take no records");
        }
        // Every record takes at least 8 bytes (name length and type code),
        // which bounds a forged count before a single record is read.
        const uint64_t records = static_cast<uint64_t>(std::max(0, header.attributeCount));
        if (records * 8 > Left()) {
            Fatal("header announces " + std::to_string(records) + " records, but the " +
                  std::to_string(Left()) + " bytes after the header hold at most " +
                  std::to_string(Left() / 8));
            return;
        }
        for (uint64_t index = 0; index < records; ++index) {
            if (!ReadRecord(index)) {
                return;
            }
        }
        CheckTrailingBytes();
    }

private:
    uint64_t Left() const {
        const uint64_t at = reader_.Position();
        return at < scan_.fileSize ? scan_.fileSize - at : 0;
    }

    void Fatal(std::string text) { scan_.problems.push_back({true, std::move(text)}); }
    void Suspicious(std::string text) { scan_.problems.push_back({false, std::move(text)}); }

    bool ReadHeader() {
        if (scan_.fileSize < HeaderBytes || !reader_.Need(HeaderBytes)) {
            Fatal("truncated header: the file holds " + std::to_string(scan_.fileSize) +
                  " bytes, a header takes 28");
            return false;
        }
        CPdcScanHeader header;
        header.format.assign(reinterpret_cast<const char*>(reader_.Data()), 4);
        int32_t* const fields[] = {&header.version,       &header.byteOrder,
                                   &header.reserved1,     &header.reserved2,
                                   &header.particleCount, &header.attributeCount};
        for (size_t i = 0; i < 6; ++i) {
            *fields[i] = PdcByteOrder::LoadInt32(reader_.Data() + 4 + 4 * i);
        }
        reader_.Consume(HeaderBytes);
        scan_.header = header;
        return true;
    }

    bool ReadRecord(uint64_t index) {
        CPdcScanRecord record;
        record.offset = reader_.Position();
        const std::string where =
            "record " + std::to_string(index) + " at byte " + std::to_string(record.offset);
        int32_t nameLength = 0;
        if (!reader_.ReadInt32(nameLength)) {
            Fatal(where + ": the file ends inside its name length (truncated file)");
            return false;
        }
        if (nameLength < 0) {
            Fatal(where + ": negative name length " + std::to_string(nameLength));
            return false;
        }
        if (static_cast<uint64_t>(nameLength) + 4 > Left()) {
            Fatal(where + ": name length " + std::to_string(nameLength) + " exceeds the " +
                  std::to_string(Left()) +
                  " bytes left for name and type code (forged length or truncated file)");
            return false;
        }
        std::string name;
        if (!reader_.Read(static_cast<uint64_t>(nameLength), ShownNameBytes, name)) {
            Fatal(where + ": the file ends inside its name (truncated file)");
            return false;
        }
        record.name = name.substr(0, name.find('\0'));
        const std::string named = where + " (" + Quoted(record.name) + ")";
        if (!reader_.ReadInt32(record.code)) {
            Fatal(named + ": the file ends inside its type code (truncated file)");
            return false;
        }
        if (record.code < 0 || record.code > 5) {
            Fatal(named + ": unknown type code " + std::to_string(record.code));
            return false;
        }
        const int32_t particleCount = scan_.header->particleCount;
        if (record.IsArray() && particleCount < 0) {
            Fatal(named + ": array record under a negative particle count " +
                  std::to_string(particleCount));
            return false;
        }
        record.count = record.IsArray() ? static_cast<uint64_t>(particleCount) : 1;
        record.valuesOffset = reader_.Position();
        const uint64_t bytes = record.count * ValueWidth(record.code);
        if (bytes > Left()) {
            Fatal(named + ": " + std::to_string(record.count) + " values need " +
                  std::to_string(bytes) + " bytes, only " + std::to_string(Left()) +
                  " are left (truncated file or forged particle count)");
            return false;
        }
        if (!ReadValues(record)) {
            Fatal(named + ": the file ends inside its values (truncated file)");
            return false;
        }
        uint64_t nan = 0;
        uint64_t infinite = 0;
        for (const CComponentStats& stats : record.stats) {
            nan += stats.nan;
            infinite += stats.infinite;
        }
        if (nan > 0 || infinite > 0) {
            Suspicious("record " + std::to_string(index) + " (" + Quoted(record.name) +
                       "): " + std::to_string(nan) + " NaN and " + std::to_string(infinite) +
                       " infinite values");
        }
        scan_.records.push_back(std::move(record));
        return true;
    }

    bool ReadValues(CPdcScanRecord& record) {
        const bool integers = record.IsInteger();
        const size_t width = integers ? 4 : 8;
        const int32_t components = record.Components();
        const bool visit = visitor_ && visitor_->Wants(record);
        uint64_t left = record.count * static_cast<uint64_t>(components);
        uint64_t first = 0;
        while (left > 0) {
            if (!reader_.Need(static_cast<size_t>(std::min<uint64_t>(left * width, ChunkBytes)))) {
                return false;
            }
            const size_t run = static_cast<size_t>(
                std::min<uint64_t>({left, reader_.Available() / width, decoded_.size()}));
            const unsigned char* bytes = reader_.Data();
            double* out = decoded_.data();
            if (integers) {
                for (size_t i = 0; i < run; ++i) {
                    out[i] = PdcByteOrder::LoadInt32(bytes + 4 * i);
                }
            } else {
                PdcByteOrder::LoadDoubles(out, bytes, run);
            }
            if (components == 1) {
                CComponentStats& stats = record.stats[0];
                for (size_t i = 0; i < run; ++i) {
                    stats.Add(out[i]);
                }
            } else {
                // Runs may start at any component.
                size_t component = static_cast<size_t>(first % 3);
                for (size_t i = 0; i < run; ++i) {
                    record.stats[component].Add(out[i]);
                    component = component == 2 ? 0 : component + 1;
                }
            }
            if (visit) {
                visitor_->Values(record, first, out, run);
            }
            reader_.Consume(run * width);
            first += run;
            left -= run;
        }
        return true;
    }

    // Bytes after the last counted record: readers never look at them, but
    // a writer that left them there may have meant something else.
    void CheckTrailingBytes() {
        const uint64_t at = reader_.Position();
        const uint64_t left = Left();
        if (left == 0) {
            return;
        }
        if (left >= 4 && reader_.Need(4)) {
            const int32_t nameLength = PdcByteOrder::LoadInt32(reader_.Data());
            if (nameLength >= 0 && static_cast<uint64_t>(nameLength) + 4 == left) {
                std::string name;
                reader_.Consume(4);
                reader_.Read(static_cast<uint64_t>(nameLength), ShownNameBytes, name);
                Suspicious("trailing name-only record " + Quoted(name.substr(0, name.find('\0'))) +
                           " at byte " + std::to_string(at) +
                           ", not counted in the header; readers ignore it");
                return;
            }
        }
        Suspicious(std::to_string(left) + " trailing bytes after the last record, at byte " +
                   std::to_string(at) + "; readers ignore them");
    }

    CChunkReader reader_;
    CPdcScan& scan_;
    CPdcValueVisitor* visitor_;
    std::vector<double> decoded_;
};

}  // namespace

void CComponentStats::Add(double value) {
    if (std::isnan(value)) {
        ++nan;
        return;
    }
    if (std::isinf(value)) {
        ++infinite;
        return;
    }
    if (finite == 0) {
        min = max = value;
    } else {
        min = std::min(min, value);
        max = std::max(max, value);
    }
    sum += value;
    ++finite;
}

bool CPdcScan::Readable() const {
    return std::none_of(problems.begin(), problems.end(),
                        [](const CPdcProblem& problem) { return problem.fatal; });
}

bool ScanPdc(const std::filesystem::path& file, CPdcScan& scan, std::string& error,
             CPdcValueVisitor* visitor) {
    scan = CPdcScan();
    std::error_code code;
    if (std::filesystem::is_directory(file, code)) {
        error = file.string() + ": is a folder, not a file";
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(file, code);
    if (code) {
        error = file.string() + ": " + code.message();
        return false;
    }
    std::unique_ptr<std::FILE, CFileCloser> stream(std::fopen(file.string().c_str(), "rb"));
    if (!stream) {
        error = file.string() + ": cannot be opened for reading";
        return false;
    }
    scan.fileSize = size;
    CScanner(stream.get(), scan, visitor).Run();
    return true;
}

}  // namespace VelpoTools
