// The picture a frame is drawn into: 32-bit pixels in memory, and the few
// primitives the views need. The window shows it; screenshots save it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

using Colour = uint32_t;  // 0x00RRGGBB

constexpr Colour rgb(int r, int g, int b) {
    return (static_cast<Colour>(r & 255) << 16) | (static_cast<Colour>(g & 255) << 8) |
           static_cast<Colour>(b & 255);
}
// a scaled towards black by f in [0, 1].
Colour dim(Colour c, double f);
// Channel-wise mix: f = 0 gives a, f = 1 gives b.
Colour mix(Colour a, Colour b, double f);

enum class Blend { Replace, Add };

struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<Colour> pixels;  // row by row, top row first
    Blend blend = Blend::Replace;
    // Drawing outside this rectangle is dropped (panels clip to themselves).
    int clipX0 = 0, clipY0 = 0, clipX1 = 0, clipY1 = 0;  // x1, y1 exclusive
};

void canvasResize(Canvas& canvas, int width, int height);
void canvasClear(Canvas& canvas, Colour c);
void canvasClip(Canvas& canvas, int x, int y, int w, int h);
void canvasNoClip(Canvas& canvas);

void plot(Canvas& canvas, int x, int y, Colour c);
void drawLine(Canvas& canvas, double x0, double y0, double x1, double y1, Colour c);
void fillRect(Canvas& canvas, int x, int y, int w, int h, Colour c);
void drawRect(Canvas& canvas, int x, int y, int w, int h, Colour c);
// A convex or simple polygon, filled by scan lines (even-odd rule).
void fillPolygon(Canvas& canvas, const double* xs, const double* ys, int n, Colour c);
void fillDisc(Canvas& canvas, int cx, int cy, int r, Colour c);

// Text in the built-in font at an integer scale; the pen is the top-left
// corner. Returns the width drawn in pixels.
int drawText(Canvas& canvas, int x, int y, std::string_view text, Colour c, int scale = 1);
int textWidth(std::string_view text, int scale = 1);
int textHeight(int scale = 1);  // line height including spacing
