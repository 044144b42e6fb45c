// Shared by the printing tests: a log recorder and the paths of the CUPS test bed that
// scripts/cups-testbed runs for them (CUPS_SERVER names the socket in its folder).
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "LogCapture.h"
#include "logging/logog.h"

// Records the level and text of every log line while it lives.
class LogRecorder {
public:
    LogRecorder() {
        logog::InitializeFramework();
        logog::SetDefaultLevel(logog::LOGOG_LEVEL_ALL);
        new RecordingTarget(m_Lines, RecordingTarget::Keep::LevelAndText);  // owned and deleted by the framework
    }
    ~LogRecorder() { logog::ShutdownFramework(); }
    LogRecorder(const LogRecorder&) = delete;
    LogRecorder& operator=(const LogRecorder&) = delete;

    // Each record as "<level>: <text>".
    const std::vector<std::string>& Lines() const { return m_Lines; }
    void Clear() { m_Lines.clear(); }

    std::vector<std::string> TextsAt(int level) const {
        const std::string prefix = std::string(logog::ErrorDescription(level)) + ": ";
        std::vector<std::string> texts;
        for (const std::string& line : m_Lines)
            if (line.rfind(prefix, 0) == 0) texts.push_back(line.substr(prefix.size()));
        return texts;
    }
    std::vector<std::string> Errors() const { return TextsAt(logog::LOGOG_LEVEL_ERROR); }
    std::vector<std::string> Infos() const { return TextsAt(logog::LOGOG_LEVEL_INFO); }
    std::vector<std::string> Debugs() const { return TextsAt(logog::LOGOG_LEVEL_DEBUG); }

    size_t CountStartingWith(const std::string& prefix) const {
        return static_cast<size_t>(std::count_if(m_Lines.begin(), m_Lines.end(), [&](const std::string& line) {
            size_t text = line.find(": ");
            return text != std::string::npos && line.compare(text + 2, prefix.size(), prefix) == 0;
        }));
    }

    std::string Dump() const {
        std::string all;
        for (const std::string& line : m_Lines) all += line + "\n";
        return all;
    }

private:
    std::vector<std::string> m_Lines;
};

inline std::wstring EnvironmentValue(const wchar_t* name) {
    wchar_t value[1024] = {};
    DWORD length = GetEnvironmentVariableW(name, value, 1024);
    return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

// The test bed's folder as Wine sees it (drive Z: is the Unix root): the folder of the
// scheduler's socket that CUPS_SERVER names; empty when the test runs without a bed.
inline std::wstring TestbedFolder() {
    std::wstring socket = EnvironmentValue(L"CUPS_SERVER");
    const std::wstring name = L"/cups.sock";
    if (socket.size() <= name.size() || socket.compare(socket.size() - name.size(), name.size(), name) != 0) return {};
    std::wstring folder = socket.substr(0, socket.size() - name.size());
    std::replace(folder.begin(), folder.end(), L'/', L'\\');
    return L"Z:" + folder;
}

// The queues of the bed in the order the listener opened their ports.
inline std::vector<std::wstring> TestbedQueues() {
    std::vector<std::wstring> queues;
    std::ifstream ports(std::filesystem::path(TestbedFolder() + L"\\out\\ports"));
    std::string name, port;
    while (ports >> name >> port) queues.emplace_back(name.begin(), name.end());
    return queues;
}
