// A line of text typed into the window, for the questions the program must
// ask before a run can start (the user name).
#include <algorithm>

#include "display/display.hpp"
#include "display/overlay.hpp"
#include "display/window.hpp"
#include "platform/clock.hpp"

namespace {

// The cursor blinks between a bright and a dark blue every 100 ms.
constexpr Colour kCursorOn = rgb(85, 85, 255);
constexpr Colour kCursorOff = rgb(0, 0, 170);
constexpr uint32_t kBlinkMs = 100;

// The end of the text that fits in `width` pixels, so that the cursor and
// the latest characters stay in view however long the line grows.
std::string_view visibleTail(std::string_view text, int width) {
    while (!text.empty() && textWidth(text) > width) text.remove_prefix(1);
    return text;
}

void drawEntry(Canvas& c, std::string_view label, std::string_view hint, std::string_view text) {
    canvasNoClip(c);
    canvasClear(c, kWindowBackground);
    const int lh = textHeight();
    const int x = c.width / 4, centre = c.height / 2;
    const int y = centre - lh;
    const int boxX = x + textWidth(label) + 4;
    const int boxW = std::max(8, c.width / 2 - boxX);
    drawText(c, x, y, label, kPanelText);
    drawRect(c, boxX, y - 3, boxW, lh + 4, kPanelFrame);
    std::string_view shown = visibleTail(text, boxW - 8);
    int cursorX = boxX + 3 + drawText(c, boxX + 3, y, shown, kPanelText) + 1;
    Colour cursor = (tickCountMs() / kBlinkMs) % 2 ? kCursorOn : kCursorOff;
    drawLine(c, cursorX, y - 1, cursorX, y + lh - 2, cursor);
    // The hint wraps at spaces where a small window cuts it short.
    int lineY = centre + lh;
    while (!hint.empty()) {
        std::string_view line = hint;
        while (textWidth(line) > c.width - x - 4) {
            size_t space = line.find_last_of(' ');
            if (space == std::string_view::npos || space == 0) break;
            line = line.substr(0, space);
        }
        drawText(c, x, lineY, line, kPanelText);
        lineY += lh;
        hint.remove_prefix(line.size());
        while (!hint.empty() && hint.front() == ' ') hint.remove_prefix(1);
    }
}

}  // namespace

bool displayAskLine(std::string_view label, std::string_view hint, std::string& text,
                    LineEntryType type) {
    // Keys pressed before the question was shown are not part of the answer.
    windowTakeKeyboard();
    std::string typed;
    for (;;) {
        if (type(text, typed)) return true;
        if (!windowIsOpen()) return false;
        drawEntry(windowCanvas(), label, hint, text);
        windowPresent();
        if (windowPump() || windowKeyDown(KeyEscape)) return false;
        typed = windowTakeKeyboard().typed;
        if (typed.empty()) sleepMs(20);
    }
}
