// The bulk conversions of ByteOrder.h in three variants: plain code, SSE2
// and AVX2. The SIMD variants are compiled for their instruction set by
// function attribute, so the rest of the build keeps its baseline (the
// 32-bit Windows build included), and are chosen once at run time from
// what the processor reports. Each variant handles whole vectors and hands
// the last few values to the plain code, so all three agree bit for bit.
#include "pdc/ByteOrder.h"

#include "base/DoubleToInt32.h"

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define VELPO_X86_SIMD 1
#include <immintrin.h>
#endif
// AVX2 only where the ABI keeps 32-byte vectors in registers reliably; the
// 32-bit builds stop at SSE2.
#if defined(VELPO_X86_SIMD) && defined(__x86_64__)
#define VELPO_X86_AVX2 1
#endif

namespace PdcByteOrder {

namespace {

// ---------------------------------------------------------------------------
// Plain code: also the tail of every SIMD loop.

void Swap64Portable(void* out, const void* in, size_t count) {
    auto* to = static_cast<unsigned char*>(out);
    const auto* from = static_cast<const unsigned char*>(in);
    for (size_t i = 0; i < count; ++i) {
        // Loaded whole before the store, so in place works.
        const uint64_t word = LoadUInt64(from + DoubleBytes * i);
        std::memcpy(to + DoubleBytes * i, &word, DoubleBytes);
    }
}

void Swap32Portable(void* out, const void* in, size_t count) {
    auto* to = static_cast<unsigned char*>(out);
    const auto* from = static_cast<const unsigned char*>(in);
    for (size_t i = 0; i < count; ++i) {
        const int32_t word = LoadInt32(from + Int32Bytes * i);
        std::memcpy(to + Int32Bytes * i, &word, Int32Bytes);
    }
}

void StoreFloatsAsDoublesPortable(unsigned char* out, const float* values, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        StoreDouble(out + DoubleBytes * i, static_cast<double>(values[i]));
    }
}

void StoreInt32sAsDoublesPortable(unsigned char* out, const int32_t* values, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        StoreDouble(out + DoubleBytes * i, static_cast<double>(values[i]));
    }
}

void LoadDoublesAsFloatsPortable(float* values, const unsigned char* in, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        values[i] = static_cast<float>(LoadDouble(in + DoubleBytes * i));
    }
}

void LoadDoublesAsLongsPortable(int32_t* values, const unsigned char* in, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        values[i] = DoubleToInt32(LoadDouble(in + DoubleBytes * i));
    }
}

constexpr CBulkConversions Portable = {
    Swap64Portable,
    Swap32Portable,
    StoreFloatsAsDoublesPortable,
    StoreInt32sAsDoublesPortable,
    LoadDoublesAsFloatsPortable,
    LoadDoublesAsLongsPortable,
};

#if defined(VELPO_X86_SIMD)

// ---------------------------------------------------------------------------
// SSE2: the baseline of x86-64, and what the 32-bit Windows build uses.
// Without a byte shuffle, a word's bytes are reversed as pairs swapped
// within 16-bit lanes, then the lanes reversed.

#define VELPO_SSE2 __attribute__((target("sse2")))
#define VELPO_SSE2_INLINE VELPO_SSE2 inline __attribute__((always_inline))

VELPO_SSE2_INLINE __m128i SwapBytesInLanes(__m128i v) {
    return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
}

VELPO_SSE2_INLINE __m128i Swap64Sse2(__m128i v) {
    v = SwapBytesInLanes(v);
    v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(0, 1, 2, 3));
    return _mm_shufflehi_epi16(v, _MM_SHUFFLE(0, 1, 2, 3));
}

VELPO_SSE2_INLINE __m128i Swap32Sse2(__m128i v) {
    v = SwapBytesInLanes(v);
    v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
    return _mm_shufflehi_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
}

VELPO_SSE2_INLINE __m128i LoadBytes(const void* in) {
    return _mm_loadu_si128(static_cast<const __m128i*>(in));
}

VELPO_SSE2_INLINE void StoreBytes(void* out, __m128i v) {
    _mm_storeu_si128(static_cast<__m128i*>(out), v);
}

