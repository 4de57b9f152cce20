#include "python/src/CacheReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "pdc/ByteOrder.h"
#include "pdc/Chunks.h"
#include "pdc/RecordWalker.h"

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

// Reads `count` words into `words` in runs of the file layer's chunk size,
// each run turned to machine order while it is still in the cache.
template <class Word, class Convert>
bool ReadWords(FILE* file, Word* words, size_t count, Convert convert) {
    const size_t perRun = PdcChunks::MaxChunkBytes / sizeof(Word);
    for (size_t first = 0; first < count;) {
        const size_t run = std::min(perRun, count - first);
        if (std::fread(words + first, sizeof(Word), run, file) != run) {
            return false;
        }
        convert(words + first, run);
        first += run;
    }
    return true;
}

bool ReadRecordValues(CPdcRecordWalker& walker, CReadRecord& record) {
    const size_t numbers = static_cast<size_t>(record.count) * record.Components();
    if (record.code <= PdcCodeIntegerArray) {
        record.integers.reset(new uint32_t[numbers]);
        return walker.ReadFromStream([&](FILE* stream) {
            return ReadWords(stream, record.integers.get(), numbers,
                             PdcByteOrder::LoadUInt32sInPlace);
        });
    }
    record.doubles.reset(new uint64_t[numbers]);
    return walker.ReadFromStream([&](FILE* stream) {
        return ReadWords(stream, record.doubles.get(), numbers, PdcByteOrder::LoadUInt64sInPlace);
    });
}

}  // namespace

bool ReadCache(const std::string& path, const std::set<std::string>* wanted, CReadCache& cache,
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
    std::set<std::string> seen;
    CPdcRecord found;
    while (walker.Next(found)) {
        if (found.nameCut || (wanted && !wanted->count(found.name)) ||
            !seen.insert(found.name).second) {
            continue;  // the walker steps over its values
        }
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
    return true;
}

}  // namespace VelpoPython
