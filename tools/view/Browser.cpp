#include "tools/view/Browser.h"

#include <fmt/format.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace VelpoTools {

using Velpo::CResult;

CResult OpenInBrowser(const std::string& url) {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!x11 || !*x11) && (!wayland || !*wayland)) {
        return CResult::Fail(
            "--open: this machine has no display to open a browser on; open "
            "the address in a browser yourself");
    }
    std::string program = "xdg-open";
    std::string address = url;
    char* arguments[] = {program.data(), address.data(), nullptr};
    pid_t child = 0;
    const int error = posix_spawnp(&child, "xdg-open", nullptr, nullptr, arguments, environ);
    if (error != 0) {
        return CResult::Fail(
            fmt::format("--open: cannot start xdg-open: {}", std::strerror(error)));
    }
    // Reaped when it ends, so that it leaves no zombie behind.
    std::thread([child] {
        int status = 0;
        waitpid(child, &status, 0);
    }).detach();
    return CResult::Ok();
}

}  // namespace VelpoTools
