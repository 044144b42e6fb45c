#include "Visualisation/BackgroundWork_win.h"

#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cwchar>

#include "Progress.h"
#include "Visualisation/ControlTexts_win.h"
#include "Visualisation/DialogGuard_win.h"
#include "handles_win.h"
#include "logging/logog.h"
#include "resource.h"
#include "texts/TextTable.h"
#include "textutil.h"
#include "textutil_win.h"

namespace {

BackgroundStepHook g_StepHook = nullptr;

// Progress travels from the worker as atomics that the window's timer reads; nothing is
// locked across a spooler call.
class WorkWatcher final : public OperationProgress {
public:
    void AddTotal(std::uint64_t bytes) override { m_Total += bytes; }
    bool Advance(std::uint64_t bytes) override {
        if (g_StepHook != nullptr) g_StepHook(bytes);
        m_Done += bytes;
        if (!m_CancelRequested) return true;
        m_Stopped = true;
        return false;
    }
    bool StopRequested() const override { return m_CancelRequested; }

    void RequestCancel() { m_CancelRequested = true; }
    bool Stopped() const { return m_Stopped; }
    std::uint64_t Done() const { return m_Done; }
    std::uint64_t Total() const { return m_Total; }

private:
    std::atomic<std::uint64_t> m_Total{0};
    std::atomic<std::uint64_t> m_Done{0};
    std::atomic<bool> m_CancelRequested{false};
    std::atomic<bool> m_Stopped{false};
};

// The operation under way; only one runs at a time.
struct Operation {
    WorkWatcher Watcher;
    ProgressUnit Unit = ProgressUnit::Bytes;
    const std::function<void()>* Work = nullptr;
    ThreadHandle Thread;
    std::atomic<bool> Finished{false};  // set as the worker's last step
    std::atomic<bool> Threw{false};
};
Operation* g_Running = nullptr;

constexpr auto ProgressWindowDelay = std::chrono::milliseconds(500);
constexpr DWORD PumpInterval = 50;  // milliseconds between looks at the worker at most
constexpr UINT_PTR RefreshTimer = 1;
constexpr UINT RefreshInterval = 100;
constexpr int BarSteps = 1000;

// A work item that throws has not produced what its caller reads: the outcome says so.
DWORD WINAPI RunWork(void* parameter) {
    auto* operation = static_cast<Operation*>(parameter);
    {
        ProgressScope scope(operation->Watcher);
        try {
            (*operation->Work)();
        } catch (...) {
            LogUnexpectedException("a background operation");
            operation->Threw = true;
        }
    }
    operation->Finished = true;
    return 0;
}

std::wstring Megabytes(std::uint64_t bytes) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

void RefreshProgressWindow(HWND window, const WorkWatcher& watcher, ProgressUnit unit) {
    const std::uint64_t total = watcher.Total();
    const std::uint64_t done = total == 0 ? 0 : (watcher.Done() < total ? watcher.Done() : total);
    const auto position = total == 0 ? 0 : static_cast<WPARAM>(done * BarSteps / total);
    SendDlgItemMessageW(window, IDC_PROGRESSBAR, PBM_SETPOS, position, 0);
    const std::wstring amount = unit == ProgressUnit::Pages
                                    ? FormatText(TXT_PAGES_OF, {std::to_wstring(done), std::to_wstring(total)})
                                    : FormatText(TXT_MEGABYTES_OF, {Megabytes(done), Megabytes(total)});
    SetDlgItemTextW(window, IDC_PROGRESSAMOUNT, amount.c_str());
}

void CentreOnOwner(HWND window) {
    RECT own{}, owner{};
    GetWindowRect(window, &own);
    GetWindowRect(GetWindow(window, GW_OWNER), &owner);
    const int x = owner.left + ((owner.right - owner.left) - (own.right - own.left)) / 2;
    const int y = owner.top + ((owner.bottom - owner.top) - (own.bottom - own.top)) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

constexpr ControlText ProgressTexts[] = {
    {IDCANCEL, TXT_CANCEL_BUTTON},
};

struct ProgressWindowStart {
    const std::wstring* Activity;
    Operation* Work;
};

INT_PTR OnProgressInit(HWND window, LPARAM parameter) {
    const auto* start = reinterpret_cast<const ProgressWindowStart*>(parameter);
    SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(start->Work));
    const TextTable& texts = GetTextTable();  // the language cannot change while it is up
    SetWindowTextW(window, texts.GetTextPtr(TXT_DIALOG_CAPTION));
    SetControlTexts(window, texts, std::begin(ProgressTexts), std::end(ProgressTexts));
    SetDlgItemTextW(window, IDC_PROGRESSTEXT, start->Activity->c_str());
    SendDlgItemMessageW(window, IDC_PROGRESSBAR, PBM_SETRANGE32, 0, BarSteps);
    RefreshProgressWindow(window, start->Work->Watcher, start->Work->Unit);
    CentreOnOwner(window);
    SetTimer(window, RefreshTimer, RefreshInterval, nullptr);
    return TRUE;
}

Operation* OperationOf(HWND window) { return reinterpret_cast<Operation*>(GetWindowLongPtrW(window, DWLP_USER)); }

// Cancel, Esc and the close box: the work stops at its next step. A spooler call that
// blocks is not cut short; the cancel takes effect when it returns.
INT_PTR OnProgressCancel(HWND window) {
    Operation* work = OperationOf(window);
    if (work != nullptr && !work->Watcher.StopRequested()) {
        LOGOG_DEBUG("Cancel pressed in the progress window");
        work->Watcher.RequestCancel();
        EnableWindow(GetDlgItem(window, IDCANCEL), FALSE);
    }
    return TRUE;
}

INT_PTR HandleProgressMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return OnProgressInit(window, lParam);
        case WM_COMMAND: return LOWORD(wParam) == IDCANCEL ? OnProgressCancel(window) : FALSE;
        case WM_CLOSE: return OnProgressCancel(window);
        case WM_TIMER:
            if (Operation* work = OperationOf(window)) RefreshProgressWindow(window, work->Watcher, work->Unit);
            return TRUE;
        default: return FALSE;
    }
}

