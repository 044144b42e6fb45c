// Entry point, message loop and the main window's frame.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

#include <exception>

#include "CommandLine.h"
#include "FileProcessor/FileProcessor.h"
#include "StartupBanner.h"
#include "Visualisation/BackgroundWork.h"
#include "Visualisation/MainDialog.h"
#include "handles.h"
#include "logging/TavrelLog.h"
#include "logging/logog.h"
#include "resource.h"
#include "texts/TextTable.h"
#include "textutil.h"

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

BOOL OnInitDialog(HWND dialog) {
    LoadFrameIcons(dialog);
    InitialiseDialogControls(dialog);
    return TRUE;  // the dialog manager focuses the first tab stop, the language box
}

// Exit button and Esc. The close box and Alt+F4 reach WM_CLOSE directly and keep the icons
// until the process ends.
BOOL OnExitCommand(HWND dialog) {
    SendMessageW(dialog, WM_CLOSE, 0, 0);
    WindowIcon.reset();
    WebLinkIcon.reset();
    return TRUE;
}

// While an extraction or a print runs, the window takes no command: it is disabled, and
// commands that reach it anyway (sent or posted by another program) are dropped.
BOOL OnCommand(HWND dialog, WPARAM wParam) {
    if (BackgroundWorkRunning()) return TRUE;
    WORD controlId = LOWORD(wParam);
    if (controlId == IDCANCEL) return OnExitCommand(dialog);
    return HandleDialogCommand(dialog, controlId, HIWORD(wParam)) ? TRUE : FALSE;
}

BOOL OnDropFiles(HWND dialog, WPARAM wParam) {
    if (BackgroundWorkRunning()) {
        DragFinish(reinterpret_cast<HDROP>(wParam));
        return TRUE;
    }
    HandleDroppedFiles(dialog, reinterpret_cast<HDROP>(wParam));
    return TRUE;
}

BOOL OnClose(HWND dialog) {
    if (BackgroundWorkRunning()) return TRUE;
    DestroyWindow(dialog);
    return TRUE;
}

// The session ends and the process with it, without the static clean-up: a job being sent is
// cancelled first (nothing partial reaches the printer), and the extracted files go now.
BOOL OnEndSession(WPARAM ending) {
    if (!ending) return TRUE;
    LOGOG_INFO("The session ends.");
    CancelBackgroundWorkAndWait();
    CurrentFile().DeleteAllTempFiles();
    return TRUE;
}

BOOL OnDestroy() {
    PostQuitMessage(0);
    return TRUE;
}

// No exception may leave the window procedure; one that would is logged and the message
// counts as handled.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    try {
        switch (message) {
            case WM_INITDIALOG: return OnInitDialog(dialog);
            case WM_COMMAND: return OnCommand(dialog, wParam);
            case WM_DROPFILES: return OnDropFiles(dialog, wParam);
            case WM_CLOSE: return OnClose(dialog);
            case WM_ENDSESSION: return OnEndSession(wParam);
            case WM_DESTROY: return OnDestroy();
            default: return FALSE;
        }
    } catch (const std::exception& failure) {
        LOGOG_ERROR("Unexpected exception in the main window (message 0x%x): %s", message, failure.what());
        return TRUE;
    }
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

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand) {
    ComApartment com;
    return RunApplication(instance, commandLine, showCommand);
}
