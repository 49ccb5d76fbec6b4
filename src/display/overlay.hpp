// Text and panels drawn over the views: the information line, the panel
// below the views, the paused mark, the help screen, the entry prompt, the
// centimetre grid, the parameter graphs and the message band.
#pragma once

#include <deque>
#include <string>

#include "display/frame.hpp"
#include "display/keys.hpp"
#include "display/scene.hpp"
#include "display/view_settings.hpp"

// The colours the window's text and panels share.
inline constexpr Colour kWindowBackground = rgb(6, 8, 16);
inline constexpr Colour kPanelText = rgb(225, 225, 230);
inline constexpr Colour kPanelDimText = rgb(150, 150, 160);
inline constexpr Colour kPanelFrame = rgb(160, 160, 190);

std::string frameRateText(const ViewSettings& view);
// "t = 12.34ns (900/1000 particles) 5.2 Mpts" and the frame rate.
std::string infoLineText(const DisplayFrame& frame, const ViewSettings& view);

void drawInfoLine(Canvas& c, const DisplayFrame& frame, const ViewSettings& view, int textScale);
void drawInfoPanel(Canvas& c, int x, int y, int w, int h, const DisplayFrame& frame,
                   const ViewSettings& view, int textScale);
void drawParticleInfo(Canvas& c, int x, int y, const DisplayFrame& frame, int textScale);
void drawPausedMark(Canvas& c, const RunControl& run, int textScale);
void drawHelp(Canvas& c, int textScale);
void drawEntry(Canvas& c, const ViewSettings& view, int y, int textScale);
void drawCentred(Canvas& c, int y, const std::string& text, Colour colour, int textScale);
// Grid lines every centimetre, or every 10^k cm so they stay apart.
void drawGrid(Scene& s);
// Graphs along the beamline: 0 solenoid fields, 1 apertures and bores,
// 2 losses by element.
void drawParameterGraphs(Canvas& c, int x, int y, int w, int h, const DisplayFrame& frame,
                         const ViewSettings& view, double zFrom, double zTo);

// The message band: the latest lines of messages, between 0.3 and 0.7 of
// the height with a separator above and below.
struct MessageBand {
    std::deque<std::string> lines;
    double lastLineTime = -1e9;
};
void messageBandAdd(MessageBand& band, std::string_view text, bool replaceLast, double now);
void drawMessageBand(Canvas& c, const MessageBand& band, int textScale);
// During a run: the latest few lines in a strip ending at `bottom`, so the
// views stay visible.
void drawRecentMessages(Canvas& c, const MessageBand& band, int bottom, int textScale);
