// Where lost particles end: the loss sums of the cell that stopped them.
#include "beamline/species.hpp"
#include "beamline/tracking/tracking.hpp"
#include "model/cell.hpp"

void lostparticlein(Particle& particle, Cell& cell) {
    double w = particle.weight;
    cell.lostWeight.add(w);
    cell.lostEnergy.add(w * kineticEnergy(particle) / kElectronVolt);
    int32_t q = particle.species >= 0 && particle.species < kSpeciesCount
                    ? speciesInfo(particle.species).charge
                    : 0;
    if (q > 0) cell.lostWeightPositive.add(w);
    if (q < 0) cell.lostWeightNegative.add(w);
    dropNearbyList(particle);
}
