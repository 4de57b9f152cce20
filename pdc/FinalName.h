// Where a file name finally leads, found on POSIX systems the way the
// system itself resolves it, for the safe write (SafeWrite.h), which must
// make its temporary file beside the file a name stands for and rename it
// over exactly that file.
//
// The name is walked one component at a time through descriptors of the
// folders on the way (never through path text put together in between), so
// that a folder renamed or a link swapped during the walk cannot send the
// rest of it elsewhere; symbolic links are read where they stand and their
// text continues the walk, ".." goes to the parent the system knows.
//
// Links and files in shared folders follow the system's protections
// (fs.protected_symlinks, fs.protected_regular, fs.protected_fifos),
// applied here whatever the system's setting: in a folder that every user
// may write and that has the sticky bit (/tmp), another user can plant a
// link or a file of their own under a name that someone else then writes.
//
// POSIX only. Nothing here keeps state; every function may run on several
// threads at once, never logs, and throws only std::bad_alloc.
#pragma once

#if !defined(_WIN32)

#include <sys/stat.h>

#include <string>

namespace PdcFinalName {

// An open file descriptor, closed when the object goes.
class CDescriptor {
public:
    CDescriptor() = default;
    explicit CDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~CDescriptor();
    CDescriptor(CDescriptor&& other) noexcept : descriptor_(other.Release()) {}
    CDescriptor& operator=(CDescriptor&& other) noexcept;
    CDescriptor(const CDescriptor&) = delete;
    CDescriptor& operator=(const CDescriptor&) = delete;

    int Get() const { return descriptor_; }
    bool IsOpen() const { return descriptor_ != -1; }
    // Hands the descriptor over; this object no longer closes it.
    int Release();

private:
    int descriptor_ = -1;
};

struct CFinalName {
    // The folder that holds the file, opened only to refer to it (O_PATH
    // where the system has it): good for the *at() functions, not for
    // reading.
    CDescriptor folder;
    // The last component within `folder`: never empty, "." or "..", and
    // not a symbolic link when it was looked at. It may not exist.
    std::string name;
    // The name given ended in a symbolic link (or a chain of them), which
    // led to `name`.
    bool throughLink = false;
};

// What FindFinalName found.
enum class CWalk {
    Found,
    // A symbolic link that the rule of MayFollowLink does not follow.
    RefusedLink,
    // The system's error, in `error`: ENOENT for a folder on the way that
    // does not exist, ENOTDIR, EACCES, ELOOP for too many links, EISDIR for
    // a name that ends in a folder ("out/..", "/").
    Failed,
};

// Walks `path` (relative to the working folder unless it starts with '/')
// to the folder and last name of the file it stands for.
CWalk FindFinalName(const std::string& path, CFinalName& found, int& error);

// The system's rule for symbolic links (fs.protected_symlinks): a link in a
// folder with the sticky bit that every user may write is followed only
// when the one following it or the folder's owner owns the link. As the
// system does, FindFinalName applies it to the links a name ends in (and
// the links those end in), not to links to folders on the way.
bool MayFollowLink(const struct stat& folder, const struct stat& link);

// The system's rule for opening a file that exists in such a folder to
// write it (fs.protected_regular and protected_fifos): only when the writer
// or the folder's owner owns it.
bool MayWriteInFolder(const struct stat& folder, const struct stat& file);

// True when `file` is the file `name` names in `folder` (not following a
// link there): same device and inode.
bool IsFileIn(int folder, const std::string& name, const struct stat& file);

}  // namespace PdcFinalName

#endif
