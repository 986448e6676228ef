// Rows of premultiplied pixels blended over others at a constant opacity: the inner loop of
// a cross-fade, which GDI's own blend makes several times as slow.
#pragma once

#include <cstdint>

namespace QPXUE {

// out = in * opacity + out * (1 - alpha(in) * opacity) for `count` premultiplied BGRA pixels,
// each product rounded to the nearest of 255 steps, sums above 255 kept at 255. `opacity` 0-255.
void BlendRow(const uint32_t* in, uint32_t* out, int count, uint32_t opacity);
// The same, four pixels at a time; only for a processor with SSE2.
void BlendRowSse2(const uint32_t* in, uint32_t* out, int count, uint32_t opacity);

}  // namespace QPXUE
