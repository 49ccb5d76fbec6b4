#include "display/keys.hpp"

#include <algorithm>

#include "model/cell.hpp"

const char* const kHelpLines[] = {
    "Q or Escape = Quit",
    "F1 = Help",
    "Space = Change information displayed at bottom of screen",
    "Ctrl-F = Find beamline element by name",
    "L = Show component parameter graphs (use numpad 0123... to toggle)",
    "Ctrl-S = Save a bitmap screenshot",
    "",
    "P = Pause/Unpause simulation",
    "V = Toggle auto view",
    "A = Toggle auto frame-rate",
    "F = Decrease frame-rate (spend more time calculating)",
    "G = Increase frame-rate (smoother graphics)",
    "",
    "I = Toggle individual particle info",
    "O = Toggle big/small particles",
    "E = particle energies/species/charges as colours",
    "B = Toggle display of bounding boxes",
    "H = Toggle phase-space plots",
    "R = Toggle recording of animation",
    "S = Toggle small text",
    "",
    "8,9 = Zoom in/Increase field of view",
    "2,3 = Switch to standard or 3D stereo view",
    "Insert = Switch stereo colours",
    "Home/End = Increase/Decrease maximum stereo depth",
    "PageUp/PageDown = Increase/Decrease range of stereo depth",
    "",
    "F2-F10 toggle the display of the following things:",
    "F2 muons",
    "F3 pions",
    "F4 lost particles",
    "F5 centimetre grid",
    "F6 beamline cells",
    "F7 solenoids",
    "F8 bending magnets",
    "F9 apertures",
    "F11 toggle legend",
    "F12 show everything",
    "",
    "Press F1 or Space to close this help",
};
const int kHelpLineCount = static_cast<int>(sizeof(kHelpLines) / sizeof(kHelpLines[0]));

