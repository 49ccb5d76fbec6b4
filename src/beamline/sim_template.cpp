#include "beamline/sim_template.hpp"

SimulationTemplate simulationTemplate;
