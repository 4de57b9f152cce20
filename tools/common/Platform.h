// The few things the command needs from the operating system, kept apart so
// that every other file of the command builds on both platforms unchanged.
#pragma once

#include <cstdio>
#include <filesystem>

namespace VelpoTools {

// Folder of the running executable; empty when it cannot be found.
std::filesystem::path ExecutableFolder();

// File name of the plug-in library as the build names it on this platform.
const char* PluginFileName();

// True when the stream writes to an interactive terminal.
bool IsTerminal(std::FILE* stream);

}  // namespace VelpoTools
