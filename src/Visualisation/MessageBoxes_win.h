// Message boxes and shell opening shared by the main dialog and the Print command.
// Every box is logged with what it shows; a question also logs the answer.
#pragma once

#include <windows.h>

#include <string>

// Flags are the MessageBoxW style word: 0, MB_ICONERROR, MB_ICONWARNING, ...
void ShowMessage(HWND owner, const std::wstring& text, const std::wstring& caption, UINT flags);

// True exactly when the user answered Yes; a box that cannot be shown counts as No.
bool AskUserYesNo(HWND owner, const std::wstring& text, const std::wstring& caption);

// Opens the log's folder and then the log file itself; each failure is shown on its own.
void OpenLogFile(HWND owner);
// Opens the maker's web site; a failure is shown with the link error text.
void OpenWebAddress(HWND owner);

// The web address from string resource 104 of the executable, loaded before the entry point
// runs; empty when the resource is missing or empty.
const std::wstring& GetWebAddress();

// The part of a path before its last "\" or "/"; a path without either is returned whole.
std::wstring GetFolderOfPath(const std::wstring& path);

// OpenLogFile for any file: its folder, then the file, each shown to the user when it fails.
void OpenFolderAndFile(HWND owner, const std::wstring& filePath);

// OpenWebAddress for any address; an empty one is reported without asking the shell.
void OpenLink(HWND owner, const std::wstring& address);
