#include "display/display.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/text.hpp"
#include "display/beam_view.hpp"
#include "display/beamline_view.hpp"
#include "display/bulk.hpp"
#include "display/overlay.hpp"
#include "display/recording.hpp"
#include "display/window.hpp"
#include "model/cell.hpp"
#include "platform/clock.hpp"
#include "platform/files.hpp"

namespace {

constexpr double kMessageShowSeconds = 4;

// The plan view's window onto the beamline, in metres: z along the screen,
// x up the screen.
struct ViewBox {
    double z0 = 0, z1 = 1, a0 = -0.5, a1 = 0.5;
};

struct DisplayState {
    bool screensaver = false;
    const Cell* root = nullptr;
    Extent extent;
    ViewBox box;
    bool boxValid = false;
    std::string topText;
    MessageBand band;
    bool lastWasProgress = false;
    bool escapeSwallowed = false;
    int pointerX = 0, pointerY = 0;
};

DisplayState ds;

int textScaleFor(const Canvas& c) {
    if (viewSettings().smallText) return 1;
    return std::clamp(c.width / 1000, 1, 2);
}

const Cell* findByName(const Cell& cell, const std::string& name) {
    if (equalNoCase(cell.name, name)) return &cell;
    for (const CellPtr& child : cell.children) {
        if (!child) continue;
        if (const Cell* found = findByName(*child, name)) return found;
    }
    return nullptr;
}

const Cell* highlighted() {
    const ViewSettings& view = viewSettings();
    const std::string& name =
        view.entryMode != EntryMode::None ? view.matchText : view.apertureScanFrom;
    if (!ds.root || name.empty()) return nullptr;
    return findByName(*ds.root, name);
}

ViewBox boxAround(Vec3 lo, Vec3 hi, double minSpan, double pad) {
    ViewBox b{lo.z, hi.z, lo.x, hi.x};
    double cz = 0.5 * (b.z0 + b.z1), ca = 0.5 * (b.a0 + b.a1);
    double hz = std::max(minSpan, (b.z1 - b.z0) * (1 + pad)) / 2;
    double ha = std::max(minSpan, (b.a1 - b.a0) * (1 + pad)) / 2;
    return {cz - hz, cz + hz, ca - ha, ca + ha};
}

// Where the plan view should look this frame.
ViewBox targetBox(const DisplayFrame& frame, const ViewSettings& view) {
    Extent beam;
    if (const Cell* found = view.entryMode != EntryMode::None ? highlighted() : nullptr) {
        Extent e = beamlineExtent(*found);
        if (!e.empty()) return boxAround(e.min, e.max, 1.0, 0.5);
    }
    if (view.autoView) {
        // The bulk of the guided beam, not its extremes: pions escaping
        // upstream would otherwise zoom the channel down to a thin line.
        std::vector<double> zs, xs;
        for (const DisplayParticle* p : guidedParticles(frame, view)) {
            zs.push_back(p->position.z);
            xs.push_back(p->position.x);
        }
        BulkSpan z = bulkSpan(zs), x = bulkSpan(xs);
        if (z.valid && x.valid) {
            beam.include({x.lo, 0, z.lo});
            beam.include({x.hi, 0, z.hi});
        }
    }
    ViewBox b;
    if (!beam.empty()) {
        // At least three metres, so the beam is seen with the elements around it.
        b = boxAround(beam.min, beam.max, 3.0, 0.6);
    } else if (!ds.extent.empty()) {
        b = boxAround(ds.extent.min, ds.extent.max, 0.4, 0.04);
        if (!view.autoView) {
            double dz = view.panZ, da = view.panX;
            b = {b.z0 + dz, b.z1 + dz, b.a0 + da, b.a1 + da};
        }
    }
    double cz = 0.5 * (b.z0 + b.z1), ca = 0.5 * (b.a0 + b.a1);
    double hz = 0.5 * (b.z1 - b.z0) / view.fieldOfView, ha = 0.5 * (b.a1 - b.a0) / view.fieldOfView;
    return {cz - hz, cz + hz, ca - ha, ca + ha};
}

void glideTowards(const ViewBox& target) {
    if (!ds.boxValid) {
        ds.box = target;
        ds.boxValid = true;
        return;
    }
    // A quarter of the way each frame: the view follows the beam smoothly.
    constexpr double f = 0.25;
    ds.box.z0 += (target.z0 - ds.box.z0) * f;
    ds.box.z1 += (target.z1 - ds.box.z1) * f;
    ds.box.a0 += (target.a0 - ds.box.a0) * f;
    ds.box.a1 += (target.a1 - ds.box.a1) * f;
}

Scene orthoScene(Canvas& c, ViewKind kind, int x, int y, int w, int h, double ppm) {
    Scene s;
    s.canvas = &c;
    s.kind = kind;
    s.x = x, s.y = y, s.w = w, s.h = h;
    s.centreZ = 0.5 * (ds.box.z0 + ds.box.z1);
    s.centreAcross = kind == ViewKind::Plan ? 0.5 * (ds.box.a0 + ds.box.a1) : 0;
    s.pixelsPerMetre = ppm;
    return s;
}

void drawPanel(Scene& s, const DisplayFrame& frame, const ViewSettings& view, double scaleMeV) {
    Canvas& c = *s.canvas;
    canvasClip(c, s.x, s.y, s.w, s.h);
    fillRect(c, s.x, s.y, s.w, s.h, kWindowBackground);
    if (view.showMask & ShowGrid) drawGrid(s);
    if (frame.root) drawBeamline(s, *frame.root, view, highlighted());
    drawParticles(s, frame, view, scaleMeV);
    canvasNoClip(c);
}

void drawStereo(Canvas& c, int x, int y, int w, int h, const DisplayFrame& frame,
                const ViewSettings& view, double scaleMeV) {
    static const Colour eyes[3][2] = {{rgb(255, 0, 0), rgb(0, 255, 255)},
                                      {rgb(255, 0, 0), rgb(0, 255, 0)},
                                      {rgb(255, 0, 0), rgb(0, 0, 255)}};
    Vec3 target{0.5 * (ds.box.a0 + ds.box.a1), 0, 0.5 * (ds.box.z0 + ds.box.z1)};
    double span = std::max(ds.box.z1 - ds.box.z0, ds.box.a1 - ds.box.a0);
    double distance = span * 1.3 / std::clamp(view.stereoRange, 0.05, 20.0);
    Vec3 back = Vec3{0.55, 0.6, -0.6} * (1 / norm(Vec3{0.55, 0.6, -0.6}));
    Vec3 forward = back * -1.0;
    Vec3 right = cross(forward, Vec3{0, 1, 0});
    right = right * (1 / norm(right));
    Vec3 up = cross(right, forward);
    canvasClip(c, x, y, w, h);
    fillRect(c, x, y, w, h, 0);
    c.blend = Blend::Add;
    for (int eye = 0; eye < 2; eye++) {
        Scene s;
        s.canvas = &c;
        s.kind = ViewKind::Perspective;
        s.x = x, s.y = y, s.w = w, s.h = h;
        double offset = (eye == 0 ? -0.5 : 0.5) * view.stereoDepth * distance;
        s.eye = target + back * distance + right * offset;
        s.forward = target - s.eye;
        s.forward = s.forward * (1 / norm(s.forward));
        s.right = cross(s.forward, up);
        s.right = s.right * (1 / norm(s.right));
        s.up = cross(s.right, s.forward);
        s.focal = 0.9 * std::min(w, h) * distance / span;
        s.mono = true;
        s.eyeColour = eyes[std::clamp(view.stereoColours, 0, 2)][eye];
        if (frame.root) drawBeamline(s, *frame.root, view, highlighted());
        drawParticles(s, frame, view, scaleMeV);
    }
    c.blend = Blend::Replace;
    canvasNoClip(c);
}

void present() {
    windowPresent();
}

}  // namespace

