// How the tracking threads of a step share the machine with other programs:
// how many of them take part and whether they spin while they wait. On a
// volunteer's computer another program often keeps a core busy; a thread
// that has no core of its own only makes every step wait for it, and a
// thread that spins takes the core from whoever needed it.
#pragma once

// What the pool knows of the machine when a step starts.
struct MachineLoad {
    int cores = 1;              // processors this process may run on
    double otherBusy = -1;      // cores kept busy by other programs; negative: not known yet
    bool idlePriority = false;  // this process should take only time nobody else wants
};

struct PoolPlan {
    int participants = 1;  // threads that work on the step's slices (1: all on the caller)
    bool spin = false;     // whether waiting threads spin before they sleep
};

// The plan for a step of `count` slices.
PoolPlan planPool(int count, const MachineLoad& load);
