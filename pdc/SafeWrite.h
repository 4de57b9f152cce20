// Writing a whole file so that a failed or killed write neither tears nor
// destroys the file that was there, and the file keeps what its users set
// up around it.
//
// How a target is written:
// - A symbolic link is followed to the file it finally names. That file is
//   written; the link stays a link.
// - A target that exists but that this process may not write is left as it
//   is, and the write fails, as a plain write would.
// - Otherwise the data goes to a temporary file beside the target
//   (TempFile.h), which is renamed over it in one step once every byte has
//   been written: whenever the writer stops, even killed, the target is the
//   complete earlier file or the complete new one. The new file gets the
//   permission bits of the one it replaces, and its owner and group where
//   the process may set them (root may; another user keeps the group only
//   if it belongs to it). On Windows it keeps the hidden, system and archive
//   attributes; its access rights are those the folder gives new files.
// - Some targets cannot be replaced without losing what the user meant, and
//   are written in place instead (opened and emptied, as a plain write
//   would), so a failure there can leave a torn file:
//   a file with more than one hard link, so every name sees the new data;
//   a device or pipe (for example /dev/null or /dev/stdout);
//   a writable file in a folder where no temporary file can be made;
//   a writable file whose replacement the system refuses (a folder with the
//   sticky bit; on Windows, another program holding the file open, after a
//   short retry).
//
// Names are UTF-8 on every platform. The functions never log and never
// throw; they may run on several threads at once for different targets.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

// Puts the whole content into the stream it is handed, which is open for
// binary writing at its start. Returns false when it failed. It must not
// close the stream; it may throw, which counts as a failure.
using CFileWriter = std::function<bool(std::FILE*)>;

// Writes `target` with what `write` puts out, calling it once. True when
// every byte reached the file under its final name. Otherwise false, with
// `reason` set to a short text naming the cause, fit to follow "<file>: "
// ("No space left on device", "Permission denied", "is a folder"). After a
// failure the earlier file is as it was (except on the in-place paths
// above) and no temporary file is left.
bool SafeWriteFile(const std::string& target, const CFileWriter& write, std::string& reason);
