#include "tools/common/Settings.h"

#include <cstdio>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "pdc/Pdc.h"
#include "tools/common/InputFile.h"
#include "tools/common/Text.h"

namespace VelpoTools {

namespace {

using Velpo::CResult;

// nlohmann's messages begin with "[json.exception.parse_error.101] ".
std::string PlainMessage(const std::string& what) {
    const size_t close = what.find("] ");
    return close == std::string::npos ? what : what.substr(close + 2);
}

// The numbered parameter that `key` names ("Float3"), or null.
std::string* NumberedParameter(CSettings& settings, const std::string& key) {
    for (const CAttributeKind& kind : AttributeKinds) {
        const std::span<std::string> names = settings.Names(kind);
        for (int32_t i = 0; i < kind.count; ++i) {
            if (key == kind.ParameterName(i)) {
                return &names[static_cast<size_t>(i)];
            }
        }
    }
    return nullptr;
}

// "\"Path\", \"Step\", \"Float0\" ... \"Float9\", ... and \"Vector0\" ... \"Vector9\"".
std::string KnownParameters() {
    std::string known = "\"Path\", \"Step\"";
    for (const CAttributeKind& kind : AttributeKinds) {
        known += &kind == &AttributeKinds[std::size(AttributeKinds) - 1] ? " and " : ", ";
        // Appended piece by piece: g++ 12 warns falsely on "..." + std::string&&.
        known += Quoted(kind.ParameterName(0));
        known += " ... ";
        known += Quoted(kind.ParameterName(kind.count - 1));
    }
    return known;
}

}  // namespace

CResult ReadSettings(const std::filesystem::path& file, CSettings& settings) {
    const std::string name = file.string();
    CFilePointer in;
    if (const CResult opened = OpenForReading(file, in); !opened) {
        return CResult::Fail(name + ": " + opened.Message());
    }
    std::string text;
    char buffer[4096];
    for (size_t got = 0; (got = std::fread(buffer, 1, sizeof buffer, in.get())) > 0;) {
        text.append(buffer, got);
    }
    if (std::ferror(in.get())) {
        return CResult::Fail(name + ": cannot be read whole");
    }
    return ParseSettings(name, text, settings);
}

namespace {

// The text as one JSON object with no key given twice.
CResult ParseSettingsObject(const std::string& name, const std::string& text,
                            nlohmann::json& json) {
    // JSON readers keep the last of two equal keys; a parameter given twice
    // is a mistake either way, and which one was meant is not ours to guess.
    std::string repeated;
    std::set<std::string> keys;
    const auto noteKeys = [&](int depth, nlohmann::json::parse_event_t event,
                              nlohmann::json& parsed) {
        if (event == nlohmann::json::parse_event_t::key && depth == 1 && repeated.empty() &&
            !keys.insert(parsed.get<std::string>()).second) {
            repeated = parsed.get<std::string>();
        }
        return true;
    };
    try {
        json = nlohmann::json::parse(text, noteKeys);
    } catch (const nlohmann::json::parse_error& parseError) {
        return CResult::Fail(name + ": " + PlainMessage(parseError.what()));
    }
    if (!repeated.empty()) {
        return CResult::Fail(name + ": " + Quoted(repeated) +
                             " is given twice; give each parameter once");
    }
    if (!json.is_object()) {
        return CResult::Fail(name +
                             ": expected a JSON object of settings parameters, such as {\"Path\": "
                             "\"cache/particles\", \"Step\": 1, \"Float0\": \"age\"}");
    }
    return CResult::Ok();
}

// One parameter of the object into `read`.
CResult SetParameter(const std::string& name, const std::string& key, const nlohmann::json& value,
                     CSettings& read) {
    if (key == "Step") {
        const bool fits = value.is_number_integer() &&
                          value.get<int64_t>() >= std::numeric_limits<int32_t>::min() &&
                          value.get<int64_t>() <= std::numeric_limits<int32_t>::max();
        if (!fits) {
            return CResult::Fail(name + ": \"Step\" must be a 32-bit integer, not " + value.dump());
        }
        read.step = value.get<int32_t>();
        return CResult::Ok();
    }
    std::string* target = key == "Path" ? &read.path : NumberedParameter(read, key);
    if (!target) {
        return CResult::Fail(name + ": unknown parameter " + Quoted(key) +
                             "; the settings object has " + KnownParameters());
    }
    if (!value.is_string()) {
        return CResult::Fail(name + ": \"" + key + "\" must be a string, not " + value.dump());
    }
    *target = value.get<std::string>();
    return CResult::Ok();
}

}  // namespace

CResult ParseSettings(const std::string& name, const std::string& text, CSettings& settings) {
    nlohmann::json json;
    if (CResult parsed = ParseSettingsObject(name, text, json); !parsed) {
        return parsed;
    }
    CSettings read;
    read.file = name;
    for (auto item = json.begin(); item != json.end(); ++item) {
        if (CResult set = SetParameter(name, item.key(), item.value(), read); !set) {
            return set;
        }
    }
    // An empty "Path" and a missing one are the same mistake.
    if (read.path.empty()) {
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

std::span<std::string> CSettings::Names(const CAttributeKind& kind) {
    switch (kind.slotType) {
        case PdcTypeFloat:
            return floatNames;
        case PdcTypeLong:
            return longNames;
        default:
            return vectorNames;
    }
}

std::span<const std::string> CSettings::Names(const CAttributeKind& kind) const {
    return const_cast<CSettings&>(*this).Names(kind);
}

std::vector<CNamedAttribute> NamedAttributes(const CSettings& settings) {
    std::vector<CNamedAttribute> attributes = {
        {"id", "", PdcIdSlot, PdcTypeLong, PortId, PortId},
        {"position", "", PdcPositionSlot, PdcTypeVector, PortInPosition, PortPosition}};
    for (const CAttributeKind& kind : AttributeKinds) {
        const std::span<const std::string> names = settings.Names(kind);
        for (int32_t i = 0; i < kind.count; ++i) {
            const std::string& name = names[static_cast<size_t>(i)];
            if (!name.empty()) {
                attributes.push_back({name, kind.ParameterName(i), kind.Slot(i), kind.slotType,
                                      kind.Port(i), kind.Port(i)});
            }
        }
    }
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
