// One PDC particle cache file in memory, and its reading and writing.
//
// A file is a 28-byte header followed by `attributeCount` records, every
// number big-endian:
//
//   header  "PDC " | version | byteOrder | reserved1 | reserved2 |
//           particleCount | attributeCount                (int32 each)
//   record  name length L (int32) | L name bytes | type code (int32) | values
//
//   code 0  one int32            code 1  particleCount int32
//   code 2  one double           code 3  particleCount doubles
//   code 4  one x, y, z double   code 5  particleCount x, y, z doubles
//
// Writers emit codes 2 to 5 only (Float and Long values as doubles); readers
// accept all six. A CPdc holds 27 attribute slots in a fixed layout (the
// constants below) that writer and reader share, so a file goes back into
// the slots it came from.
//
// Errors: every file operation returns false on failure and never logs or
// throws; the nodes report. Operations read or write at the stream's current
// position and leave it where they stopped. Nothing here locks: one thread
// reads or writes a CPdc at a time, except that several threads may set
// `CAttribute::isArray` at once and any number may call the const accessors.
#pragma once

#include <cstdint>
#include <cstdio>

#include "host/sdk/Arrays.h"
#include "host/sdk/CString.h"
#include "host/sdk/Math.h"
#include "pdc/RelaxedBool.h"

class CPdcWriter;

// Where the values of an array record lie in its file: `count` values of
// type `code` (1, 3 or 5) from byte `offset`. Located() is false for a slot
// that no array record filled.
struct CPdcArrayPlace {
    int64_t offset = -1;
    int64_t count = 0;
    int32_t code = 0;

    bool Located() const { return offset >= 0; }
};

// Values of CAttribute::type: which of its arrays holds the values.
inline constexpr int32_t PdcTypeNone = 0;  // unnamed slot
inline constexpr int32_t PdcTypeFloat = 1;
inline constexpr int32_t PdcTypeLong = 2;
inline constexpr int32_t PdcTypeVector = 3;

// The slot layout shared by the nodes that write and read caches.
inline constexpr int32_t PdcSlotCount = 27;
inline constexpr int32_t PdcFirstFloatSlot = 0;  // slots 0..9: "Float0".."Float9"
inline constexpr int32_t PdcFloatSlotCount = 10;
inline constexpr int32_t PdcIdSlot = 10;         // Long "id"
inline constexpr int32_t PdcFirstLongSlot = 11;  // slots 11..15: "Long0".."Long4"
inline constexpr int32_t PdcLongSlotCount = 5;
inline constexpr int32_t PdcPositionSlot = 16;     // Vector "position"
inline constexpr int32_t PdcFirstVectorSlot = 17;  // slots 17..26: "Vector0".."Vector9"
inline constexpr int32_t PdcVectorSlotCount = 10;

// Record type codes as they stand in a file.
inline constexpr int32_t PdcCodeInteger = 0;
inline constexpr int32_t PdcCodeIntegerArray = 1;
inline constexpr int32_t PdcCodeDouble = 2;
inline constexpr int32_t PdcCodeDoubleArray = 3;
inline constexpr int32_t PdcCodeVector = 4;
inline constexpr int32_t PdcCodeVectorArray = 5;

// What a type code (0 to 5) says of its record's values: one per particle
// or one in all, int32 numbers or doubles, and numbers per value.
constexpr bool PdcCodeIsArray(int32_t code) {
    return code == PdcCodeIntegerArray || code == PdcCodeDoubleArray || code == PdcCodeVectorArray;
}
constexpr bool PdcCodeIsInteger(int32_t code) {
    return code == PdcCodeInteger || code == PdcCodeIntegerArray;
}
constexpr int32_t PdcCodeComponents(int32_t code) {
    return code == PdcCodeVector || code == PdcCodeVectorArray ? 3 : 1;
}

// Whether a slot of `slotType` takes a record of type `code`: Long slots
// take codes 0 to 3 (doubles truncated), Float slots 2 and 3, Vector slots 4
// and 5. Tools that predict what a read will fill ask the same question.
bool PdcSlotAccepts(int32_t slotType, int32_t code);

// The 28-byte file header, held in the machine's byte order. Fields start at
// zero; only FRead fills them from a file.
struct PdcHeader {
    char format[4] = {0, 0, 0, 0};
    int32_t version = 0;
    int32_t byteOrder = 0;
    int32_t reserved1 = 0;
    int32_t reserved2 = 0;
    int32_t particleCount = 0;
    int32_t attributeCount = 0;

    // The header a writer puts before its records: "PDC ", version 1, byte
    // order 1, reserved words 0.
    static PdcHeader ForWriting(int32_t particleCount, int32_t attributeCount);

    // Writes the 28 bytes. False on a null stream or when the stream reports
    // an error (an error it only finds when flushing its buffer shows at a
    // later write; CPdc::FWriteAttributes flushes).
    bool FWrite(FILE* file) const;

    // Reads the 28 bytes. The format is taken as it stands, never compared.
    // False on a null stream or a short header: the fields read whole before
    // the end are set, the rest keep their previous values.
    bool FRead(FILE* file);
};

// One named, typed attribute: a single value for the whole file (element 0
// of its array, `isArray` false) or one value per particle (`isArray` true).
// Only the array that `type` selects is ever resized, read or written; a new
// attribute is unnamed, of type PdcTypeNone, and each array holds one zero.
class CAttribute {
public:
    CAttribute();

