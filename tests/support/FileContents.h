// Whole files read and written in one call, as bytes in a string (text or
// not) or in a vector. A file that cannot be read reads as empty. A write
// replaces the file's content and returns false when it could not write it
// whole; most tests compare contents afterwards instead.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace VelpoTestSupport {

std::string ReadFile(const std::filesystem::path& file);
bool WriteFile(const std::filesystem::path& file, const std::string& text);

std::vector<uint8_t> ReadBytes(const std::filesystem::path& file);
bool WriteBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes);

}  // namespace VelpoTestSupport
