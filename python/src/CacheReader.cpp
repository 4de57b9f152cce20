#include "python/src/CacheReader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "pdc/RecordWalker.h"
#include "pdc/SlotFilling.h"

namespace VelpoPython {

namespace {

// Opened without waiting: a named pipe would hold fopen until a writer
// came. The walker then refuses whatever is not a regular file.
class COpenFile {
public:
    explicit COpenFile(const std::string& path) {
        const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (descriptor == -1) {
            return;
        }
        file_ = fdopen(descriptor, "rb");
        if (!file_) {
            const int error = errno;
            close(descriptor);
            errno = error;
        }
    }
    ~COpenFile() {
        if (file_) {
            std::fclose(file_);
        }
    }
    COpenFile(const COpenFile&) = delete;
    COpenFile& operator=(const COpenFile&) = delete;
    FILE* Get() const { return file_; }

private:
    FILE* file_ = nullptr;
};

bool ReadRecordValues(CPdcRecordWalker& walker, CReadRecord& record) {
    const size_t numbers = static_cast<size_t>(record.count) * record.Components();
    if (record.IsInteger()) {
        record.integers.reset(static_cast<uint32_t*>(AllocateNumbers(numbers * sizeof(uint32_t))));
        return walker.ReadDecoded(record.integers.get());
    }
    record.doubles.reset(static_cast<uint64_t*>(AllocateNumbers(numbers * sizeof(uint64_t))));
    return walker.ReadDecoded(record.doubles.get());
}

// Linux 5.14 and later; an older kernel refuses it, and the pages fault one
// by one at their first write as they would without it.
#ifdef MADV_POPULATE_WRITE
constexpr int PopulateWrite = MADV_POPULATE_WRITE;
#else
constexpr int PopulateWrite = 23;
#endif

}  // namespace

void* AllocateNumbers(size_t bytes) {
    void* memory = std::malloc(bytes > 0 ? bytes : 1);
    if (!memory) {
        throw std::bad_alloc();
    }
    constexpr size_t Page = 4096;
    if (bytes >= 64 * Page) {
        // Whole pages inside the block only: the ends may share a page with
        // other memory.
        const auto first = (reinterpret_cast<uintptr_t>(memory) + Page - 1) / Page * Page;
        const auto end = (reinterpret_cast<uintptr_t>(memory) + bytes) / Page * Page;
        madvise(reinterpret_cast<void*>(first), end - first, PopulateWrite);
    }
    return memory;
}

bool ReadCache(const std::string& path, const std::vector<std::string>* wanted, CReadCache& cache,
               CReadFailure& failure) {
    errno = 0;
    COpenFile file(path);
    if (!file.Get()) {
        failure.error = errno;
        failure.reason = errno ? std::strerror(errno) : "cannot be opened";
        return false;
    }
    CPdcRecordWalker walker(file.Get());
    if (!walker.ReadHeader()) {
        failure.reason = walker.Problem();
        return false;
    }
    cache.header = walker.Header();
    CPdcSlotFilling wantedNames;
    for (const std::string& name : wanted ? *wanted : std::vector<std::string>()) {
        wantedNames.AddSlot(XSI::CString::FromUtf8(name), PdcTypeAny);
    }
    CPdcNameFilling names;
    CPdcRecord found;
    while (walker.Next(found)) {
        if (found.nameCut ||
            (wanted && wantedNames.FirstSlotNamed(CPdcSlotFilling::RecordName(found)) < 0)) {
            continue;  // the walker steps over its values
        }
        // Numbered by their place among the records read.
        names.Take(static_cast<int32_t>(cache.records.size()), found.name, false, found.code);
        CReadRecord& record = cache.records.emplace_back();
        record.name = found.name;
        record.code = found.code;
        record.count = found.count;
        if (!ReadRecordValues(walker, record)) {
            break;
        }
    }
    if (walker.Failed()) {
        failure.reason = walker.Problem();
        return false;
    }
    for (size_t i = 0; i < cache.records.size(); ++i) {
        cache.records[i].delivered = names.Delivers(static_cast<int32_t>(i));
    }
    for (const std::string& name : wanted ? *wanted : std::vector<std::string>()) {
        if (names.DeliveredIndex(name) < 0) {
            cache.missing.push_back(name);
        }
    }
    return true;
}

std::string NameKey(const std::string& name) {
    return XSI::CString::FromUtf8(name).ToUtf8();
}

}  // namespace VelpoPython
