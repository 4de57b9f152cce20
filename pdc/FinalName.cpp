#include "pdc/FinalName.h"

#if !defined(_WIN32)

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace PdcFinalName {

namespace {

// As the system counts them before it gives up with ELOOP.
constexpr int MaxLinkHops = 40;
constexpr size_t MaxLinkLength = size_t{1} << 16;

// Folders are opened only to walk through them: O_PATH needs no right to
// read them, only to search them, as the system's own walk does.
#if defined(O_PATH)
constexpr int FolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int FolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

constexpr mode_t SharedFolderBits = S_ISVTX | S_IWOTH;

bool IsSharedFolder(const struct stat& folder) {
    return (folder.st_mode & SharedFolderBits) == SharedFolderBits;
}

// The components still to walk, the next one last.
class CPending {
public:
    // Puts the components of `text` before those left.
    void Push(const std::string& text) {
        std::vector<std::string> parts;
        size_t start = 0;
        while (start <= text.size()) {
            const size_t slash = text.find('/', start);
            const size_t end = slash == std::string::npos ? text.size() : slash;
            parts.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        parts_.insert(parts_.end(), parts.rbegin(), parts.rend());
    }

    bool Empty() const { return parts_.empty(); }

    std::string Take() {
        std::string part = std::move(parts_.back());
        parts_.pop_back();
        return part;
    }

    // An empty component is what a slash at the end leaves: the name then
    // stands for a folder.
    bool EndsInFolder() const { return !parts_.empty() && parts_.front().empty(); }

private:
    std::vector<std::string> parts_;
};

// The text of the link `name` in `folder`; false with errno set.
bool ReadLink(int folder, const std::string& name, const struct stat& link, std::string& text) {
    size_t size = link.st_size > 0 ? static_cast<size_t>(link.st_size) + 1 : 256;
    for (;;) {
        text.assign(size, '\0');
        const ssize_t length = readlinkat(folder, name.c_str(), text.data(), size);
        if (length < 0) {
            return false;
        }
        if (static_cast<size_t>(length) < size) {
            text.resize(static_cast<size_t>(length));
            return true;
        }
        if (size >= MaxLinkLength) {
            errno = ENAMETOOLONG;
            return false;
        }
        size *= 2;
    }
}

CDescriptor OpenFolder(int at, const char* name) {
    return CDescriptor(openat(at, name, FolderFlags | O_NOFOLLOW));
}

// One walk: the folder it stands in and what is left of the name.
class CWalker {
public:
    CWalk Run(const std::string& path, CFinalName& found, int& error) {
        folder_ = OpenFolder(AT_FDCWD, !path.empty() && path[0] == '/' ? "/" : ".");
        if (!folder_.IsOpen()) {
            error = errno;
            return CWalk::Failed;
        }
        pending_.Push(path);
        if (pending_.EndsInFolder()) {
            error = EISDIR;
            return CWalk::Failed;
        }
        while (!pending_.Empty()) {
            const std::string part = pending_.Take();
            if (part.empty() || part == ".") {
                continue;
            }
            const CWalk step = Step(part, found, error);
            if (step != CWalk::Found || !found.name.empty()) {
                return step;
            }
        }
        // Nothing but folders: "/", ".", "out/..".
        error = EISDIR;
        return CWalk::Failed;
    }

private:
    // Walks one component; `found.name` is set once the last is reached.
    CWalk Step(const std::string& part, CFinalName& found, int& error) {
        const bool last = pending_.Empty();
        struct stat status {};
        if (fstatat(folder_.Get(), part.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            error = errno;
            if (error == ENOENT && last && part != "..") {
                return Finish(part, found);
            }
            return CWalk::Failed;
        }
        if (S_ISLNK(status.st_mode)) {
            return Follow(part, status, last, error);
        }
        if (last && part != "..") {
            return Finish(part, found);
        }
        if (!S_ISDIR(status.st_mode)) {
            error = ENOTDIR;
            return CWalk::Failed;
        }
        CDescriptor next = OpenFolder(folder_.Get(), part.c_str());
        if (!next.IsOpen()) {
            error = errno;
            return CWalk::Failed;
        }
        folder_ = std::move(next);
        if (last) {
            error = EISDIR;
            return CWalk::Failed;
        }
        return CWalk::Found;
    }

    CWalk Follow(const std::string& part, const struct stat& link, bool last, int& error) {
        struct stat folder {};
        if (fstat(folder_.Get(), &folder) != 0) {
            error = errno;
            return CWalk::Failed;
        }
        // As the system's rule: for the links the name ends in, not for
        // links to folders on the way.
        if (last && !MayFollowLink(folder, link)) {
            error = EACCES;
            return CWalk::RefusedLink;
        }
        std::string text;
        if (++hops_ > MaxLinkHops || !ReadLink(folder_.Get(), part, link, text)) {
            error = hops_ > MaxLinkHops ? ELOOP : errno;
            return CWalk::Failed;
        }
        if (text.empty()) {
            error = ENOENT;
            return CWalk::Failed;
        }
        if (text[0] == '/') {
            folder_ = OpenFolder(AT_FDCWD, "/");
            if (!folder_.IsOpen()) {
                error = errno;
                return CWalk::Failed;
            }
        }
        throughLink_ = throughLink_ || last;
        pending_.Push(text);
        if (pending_.EndsInFolder() && last) {
            error = EISDIR;
            return CWalk::Failed;
        }
        return CWalk::Found;
    }

    CWalk Finish(const std::string& part, CFinalName& found) {
        found.folder = std::move(folder_);
        found.name = part;
        found.throughLink = throughLink_;
        return CWalk::Found;
    }

    CDescriptor folder_;
    CPending pending_;
    int hops_ = 0;
    bool throughLink_ = false;
};

}  // namespace

CDescriptor::~CDescriptor() {
    if (descriptor_ != -1) {
        close(descriptor_);
    }
}

CDescriptor& CDescriptor::operator=(CDescriptor&& other) noexcept {
    if (this != &other) {
        if (descriptor_ != -1) {
            close(descriptor_);
        }
        descriptor_ = other.Release();
    }
    return *this;
}

int CDescriptor::Release() {
    const int descriptor = descriptor_;
    descriptor_ = -1;
    return descriptor;
}

CWalk FindFinalName(const std::string& path, CFinalName& found, int& error) {
    found = CFinalName();
    error = 0;
    if (path.empty()) {
        error = ENOENT;
        return CWalk::Failed;
    }
    return CWalker().Run(path, found, error);
}

bool MayFollowLink(const struct stat& folder, const struct stat& link) {
    return !IsSharedFolder(folder) || link.st_uid == geteuid() || link.st_uid == folder.st_uid;
}

bool MayWriteInFolder(const struct stat& folder, const struct stat& file) {
    return !IsSharedFolder(folder) || file.st_uid == geteuid() || file.st_uid == folder.st_uid;
}

bool IsFileIn(int folder, const std::string& name, const struct stat& file) {
    struct stat there {};
    return fstatat(folder, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
           there.st_dev == file.st_dev && there.st_ino == file.st_ino;
}

}  // namespace PdcFinalName

#endif
