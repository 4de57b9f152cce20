#include "tools/common/OutputFile.h"

#include <atomic>
#include <string>

#include "pdc/SafeWrite.h"

namespace VelpoTools {

using Velpo::CResult;

namespace {

std::atomic<CDurability> outputDurability{CDurability::Process};

}  // namespace

void SetOutputDurability(CDurability durability) {
    outputDurability.store(durability, std::memory_order_relaxed);
}

CDurability OutputDurability() {
    return outputDurability.load(std::memory_order_relaxed);
}

CResult WriteFileReplacingChecked(const std::filesystem::path& target,
                                  const std::function<CResult(COutput&)>& write) {
    const std::string name = target.string();
    const std::u8string utf8 = target.u8string();
    CResult made = CResult::Ok();
    CResult written = CResult::Ok();
    std::string reason;
    const bool replaced = SafeWriteFile(
        std::string(utf8.begin(), utf8.end()),
        [&](std::FILE* file) {
            COutput out(file, name);
            made = write(out);
            written = out.Flush();
            return made.Succeeded() && written.Succeeded();
        },
        reason, OutputDurability());
    if (replaced) {
        return CResult::Ok();
    }
    if (!made) {
        return made;
    }
    const std::string why = written ? name + ": cannot be written: " + reason : written.Message();
    return CResult::Fail(why + "; the earlier file, if any, is kept");
}

CResult WriteFileReplacing(const std::filesystem::path& target,
                           const std::function<void(COutput&)>& write) {
    return WriteFileReplacingChecked(target, [&](COutput& out) {
        write(out);
        return CResult::Ok();
    });
}

}  // namespace VelpoTools
