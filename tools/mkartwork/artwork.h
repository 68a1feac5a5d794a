// The installer's artwork, drawn from code: the 900 x 424 background and the
// 16-colour icon. Encoded as the files the resource compiler takes.
#pragma once
#include <cstdint>
#include <vector>

constexpr int ARTWORK_WIDTH = 900;
constexpr int ARTWORK_HEIGHT = 424;

// A 24-bit bottom-up BMP file of the background.
std::vector<uint8_t> BuildBackgroundBmp();
// An ICO file with a 16 x 16 and a 32 x 32 image, 4 bits per pixel.
std::vector<uint8_t> BuildIcon();
