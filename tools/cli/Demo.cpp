// velpo demo: the plug-in's main job on a built-in scene. Every frame goes
// through VelpoExport into a PDC file, then through VelpoImport and
// VelpoSetData back out, and every value read is compared with the one that
// was written.
#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

#include "host/runtime/Evaluation.h"
#include "plugin/AttributeKinds.h"
#include "tools/cli/Command.h"
#include "tools/cli/StandardConsole.h"
#include "tools/common/CacheNames.h"
#include "tools/common/Numbers.h"
#include "tools/common/Output.h"
#include "tools/sequence/Progress.h"
#include "tools/session/DemoCheck.h"
#include "tools/session/PluginSession.h"
#include "tools/session/Scene.h"

namespace VelpoTools {

namespace {

using Velpo::CResult;
using VelpoHost::CInput;
using VelpoHost::CValues;

struct CDemoOptions {
    std::string dir = "velpo-demo";
    uint32_t particles = 100000;
    std::string frames = "1-48";
    int32_t step = 1;
    uint32_t threads = 0;
    std::string plugin;
};

// The scene's attributes as the demo writes and reads them: the name in the
// cache, the numbered parameter that names it (none for id and position,
// which the nodes always write) and its values at a frame, one per particle
// or one for all. The settings, the nodes' inputs, the outputs read back and
// the values they are checked against all come from this list.
struct CDemoAttribute {
    const char* name;
    const CAttributeKind* kind;  // with index, the parameter; null for id and position
    int32_t index;
    CInput (*values)(const CSceneParticles& particles);
};

constexpr CDemoAttribute DemoAttributes[] = {
    {"id", nullptr, 0, [](const CSceneParticles& p) { return CInput::PerElement(p.id); }},
    {"position", nullptr, 0,
     [](const CSceneParticles& p) { return CInput::PerElement(p.position); }},
    {"age", &FloatKind, 0, [](const CSceneParticles& p) { return CInput::PerElement(p.age); }},
    {"mass", &FloatKind, 1, [](const CSceneParticles& p) { return CInput::PerElement(p.mass); }},
    {"drag", &FloatKind, 2, [](const CSceneParticles&) { return CInput::Constant(SceneDrag); }},
    {"state", &LongKind, 0, [](const CSceneParticles& p) { return CInput::PerElement(p.state); }},
    {"emitter", &LongKind, 1,
     [](const CSceneParticles&) { return CInput::Constant(SceneEmitter); }},
    {"velocity", &VectorKind, 0,
     [](const CSceneParticles& p) { return CInput::PerElement(p.velocity); }},
    {"colour", &VectorKind, 1,
     [](const CSceneParticles& p) { return CInput::PerElement(p.colour); }},
    {"gravity", &VectorKind, 2,
     [](const CSceneParticles&) { return CInput::Constant(SceneGravity); }},
};

// A constant input does not depend on the particles.
bool SingleValued(const CDemoAttribute& attribute) {
    return !attribute.values(CSceneParticles()).perElement;
}

// A demo attribute with the nodes' ports for it.
struct CDemoPorts {
    const CDemoAttribute* attribute;
    uint32_t input;   // of VelpoExport
    uint32_t output;  // of VelpoSetData
};

// The ports of every attribute the settings name, through the tools' own
// reading of settings (NamedAttributes), so that the demo takes the same
// path as `velpo export` and `velpo import`.
std::vector<CDemoPorts> DemoPorts(const CSettings& settings) {
    std::vector<CDemoPorts> ports;
    for (const CNamedAttribute& named : NamedAttributes(settings)) {
        for (const CDemoAttribute& attribute : DemoAttributes) {
            if (named.name == attribute.name) {
                ports.push_back({&attribute, named.inputPort, named.outputPort});
            }
        }
    }
    return ports;
}

CSettings DemoSettings(const std::filesystem::path& dir, int32_t step) {
    CSettings settings;
    // Named as a file of the sequence, so that dots in the folder's name
    // are not taken for the frame number and extension.
    settings.path = (dir / "particles.1.pdc").string();
    settings.step = step;
    for (const CDemoAttribute& attribute : DemoAttributes) {
        if (attribute.kind) {
            settings.Names(*attribute.kind)[static_cast<size_t>(attribute.index)] = attribute.name;
        }
    }
    return settings;
}

// The values `input` gives `count` particles: a constant once for each.
CValues PerParticle(const CInput& input, size_t count) {
    if (input.perElement) {
        return input.values;
    }
    return std::visit(
        [count](const auto& one) -> CValues {
            return std::decay_t<decltype(one)>(count, one.front());
        },
        input.values);
}

// "a, b, c", or with `last` "a, b and c".
std::string Listed(const std::vector<std::string>& names, const char* last = ", ") {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        text += i == 0 ? "" : i + 1 == names.size() ? last : ", ";
        text += names[i];
    }
    return text;
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

std::string Megabytes(uint64_t bytes) {
    return fmt::format("{:.1f} MB", static_cast<double>(bytes) / 1e6);
}

std::string Rate(uint64_t bytes, uint64_t particles, double seconds) {
    return fmt::format("{:.2f} s, {:.0f} MB/s, {:.2f} M particles/s", seconds,
                       seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0.0,
                       seconds > 0 ? static_cast<double>(particles) / 1e6 / seconds : 0.0);
}

// Runs the scene from frame 1 and hands each frame from first to last to
// `visit`, both passes of the demo seeing the same particles. Stops at the
// first failure of `visit` and returns it.
template <class Visit>
CResult ForEachSceneFrame(uint32_t particles, int32_t first, int32_t last, Visit visit) {
    CScene scene(particles);
    for (int32_t frame = 1; frame <= last; ++frame) {
        scene.Advance();
        if (frame < first) {
            continue;
        }
        if (CResult visited = visit(frame, scene.Particles()); !visited) {
            return visited;
        }
    }
    return CResult::Ok();
}

// One run of the demo: every frame written through the nodes, then every
// frame read back and checked, with what it took.
class CDemo {
public:
    CDemo(const CDemoOptions& options, int32_t first, int32_t last, CPluginSession& session)
        : options_(options),
          first_(first),
          last_(last),
          session_(session),
          settings_(DemoSettings(options.dir, options.step)),
          ports_(DemoPorts(settings_)),
          progress_("demo", 2 * Frames(), CProgress::ShownOnTerminal(false), StandardConsole()),
          check_([](const std::string& text) { PrintError("demo", text); }) {
        // What loading the plug-in logged.
        Logged();
        session_.UseSettings(settings_);
    }

