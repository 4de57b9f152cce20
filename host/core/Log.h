// The host's log: every message with its severity, in the order logged.
//
// Thread-safe. Messages are echoed to stderr unless echoing is turned off
// (tools that show the log themselves turn it off).
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

}  // namespace VelpoHost
