// velpo nodes: the loaded plug-in's identity and its node definitions, exactly
// as it registered them.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "host/core/Definitions.h"
#include "host/sdk/Enums.h"
#include "tools/Command.h"
#include "tools/PluginSession.h"

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

void PrintText(const VelpoHost::CPluginDefinition& plugin, const std::string& path) {
    std::printf("%s %d.%d by %s <%s>, %s\n  loaded from %s\n", plugin.name.c_str(), plugin.major,
                plugin.minor, plugin.author.c_str(), plugin.email.c_str(), plugin.url.c_str(),
                path.c_str());
    for (const VelpoHost::CNodeDefinition& node : plugin.nodes) {
        std::printf("\n%s (category \"%s\")\n", node.name.c_str(), node.category.c_str());
        std::printf("  %-6s %5s %5s  %-16s %4s %4s %4s  %-22s %s\n", "kind", "id", "group", "name",
                    "type", "str", "ctx", "default", "constraints");
        for (const VelpoHost::CPortAddition& a : node.additions) {
            if (a.kind == VelpoHost::CAdditionKind::Group) {
                std::printf("  %-6s %5s %5u\n", "group", "", a.group);
                continue;
            }
            const std::string constraints = ConstraintText(a.typeConstraint) + " / " +
                                            ConstraintText(a.structureConstraint) + " / " +
                                            ConstraintText(a.contextConstraint);
            const std::string defaultText =
                a.kind == VelpoHost::CAdditionKind::Input ? DefaultText(a.defaultValue) : "-";
            std::printf("  %-6s %5u %5u  %-16s %4d %4d %4d  %-22s %s\n", KindName(a.kind), a.id,
                        a.group, a.name.c_str(), a.dataType, a.structure, a.context,
                        defaultText.c_str(), constraints.c_str());
        }
    }
}

int RunNodes(const CNodesOptions& options) {
    std::string error;
    std::unique_ptr<CPluginSession> session = CPluginSession::Open(options.plugin, error);
    if (!session) {
        PrintError("nodes", error);
        return ExitFailed;
    }
    session->ShowLog();
    if (options.json) {
        std::printf("%s\n",
                    DefinitionJson(session->Definition())
                        .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                        .c_str());
    } else {
        PrintText(session->Definition(), session->PluginPath());
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