VELPO_SSE2 void Swap64Sse2(void* out, const void* in, size_t count) {
    auto* to = static_cast<unsigned char*>(out);
    const auto* from = static_cast<const unsigned char*>(in);
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i a = LoadBytes(from + DoubleBytes * i);
        const __m128i b = LoadBytes(from + DoubleBytes * i + 16);
        StoreBytes(to + DoubleBytes * i, Swap64Sse2(a));
        StoreBytes(to + DoubleBytes * i + 16, Swap64Sse2(b));
    }
    Swap64Portable(to + DoubleBytes * i, from + DoubleBytes * i, count - i);
}

VELPO_SSE2 void Swap32Sse2(void* out, const void* in, size_t count) {
    auto* to = static_cast<unsigned char*>(out);
    const auto* from = static_cast<const unsigned char*>(in);
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        StoreBytes(to + Int32Bytes * i, Swap32Sse2(LoadBytes(from + Int32Bytes * i)));
    }
    Swap32Portable(to + Int32Bytes * i, from + Int32Bytes * i, count - i);
}

VELPO_SSE2_INLINE void StoreTwoDoubles(unsigned char* out, __m128d values) {
    StoreBytes(out, Swap64Sse2(_mm_castpd_si128(values)));
}

VELPO_SSE2_INLINE __m128d LoadTwoDoubles(const unsigned char* in) {
    return _mm_castsi128_pd(Swap64Sse2(LoadBytes(in)));
}

VELPO_SSE2 void StoreFloatsAsDoublesSse2(unsigned char* out, const float* values, size_t count) {
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128 floats = _mm_loadu_ps(values + i);
        StoreTwoDoubles(out + DoubleBytes * i, _mm_cvtps_pd(floats));
        StoreTwoDoubles(out + DoubleBytes * i + 16, _mm_cvtps_pd(_mm_movehl_ps(floats, floats)));
    }
    StoreFloatsAsDoublesPortable(out + DoubleBytes * i, values + i, count - i);
}

VELPO_SSE2 void StoreInt32sAsDoublesSse2(unsigned char* out, const int32_t* values, size_t count) {
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i integers = LoadBytes(values + i);
        StoreTwoDoubles(out + DoubleBytes * i, _mm_cvtepi32_pd(integers));
        StoreTwoDoubles(out + DoubleBytes * i + 16,
                        _mm_cvtepi32_pd(_mm_shuffle_epi32(integers, _MM_SHUFFLE(1, 0, 3, 2))));
    }
    StoreInt32sAsDoublesPortable(out + DoubleBytes * i, values + i, count - i);
}

VELPO_SSE2 void LoadDoublesAsFloatsSse2(float* values, const unsigned char* in, size_t count) {
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128 low = _mm_cvtpd_ps(LoadTwoDoubles(in + DoubleBytes * i));
        const __m128 high = _mm_cvtpd_ps(LoadTwoDoubles(in + DoubleBytes * i + 16));
        _mm_storeu_ps(values + i, _mm_movelh_ps(low, high));
    }
    LoadDoublesAsFloatsPortable(values + i, in + DoubleBytes * i, count - i);
}

// DoubleToInt32 on two lanes: NaN becomes 0, the rest is clamped to the
// int32 range (both limits are exact doubles) and truncated.
VELPO_SSE2_INLINE __m128i TwoDoublesToLongs(__m128d value) {
    value = _mm_and_pd(value, _mm_cmpord_pd(value, value));
    value = _mm_max_pd(value, _mm_set1_pd(-2147483648.0));
    value = _mm_min_pd(value, _mm_set1_pd(2147483647.0));
    return _mm_cvttpd_epi32(value);
}

VELPO_SSE2 void LoadDoublesAsLongsSse2(int32_t* values, const unsigned char* in, size_t count) {
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m128i low = TwoDoublesToLongs(LoadTwoDoubles(in + DoubleBytes * i));
        const __m128i high = TwoDoublesToLongs(LoadTwoDoubles(in + DoubleBytes * i + 16));
        StoreBytes(values + i, _mm_unpacklo_epi64(low, high));
    }
    LoadDoublesAsLongsPortable(values + i, in + DoubleBytes * i, count - i);
}

