// Test helper: catches the log lines that the code under test writes, in memory.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logging/logog.h"

// A target that hands every formatted line to a vector the test owns, so the lines stay
// readable after the framework has deleted the target.
class RecordingTarget : public logog::Target {
public:
    explicit RecordingTarget(std::vector<std::string>& lines) : m_Lines(lines) {}
    int Output(const logog::String& data) override {
        m_Lines.emplace_back(data.c_str());
        return 0;
    }

private:
    std::vector<std::string>& m_Lines;
};

// Starts the framework at info level (the program's default) with a recording target.
class LogCapture : public ::testing::Test {
protected:
    void SetUp() override {
        logog::InitializeFramework();
        logog::SetDefaultLevel(logog::LOGOG_LEVEL_INFO);
        new RecordingTarget(lines);  // owned and deleted by the framework
    }
    void TearDown() override { logog::ShutdownFramework(); }

    // The text of each line after "<level>: ", with the line end removed, e.g. "error: x".
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const std::string& line : lines) {
            std::string text = line;
            size_t separator = text.find(") : ");
            if (separator != std::string::npos) text.erase(0, separator + 4);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
            texts.push_back(text);
        }
        return texts;
    }

    std::vector<std::string> lines;
};
