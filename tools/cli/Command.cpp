#include "tools/cli/Command.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <iostream>
#include <new>

#include "tools/common/Output.h"
#include "tools/common/Text.h"

namespace VelpoTools {

namespace {

int Parse(CLI::App& app, int argc, char** argv, const int& exitCode) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? ExitOk : ExitUsage;
    }
    return exitCode;
}

// The subcommand that ran, for messages about its output.
std::string CommandName(CLI::App& app) {
    const std::vector<CLI::App*> ran = app.get_subcommands();
    return ran.empty() ? std::string() : ran.front()->get_name();
}

}  // namespace

int RunVelpo(int argc, char** argv) {
    try {
        CLI::App app{
            "Particle data through the Velpo nodes into PDC caches and back, and a look "
            "inside any PDC file.",
            "velpo"};
        // Set before the subcommands are added, which copy it: on Windows a
        // rooted path such as /cache/x.pdc is a path, never an option.
        app.allow_windows_style_options(false);
        app.require_subcommand(1);
        app.footer(
            "Example:\n"
            "  velpo demo                     writes and reads back 48 frames in ./velpo-demo\n"
            "  velpo info velpo-demo/particles.1.pdc\n"
            "Run 'velpo COMMAND --help' for the options of a command.");

        int exitCode = ExitOk;
        AddDemoCommand(app, exitCode);
        AddExportCommand(app, exitCode);
        AddImportCommand(app, exitCode);
        AddInfoCommand(app, exitCode);
        AddDumpCommand(app, exitCode);
        AddNodesCommand(app, exitCode);
        AddConvertCommand(app, exitCode);
        AddPreviewCommand(app, exitCode);
        AddCheckCommand(app, exitCode);
        AddDiffCommand(app, exitCode);
        AddViewCommand(app, exitCode);

        exitCode = Parse(app, argc, argv, exitCode);
        // Help goes out through std::cout and the frames' lines straight to
        // stdout, both into stdout's buffer: flushed through StandardOutput
        // first, a failure comes with the system's reason. Flushing std::cout
        // first would spend the reason and leave only stdout's error flag.
        const Velpo::CResult flushed = StandardOutput().Flush();
        std::cout.flush();
        if (!flushed) {
            PrintError(CommandName(app), flushed.Message());
            return ExitFailed;
        }
        return exitCode;
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "velpo: error: out of memory\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "velpo: error: %s\n", Escaped(error.what()).c_str());
    } catch (...) {
        std::fprintf(stderr, "velpo: error: an unexpected failure stopped the command\n");
    }
    return ExitFailed;
}

}  // namespace VelpoTools
