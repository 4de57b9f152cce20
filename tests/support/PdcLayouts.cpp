#include "tests/support/PdcLayouts.h"

#include "plugin/AttributeKinds.h"
#include "tests/support/Streams.h"

namespace VelpoTestSupport {

namespace {

int32_t SlotType(int32_t slot) {
    if (slot == PdcIdSlot) {
        return PdcTypeLong;
    }
    for (const CAttributeKind& kind : AttributeKinds) {
        if (slot >= kind.firstSlot && slot < kind.Slot(kind.count)) {
            return kind.slotType;
        }
    }
    return PdcTypeVector;  // position
}

}  // namespace

XSI::CString Text(const char* utf8) {
    return XSI::CString::FromUtf8(utf8);
}

void NameSlots(CPdc& pdc, std::initializer_list<CNamedSlot> named) {
    for (const CNamedSlot& slot : named) {
        pdc.SetAttribute(slot.slot, Text(slot.name), SlotType(slot.slot));
    }
}

void SetLayout(CPdc& pdc, std::initializer_list<CNamedSlot> named) {
    NameSlots(pdc, {{PdcIdSlot, "id"}, {PdcPositionSlot, "position"}});
    NameSlots(pdc, named);
}

void SetSettingsLayout(CPdc& pdc, const std::map<std::string, std::string>& parameters) {
    SetLayout(pdc);
    for (const CAttributeKind& kind : AttributeKinds) {
        for (int32_t i = 0; i < kind.count; ++i) {
            const auto named = parameters.find(kind.ParameterName(i));
            if (named != parameters.end() && !named->second.empty()) {
                pdc.SetAttribute(kind.Slot(i), XSI::CString::FromUtf8(named->second),
                                 kind.slotType);
            }
        }
    }
}

bool ReadPdcFile(const std::string& path, CPdc& pdc) {
    CFile file(path, "rb");
    return pdc.header.FRead(file) && pdc.ReadParticles(file);
}

bool WritePdcFile(const std::string& path, const CPdc& pdc) {
    CFile file(path, "wb");
    if (!file.Get()) {
        return false;
    }
    const PdcHeader header = PdcHeader::ForWriting(pdc.PositionCount(), pdc.NamedAttributeCount());
    const bool written = header.FWrite(file) && pdc.FWriteAttributes(file);
    return file.Close() == 0 && written;
}

}  // namespace VelpoTestSupport