bool displayOpen(const DisplayOptions& options, std::string& whyNot) {
    WindowOptions w{options.title, options.width, options.height, options.screensaver};
    if (!windowOpen(w, whyNot)) return false;
    ds = DisplayState{};
    ds.screensaver = options.screensaver;
    Canvas& c = windowCanvas();
    canvasClear(c, kWindowBackground);
    present();
    return true;
}

void displayClose() {
    windowClose();
    ds = DisplayState{};
}

bool displayIsOpen() {
    return windowIsOpen();
}

void displayPrepare(const Cell* root, bool restored) {
    ds.root = root;
    ds.extent = root ? beamlineExtent(*root) : Extent{};
    ds.boxValid = false;
    ViewSettings& view = viewSettings();
    view.entryMode = EntryMode::None;
    view.apertureScanFrom.clear();
    if (!restored) view.panZ = view.panX = 0;
}

void displayTopText(std::string_view text) {
    ds.topText = std::string(text.substr(0, 1000));
}

void displayDrawFrame(const DisplayFrame& frame, const RunControl& run) {
    if (!windowIsOpen()) return;
    ViewSettings& view = viewSettings();
    if (frame.root != ds.root) displayPrepare(frame.root, true);
    Canvas& c = windowCanvas();
    int ts = textScaleFor(c);
    int lh = textHeight(ts);
    canvasClear(c, kWindowBackground);

    int top = lh + 4;
    int bottomH = 0;
    if (view.infoMode > 0) bottomH = 4 * lh + 8;
    if (view.phaseSpacePlots) bottomH = std::max(bottomH, std::min(200, c.height / 4));
    int graphsH = view.graphsOn ? std::min(150, c.height / 5) : 0;
    int viewsH = std::max(40, c.height - top - bottomH - graphsH);
    int planH = view.projection == Projection::Stereo ? viewsH : viewsH * 7 / 10;
    int sideH = viewsH - planH;

    glideTowards(targetBox(frame, view));
    double ppm = std::min(c.width / std::max(1e-6, ds.box.z1 - ds.box.z0),
                          planH / std::max(1e-6, ds.box.a1 - ds.box.a0));
    double scaleMeV = energyScaleMeV(frame);

    if (view.projection == Projection::Stereo) {
        drawStereo(c, 0, top, c.width, planH, frame, view, scaleMeV);
    } else {
        Scene plan = orthoScene(c, ViewKind::Plan, 0, top, c.width, planH, ppm);
        drawPanel(plan, frame, view, scaleMeV);
        Scene side = orthoScene(c, ViewKind::Side, 0, top + planH + 2, c.width, sideH - 2, ppm);
        drawPanel(side, frame, view, scaleMeV);
        fillRect(c, 0, top + planH, c.width, 2, rgb(40, 40, 60));
        drawText(c, 6, top + 4, "from above", rgb(110, 110, 125), ts);
        drawText(c, 6, top + planH + 6, "from the side", rgb(110, 110, 125), ts);
    }
    int legendTop = view.entryMode == EntryMode::None ? top : top + lh + 6;
    if (view.showMask & ShowLegend) drawLegend(c, c.width, legendTop, frame, view, scaleMeV, ts);
    if (view.particleInfo) drawParticleInfo(c, 8, top + 2 * lh, frame, ts);
    if (graphsH > 0) {
        drawParameterGraphs(c, 0, top + viewsH, c.width, graphsH, frame, view, ds.box.z0,
                            ds.box.z1);
    }
    int bottomY = top + viewsH + graphsH;
    int plotsW = view.phaseSpacePlots ? std::min(c.width / 2, 3 * 260) : 0;
    drawInfoPanel(c, 0, bottomY, c.width - plotsW, bottomH, frame, view, ts);
    if (plotsW > 0)
        drawPhaseSpace(c, c.width - plotsW, bottomY, plotsW, bottomH, frame, view, scaleMeV);

    drawInfoLine(c, frame, view, ts);
    drawPausedMark(c, run, ts);
    if (!ds.topText.empty()) {
        drawCentred(c, top + 4, ds.topText.substr(0, ds.topText.find('\n')), rgb(255, 230, 120),
                    ts);
        ds.topText.clear();
    }
    drawEntry(c, view, top, ts);
    if (monotonicSeconds() - ds.band.lastLineTime < kMessageShowSeconds) {
        drawRecentMessages(c, ds.band, top + viewsH, ts);
    }
    if (view.helpShown) drawHelp(c, ts);
    present();

    if (view.recording) {
        RecordedView rv{ds.box.z0,
                        ds.box.z1,
                        ds.box.a0,
                        ds.box.a1,
                        view.showMask,
                        static_cast<uint8_t>(colourMode(view)),
                        static_cast<uint8_t>(view.projection == Projection::Stereo)};
        if (!recordFrame(frame, rv)) {
            view.recording = false;
            displayMessageLine("Recording stopped: the animation files cannot be written");
        }
    }
}

