// The safe write on POSIX systems: the target opened by the system, its
// final name found by a walk through folder descriptors (FinalName.h), and
// every later step taken relative to the folder's descriptor, so that no
// name is looked up twice in a way another user could change in between.
#if !defined(_WIN32)

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <utility>

#include "pdc/FinalName.h"
#include "pdc/PositionalIo.h"
#include "pdc/SafeWriteSteps.h"
#include "pdc/TempFile.h"

namespace PdcSafeWrite {

namespace {

using PdcFinalName::CDescriptor;
using PdcFinalName::CFinalName;
using PdcFinalName::CWalk;

constexpr int TempAttempts = 64;

constexpr const char* RefusedLink =
    "is a symbolic link of another user in a shared folder (sticky, writable by all); it is "
    "not followed";
constexpr const char* RefusedFile =
    "is a file of another user in a shared folder (sticky, writable by all); it is not written";
constexpr const char* DanglingLink = "is a symbolic link to a file that does not exist";
constexpr const char* Changed = "was replaced by another file while it was being written";

bool Refuse(std::string& reason, const char* text) {
    SetReason(reason, text);
    return false;
}

// The target as the system opened it, and where its name finally leads.
struct CTarget {
    CDescriptor file;       // open for writing; not open when no file exists yet
    struct stat status {};  // of `file`
    CFinalName final;
    bool found = false;         // `final` holds the final name
    bool awaitsReader = false;  // a named pipe that no one reads yet, not opened
};

// Close-on-exec: a host that starts programs must not hand them the file.
constexpr int OpenFlags = O_WRONLY | O_CLOEXEC | O_NOCTTY;

bool Blocking(const CDescriptor& file) {
    const int flags = fcntl(file.Get(), F_GETFL);
    return flags != -1 && fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK) != -1;
}

// Opens the target for writing as the system lets this process, without
// creating or emptying it: the system's rules for links and folders apply.
// True with `file` not open when there is no file under the name, or a
// named pipe that no one reads yet: not waited for before the rules below
// have looked at it, as another user may have put it there.
bool OpenTarget(const std::string& target, CTarget& at, std::string& reason) {
    at.file = CDescriptor(open(target.c_str(), OpenFlags | O_NONBLOCK));
    if (!at.file.IsOpen()) {
        at.awaitsReader = errno == ENXIO;
        if (errno == ENOENT || at.awaitsReader) {
            return true;
        }
        return errno == EISDIR ? Refuse(reason, "is a folder") : Fail(reason, errno);
    }
    return (Blocking(at.file) && fstat(at.file.Get(), &at.status) == 0) || Fail(reason, errno);
}

// Finds the folder and name the target stands for, refusing links that the
// rules do not follow.
bool FindTarget(const std::string& target, CTarget& at, std::string& reason) {
    int error = 0;
    switch (PdcFinalName::FindFinalName(target, at.final, error)) {
        case CWalk::Found:
            at.found = true;
            return true;
        case CWalk::RefusedLink:
            return Refuse(reason, RefusedLink);
        case CWalk::Failed:
            break;
    }
    // A device or pipe may stand behind what no walk finds (/dev/stdout of a
    // pipe): the descriptor the system opened is written.
    return (at.file.IsOpen() && !S_ISREG(at.status.st_mode)) || Fail(reason, error);
}

bool MayWriteFileIn(int folder, const struct stat& file, std::string& reason) {
    struct stat status {};
    if (fstat(folder, &status) != 0) {
        return Fail(reason, errno);
    }
    return PdcFinalName::MayWriteInFolder(status, file) || Refuse(reason, RefusedFile);
}

// The named pipe the walk found, once the rules allow it, opened for
// writing: that waits for a reader, as a plain write to a pipe does.
bool OpenPipe(CTarget& at, std::string& reason) {
    const int folder = at.final.folder.Get();
    struct stat pipe {};
    if (fstatat(folder, at.final.name.c_str(), &pipe, AT_SYMLINK_NOFOLLOW) != 0) {
        return Fail(reason, errno);
    }
    if (!S_ISFIFO(pipe.st_mode)) {
        return Refuse(reason, Changed);
    }
    if (!MayWriteFileIn(folder, pipe, reason)) {
        return false;
    }
    at.file = CDescriptor(openat(folder, at.final.name.c_str(), OpenFlags | O_NOFOLLOW));
    if (!at.file.IsOpen() || fstat(at.file.Get(), &at.status) != 0) {
        return Fail(reason, errno);
    }
    return PdcFinalName::IsFileIn(folder, at.final.name, at.status) || Refuse(reason, Changed);
}

// Empties the file the system opened (a regular one) and writes it through
// its descriptor, as a plain write would. A failure part way leaves a torn
// file; used only where a replacement would lose what the user meant.
bool WriteInPlace(CDescriptor& file, bool regular, const CFileWriter& write, CDurability durability,
                  std::string& reason) {
    if (regular && ftruncate(file.Get(), 0) != 0) {
        return Fail(reason, errno);
    }
    std::FILE* stream = fdopen(file.Get(), "wb");
    if (stream == nullptr) {
        return Fail(reason, errno);
    }
    file.Release();
    return WriteAndClose(stream, write, durability, reason);
}

// Readable too: a write at offsets may read back what it wrote.
CDescriptor CreateTemp(int folder, mode_t bits, std::string& tempName) {
    for (int attempt = 0; attempt < TempAttempts; ++attempt) {
        const std::string name = NextTempFileName();
        if (name.empty()) {
            errno = ENOMEM;
            return CDescriptor();
        }
        CDescriptor temp(
            openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, bits));
        if (temp.IsOpen()) {
            tempName = name;
            return temp;
        }
        if (errno != EEXIST) {
            return CDescriptor();
        }
    }
    return CDescriptor();
}

