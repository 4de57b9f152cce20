// velpo demo: the plug-in's main job on a built-in scene. Every frame goes
// through VelpoExport into a PDC file, then through VelpoImport and
// VelpoSetData back out, and every value read is compared with the one that
// was written.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "host/runtime/Evaluation.h"
#include "plugin/Ports.h"
#include "tools/CacheNames.h"
#include "tools/Command.h"
#include "tools/DemoCheck.h"
#include "tools/Numbers.h"
#include "tools/Output.h"
#include "tools/Platform.h"
#include "tools/PluginSession.h"
#include "tools/Scene.h"

namespace VelpoTools {

namespace {

using VelpoHost::CInput;
using VelpoHost::CResult;
using XSI::MATH::CVector3f;

struct CDemoOptions {
    std::string dir = "velpo-demo";
    uint32_t particles = 100000;
    std::string frames = "1-48";
    int32_t step = 1;
    uint32_t threads = 0;
    std::string plugin;
};

// Where each scene attribute goes: its settings parameter and port.
struct CDemoAttribute {
    const char* name;
    const char* parameter;
    uint32_t port;
};

constexpr CDemoAttribute DemoAttributes[] = {
    {"age", "Float0", PortFloatBase + 0},      {"mass", "Float1", PortFloatBase + 1},
    {"drag", "Float2", PortFloatBase + 2},     {"state", "Long0", PortLongBase + 0},
    {"emitter", "Long1", PortLongBase + 1},    {"velocity", "Vector0", PortVectorBase + 0},
    {"colour", "Vector1", PortVectorBase + 1}, {"gravity", "Vector2", PortVectorBase + 2},
};
// "id" and "position" are always written, next to the named ones.
constexpr size_t DemoRecords = 2 + std::size(DemoAttributes);

CSettings DemoSettings(const std::filesystem::path& dir, int32_t step) {
    CSettings settings;
    // Named as a file of the sequence, so that dots in the folder's name
    // are not taken for the frame number and extension.
    settings.path = (dir / "particles.1.pdc").string();
    settings.step = step;
    settings.floatNames = {"age", "mass", "drag"};
    settings.longNames = {"state", "emitter"};
    settings.vectorNames = {"velocity", "colour", "gravity"};
    return settings;
}

std::vector<std::pair<uint32_t, CInput>> DemoInputs(const CSceneParticles& p) {
    return {
        {PortId, CInput::PerElement(p.id)},
        {PortInPosition, CInput::PerElement(p.position)},
        {PortFloatBase + 0, CInput::PerElement(p.age)},
        {PortFloatBase + 1, CInput::PerElement(p.mass)},
        {PortFloatBase + 2, CInput::Constant(SceneDrag)},
        {PortLongBase + 0, CInput::PerElement(p.state)},
        {PortLongBase + 1, CInput::Constant(SceneEmitter)},
        {PortVectorBase + 0, CInput::PerElement(p.velocity)},
        {PortVectorBase + 1, CInput::PerElement(p.colour)},
        {PortVectorBase + 2, CInput::Constant(SceneGravity)},
    };
}

class CProgress {
public:
    CProgress(int32_t total) : total_(total), shown_(IsTerminal(stderr)) {}
    void Show(const char* phase, int32_t done) {
        if (!shown_) {
            return;
        }
        constexpr int Width = 40;
        const int filled = total_ ? static_cast<int>(int64_t{Width} * done / total_) : Width;
        std::fprintf(stderr, "\r%-6s [%s%s] %d/%d frames", phase, std::string(filled, '#').c_str(),
                     std::string(Width - filled, '.').c_str(), done, total_);
        std::fflush(stderr);
    }
    void Done() {
        if (shown_) {
            std::fprintf(stderr, "\r%-80s\r", "");
        }
    }

private:
    int32_t total_;
    bool shown_;
};

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

std::string Megabytes(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof(text), "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

std::string Rate(uint64_t bytes, uint64_t particles, double seconds) {
    char text[96];
    std::snprintf(text, sizeof(text), "%.2f s, %.0f MB/s, %.2f M particles/s", seconds,
                  seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0.0,
                  seconds > 0 ? static_cast<double>(particles) / 1e6 / seconds : 0.0);
    return text;
}

// Runs the scene from frame 1 and hands each frame from first to last to
// `visit`, both passes of the demo seeing the same particles. False as soon
// as `visit` returns false.
struct CDemoTotals {
    uint64_t particles = 0;
    uint32_t peak = 0;
    uint64_t bytes = 0;
    bool nodeErrors = false;
    std::chrono::steady_clock::duration exportTime{};
    std::chrono::steady_clock::duration importTime{};
};

// Every attribute of one frame read back against the scene that wrote it.
void CheckFrame(CRoundTripCheck& check, int32_t frame, const CSceneParticles& p,
                const CImportedFrame& imported) {
    const size_t n = p.Count();
    check.CheckCount(frame, imported.count, n);
    check.Check(frame, "id", imported, PortId, p.id);
    check.Check(frame, "position", imported, PortPosition, p.position);
    check.Check(frame, "age", imported, PortFloatBase + 0, p.age);
    check.Check(frame, "mass", imported, PortFloatBase + 1, p.mass);
    check.Check(frame, "drag", imported, PortFloatBase + 2, std::vector<float>(n, SceneDrag));
    check.Check(frame, "state", imported, PortLongBase + 0, p.state);
    check.Check(frame, "emitter", imported, PortLongBase + 1,
                std::vector<int32_t>(n, SceneEmitter));
    check.Check(frame, "velocity", imported, PortVectorBase + 0, p.velocity);
    check.Check(frame, "colour", imported, PortVectorBase + 1, p.colour);
    check.Check(frame, "gravity", imported, PortVectorBase + 2,
                std::vector<CVector3f>(n, SceneGravity));
}

template <class Visit>
bool ForEachSceneFrame(uint32_t particles, int32_t first, int32_t last, Visit visit) {
    CScene scene(particles);
    for (int32_t frame = 1; frame <= last; ++frame) {
        scene.Advance();
        if (frame >= first && !visit(frame, scene.Particles())) {
            return false;
        }
    }
    return true;
}

std::string Summary(const CSettings& settings, int32_t first, int32_t last,
                    const CDemoTotals& totals, const CRoundTripCheck& check) {
    const int32_t frames = last - first + 1;
    std::string out = "velpo demo: " + std::to_string(frames) + " frames (" +
                      std::to_string(first) + "-" + std::to_string(last) + "), " +
                      std::to_string(totals.particles) + " particles in all, " +
                      std::to_string(totals.peak) + " at most per frame\n";
    out += "  attributes: " + std::to_string(DemoRecords) + " per file (id, position";
    for (const CDemoAttribute& attribute : DemoAttributes) {
        out += std::string(", ") + attribute.name;
    }
    out += "); drag, emitter and gravity single-valued\n";
    out += "  written:    " + Megabytes(totals.bytes) + " in " + std::to_string(frames) +
           " files, " + CacheFile(settings, first) + " ... " + CacheFile(settings, last) + "\n";
    out +=
        "  export:     " + Rate(totals.bytes, totals.particles, Seconds(totals.exportTime)) + "\n";
    out +=
        "  import:     " + Rate(totals.bytes, totals.particles, Seconds(totals.importTime)) + "\n";
    out += "  " + check.Summary(totals.nodeErrors) + "\n";
    return out;
}

int RunDemo(const CDemoOptions& options) {
    int32_t first = 0;
    int32_t last = 0;
    if (const CResult parsed = ParseFrames(options.frames, first, last); !parsed) {
        return UsageError("demo", CResult::Fail("--frames: " + parsed.Message()));
    }
    if (first < 1) {
        return UsageError("demo", CResult::Fail("--frames: the scene starts at frame 1"));
    }
    const std::filesystem::path dir = options.dir;
    std::error_code code;
    std::filesystem::create_directories(dir, code);
    if (code || !std::filesystem::is_directory(dir)) {
        PrintError("demo", options.dir + ": cannot create the folder" +
                               (code ? ": " + code.message() : std::string()));
        return ExitFailed;
    }
    std::unique_ptr<CPluginSession> session;
    if (const CResult opened = CPluginSession::Open(options.plugin, session); !opened) {
        PrintError("demo", opened.Message());
        return ExitFailed;
    }
    CDemoTotals totals;
    totals.nodeErrors = !session->ShowLog();
    const CSettings settings = DemoSettings(dir, options.step);
    session->UseSettings(settings);

    const int32_t frames = last - first + 1;
    CProgress progress(2 * frames);
    CResult failure = CResult::Ok();
    const bool exported = ForEachSceneFrame(
        options.particles, first, last, [&](int32_t frame, const CSceneParticles& p) {
            const auto start = std::chrono::steady_clock::now();
            failure = session->Export(frame, static_cast<uint32_t>(p.Count()), DemoInputs(p),
                                      options.threads);
            totals.exportTime += std::chrono::steady_clock::now() - start;
            if (!failure) {
                return false;
            }
            totals.nodeErrors = !session->ShowLog() || totals.nodeErrors;
            totals.particles += p.Count();
            totals.peak = std::max(totals.peak, static_cast<uint32_t>(p.Count()));
            // A frame the node could not write has no file to count.
            const uintmax_t size = std::filesystem::file_size(CacheFile(settings, frame), code);
            totals.bytes += code ? 0 : size;
            progress.Show("export", frame - first + 1);
            return true;
        });
    if (!exported) {
        progress.Done();
        PrintError("demo", failure.Message());
        return ExitFailed;
    }

    std::vector<uint32_t> ports = {PortId, PortPosition};
    for (const CDemoAttribute& attribute : DemoAttributes) {
        ports.push_back(attribute.port);
    }
    CRoundTripCheck check([](const std::string& text) { PrintError("demo", text); });
    const bool readBack = ForEachSceneFrame(
        options.particles, first, last, [&](int32_t frame, const CSceneParticles& p) {
            CImportedFrame imported;
            const auto start = std::chrono::steady_clock::now();
            failure = session->Import(frame, ports, options.threads, imported);
            totals.importTime += std::chrono::steady_clock::now() - start;
            if (!failure) {
                return false;
            }
            totals.nodeErrors = !session->ShowLog() || totals.nodeErrors;
            CheckFrame(check, frame, p, imported);
            progress.Show("import", frames + frame - first + 1);
            return true;
        });
    progress.Done();
    if (!readBack) {
        PrintError("demo", failure.Message());
        return ExitFailed;
    }
    StandardOutput().Write(Summary(settings, first, last, totals, check));
    return check.Exact() && !totals.nodeErrors ? ExitOk : ExitFailed;
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
