// PDC files written out and taken apart byte by byte, big-endian, with
// shifts of their own: independent of the file layer's conversion code, so
// that a test states exactly what is on disk and checks exactly what the
// layer wrote.
//
//   const auto file = CPdcBytes().Header(2, 1).Record("id", PdcCodeDoubleArray)
//                         .Double(1).Double(2);
//   WriteBytes(path, file.Bytes());
#pragma once

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace VelpoTestSupport {

// The bytes go into a Container of bytes (std::vector<uint8_t> or
// std::string). Some steps have two names, Int and Int32, Bytes and Get,
// as the tests of different folders first called them.
template <class Container>
class CPdcBytesIn {
public:
    // "PDC ", version 1, byte order 1, two zero words and the two counts.
    CPdcBytesIn& Header(int32_t particleCount, int32_t attributeCount) {
        return Raw("PDC ").Int(1).Int(1).Int(0).Int(0).Int(particleCount).Int(attributeCount);
    }
    CPdcBytesIn& Int(int32_t value) {
        Put(static_cast<uint32_t>(value), 4);
        return *this;
    }
    CPdcBytesIn& Int32(int32_t value) { return Int(value); }
    CPdcBytesIn& Double(double value) {
        Put(std::bit_cast<uint64_t>(value), 8);
        return *this;
    }
    CPdcBytesIn& Doubles(std::initializer_list<double> values) {
        for (double value : values) {
            Double(value);
        }
        return *this;
    }
    // A record's name: its length, then its bytes.
    CPdcBytesIn& Name(std::string_view name) {
        return Int(static_cast<int32_t>(name.size())).Raw(name);
    }
    // A record's name and type code; its values follow.
    CPdcBytesIn& Record(std::string_view name, int32_t code) { return Name(name).Int(code); }
    // Bytes as they stand, without a length. One at a time: g++ 12 warns
    // falsely (-Wrestrict) of a ranged insert inlined at -O3.
    CPdcBytesIn& Raw(std::string_view bytes) {
        for (char byte : bytes) {
            bytes_.push_back(static_cast<typename Container::value_type>(byte));
        }
        return *this;
    }
    CPdcBytesIn& Raw(std::initializer_list<uint8_t> bytes) {
        bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    CPdcBytesIn& Text(std::string_view text) { return Raw(text); }

    const Container& Bytes() const { return bytes_; }
    const Container& Get() const { return bytes_; }
    size_t Size() const { return bytes_.size(); }

private:
    void Put(uint64_t value, int width) {
        for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) {
            bytes_.push_back(static_cast<typename Container::value_type>((value >> shift) & 0xFF));
        }
    }

    Container bytes_;
};

using CPdcBytes = CPdcBytesIn<std::vector<uint8_t>>;

// A PDC file taken apart: the header's counts and every record of a file
// as the writers of this project write it (codes 2 to 5 only).
struct CRecord {
    std::string name;
    int32_t code = -1;
    std::vector<double> values;  // vectors as x, y, z runs
};

struct CParsedPdc {
    // True when the whole file was taken apart, with no byte left over.
    bool ok = false;
    int32_t particleCount = 0;
    int32_t attributeCount = 0;
    std::vector<CRecord> records;

    // The first record of that name, or null.
    const CRecord* Find(const std::string& name) const;
};

CParsedPdc ParsePdc(const std::vector<uint8_t>& bytes);

}  // namespace VelpoTestSupport
