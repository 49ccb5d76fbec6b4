#include "app/run_request.hpp"

#include "app/run_options.hpp"
#include "app/sim_template.hpp"

SetupRequest clientRunRequest(const std::string& latticeName, const std::string& commandLine) {
    SetupRequest request;
    request.latticeName = latticeName;
    request.commandLine = commandLine;
    request.dt = simulationTemplate.dt;
    request.particleDivisor = simulationTemplate.particleDivisor;
    request.nearbyInterval = simulationTemplate.nearbyInterval;
    request.rfSyncLogFile = runOptions.rfSyncLog ? "rfsync.log" : "";
    return request;
}
