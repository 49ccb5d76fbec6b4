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
    view.autoFrameRate = view.autoView = true;
    loadDisplaySettings(kDisplayFile, view);
    runOptions.storedAutoFrameRate = view.autoFrameRate;
    runOptions.storedAutoView = view.autoView;
    // The switches only ever turn these off (-g, -view, -r). What the user
    // asked for on this command line wins over what an earlier run left in
    // the file, for this process only.
    runOptions.autoFrameRateOffBySwitch = !runOptions.autoFrameRate;
    runOptions.autoViewOffBySwitch = !runOptions.autoView;
    view.autoFrameRate = view.autoFrameRate && runOptions.autoFrameRate;
    view.autoView = view.autoView && runOptions.autoView;
    runOptions.autoFrameRate = view.autoFrameRate;
    runOptions.autoView = view.autoView;
}

void storeDisplaySettings() {
    // The keys change the view settings' copies of the two run options.
    ViewSettings toStore = viewSettings();
    runOptions.autoFrameRate = toStore.autoFrameRate;
    runOptions.autoView = toStore.autoView;
    // Still off as the switch left it: the next run without the switch gets
    // the user's own setting back.
    if (runOptions.autoFrameRateOffBySwitch && !toStore.autoFrameRate) {
        toStore.autoFrameRate = runOptions.storedAutoFrameRate;
    }
    if (runOptions.autoViewOffBySwitch && !toStore.autoView) {
        toStore.autoView = runOptions.storedAutoView;
    }
    saveDisplaySettings(kDisplayFile, toStore);
}

void closeGraphics() {
    if (!displayIsOpen()) return;
    displayClose();
    resetMessageSink();
}

bool screensaverWantsToQuit() {
    return displayAnyKeyDown() || displayPointerMovedAway();
}
