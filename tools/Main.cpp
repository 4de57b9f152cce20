// velpo: the plug-in's job without the host, and a look inside PDC files.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>

#include "tools/Command.h"

int main(int argc, char** argv) {
    CLI::App app{
        "Particle data through the Velpo nodes into PDC caches and back, and a look "
        "inside any PDC file.",
        "velpo"};
    app.require_subcommand(1);
    app.footer(
        "Example:\n"
        "  velpo demo                     writes and reads back 48 frames in ./velpo-demo\n"
        "  velpo info velpo-demo/particles.1.pdc\n"
        "Run 'velpo COMMAND --help' for the options of a command.");

    int exitCode = VelpoTools::ExitOk;
    VelpoTools::AddDemoCommand(app, exitCode);
    VelpoTools::AddExportCommand(app, exitCode);
    VelpoTools::AddImportCommand(app, exitCode);
    VelpoTools::AddInfoCommand(app, exitCode);
    VelpoTools::AddDumpCommand(app, exitCode);
    VelpoTools::AddNodesCommand(app, exitCode);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? VelpoTools::ExitOk : VelpoTools::ExitUsage;
    }
    std::fflush(stdout);
    return exitCode;
}
