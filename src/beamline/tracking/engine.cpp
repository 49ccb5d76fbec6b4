#include "beamline/tracking/engine.hpp"

#include <algorithm>
#include <memory>

#include "beamline/simulation.hpp"

EngineSlot::EngineSlot() = default;
EngineSlot::~EngineSlot() = default;
EngineSlot::EngineSlot(EngineSlot&& other) noexcept = default;
EngineSlot& EngineSlot::operator=(EngineSlot&& other) noexcept = default;
EngineSlot::EngineSlot(const EngineSlot&) {}
EngineSlot& EngineSlot::operator=(const EngineSlot& other) {
    if (this != &other) owned.reset();
    return *this;
}

TrackingEngine& trackingEngineOf(Simulation& simulation) {
    if (!simulation.engine.owned) simulation.engine.owned = std::make_unique<TrackingEngine>();
    return *simulation.engine.owned;
}

void trackingConfigure(Simulation& simulation, const TrackingConfig& config) {
    TrackingEngine& engine = trackingEngineOf(simulation);
    engine.config = config;
    engine.config.maxThreads = std::max(1, config.maxThreads);
    engine.config.particlesPerThread = std::max(1, config.particlesPerThread);
}

std::vector<double> trackingLoadWeights(const Simulation& simulation) {
    const TrackingEngine* engine = simulation.engine.owned.get();
    return engine ? engine->weights : std::vector<double>();
}