// Gives the replacement the owner, group and permission bits of the file it
// replaces, before any data is in it. Only the bits must take: a process
// that may not give a file away still writes the cache, as its own.
bool KeepOwnerAndBits(int descriptor, const struct stat& earlier) {
    struct stat own {};
    if (fstat(descriptor, &own) != 0) {
        return false;
    }
    if ((own.st_uid != earlier.st_uid || own.st_gid != earlier.st_gid) &&
        fchown(descriptor, earlier.st_uid, earlier.st_gid) != 0) {
        // Only root may change the owner; others may set a group they are in.
        const int groupKept = fchown(descriptor, static_cast<uid_t>(-1), earlier.st_gid);
        static_cast<void>(groupKept);
    }
    // After the owner: a change of owner clears the set-user-ID bit.
    return fchmod(descriptor, earlier.st_mode & 07777) == 0;
}

// The folder's entries flushed to the disk, so that a rename in it lasts.
bool FlushFolder(int folder, std::string& reason) {
    const CDescriptor readable(openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!readable.IsOpen()) {
        // A folder this process may search but not read: everything goes.
        sync();
        return true;
    }
    return fsync(readable.Get()) == 0 || errno == EINVAL || Fail(reason, errno);
}

// The complete temporary file copied into the file the system opened, for
// a replacement the system refused.
bool CopyInPlace(CTarget& at, const std::string& tempName, CDurability durability,
                 std::string& reason) {
    CDescriptor source(openat(at.final.folder.Get(), tempName.c_str(), O_RDONLY | O_CLOEXEC));
    std::FILE* stream = source.IsOpen() ? fdopen(source.Get(), "rb") : nullptr;
    if (stream == nullptr) {
        return Fail(reason, errno);
    }
    source.Release();
    const bool copied = WriteInPlace(at.file, true, CopyOf(stream), durability, reason);
    std::fclose(stream);
    return copied;
}

// Renames the complete temporary file over the final name, relative to
// the folder's descriptor. `exists`: a file is there to be replaced, the one
// `at.file` holds. `renamed` tells whether the temporary name is gone.
bool RenameOver(CTarget& at, bool exists, const std::string& tempName, CDurability durability,
                bool& renamed, std::string& reason) {
    const int folder = at.final.folder.Get();
    if (exists && !PdcFinalName::IsFileIn(folder, at.final.name, at.status)) {
        return Refuse(reason, Changed);
    }
    renamed = renameat(folder, tempName.c_str(), folder, at.final.name.c_str()) == 0;
    if (renamed) {
        return durability != CDurability::Disk || FlushFolder(folder, reason);
    }
    const int cause = errno;
    // In a folder with the sticky bit only a file's owner may replace it,
    // though others may be allowed to write it.
    if (exists && (cause == EACCES || cause == EPERM)) {
        return CopyInPlace(at, tempName, durability, reason);
    }
    return Fail(reason, cause);
}

// Fills the temporary file and renames it over the final name.
bool FillAndRename(CTarget& at, bool exists, CDescriptor& temp, const std::string& tempName,
                   const CFileWriter& write, CDurability durability, bool& renamed,
                   std::string& reason) {
    if (exists && !KeepOwnerAndBits(temp.Get(), at.status)) {
        return Fail(reason, errno);
    }
    std::FILE* stream = fdopen(temp.Get(), "wb");
    if (stream == nullptr) {
        return Fail(reason, errno);
    }
    temp.Release();
    return WriteAndClose(stream, write, durability, reason) &&
           RenameOver(at, exists, tempName, durability, renamed, reason);
}