    // Fails when an evaluation could not run at all; what the nodes report
    // goes to the summary.
    CResult ExportFrames() {
        return ForEachSceneFrame(options_.particles, first_, last_,
                                 [this](int32_t frame, const CSceneParticles& particles) {
                                     return ExportFrame(frame, particles);
                                 });
    }

    CResult ReadBackFrames() {
        return ForEachSceneFrame(options_.particles, first_, last_,
                                 [this](int32_t frame, const CSceneParticles& particles) {
                                     return ReadBackFrame(frame, particles);
                                 });
    }

    void Finish() { progress_.Finish(); }

    bool Exact() const { return check_.Exact() && !nodeErrors_; }

    std::string Summary() const {
        std::vector<std::string> names;
        std::vector<std::string> singles;
        for (const CDemoAttribute& attribute : DemoAttributes) {
            names.push_back(attribute.name);
            if (SingleValued(attribute)) {
                singles.push_back(attribute.name);
            }
        }
        std::string out = fmt::format(
            "velpo demo: {} frames ({}-{}), {} particles in all, {} at most per frame\n", Frames(),
            first_, last_, particles_, peak_);
        out += fmt::format("  attributes: {} per file ({}); {} single-valued\n", names.size(),
                           Listed(names), Listed(singles, " and "));
        out += fmt::format("  written:    {} in {} files, {} ... {}\n", Megabytes(bytes_), Frames(),
                           CacheFile(settings_, first_), CacheFile(settings_, last_));
        out += "  export:     " + Rate(bytes_, particles_, Seconds(exportTime_)) + "\n";
        out += "  import:     " + Rate(bytes_, particles_, Seconds(importTime_)) + "\n";
        out += "  " + check_.Summary(nodeErrors_) + "\n";
        return out;
    }

private:
    int32_t Frames() const { return last_ - first_ + 1; }

    // Shows what the nodes logged; an error among it makes the run inexact.
    void Logged() { nodeErrors_ = !session_.ShowLog(StandardConsole()) || nodeErrors_; }

    CResult ExportFrame(int32_t frame, const CSceneParticles& particles) {
        std::vector<std::pair<uint32_t, CInput>> inputs;
        for (const CDemoPorts& port : ports_) {
            inputs.emplace_back(port.input, port.attribute->values(particles));
        }
        const auto start = std::chrono::steady_clock::now();
        const CResult ran = session_.Export(frame, static_cast<uint32_t>(particles.Count()),
                                            std::move(inputs), options_.threads);
        exportTime_ += std::chrono::steady_clock::now() - start;
        if (!ran) {
            return ran;
        }
        Logged();
        particles_ += particles.Count();
        peak_ = std::max(peak_, static_cast<uint32_t>(particles.Count()));
        // A frame the node could not write has no file to count.
        std::error_code missing;
        const uintmax_t size = std::filesystem::file_size(CacheFile(settings_, frame), missing);
        bytes_ += missing ? 0 : size;
        progress_.FrameDone();
        return CResult::Ok();
    }

