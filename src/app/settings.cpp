#include "app/settings.hpp"

#include "app/common/text.hpp"

Settings settings;

const std::array<const char*, kTrialTypeCount> kTrialTypeNames = {
    "Random",  "Mutate",    "Crossover",  "Interpolate", "Extrapolate", "MuSpherical", "MuOne",
    "Extreme", "LocalGrad", "TopoSmooth", "CellDouble",  "CellDelete",  "CellCommute"};

std::string defaultSampleUrl() {
    return std::string("http://") + kProjectWebServer + "/pelto/samplefiles/{lattice}_100.bin";
}

std::string trialRatiosText() {
    std::string out;
    for (int t = 0; t < kTrialTypeCount; t++) {
        out += format("%s=%lg;", kTrialTypeNames[t], static_cast<double>(settings.trialRatios[t]));
    }
    return out;
}
