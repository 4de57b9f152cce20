// The host's side of a node test or benchmark: the real plug-in loaded
// through the host runtime, settings objects for the nodes' Scop input, and
// the host log.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/core/Log.h"
#include "host/runtime/Plugin.h"

namespace VelpoTestSupport {

// libVelpo, loaded once per process, what it logged while loading cleared.
// Null, after printing why to stderr, when it does not load; evaluations of
// a node instance without a plug-in then fail, naming the node.
std::shared_ptr<VelpoHost::CPlugin> Plugin();

// Everything logged since the last call, with echoing to stderr turned off.
std::vector<VelpoHost::CLogEntry> TakeLog();

// A settings object with "Path", "Step" and the given other parameters
// (attribute names by parameter name, e.g. {"Float3", "temperature"}),
// under a new ID or under `id`; returns the ID.
uint32_t MakeSettings(const std::string& path, int32_t step,
                      const std::map<std::string, std::string>& names = {},
                      std::optional<uint32_t> id = std::nullopt);

// Every numbered parameter, "Float0".."Float9", "Long0".."Long4",
// "Vector0".."Vector9", mapped to a distinct attribute name ("float0", ...).
std::map<std::string, std::string> AllNames();

}  // namespace VelpoTestSupport
