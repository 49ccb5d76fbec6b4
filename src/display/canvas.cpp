#include "display/canvas.hpp"

#include <algorithm>
#include <cmath>

#include "display/font.hpp"

Colour dim(Colour c, double f) {
    return mix(0, c, f);
}

Colour mix(Colour a, Colour b, double f) {
    f = std::clamp(f, 0.0, 1.0);
    auto channel = [&](int shift) {
        double x = ((a >> shift) & 255) * (1 - f) + ((b >> shift) & 255) * f;
        return static_cast<Colour>(std::lround(x)) << shift;
    };
    return channel(16) | channel(8) | channel(0);
}

void canvasResize(Canvas& canvas, int width, int height) {
    canvas.width = std::max(1, width);
    canvas.height = std::max(1, height);
    canvas.pixels.assign(static_cast<size_t>(canvas.width) * canvas.height, 0);
    canvasNoClip(canvas);
}

void canvasClear(Canvas& canvas, Colour c) {
    std::fill(canvas.pixels.begin(), canvas.pixels.end(), c);
}

void canvasClip(Canvas& canvas, int x, int y, int w, int h) {
    canvas.clipX0 = std::clamp(x, 0, canvas.width);
    canvas.clipY0 = std::clamp(y, 0, canvas.height);
    canvas.clipX1 = std::clamp(x + w, canvas.clipX0, canvas.width);
    canvas.clipY1 = std::clamp(y + h, canvas.clipY0, canvas.height);
}

void canvasNoClip(Canvas& canvas) {
    canvasClip(canvas, 0, 0, canvas.width, canvas.height);
}

void plot(Canvas& canvas, int x, int y, Colour c) {
    if (x < canvas.clipX0 || y < canvas.clipY0 || x >= canvas.clipX1 || y >= canvas.clipY1) return;
    Colour& p = canvas.pixels[static_cast<size_t>(y) * canvas.width + x];
    if (canvas.blend == Blend::Replace) {
        p = c;
        return;
    }
    // Saturating add, so the two eyes of a stereo picture overlap as white.
    auto add = [&](int shift) {
        int v = static_cast<int>((p >> shift) & 255) + static_cast<int>((c >> shift) & 255);
        return static_cast<Colour>(std::min(v, 255)) << shift;
    };
    p = add(16) | add(8) | add(0);
}

namespace {

// Cohen-Sutherland style clipping of a segment to the clip rectangle, so
// that a line from far off screen costs only its visible pixels.
bool clipSegment(const Canvas& cv, double& x0, double& y0, double& x1, double& y1) {
    double xmin = cv.clipX0, ymin = cv.clipY0, xmax = cv.clipX1 - 1, ymax = cv.clipY1 - 1;
    auto code = [&](double x, double y) {
        return (x < xmin ? 1 : 0) | (x > xmax ? 2 : 0) | (y < ymin ? 4 : 0) | (y > ymax ? 8 : 0);
    };
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1)) {
        return false;
    }
    int c0 = code(x0, y0), c1 = code(x1, y1);
    for (int guard = 0; guard < 8; guard++) {
        if (!(c0 | c1)) return true;
        if (c0 & c1) return false;
        int out = c0 ? c0 : c1;
        double x = 0, y = 0;
        if (out & 8) {
            x = x0 + (x1 - x0) * (ymax - y0) / (y1 - y0);
            y = ymax;
        } else if (out & 4) {
            x = x0 + (x1 - x0) * (ymin - y0) / (y1 - y0);
            y = ymin;
        } else if (out & 2) {
            y = y0 + (y1 - y0) * (xmax - x0) / (x1 - x0);
            x = xmax;
        } else {
            y = y0 + (y1 - y0) * (xmin - x0) / (x1 - x0);
            x = xmin;
        }
        if (out == c0) {
            x0 = x, y0 = y, c0 = code(x0, y0);
        } else {
            x1 = x, y1 = y, c1 = code(x1, y1);
        }
    }
    return false;
}

}  // namespace

