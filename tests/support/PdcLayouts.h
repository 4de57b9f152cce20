// CPdc slot layouts as the nodes give them, and whole cache files read and
// written through the file layer the way the nodes read and write them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>

#include "host/sdk/CString.h"
#include "pdc/Pdc.h"

namespace VelpoTestSupport {

// Host text from UTF-8.
XSI::CString Text(const char* utf8);

// An attribute name for one slot; the slot's type follows from its place
// in the layout (Float, Long or Vector).
struct CNamedSlot {
    int32_t slot;
    const char* name;
};

// Names and types `named` slots, and only those.
void NameSlots(CPdc& pdc, std::initializer_list<CNamedSlot> named);

// The nodes' layout: "id" and "position" in their slots, then `named`.
void SetLayout(CPdc& pdc, std::initializer_list<CNamedSlot> named = {});

// The nodes' layout for settings whose numbered parameters name
// `parameters` (parameter -> attribute name, as MakeSettings takes them).
void SetSettingsLayout(CPdc& pdc, const std::map<std::string, std::string>& parameters);

// Header and records of the file at `path` read into `pdc`, as the reading
// node reads them. False when the file cannot be opened or read.
bool ReadPdcFile(const std::string& path, CPdc& pdc);

// `pdc` written to `path` as the writing node writes it: the header its
// named slots and position count give, then their records. False when the
// file cannot be made or written whole.
bool WritePdcFile(const std::string& path, const CPdc& pdc);

}  // namespace VelpoTestSupport
