// Which vector width the tracker pushes particles with. The choice changes
// the speed only: every width gives the same bits.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Chooses the path: "scalar" (one particle at a time, no batches), "sse4",
// "avx2", "avx512" (batches no wider than that; a width the CPU lacks falls
// back to the widest below it that it has) or "auto" (the widest it has).
// False, with nothing changed, for another name. Between steps only.
bool simdSelect(std::string_view name);

// Whether particles are pushed in batches: false only on the scalar path.
// The first call takes the choice from the environment setting PELTO_SIMD
// (auto when it is unset or unknown) unless simdSelect came first.
bool simdBatched();

// The paths this CPU can take, from "scalar" up to the widest.
std::vector<std::string> simdAvailable();
