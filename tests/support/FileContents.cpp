#include "tests/support/FileContents.h"

#include <fstream>
#include <sstream>

namespace VelpoTestSupport {

// In blocks, not byte by byte: the crash tests read files of megabytes
// under the sanitizers.
std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    if (in) {
        text << in.rdbuf();
    }
    return text.str();
}

bool WriteFile(const std::filesystem::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return !out.fail();
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& file) {
    const std::string text = ReadFile(file);
    return std::vector<uint8_t>(text.begin(), text.end());
}

bool WriteBytes(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
    return WriteFile(file, std::string(bytes.begin(), bytes.end()));
}

}  // namespace VelpoTestSupport
