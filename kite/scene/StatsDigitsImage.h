// The character map of the statistics display: 12 x 32 cells in code order from '.', drawn in code.
#pragma once

namespace kite {

class Image;

constexpr int kStatsCellWidth = 12;
constexpr int kStatsCellHeight = 32;
constexpr char kStatsFirstChar = '.';
constexpr char kStatsLastChar = 'z';

// A new image (one creation reference, the caller's) with a white glyph in the cell of every character the
// statistics texts use; the other cells are blank. Null when the image cannot be made.
Image* createStatsDigitsImage();

// Whether the glyph of c covers the pixel (x, y) of its cell, y counted from the cell's top.
bool statsGlyphCovers(char c, int x, int y);

}  // namespace kite
