// Test helper: watches a copy loop (Progress.h) for the life of the object, recording what it
// reports, and tells it to stop from a given step on.
#pragma once

#include <cstdint>

#include "Progress.h"

struct WatchedCopy final : OperationProgress {
    explicit WatchedCopy(int stopAtStep = -1) : stopAt(stopAtStep) {}
    void AddTotal(std::uint64_t bytes) override { total += bytes; }
    bool Advance(std::uint64_t bytes) override {
        done += bytes;
        stopped = stopped || (stopAt >= 0 && ++steps >= stopAt);
        return !stopped;
    }
    bool StopRequested() const override { return stopped; }

    std::uint64_t total = 0, done = 0;
    int steps = 0;
    int stopAt;  // the step that is told to stop; -1: none
    bool stopped = false;
    ProgressScope scope{*this};
};
