// Long operations (extracting a job from an archive, sending a job to a printer) run on a
// worker thread while the user-interface thread keeps the windows alive and, when the work
// takes longer than half a second, shows a progress window with Cancel. This is the one
// place where the program uses a second thread; the work itself sees only the
// OperationProgress of Progress.h.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

struct BackgroundOutcome {
    bool Stopped = false;  // the work ended early because the user cancelled it
    bool Failed = false;   // the work threw: what it produced cannot be trusted
};

// What the progress window counts: the bytes of a copy, or the pages of a drawing.
enum class ProgressUnit { Bytes, Pages };

// Runs work on a worker thread and returns when it has ended. Meanwhile the owner takes no
// input, and after half a second a progress window owned by it shows activity (a line such
// as "Sending ..."), a bar and Cancel. Only one operation runs at a time; the caller reads
// what the work produced only after this returns. The owner gets its input, activation and
// focus back, whatever happens.
BackgroundOutcome RunInBackground(HWND owner, const std::wstring& activity, const std::function<void()>& work,
                                  ProgressUnit unit = ProgressUnit::Bytes);

// True while an operation runs: the main window refuses commands meanwhile.
bool BackgroundWorkRunning();

// For a logoff or shutdown: asks the operation under way to stop and waits for it, at most
// the given time. False when it is still running (a spooler call that does not return).
bool CancelBackgroundWork(DWORD waitMilliseconds);

// Called on the worker thread with the bytes of each step of an operation. Tests install one
// that slows the steps down, to watch a long operation from outside while it runs.
using BackgroundStepHook = void (*)(std::uint64_t bytes);
void SetBackgroundStepHook(BackgroundStepHook hook);

// The wait for the worker and for messages (MsgWaitForMultipleObjects); tests make it fail.
using WorkerWaitCall = DWORD(WINAPI*)(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                      DWORD wakeMask);
WorkerWaitCall& CurrentWorkerWaitCall();
