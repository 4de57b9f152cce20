// Big-endian numbers of the PDC format, built and split with shifts.
//
// Shifts see the value, not its bytes in memory, so the same code is right
// on any machine; compilers turn these loops into byte-swap instructions.
// Worked example, the int32 1000 (0x000003E8):
//
//   StoreInt32(bytes, 1000)   bytes = 00 00 03 E8   (most significant first)
//   LoadInt32(bytes)          (0x00 << 24) | (0x00 << 16) | (0x03 << 8) | 0xE8
//                             = 1000
//
// A double travels as the 64 bits of its IEEE 754 form in the same order:
// 1.0 is 0x3FF0000000000000, stored as 3F F0 00 00 00 00 00 00.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace PdcByteOrder {

inline constexpr size_t Int32Bytes = 4;
inline constexpr size_t DoubleBytes = 8;

// Written out in full rather than as loops: compilers recognise this form as
// one load or store with a byte swap.
inline void StoreUInt64(unsigned char* out, uint64_t bits) {
    out[0] = static_cast<unsigned char>(bits >> 56);
    out[1] = static_cast<unsigned char>(bits >> 48);
    out[2] = static_cast<unsigned char>(bits >> 40);
    out[3] = static_cast<unsigned char>(bits >> 32);
    out[4] = static_cast<unsigned char>(bits >> 24);
    out[5] = static_cast<unsigned char>(bits >> 16);
    out[6] = static_cast<unsigned char>(bits >> 8);
    out[7] = static_cast<unsigned char>(bits);
}

inline uint64_t LoadUInt64(const unsigned char* in) {
    return (uint64_t{in[0]} << 56) | (uint64_t{in[1]} << 48) | (uint64_t{in[2]} << 40) |
           (uint64_t{in[3]} << 32) | (uint64_t{in[4]} << 24) | (uint64_t{in[5]} << 16) |
           (uint64_t{in[6]} << 8) | uint64_t{in[7]};
}

inline void StoreInt32(unsigned char* out, int32_t value) {
    const uint32_t bits = static_cast<uint32_t>(value);
    out[0] = static_cast<unsigned char>(bits >> 24);
    out[1] = static_cast<unsigned char>(bits >> 16);
    out[2] = static_cast<unsigned char>(bits >> 8);
    out[3] = static_cast<unsigned char>(bits);
}

inline int32_t LoadInt32(const unsigned char* in) {
    const uint32_t bits = (uint32_t{in[0]} << 24) | (uint32_t{in[1]} << 16) |
                          (uint32_t{in[2]} << 8) | uint32_t{in[3]};
    return static_cast<int32_t>(bits);
}

inline uint32_t LoadUInt32(const unsigned char* in) {
    return static_cast<uint32_t>(LoadInt32(in));
}

inline uint16_t LoadUInt16(const unsigned char* in) {
    return static_cast<uint16_t>((in[0] << 8) | in[1]);
}

// Least significant byte first, for the other formats the tools read that
// may carry either order (binary PLY). The same shifts, mirrored: the int32
// 1000 is E8 03 00 00.
inline uint16_t LoadLittleUInt16(const unsigned char* in) {
    return static_cast<uint16_t>(in[0] | (in[1] << 8));
}

inline uint32_t LoadLittleUInt32(const unsigned char* in) {
    return uint32_t{in[0]} | (uint32_t{in[1]} << 8) | (uint32_t{in[2]} << 16) |
           (uint32_t{in[3]} << 24);
}

inline uint64_t LoadLittleUInt64(const unsigned char* in) {
    return uint64_t{in[0]} | (uint64_t{in[1]} << 8) | (uint64_t{in[2]} << 16) |
           (uint64_t{in[3]} << 24) | (uint64_t{in[4]} << 32) | (uint64_t{in[5]} << 40) |
           (uint64_t{in[6]} << 48) | (uint64_t{in[7]} << 56);
}

inline void StoreDouble(unsigned char* out, double value) {
    StoreUInt64(out, std::bit_cast<uint64_t>(value));
}

inline double LoadDouble(const unsigned char* in) {
    return std::bit_cast<double>(LoadUInt64(in));
}

// Runs of values, converted with the widest instructions the machine has
// (AVX2 or SSE2 where present, checked once at run time; plain code
// elsewhere). Every variant gives the same bits as the one-value functions
// above. `count` is the number of values; file bytes are count * 8 bytes
// for doubles and count * 4 for int32 numbers. Pointers need no alignment.

// Machine values to file bytes. Floats and int32 numbers are widened to
// doubles exactly.
void StoreDoubles(unsigned char* out, const double* values, size_t count);
void StoreFloatsAsDoubles(unsigned char* out, const float* values, size_t count);
void StoreInt32sAsDoubles(unsigned char* out, const int32_t* values, size_t count);
void StoreInt32s(unsigned char* out, const int32_t* values, size_t count);

// File bytes to machine values. Doubles narrow to float by rounding to
// nearest; doubles become int32 numbers as DoubleToInt32 has it
// (truncated toward zero, saturated, NaN gives 0). The narrowing ones go
// front to back, so `values` may start at `in` itself: a reader can land
// the file's doubles in the array that keeps the results.
void LoadDoubles(double* values, const unsigned char* in, size_t count);
void LoadDoublesAsFloats(float* values, const unsigned char* in, size_t count);
void LoadDoublesAsLongs(int32_t* values, const unsigned char* in, size_t count);
void LoadInt32s(int32_t* values, const unsigned char* in, size_t count);

// Runs converted in place, for a reader that takes the file's bytes straight
// into the memory it keeps: `count` big-endian words become machine words.
void LoadUInt64sInPlace(uint64_t* words, size_t count);
void LoadUInt32sInPlace(uint32_t* words, size_t count);

// The variants, for tests and benchmarks that compare them. Each table
// converts as the functions above; BulkConversions is null for a level the
// machine (or this build) cannot run.
enum class CBulkLevel { Portable, Sse2, Avx2 };

struct CBulkConversions {
    // 8- or 4-byte words between the file's byte order and the machine's;
    // `out` may equal `in`.
    void (*swap64)(void* out, const void* in, size_t count);
    void (*swap32)(void* out, const void* in, size_t count);
    void (*storeFloatsAsDoubles)(unsigned char* out, const float* values, size_t count);
    void (*storeInt32sAsDoubles)(unsigned char* out, const int32_t* values, size_t count);
    void (*loadDoublesAsFloats)(float* values, const unsigned char* in, size_t count);
    void (*loadDoublesAsLongs)(int32_t* values, const unsigned char* in, size_t count);
};

const CBulkConversions* BulkConversions(CBulkLevel level);
// The level the functions above use: the best this machine runs.
CBulkLevel BestBulkLevel();

}  // namespace PdcByteOrder
