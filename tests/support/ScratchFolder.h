// A fresh, empty folder for one test or benchmark run under the system's
// temporary folder, removed with everything in it when the object goes.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace VelpoTestSupport {

class CScratchFolder {
public:
    // Makes a folder of a name no other test program or run uses.
    CScratchFolder();
    ~CScratchFolder();
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The path of `name` in the folder, as text.
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    std::string File(const std::string& name) const { return *this / name; }
    // Names of the entries of the folder, sorted.
    std::vector<std::string> Files() const;

private:
    std::filesystem::path path_;
};

}  // namespace VelpoTestSupport