    XSI::CString name;     // "" marks an unnamed slot
    CRelaxedBool isArray;  // safe to set from several threads at once
    int32_t type = PdcTypeNone;
    XSI::CFloatArray floatValues;
    XSI::CLongArray longValues;
    XSI::MATH::CVector3Array vectorValues;

    // Assigns name and type; values and isArray stay as they are.
    void Set(const XSI::CString& attributeName, int32_t attributeType);

    // Resizes the array that `type` selects (new elements are zero). A
    // negative count, or type PdcTypeNone, changes nothing.
    void Resize(int32_t count);

    // Resize for a caller that writes every new element before anything
    // reads it: new elements hold no defined value, and no pass over the
    // memory is made before the caller's own, which touches it first.
    void ResizeForOverwrite(int32_t count);

    // Writes this attribute's record: the name's narrow bytes preceded by
    // their byte count, then code 3 or 5 and every element when isArray,
    // else code 2 or 4 and element 0 (a zero value when the array is empty).
    // False, with nothing written, on a null stream, a type other than
    // Float, Long or Vector, or a name longer than 2^31 - 1 bytes; false
    // when the stream reports an error.
    bool FWrite(FILE* file) const;

    // The same record through a writer that may hold other records before
    // and after it (see pdc/RecordWriter.h). False, with nothing written,
    // for a type other than Float, Long or Vector or a name the writer
    // refuses; false when the writer fails.
    bool Write(CPdcWriter& writer) const;

    // Reads the values of a record whose name and type code have been read:
    // every element in index order when isArray, else element 0 (an empty
    // array first gets one element). Float slots narrow doubles to float;
    // Long slots take int32 values when fileHoldsIntegers, else doubles
    // truncated toward zero and saturated to the 32-bit range (NaN gives 0);
    // Vector slots take x, y, z doubles. False on a null stream or a short
    // read: values read whole before it stay stored. PdcTypeNone reads
    // nothing and succeeds.
    bool FRead(FILE* file, bool fileHoldsIntegers);

    // Reads an array record's `count` values: isArray becomes true, the
    // array that `type` selects is resized to `count` for overwrite and
    // every element is written once, by the read. Converted as FRead. False
    // on a null stream, a negative count or a short read: the values read
    // whole stay stored and every later element, a vector's components
    // included, is zero, as if the array had been resized first.
    // PdcTypeNone reads nothing and succeeds.
    bool FReadArray(FILE* file, bool fileHoldsIntegers, int32_t count);

    // Per-particle accessors: when isArray is false the index is ignored and
    // element 0 is delivered; when true, element `index` if it exists. False,
    // with the output untouched, when there is no such element. Read-only,
    // safe from any number of threads.
    bool GetFloat(int32_t index, float& value) const;
    bool GetLong(int32_t index, int32_t& value) const;
    bool GetVector(int32_t index, XSI::MATH::CVector3& value) const;
};

// A PDC file in memory: its header and the 27 attribute slots.
class CPdc {
public:
    PdcHeader header;
    CAttribute attributes[PdcSlotCount];

    // CAttribute::Set on a slot; an index outside 0..26 is ignored.
    void SetAttribute(int32_t slot, const XSI::CString& name, int32_t type);

    // CAttribute::Resize(count) on every slot.
    void Resize(int32_t count);

    // Element count of the position slot's array (0 when it has no type):
    // the particleCount a writer puts in the header.
    int32_t PositionCount() const;

    // Number of slots with a name: the attributeCount a writer puts in the
    // header.
    int32_t NamedAttributeCount() const;

    // Writes one record per named slot, in slot order, through one
    // CPdcWriter, and flushes the stream. False on a null stream, on a record that cannot be
    // written (see CAttribute::FWrite) or when the stream reports an error.
    bool FWriteAttributes(FILE* file) const;

    // Reads header.attributeCount records into the slots; call after
    // header.FRead, with the slots' names and types set up. The records are
    // walked by CPdcRecordWalker, which checks every length and count
    // against the bytes left before anything is allocated or skipped, so
    // memory stays bounded by the file size. A record goes to the first
    // slot of its exact name whose type accepts its code (0, 1: Long; 2, 3:
    // Float or Long; 4, 5: Vector) and that no earlier record of the file
    // has filled; when all such slots are filled, the first is overwritten
    // (the rule of pdc/SlotFilling.h, which every other reader follows).
    // Array codes are read with FReadArray(particleCount), which sizes the
    // slot without zeroing it first. Other records are stepped over. Slot
    // names and types never change.
    //
    // True at once when attributeCount < 1. Also true when the last counted
    // record ends right after its name (some tools write such a record).
    // False, with the slots read so far kept, wherever the walker finds the
    // file broken (see pdc/RecordWalker.h): a null stream or one whose size
    // cannot be found, a bad name length, an unknown type code, an array
    // record under a negative particleCount, values past the end of the
    // file. Bytes after the last record are not read.
    bool ReadParticles(FILE* file);

    // ReadParticles for a reader that takes array records slice by slice
    // where they lie (pdc/SliceReader.h): the same records reach the same
    // slots and single values are read as ReadParticles reads them, but an
    // array record is only located, in `places[slot]`, with the slot's
    // isArray set and its arrays left as they are. A slot whose last record
    // is a single value has no place. The walk checks the array records'
    // values are in the file, as ReadParticles does.
    bool LocateParticles(FILE* file, CPdcArrayPlace (&places)[PdcSlotCount]);

private:
    bool WalkParticles(FILE* file, CPdcArrayPlace* places);
};
