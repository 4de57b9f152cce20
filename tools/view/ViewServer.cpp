#include "tools/view/ViewServer.h"

#include <fmt/format.h>
#include <httplib.h>
#include <sys/socket.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <nlohmann/json.hpp>
#include <thread>

#include "tools/view/ViewRoutes.h"

namespace VelpoTools {

using Velpo::CResult;

struct CViewServer::CState {
    CState(std::vector<CSequenceFrame> frames, CViewOptions options)
        : context(std::move(frames), std::move(options)) {}

    CViewContext context;
    httplib::Server server;
    int port = 0;
    std::thread listening;
    std::thread scanning;
    std::mutex mutex;
    std::condition_variable changed;
    std::atomic<bool> stopping{false};
    bool stopRequested = false;
    bool stopped = false;  // and every thread of the server joined
};

namespace {

using httplib::Request;
using httplib::Response;

// Headers of every response: nothing is cached (frames change on disk),
// the page may load nothing from elsewhere, no other site may frame it or
// learn its address (which may hold the token).
httplib::Headers SafetyHeaders() {
    return {{"Cache-Control", "no-store"},
            {"X-Content-Type-Options", "nosniff"},
            {"X-Frame-Options", "DENY"},
            {"Referrer-Policy", "no-referrer"},
            {"Content-Security-Policy",
             "default-src 'none'; script-src 'self'; style-src 'self'; connect-src 'self'; "
             "img-src 'self' data:; base-uri 'none'; form-action 'none'; "
             "frame-ancestors 'none'"}};
}

httplib::Server::HandlerResponse Admit(const CAccessRule& rule, const Request& request,
                                       Response& response) {
    CRequestCredentials credentials;
    credentials.host = request.get_header_value("Host");
    credentials.queryToken = request.get_param_value("token");
    credentials.headerToken = request.get_header_value("X-Velpo-Token");
    credentials.cookies = request.get_header_value("Cookie");
    const CAccess access = CheckAccess(rule, credentials);
    if (access == CAccess::Allowed) {
        return httplib::Server::HandlerResponse::Unhandled;
    }
    const char* text = access == CAccess::NoToken
                           ? "this server needs the token printed with its address"
                           : "requests must name the server by a loopback address";
    response.status = 403;
    response.set_content(nlohmann::json{{"error", text}}.dump(), "application/json");
    return httplib::Server::HandlerResponse::Handled;
}

void Configure(httplib::Server& server, const CViewOptions& options, const CAccessRule& rule) {
    const size_t threads = std::max<size_t>(options.threads, 1);
    server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    const auto timeout = static_cast<time_t>(options.timeout.count());
    server.set_read_timeout(timeout, 0);
    server.set_write_timeout(timeout, 0);
    // Short: stopping waits for connections kept open by browsers.
    server.set_keep_alive_timeout(std::min<time_t>(timeout, 2));
    server.set_payload_max_length(4096);
    server.set_default_headers(SafetyHeaders());
    // Only SO_REUSEADDR: a restart may take the port back from TIME_WAIT,
    // but no other process can bind it alongside.
    server.set_socket_options([](socket_t socket) {
        int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    server.set_pre_routing_handler([&rule](const Request& request, Response& response) {
        return Admit(rule, request, response);
    });
    server.set_exception_handler([](const Request&, Response& response, std::exception_ptr) {
        response.status = 500;
        response.set_content(R"({"error":"the request failed inside the server"})",
                             "application/json");
    });
    server.set_error_handler([](const Request&, Response& response) {
        if (response.body.empty()) {
            const char* text =
                response.status == 404 ? "no such page or frame" : "the request was refused";
            response.set_content(nlohmann::json{{"error", text}}.dump(), "application/json");
        }
    });
}

}  // namespace

CViewServer::CViewServer(std::vector<CSequenceFrame> frames, CViewOptions options)
    : state_(std::make_unique<CState>(std::move(frames), std::move(options))) {
    CViewContext& context = state_->context;
    context.access.tokenRequired = context.options.tokenRequired;
    context.access.token = context.options.token;
    if (context.access.tokenRequired && context.access.token.empty()) {
        context.access.token = NewToken();
    }
}

CViewServer::~CViewServer() {
    Stop();
}

CResult CViewServer::Start() {
    CState& state = *state_;
    const CViewOptions& options = state.context.options;
    Configure(state.server, options, state.context.access);
    AddViewRoutes(state.server, state.context);
    errno = 0;
    if (options.port == 0) {
        state.port = state.server.bind_to_any_port(options.address);
    } else {
        state.port = state.server.bind_to_port(options.address, options.port) ? options.port : -1;
    }
    if (state.port <= 0) {
        const int error = errno;
        return CResult::Fail(
            fmt::format("cannot listen on {} port {}: {}", options.address,
                        options.port == 0 ? std::string("(any)") : std::to_string(options.port),
                        error ? std::strerror(error) : "the address is not usable"));
    }
    state.listening = std::thread([&state] { state.server.listen_after_bind(); });
    // stop() does nothing before the loop runs: wait for it (bounded).
    for (int i = 0; i < 5000 && !state.server.is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    state.scanning = std::thread([&state] {
        std::unique_lock lock(state.mutex);
        while (!state.stopping) {
            lock.unlock();
            state.context.sequence.Refresh(state.stopping);
            lock.lock();
            state.changed.wait_for(lock, state.context.options.rescan,
                                   [&state] { return state.stopping.load(); });
        }
    });
    return CResult::Ok();
}

uint16_t CViewServer::Port() const {
    return static_cast<uint16_t>(std::max(state_->port, 0));
}

std::string CViewServer::Url() const {
    const CViewContext& context = state_->context;
    std::string host = context.options.address;
    if (host.find(':') != std::string::npos) {
        host = "[" + host + "]";
    }
    std::string url = fmt::format("http://{}:{}/", host, Port());
    if (context.access.tokenRequired) {
        url += "?token=" + context.access.token;
    }
    return url;
}

const std::string& CViewServer::Token() const {
    return state_->context.access.token;
}

void CViewServer::Stop() {
    CState& state = *state_;
    {
        std::unique_lock lock(state.mutex);
        if (state.stopRequested) {
            // Another thread stops it: return once it has.
            state.changed.wait(lock, [&state] { return state.stopped; });
            return;
        }
        state.stopRequested = true;
        state.stopping = true;
    }
    state.changed.notify_all();
    state.server.stop();
    if (state.listening.joinable()) {
        state.listening.join();
    }
    if (state.scanning.joinable()) {
        state.scanning.join();
    }
    // Notified under the lock: a waiter returns only once this thread has
    // let go of the mutex, after its last touch of the state, so the owner
    // may destroy the server as soon as Wait returns.
    std::lock_guard lock(state.mutex);
    state.stopped = true;
    state.changed.notify_all();
}

void CViewServer::Wait() {
    CState& state = *state_;
    std::unique_lock lock(state.mutex);
    state.changed.wait(lock, [&state] { return state.stopped; });
}

}  // namespace VelpoTools
