// A frame written slice by slice, straight into its file, as the Export
// node receives its points: each subset's values of each slot go to where
// they lie in the file, converted to the format's big-endian doubles on the
// way, and no copy of the frame is gathered in memory.
//
//   CPdcSliceWriter frame(layout, particleCount);   // the slots' names and types
//   if (!frame.Begin(target, reason)) { ... }
//   frame.Write(PdcPositionSlot, first, positions, count);   // any thread, any order
//   frame.Fill(PdcFirstFloatSlot, first, 1.5f, count);       // one value for all of them
//   if (!frame.Finish(layout, durability, reason)) { ... }   // its isArray flags now final
//
// The file holds the header and one record per named slot of the layout, in
// slot order, each with `particleCount` values (floats and integers widened
// to doubles, vectors as three doubles): the bytes CPdc::FWriteAttributes
// writes for the same slots and values. Elements no call writes are zero.
// Whether a slot is an array or a single value is known only once every
// subset has been seen, so the records are laid out as arrays; Finish moves
// every record that follows a single value up to its place (a single value
// is the slot's element 0), which costs a pass over what follows it.
//
// The target is written by the safe write at offsets (SafeWriteAt.h), with
// its promises: until Finish returns true it is the earlier file, whole.
// Errors: Begin and Finish return false with a reason fit to follow
// "<file>: "; a failed Write or Fill shows at Finish. Nothing logs; the
// constructor and Finish may throw std::bad_alloc (Finish's buffers are a
// megabyte at most), Write and Fill never throw.
#pragma once

#include <cstdint>
#include <string>

#include "pdc/Pdc.h"
#include "pdc/SafeWriteAt.h"

class CPdcSliceWriter {
public:
    // The named slots of `layout` (their names and types; values and
    // isArray are not looked at) as records of `particleCount` values; a
    // negative count is taken as none.
    CPdcSliceWriter(const CPdc& layout, int32_t particleCount);

    bool Begin(const std::string& target, std::string& reason);

    // Elements [first, first + count) of `slot` from `values` (T: float for
    // a Float slot, int32_t for a Long one, XSI::MATH::CVector3f for a
    // Vector one), or `value` for each of them. Elements past the particle
    // count, and slots that are not written to the file, take nothing.
    // Several threads may write at once where their elements differ. False
    // when T does not fit the slot's type or the write failed.
    template <class T>
    bool Write(int32_t slot, uint32_t first, const T* values, uint32_t count);
    template <class T>
    bool Fill(int32_t slot, uint32_t first, const T& value, uint32_t count);

    // Lays the records out as the isArray flags of `layout` (the one the
    // writer was made with, or one with the same names) say, writes their
    // names and the header, and puts the file under the target's name.
    bool Finish(const CPdc& layout, CDurability durability, std::string& reason);

private:
    struct CRecord {
        int32_t type = PdcTypeNone;  // PdcTypeNone: not in the file
        std::string name;
        uint64_t width = 0;   // bytes per element in the file
        uint64_t dataAt = 0;  // offset of element 0 while laid out as an array
    };

    template <class T, class Convert>
    bool WriteConverted(int32_t slot, uint32_t first, uint32_t count, Convert convert);
    bool MoveData(uint64_t from, uint64_t to, uint64_t bytes);
    template <class Put>
    bool PutAt(uint64_t at, Put put);

    CSafeWriteAt file_;
    uint32_t particleCount_;
    uint64_t size_ = 0;
    CRecord records_[PdcSlotCount];
};
