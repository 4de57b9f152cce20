// The evaluation context handed to every node callback, with the data arrays
// and index sets it lends out.
//
// A context is a thin handle onto the runtime's evaluation of one call
// (host/core/ContextBackend.h). Arrays and index sets acquired through it
// belong to that call and must be released before the callback returns; the
// runtime counts those that are not.
#pragma once

#include <cstdint>
#include <type_traits>

#include "host/sdk/CStatus.h"
#include "host/sdk/CValue.h"
#include "host/sdk/Enums.h"
#include "host/sdk/Export.h"
#include "host/sdk/Math.h"

namespace VelpoHost {
class CContextBackend;
}

namespace XSI {

// A run of values of one port for the current call.
//
// Reading is safe at any index: a constant input (count 1) yields its value
// at every index, an array that holds no data yields zero, and an index past
// the end yields zero. Writing past the end of an output goes to a scratch
// value and is lost.
template <class T>
class CDataArray {
public:
    CDataArray() = default;
    CDataArray(const CDataArray&) = delete;
    CDataArray& operator=(const CDataArray&) = delete;

    uint32_t GetCount() const { return count_; }
    bool IsConstant() const { return count_ == 1; }

    const T& operator[](uint32_t index) const { return Element(index); }
    T& operator[](uint32_t index) { return const_cast<T&>(Element(index)); }

private:
    friend class ICENodeContext;

    const T& Element(uint32_t index) const {
        if (index < count_) {
            return data_[index];
        }
        if (count_ == 1) {
            return data_[0];
        }
        return scratch_;
    }

    T* data_ = nullptr;
    uint32_t count_ = 0;
    bool acquired_ = false;
    mutable T scratch_{};
};

// The elements of the current call: subset index i runs from 0 to
// GetCount() - 1, and its absolute index in the whole evaluation is
// GetOffset() + i.
class CIndexSet {
public:
    class Iterator {
    public:
        bool HasNext() const { return index_ < count_; }
        void Next() { ++index_; }
        Iterator& operator++() {
            ++index_;
            return *this;
        }
        uint32_t GetIndex() const { return index_; }
        uint32_t GetAbsoluteIndex() const { return offset_ + index_; }
        operator uint32_t() const { return index_; }

    private:
        friend class CIndexSet;
        Iterator(uint32_t offset, uint32_t count) : offset_(offset), count_(count) {}
        uint32_t offset_, count_, index_ = 0;
    };

    CIndexSet() = default;
    Iterator Begin() const { return Iterator(offset_, count_); }
    uint32_t GetCount() const { return count_; }
    uint32_t GetOffset() const { return offset_; }

private:
    friend class ICENodeContext;
    uint32_t offset_ = 0;
    uint32_t count_ = 0;
    bool acquired_ = false;
};

// User data of one node instance, kept by the runtime between evaluations.
class XSI_API Context {
public:
    explicit Context(VelpoHost::CContextBackend* backend) : backend_(backend) {}

    CValue GetUserData() const;
    CStatus PutUserData(const CValue& value);

protected:
    VelpoHost::CContextBackend* backend_;
};

class XSI_API ICENodeContext : public Context {
public:
    explicit ICENodeContext(VelpoHost::CContextBackend* backend) : Context(backend) {}

    // The output port this Evaluate call computes (0xFFFFFFFF in Begin/End).
    uint32_t GetEvaluatedOutputPortID() const;
    uint32_t GetNumberOfElementsToProcess() const;
    // Only an element generator's BeginEvaluate may set it.
    CStatus PutNumberOfElementsToProcess(uint32_t count);

    // Binds the values of an input port. The data type must be the port's
    // and match T; otherwise the array is left unbound (count 0) and the
    // status says why. An unconnected port serves its default value.
    template <class T>
    CStatus AcquireInputDataArray(CDataArray<T>& array, int32_t dataType, uint32_t portID,
                                  uint32_t instance = 0) {
        void* data = nullptr;
        uint32_t count = 0;
        CStatus status = AcquireInput(&data, &count, dataType, sizeof(T), portID, instance);
        Bind(array, status, data, count);
        return status;
    }

    // Binds the output of the port being evaluated, for the current subset.
    template <class T>
    CStatus AcquireOutputDataArray(CDataArray<T>& array, int32_t dataType) {
        void* data = nullptr;
        uint32_t count = 0;
        CStatus status = AcquireOutput(&data, &count, dataType, sizeof(T));
        Bind(array, status, data, count);
        return status;
    }

    template <class T>
    CStatus ReleaseDataArray(CDataArray<T>& array) {
        if (!array.acquired_) {
            return CStatus::False;
        }
        array.acquired_ = false;
        array.data_ = nullptr;
        array.count_ = 0;
        return ReleaseArray();
    }

    CStatus AcquireIndexSet(CIndexSet& set);
    CStatus ReleaseIndexSet(CIndexSet& set);

private:
    template <class T>
    static void Bind(CDataArray<T>& array, const CStatus& status, void* data, uint32_t count) {
        if (status.Succeeded()) {
            array.data_ = static_cast<T*>(data);
            array.count_ = count;
            array.acquired_ = true;
        } else {
            array.data_ = nullptr;
            array.count_ = 0;
        }
    }

    CStatus AcquireInput(void** data, uint32_t* count, int32_t dataType, uint32_t elementSize,
                         uint32_t portID, uint32_t instance);
    CStatus AcquireOutput(void** data, uint32_t* count, int32_t dataType, uint32_t elementSize);
    CStatus ReleaseArray();
};

}  // namespace XSI
