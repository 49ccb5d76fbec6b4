#include "app/run_request.hpp"

#include "app/sim_template.hpp"

SetupRequest clientRunRequest(const std::string& latticeName, const std::string& commandLine) {
    SetupRequest request;
    request.latticeName = latticeName;
    request.commandLine = commandLine;
    request.dt = simulationTemplate.dt;
    request.particleDivisor = simulationTemplate.particleDivisor;
    request.nearbyInterval = simulationTemplate.nearbyInterval;
    return request;
}
