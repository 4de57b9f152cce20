#include "tools/session/CacheCheck.h"

#include <fmt/format.h>
#include <algorithm>
#include <string>

#include "host/sdk/CString.h"
#include "pdc/RecordWalker.h"
#include "pdc/SlotFilling.h"
#include "plugin/AttributeKinds.h"
#include "tools/common/InputFile.h"
#include "tools/common/Text.h"

namespace VelpoTools {

namespace {

using Velpo::CResult;

// What the nodes would fill: the settings' slots in slot order, under the
// file layer's rule for records of one name.
class CSlotFilling {
public:
    explicit CSlotFilling(const std::vector<CNamedAttribute>& attributes) : slots_(attributes) {
        std::stable_sort(
            slots_.begin(), slots_.end(),
            [](const CNamedAttribute& a, const CNamedAttribute& b) { return a.slot < b.slot; });
        for (const CNamedAttribute& slot : slots_) {
            filling_.AddSlot(XSI::CString::FromUtf8(slot.name), slot.slotType);
        }
    }

    void Take(const CPdcRecord& record) { filling_.Take(record); }

    // The slots no record filled, in slot order.
    std::vector<CNamedAttribute> Unfilled() const {
        std::vector<CNamedAttribute> unfilled;
        for (size_t i = 0; i < slots_.size(); ++i) {
            if (!filling_.Filled(static_cast<int32_t>(i))) {
                unfilled.push_back(slots_[i]);
            }
        }
        return unfilled;
    }

private:
    std::vector<CNamedAttribute> slots_;
    CPdcSlotFilling filling_;
};

CResult CheckCount(const std::string& name, const PdcHeader& header, uint32_t maxElements) {
    if (header.particleCount < 0) {
        return CResult::Fail(fmt::format("{}: the header claims a negative particle count {}", name,
                                         header.particleCount));
    }
    if (static_cast<uint32_t>(header.particleCount) > maxElements) {
        return CResult::Fail(
            fmt::format("{}: the header claims {} particles, more than the {} elements the host "
                        "runtime evaluates (forged particle count?)",
                        name, header.particleCount, maxElements));
    }
    return CResult::Ok();
}

}  // namespace

CResult CheckCacheFile(const std::filesystem::path& file,
                       const std::vector<CNamedAttribute>& attributes, uint32_t maxElements,
                       std::vector<CNamedAttribute>& unfilled) {
    const std::string name = file.string();
    CFilePointer stream;
    if (const CResult opened = OpenForReading(file, stream); !opened) {
        return CResult::Fail(name + ": " + opened.Message());
    }
    CPdcRecordWalker walker(stream.get());
    if (!walker.ReadHeader()) {
        return CResult::Fail(name + ": " + Escaped(walker.Problem()));
    }
    if (const CResult counted = CheckCount(name, walker.Header(), maxElements); !counted) {
        return counted;
    }
    CSlotFilling filling(attributes);
    CPdcRecord record;
    while (walker.Next(record)) {
        filling.Take(record);
    }
    if (walker.Failed()) {
        return CResult::Fail(name + ": " + Escaped(walker.Problem()));
    }
    unfilled = filling.Unfilled();
    // Some producers end their files with a record that holds only its
    // name; one named for a slot that stays empty is a cache cut short.
    if (walker.EndedWithNameOnlyRecord()) {
        const CPdcRecord& last = walker.NameOnlyRecord();
        for (const CNamedAttribute& attribute : unfilled) {
            if (attribute.name == last.name) {
                return CResult::Fail(
                    fmt::format("{}: record {} at byte {} ({}): the file ends right after its "
                                "name (truncated file)",
                                name, last.index, last.offset, Quoted(last.name)));
            }
        }
    }
    return CResult::Ok();
}

}  // namespace VelpoTools
