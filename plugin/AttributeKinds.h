// The three kinds of numbered attribute, Float, Long and Vector, described
// once: the text that their ports and settings parameters share, the ports
// that carry them (the same IDs on VelpoExport's inputs and VelpoSetData's
// outputs), VelpoSetData's groups for those outputs, the file layer's slots
// that hold them, and the host's data type of their values.
//
// Every loop over the numbered ports, parameters or slots walks this table,
// so that a count or an offset is written down in one place only:
//
//   for (const CAttributeKind& kind : AttributeKinds) {
//       for (int32_t i = 0; i < kind.count; ++i) {
//           // kind.Name(i) "Float3", kind.Port(i) 36, kind.Slot(i) 3
//       }
//   }
//
// The table is constant and holds no state; any thread may read it.
#pragma once

#include <cstdint>
#include <string>

#include "host/sdk/CString.h"
#include "host/sdk/Enums.h"
#include "pdc/Pdc.h"
#include "plugin/Ports.h"

struct CAttributeKind {
    const wchar_t* prefix;  // "Float": the ports and parameters Float0, Float1, ...
    int32_t count;          // numbered ports, parameters and slots of the kind
    uint32_t portBase;      // port of index 0
    uint32_t groupBase;     // VelpoSetData's group of the output of index 0
    int32_t firstSlot;      // slot of index 0
    int32_t slotType;       // PdcTypeFloat, PdcTypeLong or PdcTypeVector
    int32_t dataType;       // siICENodeDataFloat, siICENodeDataLong or siICENodeDataVector3

    constexpr uint32_t Port(int32_t index) const { return portBase + static_cast<uint32_t>(index); }
    constexpr uint32_t Group(int32_t index) const {
        return groupBase + static_cast<uint32_t>(index);
    }
    constexpr int32_t Slot(int32_t index) const { return firstSlot + index; }

    // The index of `port` among the kind's ports, or -1 when it is not one.
    constexpr int32_t IndexOfPort(uint32_t port) const {
        return port >= portBase && port - portBase < static_cast<uint32_t>(count)
                   ? static_cast<int32_t>(port - portBase)
                   : -1;
    }

    // "Float3" as the host sees it (see NumberedName).
    XSI::CString Name(int32_t index) const { return NumberedName(prefix, index); }

    // "Float" and "Float3" as the tools and the settings files write them.
    std::string TypeName() const {
        std::string name;
        for (const wchar_t* c = prefix; *c != L'\0'; ++c) {
            name += static_cast<char>(*c);  // the prefixes are plain ASCII
        }
        return name;
    }
    std::string ParameterName(int32_t index) const {
        std::string name = TypeName();
        name += std::to_string(index);
        return name;
    }
};

// clang-format off
//                                         prefix     count            port base
//     group base       first slot          slot type      data type
inline constexpr CAttributeKind FloatKind{ L"Float",  FloatPortCount,  PortFloatBase,
    GroupFloatBase,  PdcFirstFloatSlot,  PdcTypeFloat,  XSI::siICENodeDataFloat};
inline constexpr CAttributeKind LongKind{  L"Long",   LongPortCount,   PortLongBase,
    GroupLongBase,   PdcFirstLongSlot,   PdcTypeLong,   XSI::siICENodeDataLong};
inline constexpr CAttributeKind VectorKind{L"Vector", VectorPortCount, PortVectorBase,
    GroupVectorBase, PdcFirstVectorSlot, PdcTypeVector, XSI::siICENodeDataVector3};
// clang-format on

// In the order of their slots and settings parameters.
inline constexpr CAttributeKind AttributeKinds[] = {FloatKind, LongKind, VectorKind};

// A numbered port stands for the slot of the same kind and index.
static_assert(FloatKind.count == PdcFloatSlotCount && LongKind.count == PdcLongSlotCount &&
              VectorKind.count == PdcVectorSlotCount);

// The kind whose numbered ports include `port`, or null.
constexpr const CAttributeKind* FindKindOfPort(uint32_t port) {
    for (const CAttributeKind& kind : AttributeKinds) {
        if (kind.IndexOfPort(port) >= 0) {
            return &kind;
        }
    }
    return nullptr;
}

// The kind whose slots hold values of `slotType`, or null for PdcTypeNone.
// "id" holds Long values and "position" Vector values, like those kinds.
constexpr const CAttributeKind* FindKindOfSlotType(int32_t slotType) {
    for (const CAttributeKind& kind : AttributeKinds) {
        if (kind.slotType == slotType) {
            return &kind;
        }
    }
    return nullptr;
}
