// Progress and cancellation of a long copy (extracting a member, sending a spool file), as the
// copy loops see them: they announce the bytes to do, report each step, and stop when told.
// Platform-neutral; whoever watches the operation installs the watcher for its duration.
#pragma once

#include <cstdint>

class OperationProgress {
public:
    virtual ~OperationProgress() = default;
    // More bytes to do (each member of an archive, the spool file).
    virtual void AddTotal(std::uint64_t bytes) = 0;
    // Bytes done since the last report; false once the user has asked to stop: the loop ends
    // the copy there and leaves nothing behind.
    virtual bool Advance(std::uint64_t bytes) = 0;
    // Whether the user has asked to stop, without reporting a step.
    virtual bool StopRequested() const = 0;
};

// The watcher of the operation that this thread runs, or null when nobody watches (then a
// copy runs to its end). Set with ProgressScope.
inline thread_local OperationProgress* g_CurrentOperationProgress = nullptr;

inline OperationProgress* CurrentOperationProgress() { return g_CurrentOperationProgress; }

// Installs a watcher for the life of the scope.
class ProgressScope {
public:
    explicit ProgressScope(OperationProgress& progress) : m_Previous(g_CurrentOperationProgress) {
        g_CurrentOperationProgress = &progress;
    }
    ~ProgressScope() { g_CurrentOperationProgress = m_Previous; }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

private:
    OperationProgress* m_Previous;
};

// Helpers for the loops: a copy without a watcher never stops.
inline void ProgressAddTotal(std::uint64_t bytes) {
    if (OperationProgress* progress = CurrentOperationProgress()) progress->AddTotal(bytes);
}
inline bool ProgressAdvance(std::uint64_t bytes) {
    OperationProgress* progress = CurrentOperationProgress();
    return progress == nullptr || progress->Advance(bytes);
}
inline bool ProgressStopRequested() {
    const OperationProgress* progress = CurrentOperationProgress();
    return progress != nullptr && progress->StopRequested();
}
