#include "pdc/SlotFilling.h"

bool PdcSlotTakes(int32_t slotType, int32_t code) {
    if (slotType == PdcTypeAny) {
        return code >= PdcCodeInteger && code <= PdcCodeVectorArray;
    }
    return PdcSlotAccepts(slotType, code);
}

std::wstring CPdcSlotFilling::Key(const XSI::CString& name) {
    return std::wstring(name.GetWideString(), name.Length());
}

XSI::CString CPdcSlotFilling::RecordName(const CPdcRecord& record) {
    XSI::CString name;
    name.PutAsciiString(record.name.data(), record.name.size());
    return name;
}

int32_t CPdcSlotFilling::AddSlot(const XSI::CString& name, int32_t slotType) {
    const auto slot = static_cast<int32_t>(slots_.size());
    slots_.push_back({slotType, false});
    if (!name.IsEmpty() && slotType != PdcTypeNone) {
        byName_[Key(name)].push_back(slot);
    }
    return slot;
}

int32_t CPdcSlotFilling::Take(const XSI::CString& name, int32_t code) {
    const auto named = byName_.find(Key(name));
    if (named == byName_.end()) {
        return -1;
    }
    int32_t first = -1;
    for (const int32_t slot : named->second) {
        CSlot& candidate = slots_[static_cast<size_t>(slot)];
        if (!PdcSlotTakes(candidate.type, code)) {
            continue;
        }
        if (!candidate.filled) {
            candidate.filled = true;
            return slot;
        }
        first = first < 0 ? slot : first;
    }
    return first;
}

int32_t CPdcSlotFilling::Take(const CPdcRecord& record) {
    return record.nameCut ? -1 : Take(RecordName(record), record.code);
}

int32_t CPdcSlotFilling::FirstSlotNamed(const XSI::CString& name) const {
    const auto named = byName_.find(Key(name));
    return named == byName_.end() ? -1 : named->second.front();
}

void CPdcNameFilling::Take(int32_t index, const std::string& name, bool nameCut, int32_t code) {
    if (nameCut || !PdcSlotTakes(PdcTypeAny, code)) {
        return;
    }
    XSI::CString text;
    text.PutAsciiString(name.data(), name.size());
    if (text.IsEmpty()) {
        return;  // no slot bears the empty name: it marks a slot unused
    }
    if (slots_.FirstSlotNamed(text) < 0) {
        slots_.AddSlot(text, PdcTypeAny);
        lastOfSlot_.push_back(-1);
    }
    // The name's one slot takes every code, so the record always reaches it.
    const int32_t slot = slots_.Take(text, code);
    if (slot < 0) {
        return;
    }
    lastOfSlot_[static_cast<size_t>(slot)] = index;
    slotOfRecord_[index] = slot;
}

bool CPdcNameFilling::Delivers(int32_t index) const {
    const auto found = slotOfRecord_.find(index);
    return found != slotOfRecord_.end() && lastOfSlot_[static_cast<size_t>(found->second)] == index;
}

int32_t CPdcNameFilling::DeliveredIndex(const std::string& name) const {
    XSI::CString text;
    text.PutAsciiString(name.data(), name.size());
    const int32_t slot = slots_.FirstSlotNamed(text);
    return slot < 0 ? -1 : lastOfSlot_[static_cast<size_t>(slot)];
}
