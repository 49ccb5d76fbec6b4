// The settings of the graphics view that the keys change and "display.dat"
// keeps between runs. One process-wide record: the keys, the drawing and the
// main cycle all look at the same one.
#pragma once

#include <cstdint>
#include <string>

// Bits and two-bit fields of showMask.
enum ShowBit : uint16_t {
    ShowMuons = 1 << 0,
    ShowPions = 1 << 1,
    ShowGrid = 1 << 4,
    ShowBoxes = 1 << 7,
    ShowSolenoids = 1 << 8,
    ShowBends = 1 << 9,
    ShowApertures = 1 << 10,
    ShowLegend = 1 << 14,
};
inline constexpr int kLostShift = 2;     // bits 2-3: lost particles, 0 to 2
inline constexpr int kCellsShift = 5;    // bits 5-6: beamline cells, 0 to 2
inline constexpr int kColourShift = 12;  // bits 12-13: colour by energy, species, charge

enum ColourMode { ColourByEnergy = 0, ColourBySpecies = 1, ColourByCharge = 2 };
enum class EntryMode { None, FindCell, ApertureScan };
enum class Projection { Standard, Stereo };

struct ViewSettings {
    uint16_t showMask = ShowMuons | ShowPions | (1 << kLostShift) | (1 << kCellsShift) |
                        ShowSolenoids | ShowBends | ShowApertures | ShowLegend;
    bool autoFrameRate = true;
    int32_t stepsPerPass = 1;
    bool autoView = true;
    int infoMode = 1;  // 0 nothing, 1 run summary, 2 losses by element
    bool smallText = false;
    bool recording = false;
    bool bigParticles = false;
    bool particleInfo = false;
    bool phaseSpacePlots = false;
    bool helpShown = false;        // F1 opens the help, F1 or Space closes it
    bool showD = false;            // key D: element names beside the beamline
    uint16_t parameterGraphs = 0;  // bit n: graph n (numpad n) is shown
    bool graphsOn = false;         // key L
    Projection projection = Projection::Standard;
    double fieldOfView = 1.0;  // zoom factor, keys 8 and 9
    int stereoColours = 0;     // index into the stereo colour schemes
    double stereoDepth = 0.06;
    double stereoRange = 1.0;
    // The view when it does not follow the beam: centre (z, x) in metres.
    double panZ = 0, panX = 0;
    EntryMode entryMode = EntryMode::None;
    std::string entryText;
    std::string matchText;
    std::string apertureScanFrom;  // the cell an aperture scan entry chose
};

ViewSettings& viewSettings();

int showField(uint16_t mask, int shift);  // a two-bit field
void setShowField(uint16_t& mask, int shift, int value);
inline int colourMode(const ViewSettings& v) {
    return showField(v.showMask, kColourShift);
}
