#include "app/sim_template.hpp"

SimulationTemplate simulationTemplate;
