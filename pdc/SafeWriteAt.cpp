#include "pdc/SafeWriteAt.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "pdc/SafeWriteSteps.h"

namespace {

using PdcSafeWrite::CPositionalWrite;

// The file gathered in memory for a target that is not replaced through a
// temporary file beside it, handed to SafeWriteFile on Commit. calloc, so
// that the zero bytes cost nothing until written.
class CGatheredWrite final : public CPositionalWrite {
public:
    static std::unique_ptr<CPositionalWrite> Make(const std::string& target, uint64_t size) {
        if (size > std::numeric_limits<size_t>::max()) {
            return nullptr;
        }
        void* bytes = std::calloc(size > 0 ? static_cast<size_t>(size) : 1, 1);
        if (bytes == nullptr) {
            return nullptr;
        }
        return std::unique_ptr<CPositionalWrite>(
            new CGatheredWrite(target, static_cast<unsigned char*>(bytes)));
    }

    bool WriteAt(uint64_t offset, const void* bytes, size_t count) override {
        std::memcpy(bytes_.get() + offset, bytes, count);
        return true;
    }

    bool ReadAt(uint64_t offset, void* bytes, size_t count) override {
        std::memcpy(bytes, bytes_.get() + offset, count);
        return true;
    }

    bool Commit(uint64_t size, CDurability durability, std::string& reason) override {
        const unsigned char* bytes = bytes_.get();
        const auto count = static_cast<size_t>(size);
        return SafeWriteFile(
            target_,
            [bytes, count](std::FILE* file) {
                return count == 0 || std::fwrite(bytes, 1, count, file) == count;
            },
            reason, durability);
    }

private:
    struct CFree {
        void operator()(unsigned char* bytes) const { std::free(bytes); }
    };

    CGatheredWrite(std::string target, unsigned char* bytes)
        : target_(std::move(target)), bytes_(bytes) {}

    std::string target_;
    std::unique_ptr<unsigned char, CFree> bytes_;
};

}  // namespace

CSafeWriteAt::CSafeWriteAt() = default;
CSafeWriteAt::~CSafeWriteAt() = default;

bool CSafeWriteAt::Begin(const std::string& target, uint64_t size, std::string& reason) {
    file_.reset();
    error_ = 0;
    size_ = size;
    try {
        file_ = PdcSafeWrite::BeginReplacement(target, size);
        if (!file_) {
            // The write SafeWriteFile will make on Commit, checked now, so that
            // a target that cannot be written costs no memory.
            if (!ProbeSafeWrite(target, size, reason)) {
                return false;
            }
            file_ = CGatheredWrite::Make(target, size);
        }
    } catch (...) {
        file_.reset();
    }
    return file_ != nullptr || PdcSafeWrite::Fail(reason, ENOMEM);
}

bool CSafeWriteAt::Failed(int error) noexcept {
    int none = 0;
    error_.compare_exchange_strong(none, error != 0 ? error : EIO);
    return false;
}

bool CSafeWriteAt::WriteAt(uint64_t offset, const void* bytes, size_t count) noexcept {
    if (!file_ || offset > size_ || count > size_ - offset) {
        return Failed(EINVAL);
    }
    return count == 0 || file_->WriteAt(offset, bytes, count) || Failed(errno);
}

bool CSafeWriteAt::ReadAt(uint64_t offset, void* bytes, size_t count) noexcept {
    if (!file_ || offset > size_ || count > size_ - offset) {
        return Failed(EINVAL);
    }
    return count == 0 || file_->ReadAt(offset, bytes, count) || Failed(errno);
}

bool CSafeWriteAt::Commit(uint64_t size, CDurability durability, std::string& reason) {
    if (!file_ || size > size_) {
        Failed(EINVAL);
    }
    const int error = error_.load();
    if (error != 0) {
        file_.reset();
        return PdcSafeWrite::Fail(reason, error);
    }
    bool committed = false;
    try {
        committed = file_->Commit(size, durability, reason);
    } catch (...) {
        PdcSafeWrite::Fail(reason, ENOMEM);
    }
    file_.reset();
    return committed;
}

bool CSafeWriteAt::Abandon(std::string& reason) {
    file_.reset();
    return PdcSafeWrite::Fail(reason, error_.load());
}
