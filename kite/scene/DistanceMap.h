// Signed distance fields of glyph coverage bitmaps, for text that stays sharp when scaled.
#pragma once
#include <memory>

namespace kite {

// Pixels of field added on each side of a glyph.
constexpr int kDistanceMapSpread = 3;

// A field of (width + 6) x (height + 6) bytes from width x height coverage bytes: 128 on the edge,
// 16 more per pixel inside, 16 less per pixel outside, clamped to 0..255. The glyph sits 3 columns
// right of the field's left edge and on its top row.
std::unique_ptr<unsigned char[]> makeDistanceMap(const unsigned char* coverage, int width, int height);

}  // namespace kite
