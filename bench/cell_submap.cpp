// Proximity-grid look-ups, the per-particle work of every nearby-list
// refresh: a straight channel of 400 elements, 30 m long, queried at random
// points inside its box.
#include <benchmark/benchmark.h>

#include <random>

#include "common/report.hpp"
#include "model/cell_geometry.hpp"
#include "model/cell_submap.hpp"

namespace {

CellPtr channel(int elements) {
    CellPtr line = cellCreate(Composite, "channel");
    for (int i = 0; i < elements; i++) {
        CellPtr e = cellCreate(Machine, "E");
        double z = 30.0 * i / elements;
        cellBoxSet(*e, -0.6, -0.6, z - 0.05, 0.6, 0.6, z + 0.15);
        cellBoxInclude(*line, e->boxMin);
        cellBoxInclude(*line, e->boxMax);
        insertChild(*line, e, -1);
    }
    return line;
}

void quiet() {
    MessageSink sink;
    sink.write = [](std::string_view) {};
    sink.writeInPlace = [](std::string_view) {};
    setMessageSink(sink);
}

void BM_SubMapQuery(benchmark::State& state) {
    quiet();
    CellPtr line = channel(400);
    subMapBuild(*line, static_cast<int32_t>(state.range(0)));
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<Vec3> points(4096);
    Vec3 lo = line->boxMin, ext = line->boxMax - line->boxMin;
    for (Vec3& p : points)
        p = {lo.x + ext.x * u(rng), lo.y + ext.y * u(rng), lo.z + ext.z * u(rng)};
    std::vector<Cell*> near;
    size_t i = 0;
    for (auto _ : state) {
        subMapQuery(*line, points[i++ & 4095], near);
        benchmark::DoNotOptimize(near.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SubMapQuery)->Arg(10)->Arg(50)->Arg(200);

void BM_SubMapBuild(benchmark::State& state) {
    quiet();
    CellPtr line = channel(400);
    for (auto _ : state) subMapBuild(*line, static_cast<int32_t>(state.range(0)));
}
BENCHMARK(BM_SubMapBuild)->Arg(50)->Arg(200);

}  // namespace
