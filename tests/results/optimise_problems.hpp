// The score functions of the optimiser's benchmark lattices
// (bench/optimise/lattices), computed here directly so that the search can be
// tested over hundreds of runs in moments. Each lattice sends a thousand
// muons, their kinetic energies the quantiles of a normal distribution (mean
// 200 MeV, sd 60 MeV), through energy windows whose edges the parameters set;
// the score is 100 x the share that passes every window.
#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "model/genome.hpp"

struct WindowProblem {
    const char* name;  // the lattice's name
    int parameters;
    double lo, hi;  // every parameter's range
    // The windows (lower, upper edge in MeV) the parameter values make.
    std::vector<std::pair<double, double>> (*windows)(const std::vector<double>& x);
    double noise = 0;  // standard deviation added to each score
};

// How many of the thousand quantile energies lie in [a, b].
inline int energiesWithin(double a, double b) {
    auto cdf = [](double e) { return 0.5 * std::erfc(-(e - 200) / 60 / std::sqrt(2.0)); };
    double first = std::ceil(1000 * cdf(a) - 0.5);
    double last = std::floor(1000 * cdf(b) - 0.5);
    return static_cast<int>(std::clamp(last - first + 1, 0.0, 1000.0));
}

// The thousand energies (MeV), as the lattices' data file lists them.
inline const std::vector<double>& windowEnergies() {
    static const std::vector<double> energies = [] {
        std::vector<double> e;
        for (int i = 0; i < 1000; i++) {
            double p = (i + 0.5) / 1000, lo = -10, hi = 10;
            for (int k = 0; k < 100; k++) {
                double mid = (lo + hi) / 2;
                (0.5 * std::erfc(-mid / std::sqrt(2.0)) < p ? lo : hi) = mid;
            }
            e.push_back(200 + 60 * lo);
        }
        return e;
    }();
    return energies;
}

// When no muon passes, the tracker's score is the mean penalty of the muons
// that the windows stopped: how far below the lower edge (energy / edge - 1)
// or above the upper edge (edge / energy - 1) of the first window that
// stopped each, as the aperture stores the ratios.
inline double stoppedPenalty(const std::vector<std::pair<double, double>>& windows) {
    double sum = 0;
    for (double e : windowEnergies()) {
        for (auto [low, high] : windows) {
            if (!((low != 0 && e < low) || (high != 0 && e > high))) continue;
            double v = low != 0 ? e / low : 0;
            double t = high != 0 ? e / high : 0;
            if (v != 0 && v < 1) {
                sum += v - 1;
            } else if (t != 0 && t > 1) {
                sum += 1 / t - 1;
            }
            break;
        }
    }
    return sum / 1000;
}

inline double windowScore(const WindowProblem& problem, Genome& genome) {
    std::vector<double> x;
    for (int i = 1; i <= problem.parameters; i++) {
        x.push_back(genomeReal(genome, "p" + std::to_string(i), problem.lo, problem.hi));
    }
    std::vector<std::pair<double, double>> windows = problem.windows(x);
    double a = -1e9, b = 1e9;
    for (auto [low, high] : windows) {
        a = std::max(a, low);
        b = std::min(b, high);
    }
    int passed = energiesWithin(a, b);
    return passed > 0 ? passed / 10.0 : stoppedPenalty(windows);
}

// Window k passes [x_k, x_k + 400 MeV].
inline std::vector<std::pair<double, double>> edgeWindows(const std::vector<double>& x) {
    std::vector<std::pair<double, double>> w;
    for (double e : x) w.push_back({e, e + 400});
    return w;
}

// Pairs (x, y): one window set by 3 (x + y - 700), a narrow valley across the
// diagonal, and one by (x - y - 200) / 2, a slow slope along it.
inline std::vector<std::pair<double, double>> coupledWindows(const std::vector<double>& x) {
    std::vector<std::pair<double, double>> w;
    for (size_t i = 0; i + 1 < x.size(); i += 2) {
        double across = 3 * (x[i] + x[i + 1] - 700);
        double along = 0.5 * (x[i] - x[i + 1] - 200);
        w.push_back({across, across + 400});
        w.push_back({along, along + 400});
    }
    return w;
}

// The best score of every problem: the windows at [0, 400].
inline constexpr double kWindowPeak = 99.8;

inline const std::vector<WindowProblem>& windowProblems() {
    static const std::vector<WindowProblem> problems{
        {"energy_windows", 6, 0, 700, edgeWindows},       // peak in a corner
        {"interior_windows", 6, -150, 850, edgeWindows},  // peak inside the box
        {"centred_windows", 6, -350, 350, edgeWindows},   // peak at the box's centre
        {"coupled_windows", 6, 0, 500, coupledWindows},   // peak in a rotated valley
        {"twelve_windows", 12, 0, 700, edgeWindows},      // twelve parameters, corner
        {"noisy_windows", 6, -150, 850, edgeWindows, 1.5},
    };
    return problems;
}