namespace {

inline constexpr int kMaxStepsPerPass = 128;
inline constexpr size_t kMaxEntryLength = 80;

Key fKey(int n) {
    return static_cast<Key>(KeyF1 + n - 1);
}

void updateMatch(ViewSettings& view, Cell* root) {
    Cell* found = root ? findChildLoose(*root, view.entryText) : nullptr;
    view.matchText = found ? found->name : std::string();
}

// Keys while an entry is open: they edit the text, nothing else.
void editEntry(const Keyboard& kb, ViewSettings& view, Cell* root, KeyResult& result) {
    if (kb.wasPressed(KeyEnter) || kb.wasPressed(KeyEscape)) {
        if (view.entryMode == EntryMode::ApertureScan) view.apertureScanFrom = view.matchText;
        view.entryMode = EntryMode::None;
        result.swallowEscape = kb.isDown(KeyEscape);
        return;
    }
    if (kb.wasPressed(KeyBackspace) && !view.entryText.empty()) {
        view.entryText.pop_back();
        updateMatch(view, root);
    }
    if (kb.wasPressed(KeyTab)) view.entryText = view.matchText;
    for (char c : kb.typed) {
        if (c < 32 || c > 126 || view.entryText.size() >= kMaxEntryLength) continue;
        view.entryText += c;
        updateMatch(view, root);
    }
}

void toggleBit(uint16_t& mask, uint16_t bit) {
    mask ^= bit;
}

void cycleField(uint16_t& mask, int shift) {
    setShowField(mask, shift, (showField(mask, shift) + 1) % 3);
}

void viewKeys(const Keyboard& kb, ViewSettings& view, RunControl& run, KeyResult& result) {
    bool ctrl = kb.isDown(KeyCtrl);
    auto pressed = [&](Key k) { return kb.wasPressed(k); };
    if (ctrl && kb.isDown(letterKey('F')) && pressed(letterKey('F'))) {
        view.entryMode = EntryMode::FindCell;
        view.entryText.clear();
        view.matchText.clear();
    }
    if (ctrl && kb.isDown(letterKey('A')) && pressed(letterKey('A'))) {
        view.entryMode = EntryMode::ApertureScan;
        view.entryText.clear();
        view.matchText.clear();
    }
    if (pressed(letterKey('A'))) view.autoFrameRate = !view.autoFrameRate;
    if (pressed(letterKey('F'))) {
        view.autoFrameRate = false;
        view.stepsPerPass = std::min(kMaxStepsPerPass, 2 * view.stepsPerPass);
    }
    if (pressed(letterKey('G'))) {
        view.autoFrameRate = false;
        view.stepsPerPass = std::max(1, view.stepsPerPass / 2);
    }
    if (pressed(letterKey('V'))) view.autoView = !view.autoView;
    if (pressed(letterKey('P'))) {
        run.running = !run.running;
        if (!run.running) {
            view.autoView = false;
            run.elapsedAtPause = run.elapsed;
        }
    }
    if (pressed(letterKey('I'))) view.particleInfo = !view.particleInfo;
    if (pressed(letterKey('O'))) view.bigParticles = !view.bigParticles;
    if (pressed(letterKey('H'))) view.phaseSpacePlots = !view.phaseSpacePlots;
    if (pressed(letterKey('E'))) cycleField(view.showMask, kColourShift);
    if (pressed(letterKey('R'))) view.recording = !view.recording;
    if (pressed(letterKey('D'))) view.showD = !view.showD;
    if (pressed(letterKey('S'))) {
        if (ctrl) {
            result.screenshot = true;
        } else {
            view.smallText = !view.smallText;
        }
    }
    if (pressed(KeySpace)) view.infoMode = (view.infoMode + 1) % 3;
    if (pressed(static_cast<Key>(Key0 + 2))) view.projection = Projection::Standard;
    if (pressed(static_cast<Key>(Key0 + 3))) view.projection = Projection::Stereo;
    if (kb.isDown(static_cast<Key>(Key0 + 8))) view.fieldOfView *= 1.05;
    if (kb.isDown(static_cast<Key>(Key0 + 9))) view.fieldOfView /= 1.05;
    if (pressed(KeyInsert)) view.stereoColours = (view.stereoColours + 1) % 3;
    if (kb.isDown(KeyHome)) view.stereoDepth += 0.01;
    if (kb.isDown(KeyEnd)) view.stereoDepth -= 0.01;
    if (kb.isDown(KeyPageUp)) view.stereoRange *= 1.1;
    if (kb.isDown(KeyPageDown)) view.stereoRange /= 1.1;
    if (pressed(fKey(2))) toggleBit(view.showMask, ShowMuons);
    if (pressed(fKey(3))) toggleBit(view.showMask, ShowPions);
    if (pressed(fKey(4))) cycleField(view.showMask, kLostShift);
    if (pressed(fKey(5))) toggleBit(view.showMask, ShowGrid);
    if (pressed(fKey(6))) cycleField(view.showMask, kCellsShift);
    if (pressed(fKey(7))) toggleBit(view.showMask, ShowSolenoids);
    if (pressed(fKey(8))) toggleBit(view.showMask, ShowBends);
    if (pressed(fKey(9))) toggleBit(view.showMask, ShowApertures);
    if (pressed(letterKey('B'))) toggleBit(view.showMask, ShowBoxes);
    if (pressed(fKey(11))) toggleBit(view.showMask, ShowLegend);
    if (kb.isDown(fKey(12))) view.showMask = 0xFFFF;
    if (pressed(letterKey('L'))) view.graphsOn = !view.graphsOn;
    for (int n = 0; n <= 9; n++) {
        if (pressed(static_cast<Key>(KeyPad0 + n))) {
            view.parameterGraphs = static_cast<uint16_t>(view.parameterGraphs ^ (1u << n));
        }
    }
}

}  // namespace

KeyResult applyKeys(const Keyboard& kb, ViewSettings& view, RunControl& run, Cell* root) {
    KeyResult result;
    if (kb.isDown(letterKey('Q')) && view.entryMode == EntryMode::None) result.quit = true;
    bool helpWasShown = view.helpShown;
    if (kb.wasPressed(fKey(1))) view.helpShown = !view.helpShown;
    if (view.entryMode != EntryMode::None) {
        editEntry(kb, view, root, result);
        return result;
    }
    Keyboard keys = kb;
    if (helpWasShown && view.helpShown && kb.wasPressed(KeySpace)) {
        // Space closes the help, as its last line says, and nothing more:
        // the information panel behind it stays as the user left it.
        view.helpShown = false;
        keys.pressed[KeySpace] = false;
    }
    viewKeys(keys, view, run, result);
    return result;
}
