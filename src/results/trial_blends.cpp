// Trial types that blend two parents: take each level from one or the other,
// or place the child on the line through both.
#include "common/random.hpp"
#include "results/trial_types.hpp"

namespace {

// Child = a * t + b * s for every parameter the two parents share; the
// weights are 32-bit floats, and so is the arithmetic.
Genome blend(const Genome& a, const Genome& b, float t, float s) {
    Genome g;
    for (int i = 0; i < a.count(); i++) {
        const std::string& name = a.names[static_cast<size_t>(i)];
        int32_t vb = genomeGet(b, name);
        if (vb < 0) continue;
        float va = static_cast<float>(a.levels[static_cast<size_t>(i)]);
        genomeSet(g, name, truncLevel(va * t + static_cast<float>(vb) * s));
    }
    return g;
}

}  // namespace

Genome trialCrossover(const TrialContext& context) {
    auto [a, b] = twoParents(context.pool);
    // q is the share taken from the first parent.
    float q = static_cast<float>(uniform(1));
    Genome g;
    for (int i = 0; i < a.count(); i++) {
        const std::string& name = a.names[static_cast<size_t>(i)];
        if (!genomeHas(b, name)) continue;
        int32_t level = q <= static_cast<float>(uniform(1)) ? genomeGet(b, name)
                                                            : a.levels[static_cast<size_t>(i)];
        genomeSet(g, name, level);
    }
    return g;
}

Genome trialInterpolate(const TrialContext& context) {
    auto [a, b] = twoParents(context.pool);
    float t = static_cast<float>(uniform(1));
    return blend(a, b, t, 1 - t);
}

Genome trialExtrapolate(const TrialContext& context) {
    auto [a, b] = twoParents(context.pool);
    float u;
    do {
        u = static_cast<float>(uniform(1));
    } while (u == 0.5f);
    // |t - 0.5| >= 0.5: outside the segment between the parents, and far
    // outside when u is near 0.5.
    float t = 0.5f + 0.25f / (u - 0.5f);
    return blend(a, b, t, 1 - t);
}
