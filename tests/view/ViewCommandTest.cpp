// velpo view run as a user runs it: its usage errors, the address it
// prints, and Ctrl-C ending it cleanly. Every wait is bounded, and the
// child is killed on every path.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/support/FileContents.h"
#include "tests/support/ScratchFolder.h"
#include "tests/view/ViewTestSupport.h"

extern char** environ;

namespace {

using VelpoTestSupport::CScratchFolder;
using namespace std::chrono_literals;

// A running velpo with its standard output and error read through one pipe.
class CVelpo {
public:
    explicit CVelpo(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), VELPO_COMMAND);
        int channel[2];
        if (pipe(channel) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, channel[1], 1);
        posix_spawn_file_actions_adddup2(&actions, channel[1], 2);
        posix_spawn_file_actions_addclose(&actions, channel[0]);
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, VELPO_COMMAND, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(channel[1]);
        output_ = channel[0];
        fcntl(output_, F_SETFL, O_NONBLOCK);
    }

    ~CVelpo() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0) {
            close(output_);
        }
    }

    bool Started() const { return pid_ > 0; }

    // Reads output until it holds an address "http://127.0.0.1:PORT/" or
    // `limit` passes; gives the port (0 for none) and what follows the
    // address on its line.
    int WaitForAddress(std::chrono::milliseconds limit, std::string& rest) {
        const auto end = std::chrono::steady_clock::now() + limit;
        const std::string start = "http://127.0.0.1:";
        for (;;) {
            const size_t at = text_.find(start);
            const size_t line = at == std::string::npos ? at : text_.find('\n', at);
            if (line != std::string::npos) {
                const std::string address =
                    text_.substr(at + start.size(), line - at - start.size());
                const size_t slash = address.find('/');
                rest = slash == std::string::npos ? "" : address.substr(slash + 1);
                return std::atoi(address.substr(0, slash).c_str());
            }
            if (std::chrono::steady_clock::now() >= end) {
                return 0;
            }
            Read(50);
        }
    }

    // The exit status, or -1 when it has not ended within `limit`.
    int Wait(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            Read(20);
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                Read(0);
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
        }
        return -1;
    }

    void Signal(int signal) const { kill(pid_, signal); }
    const std::string& Text() const { return text_; }

private:
    void Read(int milliseconds) {
        pollfd wait{output_, POLLIN, 0};
        poll(&wait, 1, milliseconds);
        char buffer[4096];
        ssize_t count = 0;
        while ((count = read(output_, buffer, sizeof buffer)) > 0) {
            text_.append(buffer, static_cast<size_t>(count));
        }
    }

    pid_t pid_ = -1;
    int output_ = -1;
    bool exited_ = false;
    std::string text_;
};

TEST(ViewCommand, HelpTellsWhatItServesAndWhereItIsLeftOut) {
    CVelpo velpo({"view", "--help"});
    ASSERT_TRUE(velpo.Started());
    EXPECT_EQ(velpo.Wait(20s), 0);
    for (const char* text : {"--bind", "--budget", "--open", "Windows",
                             "Example:", "velpo view 'velpo-demo/particles.#.pdc'"}) {
        EXPECT_NE(velpo.Text().find(text), std::string::npos) << text;
    }
}

TEST(ViewCommand, UsageErrorsExitTwoAndAMissingSequenceOne) {
    CScratchFolder scratch;
    struct CRun {
        std::vector<std::string> arguments;
        int status;
        std::string says;
    };
    const std::vector<CRun> runs{
        {{"view"}, 2, "either a file"},
        {{"view", "a.#.pdc", "--settings", "s.json", "--frames", "1-2"}, 2, "either a file"},
        {{"view", "--settings", "s.json"}, 2, "--settings needs --frames"},
        {{"view", "a.pdc", "--port", "70000"}, 2, "--port"},
        {{"view", "a.pdc", "--budget", "0"}, 2, "--budget"},
        {{"view", "a.pdc", "--fps", "0"}, 2, "--fps"},
        {{"view", "a.#.pdc", "--frames", "5-1"}, 2, "--frames"},
        {{"view", scratch / "nowhere/f.#.pdc"}, 1, "nowhere"}};
    for (const CRun& run : runs) {
        CVelpo velpo(run.arguments);
        ASSERT_TRUE(velpo.Started());
        EXPECT_EQ(velpo.Wait(20s), run.status) << run.arguments.back() << ": " << velpo.Text();
        EXPECT_NE(velpo.Text().find(run.says), std::string::npos) << velpo.Text();
    }
}

TEST(ViewCommand, PrintsTheAddressServesItAndStopsOnCtrlC) {
    CScratchFolder scratch;
    for (const int frame : {1, 2, 3, 5}) {
        VelpoViewTest::WriteFrame(scratch / ("p." + std::to_string(frame) + ".pdc"),
                                  VelpoViewTest::SimpleFrame(frame));
    }
    for (const int signal : {SIGINT, SIGTERM}) {
        CVelpo velpo({"view", scratch / "p.#.pdc"});
        ASSERT_TRUE(velpo.Started());
        std::string rest;
        const int port = velpo.WaitForAddress(20s, rest);
        ASSERT_GT(port, 0) << velpo.Text();
        EXPECT_EQ(rest, "");
        // The frame the pattern skips is one of the sequence, missing.
        EXPECT_NE(velpo.Text().find("5 frames of"), std::string::npos) << velpo.Text();
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(10, 0);
        const httplib::Result sequence = client.Get("/api/sequence");
        ASSERT_TRUE(sequence);
        EXPECT_EQ(sequence->status, 200);
        EXPECT_NE(sequence->body.find("\"count\":5"), std::string::npos);
        velpo.Signal(signal);
        EXPECT_EQ(velpo.Wait(20s), 0) << velpo.Text();
        EXPECT_NE(velpo.Text().find("velpo view: stopped"), std::string::npos);
    }
}

TEST(ViewCommand, AnAddressThatCannotBePrintedEndsTheServer) {
    CScratchFolder scratch;
    VelpoViewTest::WriteFrame(scratch / "one.pdc", VelpoViewTest::SimpleFrame(3));
    const std::string command = "timeout 20 " VELPO_COMMAND " view " + scratch / "one.pdc" +
                                " > /dev/full 2> " + scratch / "err.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(VelpoTestSupport::ReadFile(scratch / "err.txt").find("standard output"),
              std::string::npos);
}

TEST(ViewCommand, BindPrintsTheTokenThatRequestsNeed) {
    CScratchFolder scratch;
    VelpoViewTest::WriteFrame(scratch / "one.pdc", VelpoViewTest::SimpleFrame(3));
    CVelpo velpo({"view", scratch / "one.pdc", "--bind", "127.0.0.1"});
    ASSERT_TRUE(velpo.Started());
    std::string rest;
    const int port = velpo.WaitForAddress(20s, rest);
    ASSERT_GT(port, 0) << velpo.Text();
    ASSERT_EQ(rest.rfind("?token=", 0), 0u) << rest;
    const std::string token = rest.substr(7);
    EXPECT_EQ(token.size(), 32u);
    EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(10, 0);
    EXPECT_EQ(client.Get("/api/frames/0/info")->status, 403);
    EXPECT_EQ(client.Get("/api/frames/0/info?token=" + token)->status, 200);
    velpo.Signal(SIGINT);
    EXPECT_EQ(velpo.Wait(20s), 0);
}

}  // namespace
