// Test helper: finds dialogs and message boxes of a process, reads their texts and presses
// their buttons, as a person at the screen would. Needs a display.
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace windowtest {

// CMake gives the host's path; under Wine the host's root is drive Z:.
inline std::wstring WindowsPath(const char* path) {
    std::wstring result;
    if (path[0] == '/') result = L"Z:";
    for (const char* c = path; *c != '\0'; ++c) result += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return result;
}

// The whole file, read while the program under test may still hold it open; empty when absent.
inline std::string ReadFileBytes(const std::wstring& path) {
    std::string content;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return content;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) content.append(buffer, read);
    CloseHandle(file);
    return content;
}

// Under Wine the program's locale is the one CTest put in the Unix environment.
inline bool RunsWithLocale(const char* locale) {
    const char* current = std::getenv("LC_ALL");
    return current != nullptr && std::string(current) == locale;
}

// A message box is a #32770 dialog with its text in the static control 0xFFFF.
constexpr int MessageBoxTextId = 0xFFFF;

inline bool IsDialogOfProcess(HWND window, DWORD processId) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    return owner == processId && std::wstring(className) == L"#32770" && IsWindowVisible(window);
}

struct DialogSearch {
    DWORD ProcessId;
    const std::function<bool(HWND)>* Accept;
    HWND Found;
};

// A named callback rather than a lambda: the 32-bit build needs the stdcall convention.
inline BOOL CALLBACK AcceptDialog(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<DialogSearch*>(data);
    if (!IsDialogOfProcess(window, search->ProcessId) || !(*search->Accept)(window)) return TRUE;
    search->Found = window;
    return FALSE;
}

// The first visible top-level dialog of the process that the predicate accepts, or null.
inline HWND FindDialog(DWORD processId, const std::function<bool(HWND)>& accept) {
    DialogSearch search{processId, &accept, nullptr};
    EnumWindows(AcceptDialog, reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

inline HWND WaitForDialog(DWORD processId, const std::function<bool(HWND)>& accept,
                          std::chrono::milliseconds timeout = std::chrono::seconds(15)) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
        if (HWND found = FindDialog(processId, accept)) return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < deadline);
    return nullptr;
}

// Text of a window of any process; WM_GETTEXT with a time limit so a hung target fails the test.
inline std::wstring WindowText(HWND window) {
    wchar_t text[1024] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &ignored);
    return text;
}

inline std::wstring ItemText(HWND dialog, int controlId) { return WindowText(GetDlgItem(dialog, controlId)); }

// The window that has the keyboard focus on the thread of the given window, in any process.
inline HWND FocusOn(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

inline bool IsMessageBox(HWND window) { return GetDlgItem(window, MessageBoxTextId) != nullptr; }

// Posted, not sent: the command may open a modal box of its own.
inline void PressButton(HWND dialog, int controlId) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, controlId)));
}

struct SeenBox {
    bool Found = false;
    std::wstring Caption;
    std::wstring Text;
};

// Waits for the next message box of the process, reads it and answers it with the button id
// (IDOK, IDYES, IDNO). Runs beside the thread that is blocked in the box.
inline SeenBox AnswerMessageBox(DWORD processId, int answer) {
    SeenBox seen;
    HWND box = WaitForDialog(processId, IsMessageBox);
    if (box == nullptr) return seen;
    seen.Found = true;
    seen.Caption = WindowText(box);
    seen.Text = ItemText(box, MessageBoxTextId);
    PressButton(box, answer);
    // Gone before the next box is looked for, so a closing box is not taken for the next one.
    for (int i = 0; i < 200 && IsWindow(box); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
    return seen;
}

// A message box or the open-file dialog is up over the window (the progress window, which
// asks nothing, aside).
inline bool AsksSomething(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return FindDialog(processId, [window](HWND w) {
               return GetWindow(w, GW_OWNER) == window && FindWindowExW(w, nullptr, L"msctls_progress32", nullptr) == nullptr;
           }) != nullptr;
}

// Returns once the process has handled every message sent to the window so far and no
// operation of its runs in the background, or it sits in a modal box. A sent message is only
// taken when its thread pumps messages again, which it also does while an extraction or a
// print runs (the window is disabled then); messages sent from other threads are taken before
// posted ones, so what Settle is to wait for must be sent.
inline void Settle(HWND window) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &ignored);
    for (int i = 0; i < 3000 && !IsWindowEnabled(window) && !AsksSomething(window); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &ignored);
}

// The items of a list box of any process, in its order.
inline std::vector<std::wstring> ListBoxItems(HWND list) {
    std::vector<std::wstring> items;
    LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t item[512] = {};
        if (SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0) < 511)
            SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(item));
        items.emplace_back(item);
    }
    return items;
}

// Selects the first item with this text; false when the list has none.
inline bool SelectListBoxItem(HWND list, const std::wstring& text) {
    std::vector<std::wstring> items = ListBoxItems(list);
    auto found = std::find(items.begin(), items.end(), text);
    if (found == items.end()) return false;
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(found - items.begin()), 0);
    return true;
}

// Wine's open-file dialog: a #32770 owned by the program's window, its file name in the edit of
// the ComboBoxEx32 0x47c, its type filter in the combo box 0x470.
constexpr int FileNameBoxId = 0x47c;
constexpr int FileTypeBoxId = 0x470;

// Presses the window's button that opens the open-file dialog and waits for the dialog.
inline HWND OpenFileDialog(DWORD processId, HWND window, int buttonId) {
    PressButton(window, buttonId);
    return WaitForDialog(processId, [window](HWND w) {
        return GetWindow(w, GW_OWNER) == window && GetDlgItem(w, FileNameBoxId) != nullptr;
    });
}

inline void CloseFileDialog(HWND chooser, int button) {
    PressButton(chooser, button);
    for (int i = 0; i < 400 && IsWindow(chooser); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));
}

// Types the path into the dialog's file-name box and presses Open, as a user would; false when
// there is no such box or the dialog did not take the path.
inline bool ChooseInOpenFileDialog(HWND chooser, const std::wstring& path) {
    HWND comboEx = GetDlgItem(chooser, FileNameBoxId);
    HWND combo = FindWindowExW(comboEx, nullptr, L"ComboBox", nullptr);
    HWND edit = FindWindowExW(combo != nullptr ? combo : comboEx, nullptr, L"Edit", nullptr);
    if (edit == nullptr) return false;
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    CloseFileDialog(chooser, IDOK);
    return !IsWindow(chooser);
}

inline std::future<SeenBox> AnswerNextMessageBox(int answer, DWORD processId = GetCurrentProcessId()) {
    return std::async(std::launch::async, [=] { return AnswerMessageBox(processId, answer); });
}

// The next boxes one after another, each answered with IDOK.
inline std::future<std::vector<SeenBox>> ConfirmNextMessageBoxes(int count, DWORD processId = GetCurrentProcessId()) {
    return std::async(std::launch::async, [=] {
        std::vector<SeenBox> boxes;
        for (int i = 0; i < count; ++i) boxes.push_back(AnswerMessageBox(processId, IDOK));
        return boxes;
    });
}

}  // namespace windowtest
