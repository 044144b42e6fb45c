// Test helper: catches the log lines that the code under test writes, in memory.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "logging/logog.h"

// The one recording target of the tests. It keeps what it gets in a vector the test owns,
// so that the lines stay readable after the framework has deleted the target: each line as
// the target's formatter wrote it (zero byte included when the target adds one), or each
// record as "<level>: <text>", without a formatter.
class RecordingTarget : public logog::Target {
public:
    enum class Keep { FormattedLines, LevelAndText };

    explicit RecordingTarget(std::vector<std::string>& lines, Keep keep = Keep::FormattedLines)
        : m_Lines(lines), m_Keep(keep) {}
    int Receive(logog::Topic& topic) override {
        if (m_Keep == Keep::FormattedLines) return logog::Target::Receive(topic);
        m_Lines.push_back(std::string(logog::ErrorDescription(topic.Level())) + ": " + topic.Text().c_str());
        return 0;
    }
    int Output(const logog::String& data) override {
        m_Lines.emplace_back(data.c_str(), data.size());
        return 0;
    }

private:
    std::vector<std::string>& m_Lines;
    Keep m_Keep;
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
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == '\0')) text.pop_back();
            texts.push_back(text);
        }
        return texts;
    }

    std::vector<std::string> lines;
};
