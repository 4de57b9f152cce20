// velpo demo: the plug-in's main job on a built-in scene. Every frame goes
// through VelpoExport into a PDC file, then through VelpoImport and
// VelpoSetData back out, and every value read is compared with the one that
// was written.
#include <CLI/CLI.hpp>
#include <bit>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "host/runtime/Evaluation.h"
#include "plugin/Ports.h"
#include "tools/Command.h"
#include "tools/FrameJob.h"
#include "tools/Numbers.h"
#include "tools/Platform.h"
#include "tools/PluginSession.h"
#include "tools/Scene.h"

namespace VelpoTools {

namespace {

using VelpoHost::CInput;
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

bool Same(float a, float b) {
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}
bool Same(int32_t a, int32_t b) {
    return a == b;
}
bool Same(const CVector3f& a, const CVector3f& b) {
    return Same(a.GetX(), b.GetX()) && Same(a.GetY(), b.GetY()) && Same(a.GetZ(), b.GetZ());
}
std::string Text(float v) {
    return FormatFloat(v);
}
std::string Text(int32_t v) {
    return std::to_string(v);
}
std::string Text(const CVector3f& v) {
    return "(" + FormatFloat(v.GetX()) + ", " + FormatFloat(v.GetY()) + ", " +
           FormatFloat(v.GetZ()) + ")";
}

// Compares what was read with what was written, value by value, and
// describes the first few differences.
class CComparison {
public:
    uint64_t mismatches = 0;
    uint64_t compared = 0;

    template <class T>
    void Check(int32_t frame, const char* name, const CImportedFrame& imported, uint32_t port,
               const std::vector<T>& expected) {
        const auto found = imported.outputs.find(port);
        const std::vector<T>* read =
            found == imported.outputs.end() ? nullptr : std::get_if<std::vector<T>>(&found->second);
        if (!read || read->size() != expected.size()) {
            Report(frame, std::string("\"") + name + "\": read " +
                              std::to_string(read ? read->size() : 0) + " values, wrote " +
                              std::to_string(expected.size()));
            mismatches += expected.size();
            return;
        }
        for (size_t i = 0; i < expected.size(); ++i) {
            if (!Same((*read)[i], expected[i])) {
                Report(frame, std::string("\"") + name + "\" of particle " + std::to_string(i) +
                                  ": wrote " + Text(expected[i]) + ", read " + Text((*read)[i]));
                ++mismatches;
            }
        }
        compared += expected.size();
    }

