#include "tools/Settings.h"

#include <fstream>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "pdc/Pdc.h"
#include "plugin/Ports.h"
#include "tools/Text.h"

namespace VelpoTools {

namespace {

using VelpoHost::CResult;

// nlohmann's messages begin with "[json.exception.parse_error.101] ".
std::string PlainMessage(const std::string& what) {
    const size_t close = what.find("] ");
    return close == std::string::npos ? what : what.substr(close + 2);
}

template <size_t Count>
void AddNumbered(std::vector<CNamedAttribute>& attributes,
                 const std::array<std::string, Count>& names, const char* prefix, int32_t firstSlot,
                 int32_t slotType, uint32_t portBase) {
    for (size_t i = 0; i < Count; ++i) {
        if (!names[i].empty()) {
            const uint32_t port = portBase + static_cast<uint32_t>(i);
            attributes.push_back({names[i], prefix + std::to_string(i),
                                  firstSlot + static_cast<int32_t>(i), slotType, port, port});
        }
    }
}

}  // namespace

CResult ReadSettings(const std::filesystem::path& file, CSettings& settings) {
    const std::string name = file.string();
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return CResult::Fail(name + ": cannot be opened for reading");
    }
    std::stringstream text;
    text << in.rdbuf();
    return ParseSettings(name, text.str(), settings);
}

CResult ParseSettings(const std::string& name, const std::string& text, CSettings& settings) {
    nlohmann::json json;
    try {
        json = nlohmann::json::parse(text);
    } catch (const nlohmann::json::parse_error& parseError) {
        return CResult::Fail(name + ": " + PlainMessage(parseError.what()));
    }
    if (!json.is_object()) {
        return CResult::Fail(name +
                             ": expected a JSON object of settings parameters, such as {\"Path\": "
                             "\"cache/particles\", \"Step\": 1, \"Float0\": \"age\"}");
    }
    CSettings read;
    read.file = name;
    bool hasPath = false;
    for (auto item = json.begin(); item != json.end(); ++item) {
        const std::string key = item.key();
        const nlohmann::json& value = item.value();
        std::string* target = nullptr;
        if (key == "Path") {
            target = &read.path;
            hasPath = true;
        } else if (key == "Step") {
            const bool fits = value.is_number_integer() &&
                              value.get<int64_t>() >= std::numeric_limits<int32_t>::min() &&
                              value.get<int64_t>() <= std::numeric_limits<int32_t>::max();
            if (!fits) {
                return CResult::Fail(name + ": \"Step\" must be a 32-bit integer, not " +
                                     value.dump());
            }
            read.step = value.get<int32_t>();
            continue;
        }
        auto numbered = [&](const std::string& prefix, auto& names) {
            for (size_t i = 0; i < names.size(); ++i) {
                if (key == prefix + std::to_string(i)) {
                    target = &names[i];
                }
            }
        };
        numbered("Float", read.floatNames);
        numbered("Long", read.longNames);
        numbered("Vector", read.vectorNames);
        if (!target) {
            return CResult::Fail(
                name + ": unknown parameter " + Quoted(key) +
                "; the settings object has \"Path\", \"Step\", \"Float0\" ... \"Float9\", "
                "\"Long0\" ... \"Long4\" and \"Vector0\" ... \"Vector9\"");
        }
        if (!value.is_string()) {
            return CResult::Fail(name + ": \"" + key + "\" must be a string, not " + value.dump());
        }
        *target = value.get<std::string>();
    }
    if (!hasPath || read.path.empty()) {
        return CResult::Fail(
            name + ": \"Path\" is missing or empty; the nodes need the base path of the cache");
    }
    settings = read;
    return CResult::Ok();
}

std::string CNamedAttribute::Owner() const {
    if (!parameter.empty()) {
        return "\"" + parameter + "\"";
    }
    return slotType == PdcTypeVector ? "the Position port" : "the Id port";
}

std::vector<CNamedAttribute> NamedAttributes(const CSettings& settings) {
    std::vector<CNamedAttribute> attributes = {
        {"id", "", PdcIdSlot, PdcTypeLong, PortId, PortId},
        {"position", "", PdcPositionSlot, PdcTypeVector, PortInPosition, PortPosition}};
    AddNumbered(attributes, settings.floatNames, "Float", PdcFirstFloatSlot, PdcTypeFloat,
                PortFloatBase);
    AddNumbered(attributes, settings.longNames, "Long", PdcFirstLongSlot, PdcTypeLong,
                PortLongBase);
    AddNumbered(attributes, settings.vectorNames, "Vector", PdcFirstVectorSlot, PdcTypeVector,
                PortVectorBase);
    return attributes;
}

std::vector<std::string> SettingsWarnings(const CSettings& settings) {
    std::vector<std::string> warnings;
    std::map<std::string, std::string> owners;  // name -> first parameter or port naming it
    for (const CNamedAttribute& attribute : NamedAttributes(settings)) {
        const auto [first, added] = owners.emplace(attribute.name, attribute.Owner());
        if (added) {
            continue;
        }
        warnings.push_back(settings.file + ": " + attribute.Owner() + " names " +
                           Quoted(attribute.name) + " like " + first->second +
                           ": the cache gets two records of that name, which other programs "
                           "may take for one");
    }
    return warnings;
}

}  // namespace VelpoTools
