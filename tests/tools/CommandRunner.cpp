#include "tests/tools/CommandRunner.h"

#include <cstdlib>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace VelpoCommandTest {

CRun Velpo(const std::string& arguments) {
    return VelpoIn("", arguments);
}

bool UnderAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

CRun VelpoIn(const std::string& shellPrefix, const std::string& arguments,
             const std::string& stdoutTo) {
    CScratch capture;
    const std::string out = stdoutTo.empty() ? capture / "stdout.txt" : stdoutTo;
    const std::string err = capture / "stderr.txt";
    std::string command = shellPrefix;
    command += std::string("\"") + VELPO_COMMAND + "\" " + arguments + " >\"" + out + "\" 2>\"" +
               err + "\"";
#ifdef _WIN32
    // cmd /c drops the first and the last quote of a line that starts with
    // one; a pair around the whole line keeps the quoted paths intact.
    command = "\"" + command + "\"";
#endif
    const int status = std::system(command.c_str());
    CRun run;
#ifdef _WIN32
    run.exitCode = status;
#else
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    run.out = stdoutTo.empty() ? ReadFile(out) : std::string();
    run.err = ReadFile(err);
#ifdef _WIN32
    // The console streams are in text mode on Windows and end lines with
    // CR LF; the files the command writes are binary and compared as they are.
    for (std::string* text : {&run.out, &run.err}) {
        for (size_t at = text->find("\r\n"); at != std::string::npos; at = text->find("\r\n", at)) {
            text->erase(at, 1);
        }
    }
#endif
    return run;
}

}  // namespace VelpoCommandTest
