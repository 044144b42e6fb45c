// Entry point, message loop and the main window's frame.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <optional>

#include "CommandLine.h"
#include "EmfSpool/PageDrawingChild_win.h"
#include "FileProcessor/FileProcessor.h"
#include "StartupBanner.h"
#include "Visualisation/BackgroundWork_win.h"
#include "Visualisation/DialogGuard_win.h"
#include "Visualisation/MainDialog_win.h"
#include "handles_win.h"
#include "logging/TavrelLog.h"
#include "logging/logog.h"
#include "resource.h"
#include "texts/TextTable.h"
#include "textutil.h"
#include "textutil_win.h"

namespace {

struct IconHandleTraits {
    using pointer = HICON;
    static pointer Invalid() { return nullptr; }
    static void Close(pointer value) { DestroyIcon(value); }
};
using IconHandle = UniqueHandle<IconHandleTraits>;

// The frame's state for the life of the process: the window icon and the web button's image.
IconHandle WindowIcon;
IconHandle WebLinkIcon;

// COM for this thread; uninitialised at the end only when this call initialised it (S_OK).
class ComApartment {
public:
    ComApartment()
        : m_Owned(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE) == S_OK) {}
    ~ComApartment() {
        if (m_Owned) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool m_Owned;
};

void LoadFrameIcons(HWND dialog) {
    HINSTANCE module = GetModuleHandleW(nullptr);
    WindowIcon.reset(LoadIconW(module, MAKEINTRESOURCEW(IDI_MAINWINDOW)));
    SetClassLongPtrW(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(WindowIcon.get()));
    WebLinkIcon.reset(LoadIconW(module, MAKEINTRESOURCEW(IDI_WEBLINK)));
    SendDlgItemMessageW(dialog, IDC_WEBLINK, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(WebLinkIcon.get()));
}

INT_PTR OnInitDialog(HWND dialog, WPARAM, LPARAM) {
    LoadFrameIcons(dialog);
    InitialiseDialogControls(dialog);
    return TRUE;  // the dialog manager focuses the first tab stop, the language box
}

// Exit button and Esc. The close box and Alt+F4 reach WM_CLOSE directly and keep the icons
// until the process ends.
INT_PTR OnExitCommand(HWND dialog) {
    SendMessageW(dialog, WM_CLOSE, 0, 0);
    WindowIcon.reset();
    WebLinkIcon.reset();
    return TRUE;
}

INT_PTR OnCommand(HWND dialog, WPARAM wParam, LPARAM) {
    WORD controlId = LOWORD(wParam);
    if (controlId == IDCANCEL) return OnExitCommand(dialog);
    return HandleDialogCommand(dialog, controlId, HIWORD(wParam)) ? TRUE : FALSE;
}

INT_PTR OnDropFiles(HWND dialog, WPARAM wParam, LPARAM) {
    HandleDroppedFiles(dialog, reinterpret_cast<HDROP>(wParam));
    return TRUE;
}

INT_PTR OnClose(HWND dialog, WPARAM, LPARAM) {
    DestroyWindow(dialog);
    return TRUE;
}

// How long a logoff waits for the operation under way: a spooler call may block for minutes,
// and Windows would report that the program prevents the logoff.
constexpr DWORD EndSessionWait = 4000;

// The session ends and the process with it, without the static clean-up: a job being sent is
// cancelled first (nothing partial reaches the printer), and the extracted files go now. An
// operation that does not stop in time may still be inside the intake, changing which files
// exist: the extracted files are then left where they are, as the log says.
INT_PTR OnEndSession(HWND, WPARAM ending, LPARAM) {
    if (!ending) return TRUE;
    LOGOG_INFO("The session ends.");
    if (!CancelBackgroundWork(EndSessionWait)) {
        LOGOG_ERROR("The operation under way did not stop within %lu ms; the files it uses are left",
                    EndSessionWait);
        return TRUE;
    }
    CurrentFile().DeleteAllTempFiles();
    return TRUE;
}

INT_PTR OnDestroy(HWND, WPARAM, LPARAM) {
    PostQuitMessage(0);
    return TRUE;
}

using MessageHandler = INT_PTR (*)(HWND dialog, WPARAM wParam, LPARAM lParam);

struct MessageRoute {
    UINT Message;
    MessageHandler Handler;
    bool DuringWork;  // handled while an extraction or a print runs
};

constexpr MessageRoute MainWindowRoutes[] = {
    {WM_INITDIALOG, OnInitDialog, false}, {WM_COMMAND, OnCommand, false},      {WM_DROPFILES, OnDropFiles, false},
    {WM_CLOSE, OnClose, false},           {WM_ENDSESSION, OnEndSession, true}, {WM_DESTROY, OnDestroy, true},
};

// While an extraction or a print runs the window is disabled, and what reaches it anyway
// (sent or posted by another program) is dropped here, for every handler, present or to
// come, that does not say it runs meanwhile. Painting and the rest of the dialog manager's
// own work pass, as does the progress window, which has its own procedure.
INT_PTR RefuseDuringWork(UINT message, WPARAM wParam) {
    if (message == WM_DROPFILES) DragFinish(reinterpret_cast<HDROP>(wParam));
    return TRUE;
}

INT_PTR RouteMainWindowMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    for (const MessageRoute& route : MainWindowRoutes) {
        if (route.Message != message) continue;
        if (BackgroundWorkRunning() && !route.DuringWork) return RefuseDuringWork(message, wParam);
        return route.Handler(dialog, wParam, lParam);
    }
    return FALSE;
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardDialogMessage("the main window", message,
                              [&] { return RouteMainWindowMessage(dialog, message, wParam, lParam); });
}

