// velpo nodes: the loaded plug-in's identity and its node definitions, exactly
// as it registered them.
#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <string>

#include "host/core/Definitions.h"
#include "host/sdk/Enums.h"
#include "tools/cli/Command.h"
#include "tools/cli/StandardConsole.h"
#include "tools/common/Output.h"
#include "tools/session/PluginSession.h"

namespace VelpoTools {

namespace {

struct CNodesOptions {
    std::string plugin;
    bool json = false;
};

const char* KindName(VelpoHost::CAdditionKind kind) {
    switch (kind) {
        case VelpoHost::CAdditionKind::Group:
            return "group";
        case VelpoHost::CAdditionKind::Input:
            return "input";
        case VelpoHost::CAdditionKind::Output:
            return "output";
    }
    return "?";
}

nlohmann::ordered_json DefaultJson(const XSI::CValue& value) {
    switch (value.GetType()) {
        case XSI::CValue::Int:
            return {{"int", value.GetAsInt()}};
        case XSI::CValue::Double:
            return {{"double", value.GetAsDouble()}};
        case XSI::CValue::Vector3f: {
            const XSI::MATH::CVector3f v = value.GetAsVector3f();
            return {{"vector", {v.GetX(), v.GetY(), v.GetZ()}}};
        }
        case XSI::CValue::String:
            return {{"string", value.GetAsText().ToUtf8()}};
        default:
            return nullptr;
    }
}

std::string DefaultText(const XSI::CValue& value) {
    const nlohmann::ordered_json json = DefaultJson(value);
    if (json.is_null()) {
        return "-";
    }
    return json.begin().key() + " " + json.begin().value().dump();
}

std::string ConstraintText(uint32_t id) {
    return id == XSI::siICENodeNoConstraint ? "none" : std::to_string(id);
}

nlohmann::ordered_json AdditionJson(const VelpoHost::CPortAddition& a) {
    nlohmann::ordered_json out;
    out["kind"] = KindName(a.kind);
    out["id"] = a.id;
    out["group"] = a.group;
    const bool port = a.kind != VelpoHost::CAdditionKind::Group;
    out["name"] = port ? nlohmann::ordered_json(a.name) : nullptr;
    out["dataType"] = port ? nlohmann::ordered_json(a.dataType) : nullptr;
    out["structure"] = port ? nlohmann::ordered_json(a.structure) : nullptr;
    out["context"] = port ? nlohmann::ordered_json(a.context) : nullptr;
    out["default"] =
        a.kind == VelpoHost::CAdditionKind::Input ? DefaultJson(a.defaultValue) : nullptr;
    out["constraints"] =
        port
            ? nlohmann::ordered_json({a.typeConstraint, a.structureConstraint, a.contextConstraint})
            : nullptr;
    return out;
}

nlohmann::ordered_json DefinitionJson(const VelpoHost::CPluginDefinition& plugin) {
    nlohmann::ordered_json out;
    out["plugin"] = {{"name", plugin.name},
                     {"author", plugin.author},
                     {"email", plugin.email},
                     {"url", plugin.url},
                     {"version", {plugin.major, plugin.minor}}};
    out["nodes"] = nlohmann::ordered_json::array();
    for (const VelpoHost::CNodeDefinition& node : plugin.nodes) {
        nlohmann::ordered_json additions = nlohmann::ordered_json::array();
        for (const VelpoHost::CPortAddition& addition : node.additions) {
            additions.push_back(AdditionJson(addition));
        }
        out["nodes"].push_back(
            {{"name", node.name}, {"category", node.category}, {"additions", additions}});
    }
    return out;
}

std::string Column(std::string text, size_t width, bool right = false) {
    if (text.size() < width) {
        text.insert(right ? text.begin() : text.end(), width - text.size(), ' ');
    }
    return text;
}

std::string DefinitionText(const VelpoHost::CPluginDefinition& plugin, const std::string& path) {
    std::string out =
        fmt::format("{} {}.{} by {} <{}>, {}\n  loaded from {}\n", plugin.name, plugin.major,
                    plugin.minor, plugin.author, plugin.email, plugin.url, path);
    for (const VelpoHost::CNodeDefinition& node : plugin.nodes) {
        out += "\n" + node.name + " (category \"" + node.category + "\")\n";
        out += "  " + Column("kind", 6) + " " + Column("id", 5, true) + " " +
               Column("group", 5, true) + "  " + Column("name", 16) + " " +
               Column("type", 4, true) + " " + Column("str", 4, true) + " " +
               Column("ctx", 4, true) + "  " + Column("default", 22) + " constraints\n";
        for (const VelpoHost::CPortAddition& a : node.additions) {
            if (a.kind == VelpoHost::CAdditionKind::Group) {
                out += "  " + Column("group", 6) + " " + Column("", 5) + " " +
                       Column(std::to_string(a.group), 5, true) + "\n";
                continue;
            }
            const std::string constraints = ConstraintText(a.typeConstraint) + " / " +
                                            ConstraintText(a.structureConstraint) + " / " +
                                            ConstraintText(a.contextConstraint);
            const std::string defaultText =
                a.kind == VelpoHost::CAdditionKind::Input ? DefaultText(a.defaultValue) : "-";
            out += "  " + Column(KindName(a.kind), 6) + " " +
                   Column(std::to_string(a.id), 5, true) + " " +
                   Column(std::to_string(a.group), 5, true) + "  " + Column(a.name, 16) + " " +
                   Column(std::to_string(a.dataType), 4, true) + " " +
                   Column(std::to_string(a.structure), 4, true) + " " +
                   Column(std::to_string(a.context), 4, true) + "  " + Column(defaultText, 22) +
                   " " + constraints + "\n";
        }
    }
    return out;
}

int RunNodes(const CNodesOptions& options) {
    std::unique_ptr<CPluginSession> session;
    if (const Velpo::CResult opened = CPluginSession::Open(options.plugin, session); !opened) {
        PrintError("nodes", opened.Message());
        return ExitFailed;
    }
    if (const Velpo::CResult loaded = session->ShowLog(StandardConsole()); !loaded) {
        PrintError("nodes", session->PluginPath() + ": " + loaded.Message());
        return ExitFailed;
    }
    COutput& out = StandardOutput();
    if (options.json) {
        out.Write(DefinitionJson(session->Definition())
                      .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) +
                  "\n");
    } else {
        out.Write(DefinitionText(session->Definition(), session->PluginPath()));
    }
    return ExitOk;
}

}  // namespace

void AddNodesCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CNodesOptions>();
    CLI::App* command = app.add_subcommand(
        "nodes",
        "Load the plug-in and show its identity and every node as registered, port by "
        "port in order of addition.");
    command->add_option("--plugin", options->plugin,
                        "Plug-in library to load (default: the one next to velpo)");
    command->add_flag("--json", options->json, "Print the definitions as JSON");
    command->footer(
        "Example:\n"
        "  velpo nodes\n"
        "  velpo nodes --json --plugin build/release/bin/libVelpo.so");
    command->callback([options, &exitCode] { exitCode = RunNodes(*options); });
}

}  // namespace VelpoTools
