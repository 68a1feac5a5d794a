#include "artwork.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

struct Rgb {
  float r, g, b;
};

Rgb Mix(Rgb a, Rgb b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Hex(uint32_t v) {
  return {((v >> 16) & 0xFF) / 255.0f, ((v >> 8) & 0xFF) / 255.0f, (v & 0xFF) / 255.0f};
}

float Clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }

struct Canvas {
  int width, height;
  std::vector<Rgb> pixels;
  Canvas(int w, int h) : width(w), height(h), pixels(static_cast<size_t>(w) * h, Rgb{0, 0, 0}) {}
  Rgb& At(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
  void Blend(int x, int y, Rgb c, float alpha) {
    if (x < 0 || y < 0 || x >= width || y >= height || alpha <= 0) return;
    Rgb& p = At(x, y);
    p = Mix(p, c, Clamp01(alpha));
  }
  void Add(int x, int y, Rgb c, float amount) {
    if (x < 0 || y < 0 || x >= width || y >= height) return;
    Rgb& p = At(x, y);
    p.r += c.r * amount;
    p.g += c.g * amount;
    p.b += c.b * amount;
  }
  // Axis-aligned box with rounded corners, anti-aliased at the edges.
  void RoundBox(float x0, float y0, float x1, float y1, float radius, Rgb top, Rgb bottom, float alpha = 1) {
    for (int y = static_cast<int>(y0) - 1; y <= static_cast<int>(y1) + 1; ++y) {
      for (int x = static_cast<int>(x0) - 1; x <= static_cast<int>(x1) + 1; ++x) {
        float px = x + 0.5f, py = y + 0.5f;
        float cx = std::min(std::max(px, x0 + radius), x1 - radius);
        float cy = std::min(std::max(py, y0 + radius), y1 - radius);
        float d = std::hypot(px - cx, py - cy) - radius;
        float cover = Clamp01(0.5f - d);
        float t = Clamp01((py - y0) / std::max(1.0f, y1 - y0));
        Blend(x, y, Mix(top, bottom, t), cover * alpha);
      }
    }
  }
};

// --- A small stroke font: capitals drawn as polylines in a 10-unit cap height.

struct Point {
  float x, y;
};
struct Stroke {
  std::vector<Point> points;
};
struct Glyph {
  float width;
  std::vector<Stroke> strokes;
};

Stroke Line(std::initializer_list<Point> points) { return Stroke{std::vector<Point>(points)}; }

// Elliptic arc; angles in degrees, 0 to the right, 90 down; a1 may be below a0.
Stroke Arc(float cx, float cy, float rx, float ry, float a0, float a1) {
  Stroke s;
  int steps = std::max(6, static_cast<int>(std::fabs(a1 - a0) / 7.5f));
  for (int i = 0; i <= steps; ++i) {
    float a = (a0 + (a1 - a0) * i / steps) * 3.14159265f / 180.0f;
    s.points.push_back({cx + rx * std::cos(a), cy + ry * std::sin(a)});
  }
  return s;
}

Stroke Join(Stroke a, const Stroke& b) {
  a.points.insert(a.points.end(), b.points.begin(), b.points.end());
  return a;
}

Glyph GlyphFor(char c) {
  switch (c) {
    case 'A': return {7.4f, {Line({{0, 10}, {3.7f, 0}, {7.4f, 10}}), Line({{1.4f, 6.5f}, {6.0f, 6.5f}})}};
    case 'C': return {7.6f, {Arc(4.6f, 5, 4.6f, 5, 318, 42)}};
    case 'D': return {7.6f, {Join(Join(Line({{2.6f, 10}, {0, 10}, {0, 0}, {2.6f, 0}}), Arc(2.6f, 5, 5, 5, -90, 90)), Line({{2.6f, 10}}))}};
    case 'E': return {6.2f, {Line({{6.2f, 0}, {0, 0}, {0, 10}, {6.2f, 10}}), Line({{0, 5}, {5.2f, 5}})}};
    case 'G': return {8.0f, {Join(Arc(4.8f, 5, 4.8f, 5, 320, 30), Line({{9.0f, 6.2f}, {5.2f, 6.2f}}))}};
    case 'H': return {7.0f, {Line({{0, 0}, {0, 10}}), Line({{7, 0}, {7, 10}}), Line({{0, 5}, {7, 5}})}};
    case 'I': return {0.0f, {Line({{0, 0}, {0, 10}})}};
    case 'L': return {6.0f, {Line({{0, 0}, {0, 10}, {6, 10}})}};
    case 'M': return {8.6f, {Line({{0, 10}, {0, 0}, {4.3f, 7.2f}, {8.6f, 0}, {8.6f, 10}})}};
    case 'N': return {7.2f, {Line({{0, 10}, {0, 0}, {7.2f, 10}, {7.2f, 0}})}};
    case 'O': return {9.4f, {Arc(4.7f, 5, 4.7f, 5, 0, 360)}};
    case 'Q': return {9.4f, {Arc(4.7f, 5, 4.7f, 5, 0, 360), Line({{5.9f, 7.0f}, {9.6f, 10.6f}})}};
    case 'R': return {6.8f, {Join(Join(Line({{0, 10}, {0, 0}, {3.6f, 0}}), Arc(3.6f, 2.75f, 2.75f, 2.75f, -90, 90)), Line({{0, 5.5f}})),
                             Line({{3.2f, 5.5f}, {6.8f, 10}})}};
    case 'S': return {6.8f, {Join(Arc(3.4f, 2.6f, 3.3f, 2.6f, 330, 90), Arc(3.4f, 7.5f, 3.6f, 2.5f, -90, 150))}};
    case 'T': return {7.0f, {Line({{0, 0}, {7, 0}}), Line({{3.5f, 0}, {3.5f, 10}})}};
    case 'U': return {7.2f, {Join(Join(Line({{0, 0}, {0, 6.4f}}), Arc(3.6f, 6.4f, 3.6f, 3.6f, 180, 0)), Line({{7.2f, 0}}))}};
    case 'V': return {7.4f, {Line({{0, 0}, {3.7f, 10}, {7.4f, 0}})}};
    case 'X': return {7.0f, {Line({{0, 0}, {7, 10}}), Line({{7, 0}, {0, 10}})}};
    case 'Y': return {7.0f, {Line({{0, 0}, {3.5f, 5}, {7, 0}}), Line({{3.5f, 5}, {3.5f, 10}})}};
    default: return {4.0f, {}};  // space
  }
}

float SegmentDistance(Point p, Point a, Point b) {
  float dx = b.x - a.x, dy = b.y - a.y;
  float len2 = dx * dx + dy * dy;
  float t = len2 > 0 ? Clamp01(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2) : 0;
  return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

// Draws text with its cap top at (x, y); returns the x after the last glyph.
// colour_at gives the fill from the pixel's height within the caps (0..1).
template <typename ColourAt>
float DrawText(Canvas& canvas, const char* text, float x, float y, float cap, float weight, float spacing,
               ColourAt colour_at, float alpha = 1, float halo = 0) {
  float unit = cap / 10.0f;
  float thick = weight * cap;
  float drawn = thick + halo;  // a halo widens the strokes, not the advance
  for (const char* c = text; *c; ++c) {
    Glyph g = GlyphFor(*c);
    float x0 = x + thick / 2;
    int bx0 = static_cast<int>(x0 - drawn) - 1, bx1 = static_cast<int>(x0 + g.width * unit + drawn) + 2;
    int by0 = static_cast<int>(y - drawn) - 1, by1 = static_cast<int>(y + cap * 1.1f + drawn) + 2;
    for (int py = by0; py <= by1; ++py) {
      for (int px = bx0; px <= bx1; ++px) {
        Point p = {(px + 0.5f - x0) / unit, (py + 0.5f - y) / unit};
        float d = 1e9f;
        for (const Stroke& s : g.strokes) {
          if (s.points.size() == 1) d = std::min(d, SegmentDistance(p, s.points[0], s.points[0]));
          for (size_t i = 1; i < s.points.size(); ++i) d = std::min(d, SegmentDistance(p, s.points[i - 1], s.points[i]));
        }
        float cover = Clamp01(drawn / 2 - d * unit + 0.5f);
        if (cover > 0) canvas.Blend(px, py, colour_at(Clamp01((py + 0.5f - y) / cap)), cover * alpha);
      }
    }
    x += g.width * unit + thick + spacing * unit;
  }
  return x;
}

// A deterministic "recording": a few decaying notes over a noise floor.
float Envelope(float t) {
  static const float onsets[] = {0.02f, 0.16f, 0.27f, 0.41f, 0.50f, 0.63f, 0.77f, 0.86f};
  static const float peaks[] = {0.85f, 0.55f, 1.0f, 0.62f, 0.9f, 0.48f, 0.95f, 0.58f};
  float e = 0.06f;
  for (int i = 0; i < 8; ++i) {
    float dt = t - onsets[i];
    if (dt >= 0) e = std::max(e, peaks[i] * std::exp(-dt * 16.0f) * (1 - std::exp(-dt * 400.0f)));
  }
  float wobble = 0.75f + 0.25f * std::sin(t * 211.0f) * std::sin(t * 57.0f + 1.3f);
  return Clamp01(e * wobble + 0.04f * std::fabs(std::sin(t * 613.0f)));
}

void DrawBackground(Canvas& c) {
  const Rgb top = Hex(0x141d33), bottom = Hex(0x070a12);
  const Rgb teal = Hex(0x21b8cf), violet = Hex(0x7b4fe0);
  for (int y = 0; y < c.height; ++y) {
    for (int x = 0; x < c.width; ++x) {
      Rgb p = Mix(top, bottom, static_cast<float>(y) / c.height);
      float g1 = std::exp(-(std::pow((x - 640.0f) / 330.0f, 2) + std::pow((y - 170.0f) / 210.0f, 2)));
      float g2 = std::exp(-(std::pow((x - 140.0f) / 260.0f, 2) + std::pow((y - 300.0f) / 160.0f, 2)));
      p.r += teal.r * 0.13f * g1 + violet.r * 0.10f * g2;
      p.g += teal.g * 0.13f * g1 + violet.g * 0.10f * g2;
      p.b += teal.b * 0.13f * g1 + violet.b * 0.10f * g2;
      c.At(x, y) = p;
    }
  }
  // A faint timeline grid.
  for (int y = 24; y < 372; y += 24)
    for (int x = 0; x < c.width; ++x) c.Blend(x, y, Hex(0x5a6a90), 0.06f);
  for (int x = 36; x < 580; x += 48)
    for (int y = 0; y < 372; ++y) c.Blend(x, y, Hex(0x5a6a90), 0.05f);
}

void DrawTitle(Canvas& c) {
  const Rgb small = Hex(0x8fb3d9);
  DrawText(c, "HALCYRA", 50, 46, 13, 0.16f, 5.0f, [&](float) { return small; });
  for (int x = 50; x < 122; ++x) {
    c.Blend(x, 68, Hex(0x21b8cf), 0.9f);
    c.Blend(x, 69, Hex(0x21b8cf), 0.5f);
  }
  const Rgb hi = Hex(0xffffff), lo = Hex(0x9fe6f2);
  // A soft glow under the name, then the name.
  DrawText(c, "QUORVANE", 46, 92, 56, 0.13f, 3.0f, [&](float) { return Hex(0x21b8cf); }, 0.10f, 14);
  DrawText(c, "QUORVANE", 46, 92, 56, 0.13f, 3.0f, [&](float) { return Hex(0x21b8cf); }, 0.16f, 6);
  DrawText(c, "QUORVANE", 46, 92, 56, 0.13f, 3.0f, [&](float t) { return Mix(hi, lo, t); });
  DrawText(c, "AUDIO MIXING SUITE", 50, 170, 13, 0.14f, 4.0f, [&](float) { return Hex(0xa9b6cc); });
}

void DrawWaveform(Canvas& c) {
  const int x0 = 48, x1 = 560, mid = 276;
  const float amplitude = 62;
  const Rgb left = Hex(0x27d3e6), right = Hex(0x8b5cf6);
  for (int x = x0; x < x1; x += 4) {
    float t = static_cast<float>(x - x0) / (x1 - x0);
    float a = Envelope(t) * amplitude + 1.5f;
    Rgb col = Mix(left, right, t);
    for (int y = static_cast<int>(mid - a); y <= static_cast<int>(mid + a); ++y) {
      float fade = 1.0f - 0.45f * std::fabs(y - mid) / (a + 1);
      for (int dx = 0; dx < 3; ++dx) c.Blend(x + dx, y, col, 0.85f * fade);
    }
  }
  for (int x = x0; x < x1; ++x) c.Blend(x, mid, Hex(0xffffff), 0.25f);
  // The playhead.
  for (int y = mid - 84; y <= mid + 84; ++y) {
    c.Blend(372, y, Hex(0xffa53a), 0.95f);
    c.Blend(373, y, Hex(0xffa53a), 0.35f);
  }
  c.RoundBox(367, mid - 90, 379, mid - 82, 2, Hex(0xffb45a), Hex(0xf08a1c));
}

void DrawMixer(Canvas& c) {
  const int strips = 6, left = 606, pitch = 44, slot_top = 70, slot_bottom = 330;
  const float levels[] = {0.72f, 0.55f, 0.83f, 0.40f, 0.64f, 0.90f};   // fader positions
  const float meters[] = {0.78f, 0.52f, 0.93f, 0.35f, 0.66f, 0.71f};   // meter levels
  c.RoundBox(left - 22, 40, left + strips * pitch - 6, 352, 8, Hex(0x1a2238), Hex(0x0c1020), 0.85f);
  for (int s = 0; s < strips; ++s) {
    float cx = left + s * pitch + 10.0f;
    // Scale ticks and the slot.
    for (int k = 0; k <= 10; ++k) {
      int y = slot_top + (slot_bottom - slot_top) * k / 10;
      for (int x = static_cast<int>(cx) - 12; x < static_cast<int>(cx) - 6; ++x) c.Blend(x, y, Hex(0x6f7f9f), k == 2 ? 0.9f : 0.45f);
    }
    c.RoundBox(cx - 2.5f, slot_top, cx + 2.5f, slot_bottom, 2.5f, Hex(0x02030a), Hex(0x05070f));
    // Segmented meter beside the slot.
    int segments = 26;
    for (int k = 0; k < segments; ++k) {
      float level = static_cast<float>(k + 1) / segments;
      float y1 = slot_bottom - k * 10.0f, y0 = y1 - 7;
      Rgb on = level > 0.88f ? Hex(0xff4d4d) : (level > 0.7f ? Hex(0xffc23a) : Hex(0x3ee07a));
      bool lit = level <= meters[s];
      c.RoundBox(cx + 9, y0, cx + 15, y1, 1, lit ? on : Mix(on, Hex(0x0a0d16), 0.85f), lit ? on : Mix(on, Hex(0x0a0d16), 0.85f));
    }
    // The fader cap.
    float y = slot_bottom - (slot_bottom - slot_top) * levels[s];
    c.RoundBox(cx - 13, y - 9, cx + 5 + 2, y + 9, 3, Hex(0x000000), Hex(0x000000), 0.35f);  // shadow
    c.RoundBox(cx - 14, y - 10, cx + 4 + 2, y + 8, 3, Hex(0xe8edf5), Hex(0x8e99ad));
    for (int x = static_cast<int>(cx) - 12; x < static_cast<int>(cx) + 4; ++x) c.Blend(x, static_cast<int>(y - 1), Hex(0x1b2130), 0.9f);
    // Channel number lamp.
    c.RoundBox(cx - 4, 50, cx + 4, 58, 4, s == 2 ? Hex(0x27d3e6) : Hex(0x2a3550), s == 2 ? Hex(0x1596ab) : Hex(0x1d2640));
  }
}

// The strip behind the OS label: dark enough for white text with a shadow.
void DarkenLabelStrip(Canvas& c) {
  for (int y = 366; y < c.height; ++y) {
    float t = Clamp01((y - 366) / 20.0f);
    for (int x = 0; x < c.width; ++x) c.Blend(x, y, Hex(0x04060b), 0.35f + 0.55f * t);
  }
  for (int x = 0; x < c.width; ++x) c.Blend(x, 372, Hex(0x21b8cf), 0.18f * (1 - std::fabs(x - 450.0f) / 450.0f));
}

uint8_t ToByte(float v) { return static_cast<uint8_t>(std::lround(Clamp01(v) * 255.0f)); }

void Put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(v & 0xFF);
  out.push_back((v >> 8) & 0xFF);
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

void PutInfoHeader(std::vector<uint8_t>& out, int width, int height, int bits, uint32_t image_size, uint32_t colours) {
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(width));
  Put32(out, static_cast<uint32_t>(height));
  Put16(out, 1);
  Put16(out, static_cast<uint32_t>(bits));
  Put32(out, 0);  // BI_RGB
  Put32(out, image_size);
  Put32(out, 2835);  // 72 dpi
  Put32(out, 2835);
  Put32(out, colours);
  Put32(out, 0);
}

// --- The icon: a dark rounded tile with three faders, in 16 fixed colours.

const uint32_t ICON_PALETTE[16] = {
    0x000000, 0x070a12, 0x141d33, 0x24304f, 0x3d4a6b, 0x6f7f9f, 0xa9b6cc, 0xffffff,
    0x0e5f6d, 0x1596ab, 0x27d3e6, 0x8b5cf6, 0xffa53a, 0x3ee07a, 0xff4d4d, 0xe8edf5,
};

Canvas RenderIcon(int size) {
  const int ss = 8;
  Canvas big(size * ss, size * ss);
  float s = static_cast<float>(size * ss);
  big.RoundBox(0.03f * s, 0.03f * s, 0.97f * s, 0.97f * s, 0.2f * s, Hex(0x24304f), Hex(0x070a12));
  const float xs[3] = {0.28f, 0.5f, 0.72f};
  const float level[3] = {0.62f, 0.34f, 0.5f};
  for (int i = 0; i < 3; ++i) {
    float cx = xs[i] * s;
    big.RoundBox(cx - 0.035f * s, 0.16f * s, cx + 0.035f * s, 0.84f * s, 0.03f * s, Hex(0x000000), Hex(0x000000));
    float y = (0.16f + 0.68f * level[i]) * s;
    Rgb cap = i == 1 ? Hex(0x27d3e6) : Hex(0xe8edf5);
    big.RoundBox(cx - 0.095f * s, y - 0.065f * s, cx + 0.095f * s, y + 0.065f * s, 0.03f * s, cap, cap);
  }
  // Downsample; alpha comes from the tile's coverage (pixels never drawn stay black).
  Canvas small(size, size);
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      Rgb sum = {0, 0, 0};
      for (int j = 0; j < ss; ++j)
        for (int i = 0; i < ss; ++i) {
          Rgb p = big.At(x * ss + i, y * ss + j);
          sum.r += p.r, sum.g += p.g, sum.b += p.b;
        }
      float n = static_cast<float>(ss * ss);
      small.At(x, y) = {sum.r / n, sum.g / n, sum.b / n};
    }
  return small;
}

