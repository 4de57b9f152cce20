// Helpers for the PDC tests: a scratch folder, files built byte by byte, and
// streams that close themselves.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pdc/Pdc.h"

namespace PdcTest {

using Bytes = std::vector<unsigned char>;

// A folder of its own for each test, removed with everything in it.
class CTempFolder {
public:
    CTempFolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("velpo-pdc-") + info->test_suite_name() + "-" + info->name();
        for (char& c : name) {
            if (c == '/') {
                c = '_';
            }
        }
        path_ = std::filesystem::temp_directory_path() / name;
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~CTempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

class CFile {
public:
    CFile(const std::string& path, const char* mode) : file_(std::fopen(path.c_str(), mode)) {}
    ~CFile() { Close(); }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    FILE* Get() const { return file_; }
    operator FILE*() const { return file_; }
    int Close() {
        const int result = file_ ? std::fclose(file_) : 0;
        file_ = nullptr;
        return result;
    }

private:
    FILE* file_;
};

// Big-endian file content written out the long way, independent of the
// library's own conversion code.
class CBytes {
public:
    CBytes& Int32(int32_t value) {
        const auto bits = static_cast<uint32_t>(value);
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes_.push_back(static_cast<unsigned char>(bits >> shift));
        }
        return *this;
    }
    CBytes& Double(double value) {
        const auto bits = std::bit_cast<uint64_t>(value);
        for (int shift = 56; shift >= 0; shift -= 8) {
            bytes_.push_back(static_cast<unsigned char>(bits >> shift));
        }
        return *this;
    }
    CBytes& Text(const std::string& text) {
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        return *this;
    }
    CBytes& Raw(std::initializer_list<unsigned char> raw) {
        bytes_.insert(bytes_.end(), raw);
        return *this;
    }
    CBytes& Header(int32_t particleCount, int32_t attributeCount) {
        return Text("PDC ")
            .Int32(1)
            .Int32(1)
            .Int32(0)
            .Int32(0)
            .Int32(particleCount)
            .Int32(attributeCount);
    }
    // Length, name and type code of a record.
    CBytes& Record(const std::string& name, int32_t code) {
        return Int32(static_cast<int32_t>(name.size())).Text(name).Int32(code);
    }
    const Bytes& Get() const { return bytes_; }
    size_t Size() const { return bytes_.size(); }

private:
    Bytes bytes_;
};

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline XSI::CString Text(const char* utf8) {
    return XSI::CString::FromUtf8(utf8);
}

// The layout the nodes use, with "id" and "position" and the named
// attributes given by slot.
struct CNamedSlot {
    int32_t slot;
    const char* name;
};

inline void SetLayout(CPdc& pdc, std::initializer_list<CNamedSlot> named = {}) {
    pdc.SetAttribute(PdcIdSlot, Text("id"), PdcTypeLong);
    pdc.SetAttribute(PdcPositionSlot, Text("position"), PdcTypeVector);
    for (const CNamedSlot& slot : named) {
        int32_t type = PdcTypeVector;
        if (slot.slot < PdcIdSlot) {
            type = PdcTypeFloat;
        } else if (slot.slot < PdcPositionSlot) {
            type = PdcTypeLong;
        }
        pdc.SetAttribute(slot.slot, Text(slot.name), type);
    }
}

// Header and records of `path` read into `pdc`, as the reading node does.
inline bool ReadPdcFile(const std::string& path, CPdc& pdc) {
    CFile file(path, "rb");
    return pdc.header.FRead(file) && pdc.ReadParticles(file);
}

}  // namespace PdcTest
