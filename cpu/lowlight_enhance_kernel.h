// The low-light row, written once over the lane operations of vec.h.
// Included by the portable, SSE2 and AVX2 row files only.
#pragma once

#include "cpu/lowlight_enhance_rows.h"
#include "cpu/vec.h"

namespace kelvo {
namespace video {
namespace {

// O::N pixels at x; l/r are the columns left and right of x (clamped by the
// caller at the edges), p/c/n the previous, current and next rows.
template <class O>
void lowlightPixels(const uint8_t* pl, const uint8_t* pc, const uint8_t* pr,
                    const uint8_t* cl, const uint8_t* cc, const uint8_t* cr,
                    const uint8_t* nl, const uint8_t* nc, const uint8_t* nr, uint8_t* dst,
                    const LowlightRowParams& p) {
    using F = typename O::F;
    const F inv255 = O::set(1.0f / 255.0f);
    F r, g, b;
    O::loadRGB(cc, r, g, b);
    r = r * inv255;
    g = g * inv255;
    b = b * inv255;
    F y = vclamp<O>(O::set(0.299f) * r + O::set(0.587f) * g + O::set(0.114f) * b, 0.0f, 1.0f);

    F curve = vlog<O>(O::set(1.0f) + y / O::set(p.k)) / O::set(p.curveScale) * O::set(0.90f);
    F yNew = O::select(O::lt(y, O::set(0.90f)), curve, y);
    // Keep the quotient finite where the gain is dropped.
    F gain = O::select(O::gt(y, O::set(0.00001f)), yNew / O::max(y, O::set(0.00001f)),
                       O::set(0.0f));
    auto lift = [&](F c) {
        return vclamp<O>(O::set(0.5f) * (gain * (c + y) + (c - y)), 0.0f, 1.0f);
    };
    F lr = lift(r), lg = lift(g), lb = lift(b);

    F sum = O::loadG(nr) * inv255;
    sum = sum + O::loadG(pl) * inv255;
    sum = sum + O::loadG(nl) * inv255;
    sum = sum + O::loadG(pr) * inv255;
    sum = sum + O::loadG(cr) * inv255;
    sum = sum + O::loadG(cl) * inv255;
    sum = sum + O::loadG(nc) * inv255;
    sum = sum + O::loadG(pc) * inv255;
    sum = (sum + g) * O::set(0.1111f);

    F dif = g - sum;
    F sharpWeight = O::select(O::lt(dif, O::set(0.039216f)), O::set(0.4f),
                              O::select(O::le(dif, O::set(0.078431f)), O::set(0.8f),
                                        O::set(0.6f)));
    F hPass = g - sum + O::set(0.5f);
    auto up = O::lt(hPass, O::set(0.5f));  // step(0.5, hPass) == 0
    auto sharpen = [&](F c) {
        F t = O::set(2.0f) * hPass + c - O::set(1.0f);
        F s = O::select(up, O::max(O::set(0.0f), t), O::min(O::set(1.0f), t));
        return c * (O::set(1.0f) - sharpWeight) + s * sharpWeight;
    };
    O::storeRGBA(dst, toUnorm8<O>(sharpen(lr)), toUnorm8<O>(sharpen(lg)),
                 toUnorm8<O>(sharpen(lb)));
}

template <class O>
void lowlightRow(const uint8_t* prev, const uint8_t* cur, const uint8_t* next, uint8_t* dst,
                 int width, const LowlightRowParams& p) {
    auto scalarAt = [&](int x) {
        const int l = 4 * (x > 0 ? x - 1 : 0);
        const int c = 4 * x;
        const int r = 4 * (x + 1 < width ? x + 1 : width - 1);
        lowlightPixels<ScalarOps>(prev + l, prev + c, prev + r, cur + l, cur + c, cur + r,
                                  next + l, next + c, next + r, dst + c, p);
    };
    if (width <= 0) return;
    scalarAt(0);
    int x = 1;
    // Vector blocks need the column right of their last pixel.
    for (; x + O::N < width; x += O::N) {
        const int l = 4 * (x - 1), c = 4 * x, r = 4 * (x + 1);
        lowlightPixels<O>(prev + l, prev + c, prev + r, cur + l, cur + c, cur + r, next + l,
                          next + c, next + r, dst + c, p);
    }
    for (; x < width; ++x) {
        scalarAt(x);
    }
}

}  // namespace
}  // namespace video
}  // namespace kelvo
