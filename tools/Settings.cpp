#include "tools/Settings.h"

#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

namespace VelpoTools {

namespace {

// nlohmann's messages begin with "[json.exception.parse_error.101] ".
std::string PlainMessage(const std::string& what) {
    const size_t close = what.find("] ");
    return close == std::string::npos ? what : what.substr(close + 2);
}

}  // namespace

bool ReadSettings(const std::filesystem::path& file, CSettings& settings, std::string& error) {
    const std::string name = file.string();
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        error = name + ": cannot be opened for reading";
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    return ParseSettings(name, text.str(), settings, error);
}

bool ParseSettings(const std::string& name, const std::string& text, CSettings& settings,
                   std::string& error) {
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(text);
    } catch (const nlohmann::json::parse_error& parseError) {
        error = name + ": " + PlainMessage(parseError.what());
        return false;
    }
    if (!json.is_object()) {
        error = name +
                ": expected a JSON object of settings parameters, such as {\"Path\": "
                "\"cache/particles\", \"Step\": 1, \"Float0\": \"age\"}";
        return false;
    }
    CSettings read;
    bool hasPath = false;
    for (auto item = json.begin(); item != json.end(); ++item) {
        const std::string key = item.key();
        const nlohmann::json& value = item.value();
        std::string* text = nullptr;
        if (key == "Path") {
            text = &read.path;
            hasPath = true;
        } else if (key == "Step") {
            const bool fits = value.is_number_integer() &&
                              value.get<int64_t>() >= std::numeric_limits<int32_t>::min() &&
                              value.get<int64_t>() <= std::numeric_limits<int32_t>::max();
            if (!fits) {
                error = name + ": \"Step\" must be a 32-bit integer, not " + value.dump();
                return false;
            }
            read.step = value.get<int32_t>();
            continue;
        }
        auto numbered = [&](const std::string& prefix, auto& names) {
            for (size_t i = 0; i < names.size(); ++i) {
                if (key == prefix + std::to_string(i)) {
                    text = &names[i];
                }
            }
        };
        numbered("Float", read.floatNames);
        numbered("Long", read.longNames);
        numbered("Vector", read.vectorNames);
        if (!text) {
            error = name + ": unknown parameter \"" + key +
                    "\"; the settings object has \"Path\", \"Step\", \"Float0\" ... \"Float9\", "
                    "\"Long0\" ... \"Long4\" and \"Vector0\" ... \"Vector9\"";
            return false;
        }
        if (!value.is_string()) {
            error = name + ": \"" + key + "\" must be a string, not " + value.dump();
            return false;
        }
        *text = value.get<std::string>();
    }
    if (!hasPath || read.path.empty()) {
        error = name + ": \"Path\" is missing or empty; the nodes need the base path of the cache";
        return false;
    }
    settings = read;
    return true;
}

}  // namespace VelpoTools