ViewWindow displayViewWindow() {
    return {ds.box.z0, ds.box.z1, ds.box.a0, ds.box.a1};
}

bool displayPumpMessages() {
    return windowPump();
}

bool displayHandleKeys(RunControl& run, Cell* root) {
    if (windowPump()) return true;
    Keyboard kb = windowTakeKeyboard();
    MouseState mouse = windowTakeMouse();
    ViewSettings& view = viewSettings();
    if (!kb.isDown(KeyEscape)) ds.escapeSwallowed = false;
    bool helpWasShown = view.helpShown;
    KeyResult result = applyKeys(kb, view, run, root);
    if (result.swallowEscape) ds.escapeSwallowed = true;
    if (result.screenshot) {
        std::string name = displayScreenshot();
        displayMessageLine(name.empty() ? "Screenshot could not be saved" : "Saved " + name);
    }
    if (!ds.screensaver) {
        if (mouse.wheel) view.fieldOfView *= std::pow(1.1, mouse.wheel);
        if ((mouse.dragX || mouse.dragY) && !ds.extent.empty()) {
            // Dragging takes the view over from the beam, starting where it is.
            Canvas& c = windowCanvas();
            double ppm = c.width / std::max(1e-6, ds.box.z1 - ds.box.z0);
            if (view.autoView) {
                view.autoView = false;
                Extent& e = ds.extent;
                view.panZ = 0.5 * (ds.box.z0 + ds.box.z1) - 0.5 * (e.min.z + e.max.z);
                view.panX = 0.5 * (ds.box.a0 + ds.box.a1) - 0.5 * (e.min.x + e.max.x);
            }
            view.panZ -= mouse.dragX / ppm;
            view.panX += mouse.dragY / ppm;
        }
    }
    view.fieldOfView = std::clamp(view.fieldOfView, 1e-4, 1e4);
    // Drawn at once, and over every frame until F1 or Space closes it.
    if (view.helpShown && !helpWasShown) {
        Canvas& c = windowCanvas();
        drawHelp(c, textScaleFor(c));
        present();
    }
    return result.quit;
}

