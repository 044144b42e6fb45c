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

// For a loop that is handed its watcher (the portable core takes it as a parameter): null
// means nobody watches, and the copy runs to its end.
inline void ReportTotal(OperationProgress* progress, std::uint64_t bytes) {
    if (progress != nullptr) progress->AddTotal(bytes);
}
inline bool ReportStep(OperationProgress* progress, std::uint64_t bytes) {
    return progress == nullptr || progress->Advance(bytes);
}

// The watcher of the operation that this thread runs, or null when nobody watches. Set with
// ProgressScope; only the Win32 edges read it (the extraction of a member, the sending of a
// spool file, the EMF check, the page-drawing process's host, the choice of a file; the
// architecture notes list them), and hand it on.
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

// The same for the loops at those edges, with the thread's watcher.
inline void ProgressAddTotal(std::uint64_t bytes) { ReportTotal(CurrentOperationProgress(), bytes); }
inline bool ProgressAdvance(std::uint64_t bytes) { return ReportStep(CurrentOperationProgress(), bytes); }
inline bool ProgressStopRequested() {
    const OperationProgress* progress = CurrentOperationProgress();
    return progress != nullptr && progress->StopRequested();
}
