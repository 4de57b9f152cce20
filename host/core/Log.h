// The host's log: every message with its severity, in the order logged.
//
// Thread-safe. Messages are echoed to stderr unless echoing is turned off
// (tools that show the log themselves turn it off).
//
// A caller that evaluates several graphs at once (a tool working on many
// frames in parallel) needs each message next to the evaluation that logged
// it. It opens a CLogCapture on its thread: while the capture is open,
// messages logged on that thread, and by the thread-pool tasks it hands out,
// go to the capture instead of the shared log.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "host/sdk/Export.h"

namespace VelpoHost {

struct CLogEntry {
    std::string text;  // UTF-8
    int32_t severity = 0;
};

class XSI_API CLog {
public:
    static CLog& Instance();

    void Add(const std::string& text, int32_t severity);
    std::vector<CLogEntry> Entries() const;
    // Removes and returns what was logged so far.
    std::vector<CLogEntry> Take();
    void Clear();
    void SetEcho(bool echo);

private:
    mutable std::mutex mutex_;
    std::vector<CLogEntry> entries_;
    bool echo_ = true;
};

class XSI_API CLogCapture {
public:
    // Becomes the calling thread's capture until destroyed (the one before
    // it, if any, is restored then). Must be destroyed on the same thread.
    CLogCapture();
    ~CLogCapture();
    CLogCapture(const CLogCapture&) = delete;
    CLogCapture& operator=(const CLogCapture&) = delete;

    void Add(const std::string& text, int32_t severity);
    // Removes and returns what was captured so far.
    std::vector<CLogEntry> Take();

    // The calling thread's capture, or null.
    static CLogCapture* Current();

    // Makes `capture` (may be null) the calling thread's capture for the
    // scope: how a thread pool lets its tasks log where their caller does.
    class XSI_API CScope {
    public:
        explicit CScope(CLogCapture* capture);
        ~CScope();
        CScope(const CScope&) = delete;
        CScope& operator=(const CScope&) = delete;

    private:
        CLogCapture* previous_;
    };

private:
    std::mutex mutex_;  // tasks on several threads add at once
    std::vector<CLogEntry> entries_;
    CLogCapture* previous_;
};

}  // namespace VelpoHost