void drawLine(Canvas& canvas, double x0, double y0, double x1, double y1, Colour c) {
    if (!clipSegment(canvas, x0, y0, x1, y1)) return;
    int xa = static_cast<int>(std::lround(x0)), ya = static_cast<int>(std::lround(y0));
    int xb = static_cast<int>(std::lround(x1)), yb = static_cast<int>(std::lround(y1));
    int dx = std::abs(xb - xa), dy = -std::abs(yb - ya);
    int sx = xa < xb ? 1 : -1, sy = ya < yb ? 1 : -1;
    int err = dx + dy;
    while (true) {
        plot(canvas, xa, ya, c);
        if (xa == xb && ya == yb) break;
        int e2 = 2 * err;
        if (e2 >= dy) err += dy, xa += sx;
        if (e2 <= dx) err += dx, ya += sy;
    }
}

void fillRect(Canvas& canvas, int x, int y, int w, int h, Colour c) {
    int x0 = std::max(x, canvas.clipX0), y0 = std::max(y, canvas.clipY0);
    int x1 = std::min(x + w, canvas.clipX1), y1 = std::min(y + h, canvas.clipY1);
    for (int j = y0; j < y1; j++) {
        for (int i = x0; i < x1; i++) plot(canvas, i, j, c);
    }
}

void drawRect(Canvas& canvas, int x, int y, int w, int h, Colour c) {
    if (w <= 0 || h <= 0) return;
    fillRect(canvas, x, y, w, 1, c);
    fillRect(canvas, x, y + h - 1, w, 1, c);
    fillRect(canvas, x, y + 1, 1, h - 2, c);
    fillRect(canvas, x + w - 1, y + 1, 1, h - 2, c);
}

void fillPolygon(Canvas& canvas, const double* xs, const double* ys, int n, Colour c) {
    if (n < 3) return;
    double ymin = ys[0], ymax = ys[0];
    for (int i = 1; i < n; i++) ymin = std::min(ymin, ys[i]), ymax = std::max(ymax, ys[i]);
    if (!std::isfinite(ymin) || !std::isfinite(ymax)) return;
    int j0 = std::max(canvas.clipY0, static_cast<int>(std::ceil(ymin - 0.5)));
    int j1 = std::min(canvas.clipY1 - 1, static_cast<int>(std::floor(ymax - 0.5)));
    std::vector<double> cross;
    for (int j = j0; j <= j1; j++) {
        double y = j + 0.5;
        cross.clear();
        for (int i = 0, k = n - 1; i < n; k = i++) {
            if ((ys[i] <= y) != (ys[k] <= y)) {
                cross.push_back(xs[i] + (y - ys[i]) * (xs[k] - xs[i]) / (ys[k] - ys[i]));
            }
        }
        std::sort(cross.begin(), cross.end());
        for (size_t m = 0; m + 1 < cross.size(); m += 2) {
            double a = std::max(cross[m], static_cast<double>(canvas.clipX0) - 1);
            double b = std::min(cross[m + 1], static_cast<double>(canvas.clipX1) + 1);
            int i0 = static_cast<int>(std::ceil(a - 0.5));
            int i1 = static_cast<int>(std::floor(b - 0.5));
            for (int i = i0; i <= i1; i++) plot(canvas, i, j, c);
        }
    }
}

void fillDisc(Canvas& canvas, int cx, int cy, int r, Colour c) {
    for (int dy = -r; dy <= r; dy++) {
        for (int dx = -r; dx <= r; dx++) {
            if (dx * dx + dy * dy <= r * r + r) plot(canvas, cx + dx, cy + dy, c);
        }
    }
}

int textWidth(std::string_view text, int scale) {
    return static_cast<int>(text.size()) * (kGlyphColumns + 1) * scale;
}

int textHeight(int scale) {
    return (kGlyphRows + 3) * scale;
}

int drawText(Canvas& canvas, int x, int y, std::string_view text, Colour c, int scale) {
    int pen = x;
    for (char ch : text) {
        int drop = hasDescender(ch) ? 2 * scale : 0;
        for (int r = 0; r < kGlyphRows; r++) {
            uint8_t bits = glyphRow(ch, r);
            for (int col = 0; col < kGlyphColumns; col++) {
                if (bits & (1 << (4 - col))) {
                    fillRect(canvas, pen + col * scale, y + drop + r * scale, scale, scale, c);
                }
            }
        }
        pen += (kGlyphColumns + 1) * scale;
    }
    return pen - x;
}