bool displayQuitKeyDown() {
    if (!windowKeyDown(KeyEscape)) ds.escapeSwallowed = false;
    if (viewSettings().entryMode != EntryMode::None) return false;
    return windowKeyDown(letterKey('Q')) || (windowKeyDown(KeyEscape) && !ds.escapeSwallowed);
}

bool displayAnyKeyDown() {
    return windowAnyKeyDown();
}

bool displayPointerMovedAway() {
    MouseState m = windowMouse();
    if (!m.seen) return false;
    int limit = windowCanvas().width / 10;
    long dx = m.x - ds.pointerX, dy = m.y - ds.pointerY;
    return dx * dx + dy * dy > static_cast<long>(limit) * limit;
}

void displayCentrePointer() {
    Canvas& c = windowCanvas();
    ds.pointerX = c.width / 2;
    ds.pointerY = c.height / 2;
    windowWarpMouse(ds.pointerX, ds.pointerY);
}

std::string displayScreenshot() {
    for (int n = 0; n <= 99999; n++) {
        std::string name = format("screenshot%05d.bmp", n);
        if (fileExists(name)) continue;
        return windowSaveBmp(name) ? name : std::string();
    }
    return {};
}

void displayMessageLine(std::string_view text) {
    messageBandAdd(ds.band, text, false, monotonicSeconds());
    ds.lastWasProgress = false;
    if (!windowIsOpen()) return;
    Canvas& c = windowCanvas();
    drawMessageBand(c, ds.band, textScaleFor(c));
    present();
    windowPump();
}

