// BlendRow four pixels at a time, in 16-bit lanes: the same products, rounding and saturation.
#include <emmintrin.h>

#include "qpxblend.h"

namespace QPXUE {
namespace {

// x / 255 rounded, for each 16-bit lane x up to 255 * 255.
inline __m128i Divide255(__m128i x) {
    const __m128i t = _mm_add_epi16(x, _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}

// Two pixels widened to 16-bit lanes.
inline __m128i Blend(__m128i over, __m128i under, __m128i opacity) {
    const __m128i scaled = Divide255(_mm_mullo_epi16(over, opacity));
    const __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(scaled, 0xFF), 0xFF);
    const __m128i keep = _mm_sub_epi16(_mm_set1_epi16(255), alpha);
    return _mm_add_epi16(scaled, Divide255(_mm_mullo_epi16(under, keep)));
}

inline __m128i BlendFour(__m128i over, __m128i under, __m128i opacity) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i low = Blend(_mm_unpacklo_epi8(over, zero), _mm_unpacklo_epi8(under, zero), opacity);
    const __m128i high = Blend(_mm_unpackhi_epi8(over, zero), _mm_unpackhi_epi8(under, zero), opacity);
    return _mm_packus_epi16(low, high);  // saturates at 255
}

}  // namespace

void BlendRowSse2(const uint32_t* in, uint32_t* out, int count, uint32_t opacity) {
    const __m128i factor = _mm_set1_epi16(static_cast<short>(opacity));
    int x = 0;
    for (; x + 4 <= count; x += 4) {
        const __m128i over = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
        const __m128i under = _mm_loadu_si128(reinterpret_cast<const __m128i*>(out + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), BlendFour(over, under, factor));
    }
    if (x == count) return;
    // The last one to three pixels through a four-pixel copy.
    alignas(16) uint32_t overTail[4] = {}, underTail[4] = {};
    for (int i = 0; x + i < count; ++i) {
        overTail[i] = in[x + i];
        underTail[i] = out[x + i];
    }
    _mm_store_si128(reinterpret_cast<__m128i*>(underTail),
                    BlendFour(_mm_load_si128(reinterpret_cast<const __m128i*>(overTail)),
                              _mm_load_si128(reinterpret_cast<const __m128i*>(underTail)), factor));
    for (int i = 0; x + i < count; ++i) out[x + i] = underTail[i];
}

}  // namespace QPXUE