constexpr CBulkConversions Sse2 = {
    Swap64Sse2,
    Swap32Sse2,
    StoreFloatsAsDoublesSse2,
    StoreInt32sAsDoublesSse2,
    LoadDoublesAsFloatsSse2,
    LoadDoublesAsLongsSse2,
};

#if defined(VELPO_X86_AVX2)

// ---------------------------------------------------------------------------
// AVX2: one byte shuffle reverses every word of a 32-byte vector.

#define VELPO_AVX2 __attribute__((target("avx2")))
#define VELPO_AVX2_INLINE VELPO_AVX2 inline __attribute__((always_inline))

VELPO_AVX2_INLINE __m256i Swap64Mask() {
    return _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2,
                            1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
}

VELPO_AVX2_INLINE __m256i Swap32Mask() {
    return _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3, 2, 1, 0, 7, 6,
                            5, 4, 11, 10, 9, 8, 15, 14, 13, 12);
}

VELPO_AVX2_INLINE __m256i LoadBytes256(const void* in) {
    return _mm256_loadu_si256(static_cast<const __m256i*>(in));
}

VELPO_AVX2_INLINE void StoreBytes256(void* out, __m256i v) {
    _mm256_storeu_si256(static_cast<__m256i*>(out), v);
}

VELPO_AVX2 void Swap64Avx2(void* out, const void* in, size_t count) {
    auto* to = static_cast<unsigned char*>(out);
    const auto* from = static_cast<const unsigned char*>(in);
    const __m256i mask = Swap64Mask();
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i a = LoadBytes256(from + DoubleBytes * i);
        const __m256i b = LoadBytes256(from + DoubleBytes * i + 32);
        StoreBytes256(to + DoubleBytes * i, _mm256_shuffle_epi8(a, mask));
        StoreBytes256(to + DoubleBytes * i + 32, _mm256_shuffle_epi8(b, mask));
    }
    Swap64Portable(to + DoubleBytes * i, from + DoubleBytes * i, count - i);
}

VELPO_AVX2 void Swap32Avx2(void* out, const void* in, size_t count) {
    auto* to = static_cast<unsigned char*>(out);
    const auto* from = static_cast<const unsigned char*>(in);
    const __m256i mask = Swap32Mask();
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        StoreBytes256(to + Int32Bytes * i,
                      _mm256_shuffle_epi8(LoadBytes256(from + Int32Bytes * i), mask));
    }
    Swap32Portable(to + Int32Bytes * i, from + Int32Bytes * i, count - i);
}

VELPO_AVX2 void StoreFloatsAsDoublesAvx2(unsigned char* out, const float* values, size_t count) {
    const __m256i mask = Swap64Mask();
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m256d doubles = _mm256_cvtps_pd(_mm_loadu_ps(values + i));
        StoreBytes256(out + DoubleBytes * i,
                      _mm256_shuffle_epi8(_mm256_castpd_si256(doubles), mask));
    }
    StoreFloatsAsDoublesPortable(out + DoubleBytes * i, values + i, count - i);
}

VELPO_AVX2 void StoreInt32sAsDoublesAvx2(unsigned char* out, const int32_t* values, size_t count) {
    const __m256i mask = Swap64Mask();
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        const __m256d doubles =
            _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(values + i)));
        StoreBytes256(out + DoubleBytes * i,
                      _mm256_shuffle_epi8(_mm256_castpd_si256(doubles), mask));
    }
    StoreInt32sAsDoublesPortable(out + DoubleBytes * i, values + i, count - i);
}

VELPO_AVX2_INLINE __m256d LoadFourDoubles(const unsigned char* in, __m256i mask) {
    return _mm256_castsi256_pd(_mm256_shuffle_epi8(LoadBytes256(in), mask));
}

VELPO_AVX2 void LoadDoublesAsFloatsAvx2(float* values, const unsigned char* in, size_t count) {
    const __m256i mask = Swap64Mask();
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        _mm_storeu_ps(values + i, _mm256_cvtpd_ps(LoadFourDoubles(in + DoubleBytes * i, mask)));
    }
    LoadDoublesAsFloatsPortable(values + i, in + DoubleBytes * i, count - i);
}