// 1 for pixels outside the rounded tile (transparent in the icon).
bool OutsideTile(int x, int y, int size) {
  float s = static_cast<float>(size), r = 0.2f * s;
  float px = x + 0.5f, py = y + 0.5f;
  float cx = std::min(std::max(px, 0.03f * s + r), 0.97f * s - r);
  float cy = std::min(std::max(py, 0.03f * s + r), 0.97f * s - r);
  return std::hypot(px - cx, py - cy) > r + 0.35f;
}

int NearestColour(Rgb c) {
  int best = 0;
  float best_d = 1e9f;
  for (int i = 0; i < 16; ++i) {
    Rgb p = Hex(ICON_PALETTE[i]);
    float d = (p.r - c.r) * (p.r - c.r) * 0.3f + (p.g - c.g) * (p.g - c.g) * 0.59f + (p.b - c.b) * (p.b - c.b) * 0.11f;
    if (d < best_d) best_d = d, best = i;
  }
  return best;
}

std::vector<uint8_t> IconImage(int size) {
  Canvas c = RenderIcon(size);
  int xor_row = ((size * 4 + 31) / 32) * 4, and_row = ((size + 31) / 32) * 4;
  std::vector<uint8_t> out;
  PutInfoHeader(out, size, size * 2, 4, static_cast<uint32_t>((xor_row + and_row) * size), 16);
  for (uint32_t v : ICON_PALETTE) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
    out.push_back((v >> 16) & 0xFF);
    out.push_back(0);
  }
  for (int y = size - 1; y >= 0; --y) {
    std::vector<uint8_t> row(static_cast<size_t>(xor_row), 0);
    for (int x = 0; x < size; ++x) {
      int index = OutsideTile(x, y, size) ? 0 : NearestColour(c.At(x, y));
      row[static_cast<size_t>(x / 2)] |= static_cast<uint8_t>(x % 2 ? index : index << 4);
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  for (int y = size - 1; y >= 0; --y) {
    std::vector<uint8_t> row(static_cast<size_t>(and_row), 0);
    for (int x = 0; x < size; ++x)
      if (OutsideTile(x, y, size)) row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> (x % 8));
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

}  // namespace

std::vector<uint8_t> BuildBackgroundBmp() {
  Canvas c(ARTWORK_WIDTH, ARTWORK_HEIGHT);
  DrawBackground(c);
  DrawWaveform(c);
  DrawMixer(c);
  DrawTitle(c);
  DarkenLabelStrip(c);
  const uint32_t row = ((ARTWORK_WIDTH * 3 + 3) / 4) * 4;
  const uint32_t image = row * ARTWORK_HEIGHT;
  std::vector<uint8_t> out;
  out.push_back('B');
  out.push_back('M');
  Put32(out, 14 + 40 + image);
  Put32(out, 0);
  Put32(out, 14 + 40);
  PutInfoHeader(out, ARTWORK_WIDTH, ARTWORK_HEIGHT, 24, image, 0);
  for (int y = ARTWORK_HEIGHT - 1; y >= 0; --y) {
    for (int x = 0; x < ARTWORK_WIDTH; ++x) {
      Rgb p = c.At(x, y);
      out.push_back(ToByte(p.b));
      out.push_back(ToByte(p.g));
      out.push_back(ToByte(p.r));
    }
    for (uint32_t pad = ARTWORK_WIDTH * 3; pad < row; ++pad) out.push_back(0);
  }
  return out;
}

std::vector<uint8_t> BuildIcon() {
  std::vector<uint8_t> images[2] = {IconImage(16), IconImage(32)};
  std::vector<uint8_t> out;
  Put16(out, 0);
  Put16(out, 1);  // icon
  Put16(out, 2);
  uint32_t offset = 6 + 2 * 16;
  for (int i = 0; i < 2; ++i) {
    int size = i == 0 ? 16 : 32;
    out.push_back(static_cast<uint8_t>(size));
    out.push_back(static_cast<uint8_t>(size));
    out.push_back(16);  // colours
    out.push_back(0);
    Put16(out, 1);  // planes
    Put16(out, 4);  // bits per pixel
    Put32(out, static_cast<uint32_t>(images[i].size()));
    Put32(out, offset);
    offset += static_cast<uint32_t>(images[i].size());
  }
  for (const auto& image : images) out.insert(out.end(), image.begin(), image.end());
  return out;
}