bool Replace(CTarget& at, bool exists, const CFileWriter& write, CDurability durability,
             std::string& reason) {
    std::string tempName;
    // Private until it has the bits of the file it replaces.
    CDescriptor temp = CreateTemp(at.final.folder.Get(), exists ? 0600 : 0666, tempName);
    if (!temp.IsOpen()) {
        const int cause = errno;
        // A folder that takes no new files may still hold a writable cache,
        // which a plain write would have written.
        if (exists && (cause == EACCES || cause == EPERM)) {
            return WriteInPlace(at.file, true, write, durability, reason);
        }
        return Fail(reason, cause);
    }
    bool renamed = false;
    const bool written =
        FillAndRename(at, exists, temp, tempName, write, durability, renamed, reason);
    if (!renamed) {
        unlinkat(at.final.folder.Get(), tempName.c_str(), 0);
    }
    return written;
}

bool WriteExisting(CTarget& at, const CFileWriter& write, CDurability durability,
                   std::string& reason) {
    const bool regular = S_ISREG(at.status.st_mode);
    const bool named =
        at.found && PdcFinalName::IsFileIn(at.final.folder.Get(), at.final.name, at.status);
    if (named && !MayWriteFileIn(at.final.folder.Get(), at.status, reason)) {
        return false;
    }
    if (!regular) {
        return WriteInPlace(at.file, false, write, durability, reason);
    }
    if (!named) {
        return Refuse(reason, Changed);
    }
    if (at.status.st_nlink > 1) {
        return WriteInPlace(at.file, true, write, durability, reason);
    }
    return Replace(at, true, write, durability, reason);
}

bool FlushDescriptor(int descriptor, std::string& reason) {
    return fsync(descriptor) == 0 || errno == EINVAL || errno == EROFS || Fail(reason, errno);
}

bool HasRoomFor(int descriptor, uint64_t bytes, std::string& reason) {
    struct statvfs space {};
    if (fstatvfs(descriptor, &space) == 0) {
        // Root may take the blocks kept back for it.
        const uint64_t blocks = geteuid() == 0 ? space.f_bfree : space.f_bavail;
        if (bytes > blocks * static_cast<uint64_t>(space.f_frsize)) {
            return Fail(reason, ENOSPC);
        }
    }
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        bytes > static_cast<uint64_t>(limit.rlim_cur)) {
        return Fail(reason, EFBIG);
    }
    return true;
}

// The checks a write of an existing file makes, without opening it.
bool ProbeExisting(const CFinalName& final, const struct stat& status, std::string& reason) {
    if (S_ISDIR(status.st_mode)) {
        return Refuse(reason, "is a folder");
    }
    if (!MayWriteFileIn(final.folder.Get(), status, reason)) {
        return false;
    }
    if (S_ISREG(status.st_mode) &&
        faccessat(final.folder.Get(), final.name.c_str(), W_OK, AT_EACCESS) != 0) {
        return Fail(reason, errno);
    }
    return true;
}

// The temporary file of a replacement, filled where its bytes lie and
// renamed over the target on Commit; removed when destroyed before that.
class CReplacementWrite final : public CPositionalWrite {
public:
    CReplacementWrite(CTarget at, bool exists, CDescriptor temp, std::string tempName)
        : at_(std::move(at)),
          exists_(exists),
          temp_(std::move(temp)),
          tempName_(std::move(tempName)) {}
    CReplacementWrite(const CReplacementWrite&) = delete;
    CReplacementWrite& operator=(const CReplacementWrite&) = delete;

    ~CReplacementWrite() override {
        if (!renamed_) {
            unlinkat(at_.final.folder.Get(), tempName_.c_str(), 0);
        }
    }

    bool WriteAt(uint64_t offset, const void* bytes, size_t count) override {
        return PdcWriteAt(temp_.Get(), offset, bytes, count);
    }

    bool ReadAt(uint64_t offset, void* bytes, size_t count) override {
        return PdcReadAt(temp_.Get(), offset, bytes, count);
    }

    bool Commit(uint64_t size, CDurability durability, std::string& reason) override {
        if (ftruncate(temp_.Get(), static_cast<off_t>(size)) != 0 ||
            (durability == CDurability::Disk && fsync(temp_.Get()) != 0)) {
            return Fail(reason, errno);
        }
        // Some file systems report a failed write only when the file closes.
        if (close(temp_.Release()) != 0) {
            return Fail(reason, errno);
        }
        return RenameOver(at_, exists_, tempName_, durability, renamed_, reason);
    }

private:
    CTarget at_;
    bool exists_;
    CDescriptor temp_;
    std::string tempName_;
    bool renamed_ = false;
};