VELPO_AVX2 void LoadDoublesAsLongsAvx2(int32_t* values, const unsigned char* in, size_t count) {
    const __m256i mask = Swap64Mask();
    const __m256d lowest = _mm256_set1_pd(-2147483648.0);
    const __m256d highest = _mm256_set1_pd(2147483647.0);
    size_t i = 0;
    for (; i + 4 <= count; i += 4) {
        __m256d value = LoadFourDoubles(in + DoubleBytes * i, mask);
        value = _mm256_and_pd(value, _mm256_cmp_pd(value, value, _CMP_ORD_Q));
        value = _mm256_min_pd(_mm256_max_pd(value, lowest), highest);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(values + i), _mm256_cvttpd_epi32(value));
    }
    LoadDoublesAsLongsPortable(values + i, in + DoubleBytes * i, count - i);
}

constexpr CBulkConversions Avx2 = {
    Swap64Avx2,
    Swap32Avx2,
    StoreFloatsAsDoublesAvx2,
    StoreInt32sAsDoublesAvx2,
    LoadDoublesAsFloatsAvx2,
    LoadDoublesAsLongsAvx2,
};

#endif

bool Supports(CBulkLevel level) {
    __builtin_cpu_init();
    switch (level) {
        case CBulkLevel::Avx2:
#if defined(VELPO_X86_AVX2)
            return __builtin_cpu_supports("avx2");
#else
            return false;
#endif
        case CBulkLevel::Sse2:
            return __builtin_cpu_supports("sse2");
        default:
            return true;
    }
}

#else

bool Supports(CBulkLevel level) {
    return level == CBulkLevel::Portable;
}

#endif

const CBulkConversions& Best() {
    static const CBulkConversions* const best = BulkConversions(BestBulkLevel());
    return *best;
}

}  // namespace

const CBulkConversions* BulkConversions(CBulkLevel level) {
    if (!Supports(level)) {
        return nullptr;
    }
    switch (level) {
#if defined(VELPO_X86_AVX2)
        case CBulkLevel::Avx2:
            return &Avx2;
#endif
#if defined(VELPO_X86_SIMD)
        case CBulkLevel::Sse2:
            return &Sse2;
#endif
        default:
            return &Portable;
    }
}

CBulkLevel BestBulkLevel() {
    static const CBulkLevel best = Supports(CBulkLevel::Avx2)   ? CBulkLevel::Avx2
                                   : Supports(CBulkLevel::Sse2) ? CBulkLevel::Sse2
                                                                : CBulkLevel::Portable;
    return best;
}

void StoreDoubles(unsigned char* out, const double* values, size_t count) {
    Best().swap64(out, values, count);
}

void StoreFloatsAsDoubles(unsigned char* out, const float* values, size_t count) {
    Best().storeFloatsAsDoubles(out, values, count);
}

void StoreInt32sAsDoubles(unsigned char* out, const int32_t* values, size_t count) {
    Best().storeInt32sAsDoubles(out, values, count);
}

void StoreInt32s(unsigned char* out, const int32_t* values, size_t count) {
    Best().swap32(out, values, count);
}

void LoadDoubles(double* values, const unsigned char* in, size_t count) {
    Best().swap64(values, in, count);
}

void LoadDoublesAsFloats(float* values, const unsigned char* in, size_t count) {
    Best().loadDoublesAsFloats(values, in, count);
}

void LoadDoublesAsLongs(int32_t* values, const unsigned char* in, size_t count) {
    Best().loadDoublesAsLongs(values, in, count);
}

void LoadInt32s(int32_t* values, const unsigned char* in, size_t count) {
    Best().swap32(values, in, count);
}

void LoadUInt64sInPlace(uint64_t* words, size_t count) {
    Best().swap64(words, words, count);
}

void LoadUInt32sInPlace(uint32_t* words, size_t count) {
    Best().swap32(words, words, count);
}

}  // namespace PdcByteOrder
