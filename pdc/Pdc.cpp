#include "pdc/Pdc.h"

#include <algorithm>
#include <iterator>

#include "pdc/RecordWalker.h"
#include "pdc/RecordWriter.h"
#include "pdc/SlotFilling.h"

bool PdcSlotAccepts(int32_t slotType, int32_t code) {
    switch (code) {
        case PdcCodeInteger:
        case PdcCodeIntegerArray:
            return slotType == PdcTypeLong;
        case PdcCodeDouble:
        case PdcCodeDoubleArray:
            return slotType == PdcTypeFloat || slotType == PdcTypeLong;
        case PdcCodeVector:
        case PdcCodeVectorArray:
            return slotType == PdcTypeVector;
        default:
            return false;
    }
}

void CPdc::SetAttribute(int32_t slot, const XSI::CString& name, int32_t type) {
    if (slot >= 0 && slot < PdcSlotCount) {
        attributes[slot].Set(name, type);
    }
}

void CPdc::Resize(int32_t count) {
    for (CAttribute& attribute : attributes) {
        attribute.Resize(count);
    }
}

int32_t CPdc::PositionCount() const {
    const CAttribute& position = attributes[PdcPositionSlot];
    switch (position.type) {
        case PdcTypeFloat:
            return position.floatValues.GetCount();
        case PdcTypeLong:
            return position.longValues.GetCount();
        case PdcTypeVector:
            return position.vectorValues.GetCount();
        default:
            return 0;
    }
}

int32_t CPdc::NamedAttributeCount() const {
    int32_t count = 0;
    for (const CAttribute& attribute : attributes) {
        count += attribute.name.IsEmpty() ? 0 : 1;
    }
    return count;
}

bool CPdc::FWriteAttributes(FILE* file) const {
    if (!file) {
        return false;
    }
    CPdcWriter writer(file);
    for (const CAttribute& attribute : attributes) {
        if (!attribute.name.IsEmpty() && !attribute.Write(writer)) {
            return false;
        }
    }
    // A full disk often shows only when the stream's buffer goes out.
    return writer.Flush() && std::fflush(file) == 0 && !std::ferror(file);
}

bool CPdc::ReadParticles(FILE* file) {
    return WalkParticles(file, nullptr);
}

bool CPdc::LocateParticles(FILE* file, CPdcArrayPlace (&places)[PdcSlotCount]) {
    std::fill(std::begin(places), std::end(places), CPdcArrayPlace());
    return WalkParticles(file, places);
}

bool CPdc::WalkParticles(FILE* file, CPdcArrayPlace* places) {
    if (header.attributeCount < 1) {
        return true;
    }
    CPdcRecordWalker walker(file);
    if (!walker.UseHeader(header)) {
        return false;
    }
    // Which slot a record goes to is the rule of pdc/SlotFilling.h, which
    // the tools that predict what the nodes deliver follow too.
    CPdcSlotFilling filling;
    for (const CAttribute& attribute : attributes) {
        filling.AddSlot(attribute.name, attribute.type);
    }
    CPdcRecord record;
    while (walker.Next(record)) {
        const int32_t taken = filling.Take(record);
        if (taken < 0) {
            continue;  // the walker steps over its values
        }
        CAttribute* slot = &attributes[taken];
        const bool integers = record.IsInteger();
        if (places != nullptr) {
            places[taken] = CPdcArrayPlace();
            if (record.IsArray()) {
                places[taken] = {record.valuesOffset, record.count, record.code};
                slot->isArray = true;
                continue;  // the walker steps over its values
            }
        }
        // The walker has checked that the values are in the file, so the
        // array's size is bounded by the file's.
        const auto read = [&](FILE* stream) {
            if (record.IsArray()) {
                return slot->FReadArray(stream, integers, header.particleCount);
            }
            slot->isArray = false;
            return slot->FRead(stream, integers);
        };
        if (!walker.ReadFromStream(read)) {
            return false;
        }
    }
    return !walker.Failed();
}
