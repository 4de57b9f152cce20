// Which record of a file a reader delivers when several records share a
// name: the one rule that the nodes, `velpo import`, `velpo check`, `velpo
// convert`, `velpo preview` and the Python module all follow.
//
// The nodes read a file into the slots of a CPdc, record after record in
// file order. A record goes to the first slot of its name whose type
// accepts its code (codes 0, 1: Long; 2, 3: Float or Long; 4, 5: Vector)
// and that no earlier record of the file has filled. Once every such slot
// is filled, a later record overwrites the first of them. So:
//
//   - settings that name two slots alike get the two records that the
//     Export node wrote for them back in turn, one to each slot;
//   - a name with one slot delivers the LAST record of that name that the
//     slot accepts: for "age"=[1,1] then "age"=[2,2], the slot holds [2,2].
//
// A reader with no slot types of its own (velpo.read, check) reads as one
// slot per name that accepts every code (PdcTypeAny), so each name delivers
// its last record; every record stays in the file and in the listings that
// show all records (`velpo info`, Cache.records()).
//
// Names compare as the nodes compare them: as host strings, the record's
// bytes up to the first zero byte decoded the way XSI::CString decodes a
// narrow string (UTF-8, any other byte as a Latin-1 character). A record
// whose name is empty (no slot bears it: the empty name marks a slot
// unused) or longer than the walker keeps (CPdcRecord::nameCut) reaches no
// slot.
//
// Neither class locks; use one per file read. Memory grows with the slots
// (for CPdcNameFilling, with the names and records taken), and a record is
// placed in time that does not grow with the number of slots of other names.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/sdk/CString.h"
#include "pdc/RecordWalker.h"

// A slot type for readers that take every name whatever its code. Only the
// rule below knows it; CAttribute::type never holds it.
inline constexpr int32_t PdcTypeAny = -1;

// Whether a slot of `slotType` (PdcTypeFloat, Long, Vector or Any) takes a
// record of type `code`.
bool PdcSlotTakes(int32_t slotType, int32_t code);

// The nodes' rule over a slot layout.
class CPdcSlotFilling {
public:
    // Adds the next slot in slot order and gives its index. A slot with an
    // empty name or of type PdcTypeNone takes no record.
    int32_t AddSlot(const XSI::CString& name, int32_t slotType);

    // The slot the next record of the file (in file order) goes to, which
    // counts as filled from then on; -1 when no slot takes it.
    int32_t Take(const XSI::CString& name, int32_t code);
    int32_t Take(const CPdcRecord& record);

    bool Filled(int32_t slot) const { return slots_.at(static_cast<size_t>(slot)).filled; }
    int32_t SlotCount() const { return static_cast<int32_t>(slots_.size()); }
    // The first slot that bears `name`, whatever its type; -1 when none.
    int32_t FirstSlotNamed(const XSI::CString& name) const;

    // The name as a record's bytes give it to the nodes.
    static XSI::CString RecordName(const CPdcRecord& record);

private:
    struct CSlot {
        int32_t type = 0;
        bool filled = false;
    };
    static std::wstring Key(const XSI::CString& name);

    std::vector<CSlot> slots_;
    std::unordered_map<std::wstring, std::vector<int32_t>> byName_;  // slots, in slot order
};

// The rule for readers without slot types: one slot per name that takes
// every code, so each name delivers its last record. Take every record of
// interest in file order, then ask which ones are delivered.
class CPdcNameFilling {
public:
    // The record comes next in file order; `index` is its place in the file
    // (CPdcRecord::index). Records whose name is empty or was cut, or of a
    // code outside 0 to 5, are not delivered.
    void Take(int32_t index, const std::string& name, bool nameCut, int32_t code);
    void Take(const CPdcRecord& record) {
        Take(record.index, record.name, record.nameCut, record.code);
    }

    // Whether the record at `index` is the one its name delivers: no later
    // record taken has its name.
    bool Delivers(int32_t index) const;

    // The index of the record that `name` (bytes, as in a file) delivers;
    // -1 when no record of that name was taken.
    int32_t DeliveredIndex(const std::string& name) const;

private:
    CPdcSlotFilling slots_;
    std::vector<int32_t> lastOfSlot_;                    // record index, per slot
    std::unordered_map<int32_t, int32_t> slotOfRecord_;  // record index -> slot
};
