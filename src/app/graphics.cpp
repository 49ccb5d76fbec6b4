#include "app/graphics.hpp"

#include "app/run_options.hpp"
#include "app/settings.hpp"
#include "common/report.hpp"
#include "common/version.hpp"
#include "display/display.hpp"
#include "display/display_file.hpp"

bool openGraphics() {
    DisplayOptions options;
    options.title = std::string("Pelto Simulation ") + kVersionText;
    options.width = settings.resolutionX;
    options.height = settings.resolutionY;
    options.screensaver = runOptions.screensaver;
    std::string whyNot;
    if (!displayOpen(options, whyNot)) return false;
    MessageSink sink;
    sink.drawLine = [](std::string_view text) { displayMessageLine(text); };
    sink.drawProgress = [](std::string_view text) { displayProgressLine(text); };
    sink.graphicsKey = [] { return displayWaitKey(); };
    sink.holdFatal = [] { displayHoldFatal(); };
    setMessageSink(std::move(sink));
    return true;
}

void loadDisplaySettingsAtStart() {
    ViewSettings& view = viewSettings();
    view.autoFrameRate = runOptions.autoFrameRate;
    view.autoView = runOptions.autoView;
    if (loadDisplaySettings(kDisplayFile, view)) {
        runOptions.autoFrameRate = view.autoFrameRate;
        runOptions.autoView = view.autoView;
    }
}

void storeDisplaySettings() {
    // The keys change the view settings' copies of the two run options.
    const ViewSettings& view = viewSettings();
    runOptions.autoFrameRate = view.autoFrameRate;
    runOptions.autoView = view.autoView;
    saveDisplaySettings(kDisplayFile, view);
}

void closeGraphics() {
    if (!displayIsOpen()) return;
    displayClose();
    resetMessageSink();
}

bool screensaverWantsToQuit() {
    return displayAnyKeyDown() || displayPointerMovedAway();
}
