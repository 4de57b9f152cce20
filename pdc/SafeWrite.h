// Writing a whole file so that a failed or killed write neither tears nor
// destroys the file that was there, and the file keeps what its users set
// up around it.
//
// How a target is written:
// - The name is opened by the system, which applies its own rules on the
//   way (on Linux fs.protected_symlinks and the rights of every folder), and
//   followed to the file it finally stands for (FinalName.h on POSIX
//   systems). A symbolic link is followed to that file, which is written;
//   the link stays a link. A link that names no file is refused ("is a
//   symbolic link to a file that does not exist"), and so is, in a folder
//   with the sticky bit that every user may write (/tmp), a link or a file
//   that neither the writer nor the folder's owner owns ("is a symbolic
//   link of another user in a shared folder", "is a file of another user in
//   a shared folder"), whatever the system's own setting for them.
// - A target that exists but that this process may not write is left as it
//   is, and the write fails, as a plain write would.
// - Otherwise the data goes to a temporary file beside the file
//   (TempFile.h), which is renamed over it in one step once every byte has
//   been written: whenever the writer stops, even killed, the file is the
//   complete earlier file or the complete new one. The new file gets the
//   permission bits of the one it replaces (set-user-ID, set-group-ID and
//   sticky bits included), and its owner and group where the process may
//   set them (root may; another user keeps the group only if it belongs to
//   it). On Windows it keeps the hidden, system and archive attributes; its
//   access rights are those the folder gives new files.
// - Some targets cannot be replaced without losing what the user meant, and
//   are written in place instead (emptied and written through the
//   descriptor the system opened, as a plain write would), so a failure
//   there can leave a torn file:
//   a file with more than one hard link, so every name sees the new data;
//   a device or pipe (for example /dev/null or /dev/stdout);
//   a writable file in a folder where no temporary file can be made;
//   a writable file whose replacement the system refuses (a folder with the
//   sticky bit; on Windows, another program holding the file open, after a
//   short retry).
//
// Durability. With CDurability::Process the file is whole after the writer
// is killed at any point; after a power failure or a crash of the system it
// may still lose the last writes: the file can be the earlier one, or, on
// file systems that do not order a rename after the data it names, empty or
// part written. With CDurability::Disk the new file's data is flushed to
// the disk before the rename and the folder after it (fsync; on Windows
// FlushFileBuffers and a write-through rename), so once the call returns
// true the new file survives a power failure, and at any earlier moment the
// name holds the complete earlier or the complete new file. That costs the
// time to put the data on the disk (bench/SafeWriteBench.cpp).
//
// Names are UTF-8 on every platform. The functions never log and never
// throw; they may run on several threads at once for different targets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

// Puts the whole content into the stream it is handed, which is open for
// binary writing at its start. Returns false when it failed. It must not
// close the stream; it may throw, which counts as a failure.
using CFileWriter = std::function<bool(std::FILE*)>;

// What a write that returned true survives (see above).
enum class CDurability {
    Process,  // the writer killed at any point
    Disk,     // a power failure too: flushed to the disk before returning
};

// Writes `target` with what `write` puts out, calling it once. True when
// every byte reached the file under its final name. Otherwise false, with
// `reason` set to a short text naming the cause, fit to follow "<file>: "
// ("No space left on device", "Permission denied", "is a folder"). After a
// failure the earlier file is as it was (except on the in-place paths
// above) and no temporary file is left.
bool SafeWriteFile(const std::string& target, const CFileWriter& write, std::string& reason,
                   CDurability durability = CDurability::Process);

// Why writing `target` would fail, found without writing anything, for a
// writer that failed where it could not say why (a node logs only that it
// cannot write the file). Takes the steps SafeWriteFile takes before the
// data, under the same rules: the name followed to its file, the file or
// its folder checked for writing, a temporary file made beside it and
// removed again; then the room for `bytes` (the file system's free space,
// the process's limit on file size). False, with `reason` as SafeWriteFile
// would give it, when one of them fails; true when none does (the cause is
// then not known). A pipe or a device is not opened.
bool ProbeSafeWrite(const std::string& target, uint64_t bytes, std::string& reason);

// Flushes a file that is already written, and the folder that holds it, to
// the disk, so that it survives a power failure from now on (for a file
// another writer put in place, such as a node). False with the system's
// reason when the file cannot be opened or flushed.
bool FlushFileToDisk(const std::string& file, std::string& reason);