void displayProgressLine(std::string_view text) {
    messageBandAdd(ds.band, text, ds.lastWasProgress, monotonicSeconds());
    ds.lastWasProgress = true;
    if (!windowIsOpen()) return;
    Canvas& c = windowCanvas();
    drawMessageBand(c, ds.band, textScaleFor(c));
    present();
}

int displayWaitKey() {
    windowTakeKeyboard();
    while (windowIsOpen()) {
        if (windowPump()) return -1;
        Keyboard kb = windowTakeKeyboard();
        if (kb.isDown(letterKey('Q')) || kb.isDown(KeyEscape)) return -1;
        for (char ch : kb.typed) {
            if (ch >= 32 && ch < 127) return static_cast<unsigned char>(ch);
        }
        sleepMs(20);
    }
    return -1;
}

void displayHoldFatal() {
    for (int i = 0; i < 7 && windowIsOpen(); i++) {
        present();
        windowPump();
        sleepMs(500);
    }
}

int displayMessageBox(std::string_view text, std::string_view caption, uint32_t timeoutMs) {
    if (!windowIsOpen()) return -1;
    Canvas& c = windowCanvas();
    int ts = textScaleFor(c), lh = textHeight(ts);
    std::vector<std::string> lines;
    for (size_t start = 0; start <= text.size() && lines.size() < 40;) {
        size_t end = std::min(text.find('\n', start), text.size());
        lines.emplace_back(text.substr(start, std::min<size_t>(end - start, 160)));
        start = end + 1;
    }
    const std::string prompt = "Press Enter to continue";
    int w = textWidth(caption, ts);
    for (const std::string& line : lines) w = std::max(w, textWidth(line, ts));
    w = std::min(c.width - 8, std::max(w, textWidth(prompt, ts)) + 24);
    int h = lh * (static_cast<int>(lines.size()) + 3) + 16;
    int x = (c.width - w) / 2, y = std::max(0, (c.height - h) / 2);
    fillRect(c, x, y, w, h, rgb(24, 24, 36));
    drawRect(c, x, y, w, h, kPanelFrame);
    fillRect(c, x + 1, y + 1, w - 2, lh + 4, rgb(50, 50, 90));
    drawText(c, x + 12, y + 3, caption, rgb(255, 255, 255), ts);
    for (size_t i = 0; i < lines.size(); i++) {
        drawText(c, x + 12, y + 8 + lh * (1 + static_cast<int>(i)), lines[i], kPanelText, ts);
    }
    drawText(c, x + 12, y + h - lh - 4, prompt, kPanelDimText, ts);
    present();
    windowTakeKeyboard();
    uint32_t start = tickCountMs();
    while (timeoutMs == 0 || tickCountMs() - start < timeoutMs) {
        if (windowPump()) return -1;
        Keyboard kb = windowTakeKeyboard();
        for (Key k : {KeyEnter, KeySpace, KeyEscape}) {
            if (kb.wasPressed(k)) return k;
        }
        sleepMs(20);
    }
    return -1;
}