    CResult ReadBackFrame(int32_t frame, const CSceneParticles& particles) {
        std::vector<uint32_t> outputs;
        for (const CDemoPorts& port : ports_) {
            outputs.push_back(port.output);
        }
        CImportedFrame imported;
        const auto start = std::chrono::steady_clock::now();
        const CResult ran = session_.Import(frame, outputs, options_.threads, imported);
        importTime_ += std::chrono::steady_clock::now() - start;
        if (!ran) {
            return ran;
        }
        Logged();
        check_.CheckCount(frame, imported.count, particles.Count());
        for (const CDemoPorts& port : ports_) {
            const CValues written =
                PerParticle(port.attribute->values(particles), particles.Count());
            std::visit(
                [&](const auto& expected) {
                    check_.Check(frame, port.attribute->name, imported, port.output, expected);
                },
                written);
        }
        progress_.FrameDone();
        return CResult::Ok();
    }

    const CDemoOptions& options_;
    const int32_t first_;
    const int32_t last_;
    CPluginSession& session_;
    const CSettings settings_;
    const std::vector<CDemoPorts> ports_;
    CProgress progress_;
    CRoundTripCheck check_;
    uint64_t particles_ = 0;
    uint32_t peak_ = 0;
    uint64_t bytes_ = 0;
    bool nodeErrors_ = false;
    std::chrono::steady_clock::duration exportTime_{};
    std::chrono::steady_clock::duration importTime_{};
};

CResult CheckDemoFrames(const std::string& text, int32_t& first, int32_t& last) {
    if (const CResult parsed = ParseFrames(text, first, last); !parsed) {
        return CResult::Fail("--frames: " + parsed.Message());
    }
    if (first < 1) {
        return CResult::Fail("--frames: the scene starts at frame 1");
    }
    return CResult::Ok();
}

CResult MakeFolder(const std::string& dir) {
    std::error_code code;
    std::filesystem::create_directories(dir, code);
    if (code || !std::filesystem::is_directory(dir)) {
        return CResult::Fail(dir + ": cannot create the folder" +
                             (code ? ": " + code.message() : std::string()));
    }
    return CResult::Ok();
}

int RunDemo(const CDemoOptions& options) {
    int32_t first = 0;
    int32_t last = 0;
    if (const CResult usage = CheckDemoFrames(options.frames, first, last); !usage) {
        return UsageError("demo", usage);
    }
    std::unique_ptr<CPluginSession> session;
    CResult ran = MakeFolder(options.dir);
    if (ran) {
        ran = CPluginSession::Open(options.plugin, session);
    }
    if (!ran) {
        PrintError("demo", ran.Message());
        return ExitFailed;
    }
    CDemo demo(options, first, last, *session);
    ran = demo.ExportFrames();
    if (ran) {
        ran = demo.ReadBackFrames();
    }
    demo.Finish();
    if (!ran) {
        PrintError("demo", ran.Message());
        return ExitFailed;
    }
    StandardOutput().Write(demo.Summary());
    return demo.Exact() ? ExitOk : ExitFailed;
}

}  // namespace

void AddDemoCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<CDemoOptions>();
    CLI::App* command = app.add_subcommand(
        "demo",
        "Simulate a particle scene, write every frame through VelpoExport, read it back "
        "through VelpoImport and VelpoSetData, and compare every value.");
    command->add_option("--dir", options->dir, "Folder for the cache files")->capture_default_str();
    command->add_option("--particles", options->particles, "Most particles alive at once")
        ->capture_default_str()
        ->check(CLI::Range(1u, 1u << 24));
    command->add_option("--frames", options->frames, "Frames A-B to write and read back")
        ->capture_default_str();
    command->add_option("--step", options->step, "\"Step\": the file number is frame * step")
        ->capture_default_str();
    command
        ->add_option("--threads", options->threads,
                     "Threads that evaluate the nodes (0: one per core)")
        ->capture_default_str();
    command->add_option("--plugin", options->plugin,
                        "Plug-in library to load (default: the one next to velpo)");
    command->footer(
        "Exit status 0 only when every value read back equals the value written.\n"
        "Example:\n"
        "  velpo demo\n"
        "  velpo demo --dir /tmp/run --particles 5000 --frames 1-10 --step 250");
    command->callback([options, &exitCode] { exitCode = RunDemo(*options); });
}

}  // namespace VelpoTools
