#include "pdc/TempFile.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr const char* Prefix = ".velpo-";
constexpr const char* Suffix = ".tmp";
// Both numbers of a name are 32-bit.
constexpr size_t MaxDigits = 10;

// Writers in one process never pick the same name; the exclusive creation
// settles the rare clash with another process.
std::atomic<uint32_t> tempCounter{0};

uint32_t ProcessID() {
#if defined(_WIN32)
    return static_cast<uint32_t>(GetCurrentProcessId());
#else
    return static_cast<uint32_t>(getpid());
#endif
}

// Reads a decimal number of 1 to MaxDigits digits at `at` up to `end`; false
// when the text there is not one or does not fit 32 bits.
bool ParseNumber(const std::string& text, size_t at, size_t end, uint32_t& value) {
    if (end <= at || end - at > MaxDigits) {
        return false;
    }
    uint64_t number = 0;
    for (size_t i = at; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        number = number * 10 + static_cast<uint64_t>(text[i] - '0');
    }
    if (number > UINT32_MAX) {
        return false;
    }
    value = static_cast<uint32_t>(number);
    return true;
}

// The process ID of a temporary file's base name; false when it is not one.
bool ParseTempName(const std::string& baseName, uint32_t& processID) {
    const size_t prefix = std::char_traits<char>::length(Prefix);
    const size_t suffix = std::char_traits<char>::length(Suffix);
    if (baseName.size() < prefix + suffix + 3 || baseName.compare(0, prefix, Prefix) != 0 ||
        baseName.compare(baseName.size() - suffix, suffix, Suffix) != 0) {
        return false;
    }
    const size_t end = baseName.size() - suffix;
    const size_t dash = baseName.find('-', prefix);
    uint32_t number = 0;
    return dash != std::string::npos && dash < end &&
           ParseNumber(baseName, prefix, dash, processID) &&
           ParseNumber(baseName, dash + 1, end, number);
}

std::string BaseName(const std::string& name) {
#if defined(_WIN32)
    const size_t separator = name.find_last_of("/\\");
#else
    const size_t separator = name.find_last_of('/');
#endif
    return separator == std::string::npos ? name : name.substr(separator + 1);
}

std::filesystem::path FromUtf8(const std::string& name) {
    return std::filesystem::path(
        std::u8string(reinterpret_cast<const char8_t*>(name.data()), name.size()));
}

std::string ToUtf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(reinterpret_cast<const char*>(text.data()), text.size());
}

}  // namespace

std::string NextTempFileName() {
    try {
        return Prefix + std::to_string(ProcessID()) + "-" +
               std::to_string(tempCounter.fetch_add(1, std::memory_order_relaxed)) + Suffix;
    } catch (...) {
        return std::string();
    }
}

bool IsTempFileName(const std::string& name) {
    try {
        uint32_t processID = 0;
        return ParseTempName(BaseName(name), processID);
    } catch (...) {
        return false;
    }
}

bool ListLeftoverFiles(const std::string& folder, std::vector<CLeftoverFile>& files,
                       std::string& reason) {
    try {
        files.clear();
        std::error_code error;
        std::filesystem::directory_iterator entries(FromUtf8(folder.empty() ? "." : folder), error);
        if (error) {
            reason = error.message();
            return false;
        }
        // Incremented with an error code: the plain increment throws.
        std::error_code walkError;
        for (; entries != std::filesystem::directory_iterator(); entries.increment(walkError)) {
            const std::filesystem::directory_entry& entry = *entries;
            CLeftoverFile file;
            file.name = ToUtf8(entry.path().filename());
            if (!ParseTempName(file.name, file.processID)) {
                continue;
            }
            // Not followed: a link of that name is none of ours.
            const std::filesystem::file_status status = entry.symlink_status(error);
            if (error || !std::filesystem::is_regular_file(status)) {
                continue;
            }
            const uintmax_t size = entry.file_size(error);
            if (error) {
                continue;
            }
            const std::filesystem::file_time_type modified = entry.last_write_time(error);
            if (error) {
                continue;
            }
            file.size = static_cast<uint64_t>(size);
            file.modified = std::chrono::duration_cast<std::chrono::seconds>(
                                std::chrono::file_clock::to_sys(modified).time_since_epoch())
                                .count();
            files.push_back(std::move(file));
        }
        if (walkError) {
            files.clear();
            reason = walkError.message();
            return false;
        }
        std::sort(files.begin(), files.end(),
                  [](const CLeftoverFile& a, const CLeftoverFile& b) { return a.name < b.name; });
        return true;
    } catch (const std::exception& exception) {
        files.clear();
        try {
            reason = exception.what();
        } catch (...) {
        }
        return false;
    } catch (...) {
        files.clear();
        return false;
    }
}
