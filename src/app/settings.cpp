#include "app/settings.hpp"

#include "common/text.hpp"

Settings settings;

std::string defaultSampleUrl(const std::string& webServer) {
    return "http://" + webServer + "/pelto/samplefiles/{lattice}_100.bin";
}

std::string trialRatiosText() {
    std::string out;
    for (int t = 0; t < kTrialTypeCount; t++) {
        out += format("%s=%lg;", kTrialTypes[static_cast<size_t>(t)].name,
                      static_cast<double>(settings.trialRatios[static_cast<size_t>(t)]));
    }
    return out;
}

OptimiserSettings optimiserSettings() {
    OptimiserSettings optimiser;
    for (size_t t = 0; t < optimiser.ratios.size(); t++) {
        optimiser.ratios[t] = settings.trialRatios[t];
    }
    return optimiser;
}
