#include "pdc/Pdc.h"

#include <string>

#include "pdc/ByteOrder.h"
#include "pdc/FileOffset.h"

namespace {

bool SlotAccepts(int32_t slotType, int32_t code) {
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

// Bytes of one value of a record, or of each particle's value for an array
// code.
int64_t ValueBytes(int32_t code) {
    switch (code) {
        case PdcCodeInteger:
        case PdcCodeIntegerArray:
            return 4;
        case PdcCodeDouble:
        case PdcCodeDoubleArray:
            return 8;
        default:
            return 24;
    }
}

bool IsArrayCode(int32_t code) {
    return code % 2 == 1;
}

// The int32 at the stream's position; `got` tells how many of its bytes
// were there.
bool ReadInt32(FILE* file, int32_t& value, size_t& got) {
    unsigned char bytes[PdcByteOrder::Int32Bytes];
    got = std::fread(bytes, 1, sizeof bytes, file);
    if (got != sizeof bytes) {
        return false;
    }
    value = PdcByteOrder::LoadInt32(bytes);
    return true;
}

}  // namespace

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
    for (const CAttribute& attribute : attributes) {
        if (!attribute.name.IsEmpty() && !attribute.FWrite(file)) {
            return false;
        }
    }
    // A full disk often shows only when the stream's buffer goes out.
    return std::fflush(file) == 0 && !std::ferror(file);
}

bool CPdc::ReadParticles(FILE* file) {
    const int32_t recordCount = header.attributeCount;
    if (recordCount < 1) {
        return true;
    }
    if (!file) {
        return false;
    }
    // Every length and count from the file is checked against what is left
    // of it before anything is allocated or skipped.
    int64_t left = 0;
    if (!PdcFileOffset::BytesLeft(file, left)) {
        return false;
    }
    const int32_t particleCount = header.particleCount;
    std::string nameBytes;
    XSI::CString recordName;
    for (int32_t record = 0; record < recordCount; ++record) {
        int32_t nameLength = 0;
        size_t got = 0;
        if (!ReadInt32(file, nameLength, got)) {
            return false;
        }
        left -= 4;
        if (nameLength < 0 || nameLength > left) {
            return false;
        }
        nameBytes.resize(static_cast<size_t>(nameLength));
        if (std::fread(nameBytes.data(), 1, nameBytes.size(), file) != nameBytes.size()) {
            return false;
        }
        left -= nameLength;

        int32_t code = 0;
        if (!ReadInt32(file, code, got)) {
            // Some tools end their files with one more counted record that
            // holds only a name. A file cut anywhere else is broken.
            return record == recordCount - 1 && got == 0 && std::feof(file);
        }
        left -= 4;
        if (code < PdcCodeInteger || code > PdcCodeVectorArray) {
            return false;
        }
        const bool arrayCode = IsArrayCode(code);
        if (arrayCode && particleCount < 0) {
            return false;
        }
        const int64_t valueBytes = ValueBytes(code) * (arrayCode ? particleCount : 1);

        recordName.PutAsciiString(nameBytes.c_str());
        CAttribute* slot = nullptr;
        for (CAttribute& attribute : attributes) {
            if (attribute.name == recordName && SlotAccepts(attribute.type, code)) {
                slot = &attribute;
                break;
            }
        }
        if (!slot) {
            if (valueBytes > left || !PdcFileOffset::Skip(file, valueBytes)) {
                return false;
            }
            left -= valueBytes;
            continue;
        }
        if (arrayCode) {
            if (valueBytes > left) {
                return false;
            }
            slot->Resize(particleCount);
        }
        slot->isArray = arrayCode;
        if (!slot->FRead(file, code == PdcCodeInteger || code == PdcCodeIntegerArray)) {
            return false;
        }
        left -= valueBytes;
    }
    return true;
}
