// Animation recording: while recording is on, every drawn frame is appended
// to "<lattice>.anim" (the particles) and "<lattice>2.anim" (the view), in
// the little-endian layout the README describes.
#pragma once

#include <string>

#include "display/frame.hpp"

struct RecordedView {
    double zMin = 0, zMax = 0, acrossMin = 0, acrossMax = 0;  // the plan view's window, metres
    uint16_t showMask = 0;
    uint8_t colourMode = 0;
    uint8_t projection = 0;  // 0 standard, 1 stereo
};

// The two file names for a lattice; empty when the name cannot be a file name.
bool animationFileNames(const std::string& latticeName, std::string& particles, std::string& view);
// Appends one frame; false when the files cannot be written or have reached
// their size limit (recording should then stop).
bool recordFrame(const DisplayFrame& frame, const RecordedView& view);
