// Port and group IDs of the three nodes. They are fixed at registration and
// are what the callbacks hand to the evaluation context, so they must never
// change once caches and graphs exist.
#pragma once

#include <cstdint>

#include "host/sdk/CString.h"
#include "host/sdk/CValue.h"

// Single-valued inputs.
inline constexpr uint32_t PortFrame = 0;
inline constexpr uint32_t PortCount = 1;       // VelpoExport only
inline constexpr uint32_t PortScop = 2;        // VelpoExport and VelpoSetData
inline constexpr uint32_t PortImportScop = 1;  // VelpoImport has no Count, so its Scop is 1

// Per-point ports; the numbered ones are base + index.
inline constexpr uint32_t PortInPosition = 12;
inline constexpr uint32_t PortVectorBase = 14;  // Vector0 ... Vector9: 14 ... 23
inline constexpr uint32_t PortFloatBase = 33;   // Float0 ... Float9: 33 ... 42
inline constexpr uint32_t PortId = 50;
inline constexpr uint32_t PortLongBase = 51;  // Long0 ... Long4: 51 ... 55

// Outputs.
inline constexpr uint32_t PortPosition = 200;
inline constexpr uint32_t PortNumberOfElements = 201;  // VelpoImport only

// Groups. VelpoSetData puts every output in a group of its own whose ID is
// the port's ID plus 100.
inline constexpr uint32_t GroupIn = 100;
inline constexpr uint32_t GroupPosition = 300;
inline constexpr uint32_t GroupNumberOfElements = 301;
inline constexpr uint32_t GroupVectorBase = 114;
inline constexpr uint32_t GroupFloatBase = 133;
inline constexpr uint32_t GroupId = 150;
inline constexpr uint32_t GroupLongBase = 151;

// Constraints shared by the per-point inputs of one node, so the host
// evaluates them all with one structure and one context.
inline constexpr uint32_t ConstraintStructure = 401;
inline constexpr uint32_t ConstraintContext = 402;

// Numbered attribute ports per kind.
inline constexpr int32_t FloatPortCount = 10;
inline constexpr int32_t LongPortCount = 5;
inline constexpr int32_t VectorPortCount = 10;

// "Float3" from "Float" and 3. The numbered ports and the settings parameters
// that name their attributes share this text; the index goes through the
// host's integer-to-text conversion, so it has no leading zeros.
inline XSI::CString NumberedName(const wchar_t* prefix, int32_t index) {
    return XSI::CString(prefix) + XSI::CValue(index).GetAsText();
}