// The temporary file sized to `size` zero bytes, its blocks reserved where
// the file system can: a disk too full for the file fails here, before any
// work, and writes into reserved blocks cost less than writes into a hole
// (on ext4, measured with a frame written slice by slice: a third less time
// with one thread, half with two, which no longer wait on each other).
bool Reserve(int descriptor, uint64_t size) {
    const auto bytes = static_cast<off_t>(size);
#if defined(__linux__)
    if (size > 0 && fallocate(descriptor, 0, 0, bytes) == 0) {
        return true;
    }
    if (size > 0 && errno != EOPNOTSUPP && errno != ENOSYS) {
        return false;
    }
#endif
    return ftruncate(descriptor, bytes) == 0;
}

// Whether Write would replace the target through a temporary file: no
// file yet (and no link to a missing one), or a regular file under its own
// name with no other name, that this process may write in its folder.
bool WouldReplace(const CTarget& at) {
    if (!at.file.IsOpen()) {
        return !at.awaitsReader && !at.final.throughLink;
    }
    std::string ignored;
    return S_ISREG(at.status.st_mode) && at.status.st_nlink == 1 && at.found &&
           PdcFinalName::IsFileIn(at.final.folder.Get(), at.final.name, at.status) &&
           MayWriteFileIn(at.final.folder.Get(), at.status, ignored);
}

}  // namespace

std::unique_ptr<CPositionalWrite> BeginReplacement(const std::string& target, uint64_t size) {
    CTarget at;
    std::string ignored;
    if (!OpenTarget(target, at, ignored) || !FindTarget(target, at, ignored) || !WouldReplace(at) ||
        size > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) {
        return nullptr;
    }
    const bool exists = at.file.IsOpen();
    std::string tempName;
    CDescriptor temp = CreateTemp(at.final.folder.Get(), exists ? 0600 : 0666, tempName);
    if (!temp.IsOpen()) {
        return nullptr;
    }
    if ((exists && !KeepOwnerAndBits(temp.Get(), at.status)) || !Reserve(temp.Get(), size)) {
        unlinkat(at.final.folder.Get(), tempName.c_str(), 0);
        return nullptr;
    }
    return std::make_unique<CReplacementWrite>(std::move(at), exists, std::move(temp),
                                               std::move(tempName));
}

bool Write(const std::string& target, const CFileWriter& write, CDurability durability,
           std::string& reason) {
    CTarget at;
    if (!OpenTarget(target, at, reason) || !FindTarget(target, at, reason) ||
        (at.awaitsReader && !OpenPipe(at, reason))) {
        return false;
    }
    if (at.file.IsOpen()) {
        return WriteExisting(at, write, durability, reason);
    }
    if (at.final.throughLink) {
        return Refuse(reason, DanglingLink);
    }
    return Replace(at, false, write, durability, reason);
}

bool Probe(const std::string& target, uint64_t bytes, std::string& reason) {
    CFinalName final;
    int error = 0;
    switch (PdcFinalName::FindFinalName(target, final, error)) {
        case CWalk::Found:
            break;
        case CWalk::RefusedLink:
            return Refuse(reason, RefusedLink);
        case CWalk::Failed:
            return Fail(reason, error);
    }
    struct stat status {};
    const bool exists =
        fstatat(final.folder.Get(), final.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
    if (!exists && final.throughLink) {
        return Refuse(reason, DanglingLink);
    }
    if (exists) {
        if (!ProbeExisting(final, status, reason)) {
            return false;
        }
        // A device or pipe: nothing more to learn without opening it.
        if (!S_ISREG(status.st_mode)) {
            return true;
        }
    }
    std::string tempName;
    const CDescriptor temp = CreateTemp(final.folder.Get(), 0600, tempName);
    if (!temp.IsOpen()) {
        // An existing file is then written in place.
        return exists || Fail(reason, errno);
    }
    const bool room = HasRoomFor(temp.Get(), bytes, reason);
    unlinkat(final.folder.Get(), tempName.c_str(), 0);
    return room;
}

bool FlushToDisk(const std::string& file, std::string& reason) {
    const CDescriptor opened(open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!opened.IsOpen()) {
        return Fail(reason, errno);
    }
    if (!FlushDescriptor(opened.Get(), reason)) {
        return false;
    }
    CFinalName final;
    int error = 0;
    if (PdcFinalName::FindFinalName(file, final, error) != CWalk::Found) {
        return Fail(reason, error);
    }
    return FlushFolder(final.folder.Get(), reason);
}

}  // namespace PdcSafeWrite

#endif
