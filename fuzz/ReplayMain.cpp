// Runs the fuzz target over saved inputs, so that every compiler can replay
// a corpus under ctest. Each input is also replayed cut at every length,
// which walks the reader through every kind of short file.
//
// Usage: pdc_read_replay FILE_OR_FOLDER...   (exit 0 when all ran; a fault
// in the target aborts)
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

constexpr size_t kMaxPrefixReplay = 4096;

int Replay(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "%s: cannot open\n", path.string().c_str());
        return 1;
    }
    // Named before it runs: a fault ends the program, and this line is then
    // the last one that tells which input it was.
    std::fprintf(stderr, "replaying %s\n", path.string().c_str());
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    if (bytes.size() <= kMaxPrefixReplay) {
        for (size_t cut = 0; cut < bytes.size(); ++cut) {
            LLVMFuzzerTestOneInput(bytes.data(), cut);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argv[0]);
        return 2;
    }
    int failures = 0;
    size_t inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path = argv[i];
        std::error_code error;
        if (std::filesystem::is_directory(path, error)) {
            for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
                if (entry.is_regular_file()) {
                    failures += Replay(entry.path());
                    ++inputs;
                }
            }
        } else {
            failures += Replay(path);
            ++inputs;
        }
        if (error) {
            std::fprintf(stderr, "%s: %s\n", path.string().c_str(), error.message().c_str());
            ++failures;
        }
    }
    if (inputs == 0) {
        std::fprintf(stderr, "no inputs found\n");
        return 1;
    }
    std::printf("replayed %zu inputs\n", inputs);
    return failures == 0 ? 0 : 1;
}
