// Watches the sizes of the program's allocations, so a test can prove that
// reading a hostile file asks for no large block of memory.
#pragma once

#include <cstddef>

namespace AllocationProbe {

// Starts watching: the largest request is reset to 0.
void Arm();
// Stops watching and returns the largest single request seen since Arm.
size_t Disarm();
// False where the allocation functions cannot be replaced (clang's
// ThreadSanitizer runtime defines them itself); then Disarm returns 0.
bool Watching();

}  // namespace AllocationProbe
