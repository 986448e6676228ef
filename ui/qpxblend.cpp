// The plain rows; the SSE2 ones are in qpxblendsse2.cpp, the one file built for SSE2.
#include "qpxblend.h"

namespace QPXUE {
namespace {

// Both 8-bit lanes of `lanes` (bits 0-7 and 16-23) times `factor` / 255, rounded.
inline uint32_t ScaleLanes(uint32_t lanes, uint32_t factor) {
    const uint32_t product = lanes * factor + 0x00800080;
    return ((product + ((product >> 8) & 0x00FF00FF)) >> 8) & 0x00FF00FF;
}

// Lane sums above 255 kept at 255.
inline uint32_t SaturateLanes(uint32_t sums) {
    return (sums | (0x01000100 - ((sums >> 8) & 0x00010001))) & 0x00FF00FF;
}

}  // namespace

void BlendRow(const uint32_t* in, uint32_t* out, int count, uint32_t opacity) {
    for (int x = 0; x < count; ++x) {
        const uint32_t overRb = ScaleLanes(in[x] & 0x00FF00FF, opacity);
        const uint32_t overAg = ScaleLanes((in[x] >> 8) & 0x00FF00FF, opacity);
        const uint32_t keep = 255 - (overAg >> 16);
        const uint32_t rb = SaturateLanes(overRb + ScaleLanes(out[x] & 0x00FF00FF, keep));
        const uint32_t ag = SaturateLanes(overAg + ScaleLanes((out[x] >> 8) & 0x00FF00FF, keep));
        out[x] = rb | (ag << 8);
    }
}

}  // namespace QPXUE
