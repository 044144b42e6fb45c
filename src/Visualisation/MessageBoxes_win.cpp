#include "Visualisation/MessageBoxes_win.h"

#include <shellapi.h>

#include "logging/TavrelLog.h"
#include "logging/logog.h"
#include "resource.h"
#include "texts/TextTable.h"
#include "textutil.h"
#include "textutil_win.h"

namespace {

std::wstring LoadWebAddress() {
    // Length 0 asks for a read-only pointer into the resource itself: no length limit.
    const wchar_t* text = nullptr;
    int length = LoadStringW(GetModuleHandleW(nullptr), IDS_WEB_ADDRESS, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) return {};
    return std::wstring(text, static_cast<size_t>(length));
}

// Windows reports a box that could not be shown with 0, Wine with -1 (its dialog failed).
bool BoxFailed(int result) { return result <= 0; }

// ShellExecuteW reports success with a value above 32.
bool OpenInShell(HWND owner, const std::wstring& target) {
    HINSTANCE result = ShellExecuteW(owner, L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

void ShowOpenError(HWND owner, TextId prefix, const std::wstring& target) {
    ShowMessage(owner, GetText(prefix) + target, GetText(TXT_OPEN_ERROR_TITLE), MB_ICONERROR);
}

// Loaded before the entry point runs, while nothing else is going on.
[[maybe_unused]] const std::wstring& StartupWebAddress = GetWebAddress();

}  // namespace

void ShowMessage(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags) {
    LOGOG_INFO("ShowMessage \"%s\" {0x%x}: \"%s\"", WideToUtf8(caption).c_str(), flags, WideToUtf8(text).c_str());
    if (BoxFailed(MessageBoxW(owner, text.c_str(), caption.c_str(), flags))) {
        DWORD error = GetLastError();
        LOGOG_ERROR("MessageBox fail: %s", GetLastErrorText(error).c_str());
    }
}

bool AskUserYesNo(HWND owner, const std::wstring& text, const std::wstring& caption) {
    LOGOG_INFO("AskUserYesNo \"%s\": \"%s\"", WideToUtf8(caption).c_str(), WideToUtf8(text).c_str());
    int answer = MessageBoxW(owner, text.c_str(), caption.c_str(), MB_YESNO | MB_ICONQUESTION);
    if (BoxFailed(answer)) {
        DWORD error = GetLastError();
        LOGOG_ERROR("MessageBox fail: %s", GetLastErrorText(error).c_str());
        return false;
    }
    LOGOG_INFO("User answered \"%s\"", answer == IDYES ? "Yes" : "No");
    return answer == IDYES;
}

const std::wstring& GetWebAddress() {
    static const std::wstring address = LoadWebAddress();
    return address;
}

std::wstring GetFolderOfPath(const std::wstring& path) {
    size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(0, separator);
}

// The log path is kept in UTF-16 end to end, so a folder outside the ANSI code page opens too.
void OpenLogFile(HWND owner) { OpenFolderAndFile(owner, GetLogFilePath()); }

void OpenFolderAndFile(HWND owner, const std::wstring& filePath) {
    std::wstring folder = GetFolderOfPath(filePath);
    if (!OpenInShell(owner, folder)) ShowOpenError(owner, TXT_OPEN_DIRECTORY_ERROR, folder);
    // Tried whatever the folder gave: the file may still open when its folder did not.
    if (!OpenInShell(owner, filePath)) ShowOpenError(owner, TXT_OPEN_FILE_ERROR, filePath);
}

void OpenWebAddress(HWND owner) { OpenLink(owner, GetWebAddress()); }

// A failure names the address with the link error text. Without an address (resource
// missing or empty) the shell is not asked at all: an empty target would open whatever
// the shell makes of it.
void OpenLink(HWND owner, const std::wstring& address) {
    if (address.empty() || !OpenInShell(owner, address)) ShowOpenError(owner, TXT_OPEN_LINK_ERROR, address);
}
