#include "tools/contents/Leftovers.h"

#include <fmt/format.h>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "tools/common/Text.h"

namespace VelpoTools {

using Velpo::CResult;

namespace {

std::string InFolder(const CLeftovers& leftovers, const CLeftoverFile& file) {
    return (std::filesystem::path(leftovers.folder) / file.name).string();
}

}  // namespace

CResult FindLeftovers(const std::string& folder, CLeftovers& leftovers) {
    leftovers = CLeftovers();
    leftovers.folder = folder;
    leftovers.now = static_cast<int64_t>(std::time(nullptr));
    std::string reason;
    if (!ListLeftoverFiles(folder, leftovers.files, reason)) {
        return CResult::Fail(folder + ": " + reason);
    }
    return CResult::Ok();
}

std::string AgeText(int64_t seconds) {
    if (seconds < 0) {
        return "in the future (the clocks disagree)";
    }
    if (seconds < 60) {
        return std::to_string(seconds) + " s ago";
    }
    if (seconds < 3600) {
        return std::to_string(seconds / 60) + " min ago";
    }
    if (seconds < 86400) {
        return fmt::format("{} h {} min ago", seconds / 3600, seconds / 60 % 60);
    }
    return std::to_string(seconds / 86400) + " days ago";
}

std::string LeftoverLines(const CLeftovers& leftovers) {
    std::string out;
    for (const CLeftoverFile& file : leftovers.files) {
        out += fmt::format("  {}: {} bytes, last written {} by process {}\n",
                           Escaped(InFolder(leftovers, file)), file.size,
                           AgeText(leftovers.now - file.modified), file.processID);
    }
    return out;
}

nlohmann::ordered_json LeftoverJson(const CLeftovers& leftovers) {
    nlohmann::ordered_json out = nlohmann::ordered_json::array();
    for (const CLeftoverFile& file : leftovers.files) {
        out.push_back({{"file", InFolder(leftovers, file)},
                       {"size", file.size},
                       {"modified", file.modified},
                       {"ageSeconds", leftovers.now - file.modified},
                       {"processID", file.processID}});
    }
    return out;
}

}  // namespace VelpoTools