    template <class T>
    void CheckConstant(int32_t frame, const char* name, const CImportedFrame& imported,
                       uint32_t port, const T& value, size_t count) {
        Check(frame, name, imported, port, std::vector<T>(count, value));
    }

private:
    void Report(int32_t frame, const std::string& text) {
        if (reported_++ < 10) {
            std::fprintf(stderr, "velpo demo: frame %d: %s\n", frame, text.c_str());
        }
    }
    uint64_t reported_ = 0;
};

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

int RunDemo(const CDemoOptions& options) {
    int32_t first = 0;
    int32_t last = 0;
    std::string error;
    if (!ParseFrames(options.frames, first, last, error)) {
        throw CLI::ValidationError("--frames", error);
    }
    if (first < 1) {
        throw CLI::ValidationError("--frames", "the scene starts at frame 1");
    }
    const std::filesystem::path dir = options.dir;
    std::error_code code;
    std::filesystem::create_directories(dir, code);
    if (code || !std::filesystem::is_directory(dir)) {
        PrintError("demo", options.dir + ": cannot create the folder" +
                               (code ? ": " + code.message() : std::string()));
        return ExitFailed;
    }
    std::unique_ptr<CPluginSession> session = CPluginSession::Open(options.plugin, error);
    if (!session) {
        PrintError("demo", error);
        return ExitFailed;
    }
    session->ShowLog();
    const CSettings settings = DemoSettings(dir, options.step);
    session->UseSettings(settings);

    const int32_t frames = last - first + 1;
    CProgress progress(2 * frames);
    bool nodeErrors = false;
    uint64_t particles = 0;
    uint32_t peak = 0;
    uint64_t bytes = 0;
    std::chrono::steady_clock::duration exportTime{};
    const bool exported = ForEachSceneFrame(
        options.particles, first, last, [&](int32_t frame, const CSceneParticles& p) {
            const auto start = std::chrono::steady_clock::now();
            const bool ran = session->Export(frame, static_cast<uint32_t>(p.Count()), DemoInputs(p),
                                             options.threads, error);
            exportTime += std::chrono::steady_clock::now() - start;
            if (!ran) {
                return false;
            }
            nodeErrors = session->ShowLog() > 0 || nodeErrors;
            particles += p.Count();
            peak = std::max(peak, static_cast<uint32_t>(p.Count()));
            // A frame the node could not write has no file to count.
            const uintmax_t size = std::filesystem::file_size(CacheFile(settings, frame), code);
            bytes += code ? 0 : size;
            progress.Show("export", frame - first + 1);
            return true;
        });
    if (!exported) {
        progress.Done();
        PrintError("demo", error);
        return ExitFailed;
    }

    std::vector<uint32_t> ports = {PortId, PortPosition};
    for (const CDemoAttribute& attribute : DemoAttributes) {
        ports.push_back(attribute.port);
    }
    CComparison comparison;
    std::chrono::steady_clock::duration importTime{};
    const bool readBack = ForEachSceneFrame(
        options.particles, first, last, [&](int32_t frame, const CSceneParticles& p) {
            CImportedFrame imported;
            const auto start = std::chrono::steady_clock::now();
            const bool ran = session->Import(frame, ports, options.threads, imported, error);
            importTime += std::chrono::steady_clock::now() - start;
            if (!ran) {
                return false;
            }
            nodeErrors = session->ShowLog() > 0 || nodeErrors;
            const size_t n = p.Count();
            if (imported.count != n) {
                std::fprintf(stderr,
                             "velpo demo: frame %d: VelpoImport reports %u particles, %zu "
                             "were written\n",
                             frame, imported.count, n);
                ++comparison.mismatches;
            }
            comparison.Check(frame, "id", imported, PortId, p.id);
            comparison.Check(frame, "position", imported, PortPosition, p.position);
            comparison.Check(frame, "age", imported, PortFloatBase + 0, p.age);
            comparison.Check(frame, "mass", imported, PortFloatBase + 1, p.mass);
            comparison.CheckConstant(frame, "drag", imported, PortFloatBase + 2, SceneDrag, n);
            comparison.Check(frame, "state", imported, PortLongBase + 0, p.state);
            comparison.CheckConstant(frame, "emitter", imported, PortLongBase + 1, SceneEmitter, n);
            comparison.Check(frame, "velocity", imported, PortVectorBase + 0, p.velocity);
            comparison.Check(frame, "colour", imported, PortVectorBase + 1, p.colour);
            comparison.CheckConstant(frame, "gravity", imported, PortVectorBase + 2, SceneGravity,
                                     n);
            progress.Show("import", frames + frame - first + 1);
            return true;
        });
    progress.Done();
    if (!readBack) {
        PrintError("demo", error);
        return ExitFailed;
    }

    const bool exact = comparison.mismatches == 0 && !nodeErrors;
    std::printf("velpo demo: %d frames (%d-%d), %llu particles in all, %u at most per frame\n",
                frames, first, last, static_cast<unsigned long long>(particles), peak);
    std::printf("  attributes: %zu per file (id, position", DemoRecords);
    for (const CDemoAttribute& attribute : DemoAttributes) {
        std::printf(", %s", attribute.name);
    }
    std::printf("); drag, emitter and gravity single-valued\n");
    std::printf("  written:    %s in %d files, %s ... %s\n", Megabytes(bytes).c_str(), frames,
                CacheFile(settings, first).c_str(), CacheFile(settings, last).c_str());
    std::printf("  export:     %s\n", Rate(bytes, particles, Seconds(exportTime)).c_str());
    std::printf("  import:     %s\n", Rate(bytes, particles, Seconds(importTime)).c_str());
    if (exact) {
        std::printf("  round trip: exact, %llu values read back unchanged\n",
                    static_cast<unsigned long long>(comparison.compared));
    } else {
        std::printf("  round trip: NOT exact, %llu of %llu values differ%s\n",
                    static_cast<unsigned long long>(comparison.mismatches),
                    static_cast<unsigned long long>(comparison.compared),
                    nodeErrors ? "; the nodes logged errors" : "");
    }
    return exact ? ExitOk : ExitFailed;
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
