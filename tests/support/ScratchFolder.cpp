#include "tests/support/ScratchFolder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <system_error>

namespace VelpoTestSupport {

CScratchFolder::CScratchFolder() {
    // Test programs run side by side under ctest -j; a random part, the
    // clock and a counter keep their folders apart, and a name that is taken
    // all the same is skipped.
    static std::atomic<uint32_t> counter{0};
    const std::filesystem::path temporary = std::filesystem::temp_directory_path();
    std::random_device random;
    const auto clock = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        path_ = temporary / ("velpo-test-" + std::to_string(random()) + "-" +
                             std::to_string(clock) + "-" + std::to_string(counter++));
        std::error_code error;
        if (std::filesystem::create_directory(path_, error)) {
            return;
        }
        if (error) {
            throw std::filesystem::filesystem_error("cannot make a scratch folder", path_, error);
        }
    }
}

CScratchFolder::~CScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> CScratchFolder::Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace VelpoTestSupport