void ShowLogFileOpenError() {
    const TextTable& texts = GetTextTable();
    MessageBoxW(nullptr, texts.GetTextPtr(TXT_LOG_FILE_OPEN_ERROR), texts.GetTextPtr(TXT_APP_TITLE), MB_ICONERROR);
}

// Without a window there is nothing the loop could ever end on, so the program leaves.
HWND CreateMainWindow(HINSTANCE instance, int showCommand) {
    HWND dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAINDIALOG), nullptr, MainDialogProc, 0);
    if (dialog == nullptr) {
        DWORD error = GetLastError();
        LOGOG_ERROR("CreateDialogParam failed: %s", GetLastErrorText(error).c_str());
        return nullptr;
    }
    ShowWindow(dialog, showCommand);
    return dialog;
}

// Tab, Enter (the default "Choose file" button) and Esc (IDCANCEL) work as in any dialog.
int RunMessageLoop(HWND dialog) {
    MSG message;
    for (;;) {
        BOOL result = GetMessageW(&message, nullptr, 0, 0);
        if (result == 0) {
            LOGOG_INFO("Programm finished.");
            return 0;
        }
        if (result == -1) return -1;
        if (!IsDialogMessageW(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

int RunApplication(HINSTANCE instance, PWSTR commandLine, int showCommand) {
    if (!InitializeLogging()) {
        ShowLogFileOpenError();
        return -1;
    }
    if (HasDebugSwitch(commandLine)) {
        logog::SetDefaultLevel(logog::LOGOG_LEVEL_ALL);
        LOGOG_INFO("Debug mode turn on (Set LOGOG_LEVEL_ALL).");
    }
    LogStartupBanner();
    InitCommonControls();
    HWND dialog = CreateMainWindow(instance, showCommand);
    if (dialog == nullptr) return -1;
    return RunMessageLoop(dialog);
}

}  // namespace

// Started by itself with the page-drawing switch, the program draws pages and opens neither
// its log nor a window.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    ComApartment com;
    if (std::optional<DrawingChildHandles> child = ParseDrawingChildSwitch(commandLine))
        return RunPageDrawingChild(*child);
    return RunApplication(instance, commandLine, showCommand);
}
