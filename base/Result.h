// What an operation of the host runtime, the tools or the Python module
// reports: done, or failed with a message that names the file or object and
// what is wrong. Every layer may include it; it depends on nothing else of
// the project.
//
//   CResult Load(const std::string& path) {
//       if (!Exists(path)) return CResult::Fail(path + ": no such file");
//       return CResult::Ok();
//   }
//   if (CResult loaded = Load(path); !loaded) { Print(loaded.Message()); }
//
// The file layer keeps its bool results and the SDK stand-in its CStatus;
// this is the convention of the code around them.
#pragma once

#include <string>
#include <utility>

namespace Velpo {

class [[nodiscard]] CResult {
public:
    static CResult Ok() { return CResult(); }
    static CResult Fail(std::string message) { return CResult(std::move(message)); }

    bool Succeeded() const { return !failed_; }
    explicit operator bool() const { return !failed_; }
    // Empty when the operation succeeded.
    const std::string& Message() const { return message_; }

private:
    CResult() = default;
    explicit CResult(std::string message) : failed_(true), message_(std::move(message)) {}

    bool failed_ = false;
    std::string message_;
};

}  // namespace Velpo