INT_PTR CALLBACK ProgressDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardDialogMessage("the progress window", message,
                              [&] { return HandleProgressMessage(window, message, wParam, lParam); });
}

HWND OpenProgressWindow(HWND owner, const std::wstring& activity, Operation& work) {
    ProgressWindowStart start{&activity, &work};
    HWND window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_PROGRESS), owner,
                                     ProgressDialogProc, reinterpret_cast<LPARAM>(&start));
    if (window == nullptr) {
        DWORD error = GetLastError();
        LOGOG_ERROR("CreateDialogParam failed for the progress window: %s", GetLastErrorText(error).c_str());
        return nullptr;
    }
    ShowWindow(window, SW_SHOW);
    LOGOG_DEBUG("Progress window opened: %s", LogText(activity).c_str());
    return window;
}

void CloseProgressWindow(HWND window) {
    if (window == nullptr) return;
    DestroyWindow(window);
    LOGOG_DEBUG("Progress window closed");
}

// Enter on the progress window: the window has no default button, but a focused push button
// takes Enter as a click, and an Enter held or pressed twice after the last question would
// cancel the job the user just asked for.
bool IsEnterForProgressWindow(HWND progressWindow, const MSG& message) {
    bool key = message.message == WM_KEYDOWN || message.message == WM_KEYUP || message.message == WM_CHAR;
    bool enter = message.wParam == VK_RETURN || (message.message == WM_CHAR && message.wParam == L'\r');
    return key && enter && (message.hwnd == progressWindow || IsChild(progressWindow, message.hwnd));
}

