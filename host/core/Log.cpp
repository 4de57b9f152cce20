#include "host/core/Log.h"

#include <cstdio>

#include "host/sdk/Enums.h"

namespace VelpoHost {

namespace {

const char* SeverityName(int32_t severity) {
    switch (severity) {
        case XSI::siErrorMsg:
            return "ERROR";
        case XSI::siInfoMsg:
            return "INFO";
        default:
            return "LOG";
    }
}

thread_local CLogCapture* currentCapture = nullptr;

}  // namespace

CLog& CLog::Instance() {
    static CLog log;
    return log;
}

void CLog::Add(const std::string& text, int32_t severity) {
    if (CLogCapture* capture = CLogCapture::Current()) {
        capture->Add(text, severity);
        return;
    }
    std::lock_guard lock(mutex_);
    entries_.push_back({text, severity});
    if (echo_) {
        // Under the lock, so that lines from several threads do not mix.
        std::fprintf(stderr, "%s: %s\n", SeverityName(severity), text.c_str());
    }
}

std::vector<CLogEntry> CLog::Entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

std::vector<CLogEntry> CLog::Take() {
    std::lock_guard lock(mutex_);
    std::vector<CLogEntry> taken;
    taken.swap(entries_);
    return taken;
}

void CLog::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

void CLog::SetEcho(bool echo) {
    std::lock_guard lock(mutex_);
    echo_ = echo;
}

CLogCapture::CLogCapture() : previous_(currentCapture) {
    currentCapture = this;
}

CLogCapture::~CLogCapture() {
    currentCapture = previous_;
}

void CLogCapture::Add(const std::string& text, int32_t severity) {
    std::lock_guard lock(mutex_);
    entries_.push_back({text, severity});
}

std::vector<CLogEntry> CLogCapture::Take() {
    std::lock_guard lock(mutex_);
    std::vector<CLogEntry> taken;
    taken.swap(entries_);
    return taken;
}

CLogCapture* CLogCapture::Current() {
    return currentCapture;
}

CLogCapture::CScope::CScope(CLogCapture* capture) : previous_(currentCapture) {
    currentCapture = capture;
}

CLogCapture::CScope::~CScope() {
    currentCapture = previous_;
}

}  // namespace VelpoHost
