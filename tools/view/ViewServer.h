// The server behind `velpo view`: an HTTP server that shows a sequence of
// cache files in a browser, through the page built into the program.
//
//   CViewServer server(frames, options);
//   if (CResult started = server.Start(); !started) { ... started.Message() ... }
//   ... server.Url() ...             // to give to the user
//   server.Wait();                   // until Stop(), from any thread
//
// What it serves, and nothing else (no path in a URL names a file):
//   GET /, /main.js, ...                    the page (tools/view/page/)
//   GET /api/sequence?since=G               the frames and their states, the
//                                           colour map (ViewSequence.h)
//   GET /api/frames/F/info                  what `velpo info --json` says of
//                                           frame F, each record with a "key"
//   GET /api/frames/F/points?colour=K&mode=M
//                                           the points to draw (FramePoints.h);
//                                           K a record key, M "map" or "rgb"
//   GET /api/frames/F/particles/I           particle I's values, as `velpo
//                                           dump` prints them (PickedParticle.h)
// F is a frame number of the sequence and K a record the frame holds; any
// other frame, record or path is 404. Failures are JSON {"error": text}
// naming the file: 422 for a frame that cannot be read (missing, damaged,
// without "position"), 400 for a malformed query, 403 for a refused
// request (ViewAccess.h), 503 when memory runs out.
//
// Limits: requests carry no body; every connection has read and write
// timeouts; frames are read one at a time, so the server holds at most one
// frame's records being read, plus the responses being sent (each at most
// the budget's points), plus the last response kept for a repeat. A frame
// whose file changed since it was last read is read again.
//
// Thread-safety: Start once; Stop and Wait from any thread; destruction
// stops the server. Not copyable.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Result.h"
#include "tools/sequence/Sequence.h"

namespace VelpoTools {

inline constexpr int64_t DefaultPointBudget = 4000000;

struct CViewOptions {
    std::string address = "127.0.0.1";
    uint16_t port = 0;           // 0: a free port
    bool tokenRequired = false;  // set for --bind: every request needs the token
    std::string token;           // empty: a new random one when required
    int64_t budget = DefaultPointBudget;
    double fps = 24.0;  // the rate the page plays the sequence at
    std::string title;  // what the page calls the sequence
    size_t threads = 8;
    std::chrono::seconds timeout{10};        // of each read or write on a connection
    std::chrono::milliseconds rescan{1000};  // pause between looks for changed files
};

class CViewServer {
public:
    CViewServer(std::vector<CSequenceFrame> frames, CViewOptions options);
    ~CViewServer();
    CViewServer(const CViewServer&) = delete;
    CViewServer& operator=(const CViewServer&) = delete;

    // Binds and starts serving on threads of its own. Fails naming the
    // address and port when they cannot be bound.
    Velpo::CResult Start();

    uint16_t Port() const;
    // "http://ADDRESS:PORT/", with "?token=..." when the token is required.
    std::string Url() const;
    const std::string& Token() const;

    // Stops serving and waits for the server's threads. Idempotent.
    void Stop();
    // Returns once Stop has been called.
    void Wait();

private:
    struct CState;
    std::unique_ptr<CState> state_;
};

}  // namespace VelpoTools
