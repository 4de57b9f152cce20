// How the process's allocator treats the large buffers of frames.
//
// By default glibc hands blocks of many megabytes back to the system when
// they are freed and takes them again for the next frame, and every page of
// them faults in anew: on a virtual machine that costs more than reading
// the frame. The server reads one frame at a time, so keeping the freed
// blocks for the next frame bounds memory by the largest frame while
// sparing the faults.
#pragma once

namespace VelpoTools {

// Keeps freed large blocks in one shared pool for reuse instead of giving
// them back to the system. Process-wide: for the command that runs the
// server (and its benchmark), before any thread starts. Does nothing on C
// libraries other than glibc.
void ReuseLargeBlocks();

}  // namespace VelpoTools
