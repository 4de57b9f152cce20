// What the three nodes share: the per-evaluation state, the settings object
// and its parameters, the slot layout, and guards that give every data array
// and index set back to the host on every path out of a callback.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "host/sdk/Xsi.h"
#include "pdc/CacheFile.h"
#include "pdc/Pdc.h"
#include "pdc/SliceWriter.h"

// What lives from BeginEvaluate to EndEvaluate of one evaluation of an
// Export or SetData node. The node's user data holds a raw pointer to it (or
// null when BeginEvaluate made none); EndEvaluate deletes it.
struct CPdcUserData {
    std::unique_ptr<CPdc> pdc;  // the slots' layout, and the single values read
    XSI::CString fileName;      // the frame's cache file
    // Export only: the particles the file holds (Count), and the file's
    // writer, null when the file cannot be written.
    uint32_t count = 0;
    std::unique_ptr<CPdcSliceWriter> file;
    // SetData only: the open cache file, where its array records lie (the
    // Evaluate calls read them slice by slice), and whether a read failed.
    CFilePointer source;
    CPdcArrayPlace places[PdcSlotCount];
    std::atomic<bool> readFailed{false};
};

// The state stored in the node's user data, or null.
CPdcUserData* GetPdcUserData(const XSI::ICENodeContext& context);
// Stores `state` (may be null) as the node's user data; ownership stays
// with the caller's protocol: whoever takes it back out deletes it.
void PutPdcUserData(XSI::ICENodeContext& context, CPdcUserData* state);

// The settings object's parameters, as a node reads them at the current time.
struct CNodeSettings {
    XSI::CString path;
    int32_t step = 0;
    // The attribute name of each numbered slot, by slot ("" leaves it
    // unnamed); the id and position slots have fixed names and none here.
    XSI::CString slotNames[PdcSlotCount];
};

// First value of a single-valued Long input, 0 when the port gives none. The
// array is released before returning.
int32_t ReadFirstLong(XSI::ICENodeContext& context, uint32_t portID);

// The host object whose ID the node's Scop input carries; invalid when the
// ID names nothing.
XSI::ProjectItem FindSettingsObject(XSI::ICENodeContext& context, uint32_t scopPortID);

XSI::CString ReadTextParameter(const XSI::ProjectItem& object, const XSI::CString& name);
int32_t ReadIntegerParameter(const XSI::ProjectItem& object, const XSI::CString& name);

// "Step", then the numbered parameters kind by kind ("Float0".."Float9",
// "Long0".."Long4", "Vector0".."Vector9"); the path is read by the caller,
// which stops when it is empty.
void ReadStepAndNames(const XSI::ProjectItem& object, CNodeSettings& settings);

// Names and types the slots: "id", "position", then every named Float, Long
// and Vector slot. Slots with an empty name stay unnamed.
void ApplySlotLayout(CPdc& pdc, const CNodeSettings& settings);

// Runs a callback's work and returns OK whatever it throws: a host whose
// array calls throw must still not unwind through the plug-in.
XSI::CStatus Guarded(void (*work)(XSI::ICENodeContext&), XSI::ICENodeContext& context) noexcept;

// Logs at error severity. Never throws: a message that cannot even be built
// is dropped, since nothing may unwind into the host.
void LogError(const XSI::CString& text) noexcept;
void LogError(const wchar_t* prefix, const XSI::CString& fileName) noexcept;

// An input or output data array that is released when the guard goes out of
// scope, whichever way the callback leaves. Unbound, it reads as zero.
template <class T>
class CBoundArray {
public:
    CBoundArray() = default;
    CBoundArray(const CBoundArray&) = delete;
    CBoundArray& operator=(const CBoundArray&) = delete;
    ~CBoundArray() {
        if (context_ != nullptr) {
            context_->ReleaseDataArray(array_);
        }
    }

    void BindInput(XSI::ICENodeContext& context, int32_t dataType, uint32_t portID) {
        context_ = &context;
        context.AcquireInputDataArray(array_, dataType, portID, 0);
    }
    void BindOutput(XSI::ICENodeContext& context, int32_t dataType) {
        context_ = &context;
        context.AcquireOutputDataArray(array_, dataType);
    }

    uint32_t GetCount() const { return array_.GetCount(); }
    const T& operator[](uint32_t index) const { return array_[index]; }
    T& operator[](uint32_t index) { return array_[index]; }

private:
    XSI::ICENodeContext* context_ = nullptr;
    XSI::CDataArray<T> array_;
};

// The index set of the current call, released when the guard goes.
class CBoundIndexSet {
public:
    explicit CBoundIndexSet(XSI::ICENodeContext& context) : context_(context) {
        context_.AcquireIndexSet(set_);
    }
    CBoundIndexSet(const CBoundIndexSet&) = delete;
    CBoundIndexSet& operator=(const CBoundIndexSet&) = delete;
    ~CBoundIndexSet() { context_.ReleaseIndexSet(set_); }

    XSI::CIndexSet::Iterator Begin() const { return set_.Begin(); }
    // The subset is the elements [Offset(), Offset() + Count()).
    uint32_t Offset() const { return set_.GetOffset(); }
    uint32_t Count() const { return set_.GetCount(); }

private:
    XSI::ICENodeContext& context_;
    XSI::CIndexSet set_;
};
