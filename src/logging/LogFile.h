// A logging target that appends to a file.
#pragma once

#include <cstdio>
#include <string>

#include "logging/logog.h"

namespace logog {

class LogFile : public Target {
public:
    // The file is opened on the first output, not here.
    explicit LogFile(const wchar_t* fileName, bool enableOutputBuffering = false);
    ~LogFile() override;

    int Output(const String& data) override;
    virtual int OpenFile();
    virtual int WriteData(size_t count, const void* data);

private:
    std::wstring m_FileName;
    FILE* m_pFile = nullptr;
    bool m_bFirstTime = true;
    bool m_bOpenFailed = false;
    bool m_bOutputBuffering;
};

}  // namespace logog