// Handles everything that has arrived; a quit request is kept for the main loop.
void PumpMessages(HWND progressWindow, bool& quitRequested, int& quitCode) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            quitRequested = true;
            quitCode = static_cast<int>(message.wParam);
            continue;
        }
        if (progressWindow != nullptr && IsEnterForProgressWindow(progressWindow, message)) continue;
        if (progressWindow != nullptr && IsDialogMessageW(progressWindow, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

WorkerWaitCall g_WorkerWait = ::MsgWaitForMultipleObjects;

// One bounded wait for the worker. While waiting for messages too fails, the thread alone is
// waited for, in steps as short, so the loop never spins and still ends with the worker.
bool WorkerEnded(Operation& operation, bool& waitFailed) {
    HANDLE thread = operation.Thread.get();
    if (!waitFailed) {
        DWORD woke = g_WorkerWait(1, &thread, FALSE, PumpInterval, QS_ALLINPUT);
        if (woke != WAIT_FAILED) return woke == WAIT_OBJECT_0 || operation.Finished;
        DWORD error = GetLastError();
        LOGOG_ERROR("Error in MsgWaitForMultipleObjects: %s; waiting for the operation in steps of %lu ms",
                    GetLastErrorText(error).c_str(), PumpInterval);
        waitFailed = true;
    }
    if (WaitForSingleObject(thread, PumpInterval) == WAIT_FAILED) Sleep(PumpInterval);
    return operation.Finished;
}

// Keeps the owner disabled while the operation runs and gives everything back on the way
// out, also when an exception unwinds through RunInBackground: the worker is joined (it is
// told to stop first), the owner enabled before the progress window goes (Windows activates
// the owner of a destroyed active window only when it is enabled, else another program's
// window), the keyboard focus returned to the control that had it, and the running state
// cleared.
class OperationScope {
public:
    OperationScope(HWND owner, Operation& operation)
        : m_Owner(owner), m_Operation(operation), m_Focus(GetFocus()), m_OwnerWasEnabled(!EnableWindow(owner, FALSE)) {
        g_Running = &operation;
    }
    ~OperationScope() {
        m_Operation.Watcher.RequestCancel();  // only an unwinding exception finds it running
        while (!m_Operation.Finished) {
            if (WaitForSingleObject(m_Operation.Thread.get(), INFINITE) == WAIT_FAILED) Sleep(PumpInterval);
        }
        if (m_OwnerWasEnabled) EnableWindow(m_Owner, TRUE);
        CloseProgressWindow(m_ProgressWindow);
        RestoreFocus();
        g_Running = nullptr;
    }
    OperationScope(const OperationScope&) = delete;
    OperationScope& operator=(const OperationScope&) = delete;

    HWND& ProgressWindow() { return m_ProgressWindow; }

private:
    // Disabling the owner took the focus from its control; it goes back unless the focus has
    // moved to another window meanwhile.
    void RestoreFocus() const {
        HWND focus = GetFocus();
        bool focusInOwner = focus == nullptr || focus == m_Owner || IsChild(m_Owner, focus);
        bool focusWasInOwner = m_Focus != nullptr && (m_Focus == m_Owner || IsChild(m_Owner, m_Focus));
        if (focusInOwner && focusWasInOwner && IsWindow(m_Focus)) SetFocus(m_Focus);
    }

    HWND m_Owner;
    Operation& m_Operation;
    HWND m_Focus;
    bool m_OwnerWasEnabled;
    HWND m_ProgressWindow = nullptr;
};

// The user-interface thread's loop while the worker runs: never longer than PumpInterval
// without handling messages, so the windows repaint and Windows never finds them hung.
void WaitForWorker(HWND owner, const std::wstring& activity, Operation& operation, HWND& progressWindow) {
    const auto started = std::chrono::steady_clock::now();
    bool progressWindowTried = false;  // a window that cannot be made is logged once
    bool waitFailed = false;
    bool quitRequested = false;
    int quitCode = 0;
    while (!WorkerEnded(operation, waitFailed)) {
        PumpMessages(progressWindow, quitRequested, quitCode);
        if (!progressWindowTried && std::chrono::steady_clock::now() - started >= ProgressWindowDelay &&
            !operation.Finished) {
            progressWindowTried = true;
            progressWindow = OpenProgressWindow(owner, activity, operation);
        }
    }
    if (quitRequested) PostQuitMessage(quitCode);
}

}  // namespace

BackgroundOutcome RunInBackground(HWND owner, const std::wstring& activity, const std::function<void()>& work,
                                  ProgressUnit unit) {
    if (g_Running != nullptr) return {};  // one at a time: the main window refuses a second
    Operation operation;
    operation.Work = &work;
    operation.Unit = unit;
    operation.Thread.reset(CreateThread(nullptr, 0, RunWork, &operation, 0, nullptr));
    if (!operation.Thread) {
        DWORD error = GetLastError();
        LOGOG_ERROR("CreateThread failed: %s; the operation runs without a progress window",
                    GetLastErrorText(error).c_str());
        RunWork(&operation);
    } else {
        OperationScope scope(owner, operation);
        WaitForWorker(owner, activity, operation, scope.ProgressWindow());
    }
    return {operation.Watcher.Stopped(), operation.Threw};
}

bool BackgroundWorkRunning() { return g_Running != nullptr; }

void SetBackgroundStepHook(BackgroundStepHook hook) { g_StepHook = hook; }

WorkerWaitCall& CurrentWorkerWaitCall() { return g_WorkerWait; }

bool CancelBackgroundWork(DWORD waitMilliseconds) {
    if (g_Running == nullptr) return true;
    LOGOG_DEBUG("The session ends: cancelling the operation under way");
    g_Running->Watcher.RequestCancel();
    return WaitForSingleObject(g_Running->Thread.get(), waitMilliseconds) == WAIT_OBJECT_0 || g_Running->Finished;
}
