#include "link/byte_scan.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVIX_X86_SCAN 1
#endif

namespace orvix {
namespace {

size_t scalarFind(const uint8_t* bytes, size_t from, size_t length, uint8_t a, uint8_t b) {
    for (size_t i = from; i < length; ++i) {
        if (bytes[i] == a || bytes[i] == b) return i;
    }
    return length;
}

#if ORVIX_X86_SCAN
// Thirty-two bytes at a time on processors that have AVX2.
__attribute__((target("avx2"))) size_t findAvx2(const uint8_t* bytes, size_t length, uint8_t a, uint8_t b) {
    const __m256i va = _mm256_set1_epi8(static_cast<char>(a));
    const __m256i vb = _mm256_set1_epi8(static_cast<char>(b));
    size_t i = 0;
    for (; i + 32 <= length; i += 32) {
        const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i));
        const __m256i match = _mm256_or_si256(_mm256_cmpeq_epi8(block, va), _mm256_cmpeq_epi8(block, vb));
        const unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(match));
        if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(mask));
    }
    return scalarFind(bytes, i, length, a, b);
}

// Sixteen bytes at a time with SSE2, which every x86-64 processor has.
size_t findSse2(const uint8_t* bytes, size_t length, uint8_t a, uint8_t b) {
    const __m128i va = _mm_set1_epi8(static_cast<char>(a));
    const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
    size_t i = 0;
    for (; i + 16 <= length; i += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i match = _mm_or_si128(_mm_cmpeq_epi8(block, va), _mm_cmpeq_epi8(block, vb));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(match));
        if (mask != 0) return i + static_cast<size_t>(__builtin_ctz(mask));
    }
    return scalarFind(bytes, i, length, a, b);
}

const bool kHasAvx2 = __builtin_cpu_supports("avx2");
#endif

}  // namespace

size_t findEitherByte(const uint8_t* bytes, size_t length, uint8_t a, uint8_t b) {
    if (a == b) {
        const void* hit = std::memchr(bytes, a, length);
        return hit == nullptr ? length : static_cast<size_t>(static_cast<const uint8_t*>(hit) - bytes);
    }
#if ORVIX_X86_SCAN
    return kHasAvx2 ? findAvx2(bytes, length, a, b) : findSse2(bytes, length, a, b);
#else
    return scalarFind(bytes, 0, length, a, b);
#endif
}

}  // namespace orvix
