// The logging framework: levels, filtering, per-site records, linking, formatting, threads
// and shutdown. Platform-neutral: runs under Wine and on the host with sanitizers.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "LogCapture.h"
#include "logging/logog.h"

namespace {

class Framework : public ::testing::Test {
protected:
    void SetUp() override {
        logog::InitializeFramework();
        target = new RecordingTarget(lines);
    }
    void TearDown() override { logog::ShutdownFramework(); }  // deletes the target too

    std::vector<std::string> lines;
    RecordingTarget* target = nullptr;
};

}  // namespace

TEST(LevelNames, AreChosenByRangeNotByExactValue) {
    const std::map<int, std::string> expected = {
        {-5, "none"},     {0, "none"},      {1, "emergency"}, {8, "emergency"}, {16, "alert"},
        {24, "critical"}, {32, "error"},    {33, "warning"},  {40, "warning"},  {48, "warning1"},
        {56, "warning2"}, {64, "warning3"}, {70, "info"},     {72, "info"},     {80, "debug"},
        {81, "unknown"},  {88, "unknown"},
    };
    for (const auto& [level, name] : expected) EXPECT_EQ(logog::ErrorDescription(level), name) << level;
}

TEST_F(Framework, DefaultFilterStartsAtDebugLevel) {
    EXPECT_EQ(logog::GetDefaultFilter().Level(), logog::LOGOG_LEVEL_DEBUG);
    static logog::MessageSite debugSite, allSite;
    logog::LogAtSite(debugSite, logog::LOGOG_LEVEL_DEBUG, "f.cpp", 1, "debug passes");
    logog::LogAtSite(allSite, logog::LOGOG_LEVEL_DEBUG + 1, "f.cpp", 2, "above debug is dropped");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], std::string("f.cpp(1) : debug: debug passes\r\n") + '\0');
}

TEST_F(Framework, InfoLevelDropsDebugButStillFormatsItAndAllLevelLetsTheSameRecordThrough) {
    logog::SetDefaultLevel(logog::LOGOG_LEVEL_INFO);
    static logog::MessageSite site;
    logog::LogAtSite(site, logog::LOGOG_LEVEL_DEBUG, "f.cpp", 7, "value %d", 1);
    EXPECT_TRUE(lines.empty());
    ASSERT_TRUE(site.created);
    logog::Message* record = site.message;
    EXPECT_STREQ(record->Text().c_str(), "value 1");  // formatted before the level test

    logog::SetDefaultLevel(logog::LOGOG_LEVEL_ALL);
    logog::LogAtSite(site, logog::LOGOG_LEVEL_DEBUG, "f.cpp", 7, "value %d", 2);
    EXPECT_EQ(site.message, record) << "the site's record must not be created again";
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("debug: value 2\r\n"), std::string::npos) << lines[0];
}

TEST_F(Framework, LevelEqualToTheFilterLevelPassesAndMoreSevereLevelsToo) {
    logog::SetDefaultLevel(logog::LOGOG_LEVEL_INFO);
    static logog::MessageSite info, error, between, debug;
    logog::LogAtSite(info, logog::LOGOG_LEVEL_INFO, "f.cpp", 1, "info");
    logog::LogAtSite(error, logog::LOGOG_LEVEL_ERROR, "f.cpp", 2, "error");
    logog::LogAtSite(between, 73, "f.cpp", 3, "seventy-three");
    logog::LogAtSite(debug, logog::LOGOG_LEVEL_DEBUG, "f.cpp", 4, "debug");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("info: info"), std::string::npos);
    EXPECT_NE(lines[1].find("error: error"), std::string::npos);
}

TEST_F(Framework, SetDefaultLevelKeepsTheLevelOutOfLinking) {
    logog::SetDefaultLevel(logog::LOGOG_LEVEL_ERROR);
    EXPECT_EQ(logog::GetDefaultFilter().GetTopicFlags() & logog::TOPIC_LEVEL_FLAG, 0);
    // A debug record created while the level is low still links, and passes once raised.
    static logog::MessageSite site;
    logog::LogAtSite(site, logog::LOGOG_LEVEL_DEBUG, "f.cpp", 1, "later");
    EXPECT_TRUE(lines.empty());
    logog::SetDefaultLevel(logog::LOGOG_LEVEL_ALL);
    logog::LogAtSite(site, logog::LOGOG_LEVEL_DEBUG, "f.cpp", 1, "later");
    EXPECT_EQ(lines.size(), 1u);
}

TEST_F(Framework, TargetsCreatedBeforeOrAfterARecordBothReceiveIt) {
    static logog::MessageSite site;
    logog::LogAtSite(site, logog::LOGOG_LEVEL_ERROR, "f.cpp", 1, "first");
    std::vector<std::string> laterLines;
    new RecordingTarget(laterLines);
    logog::LogAtSite(site, logog::LOGOG_LEVEL_ERROR, "f.cpp", 1, "second");
    EXPECT_EQ(lines.size(), 2u);
    ASSERT_EQ(laterLines.size(), 1u);
    EXPECT_NE(laterLines[0].find("second"), std::string::npos);
}

TEST_F(Framework, DeletedTargetUnlinksAndReceivesNothingMore) {
    static logog::MessageSite site;
    std::vector<std::string> otherLines;
    auto* other = new RecordingTarget(otherLines);
    logog::LogAtSite(site, logog::LOGOG_LEVEL_ERROR, "f.cpp", 1, "one");
    delete other;
    logog::LogAtSite(site, logog::LOGOG_LEVEL_ERROR, "f.cpp", 1, "two");
    EXPECT_EQ(otherLines.size(), 1u);
    EXPECT_EQ(lines.size(), 2u);
    EXPECT_EQ(logog::GetDefaultFilter().SubscriberCount(), 1u);
}

TEST_F(Framework, DefaultLayoutShowsOnlyTheFieldsThatAreSet) {
    logog::SetDefaultLevel(logog::LOGOG_LEVEL_ALL);
    logog::Topic full(logog::LOGOG_LEVEL_WARN, "dir/x.cpp", 12, "grp", "cat", "text");
    logog::Topic bare;
    bare.SetText("only %s", "text");
    std::vector<std::string> out;
    RecordingTarget sink(out);
    logog::FormatterMSVC formatter;
    EXPECT_EQ(std::string(formatter.FormatTopic(full, sink).c_str()),
              "dir/x.cpp(12) : warning: {grp} [cat] text\r\n");
    EXPECT_EQ(std::string(formatter.FormatTopic(bare, sink).c_str()), "only text\r\n");
}

TEST(FrameworkString, FormattingRetriesUntilALongResultFitsWhole) {
    logog::String text;
    std::string big(100000, 'x');
    struct Helper {
        static void Format(logog::String& s, const char* format, ...) {
            va_list args;
            va_start(args, format);
            s.format_va(format, args);
            va_end(args);
        }
    };
    Helper::Format(text, "<%s>", big.c_str());
    EXPECT_EQ(text.size(), big.size() + 2);
    EXPECT_EQ(std::string(text.c_str()), "<" + big + ">");
    Helper::Format(text, "");
    EXPECT_TRUE(text.empty());
}

TEST(FrameworkString, AppendsStopAtTheReservedCapacity) {
    logog::String text;
    text.reserve(5);
    text.append("abc");
    text.append("defgh");
    text.append('!');
    EXPECT_STREQ(text.c_str(), "abcde");
    EXPECT_EQ(text.size(), 5u);
    text.assign(-42);
    EXPECT_STREQ(text.c_str(), "-42");
}

// The cut keeps the record's line end (and the zero byte this target asks for).
TEST_F(Framework, FormattedLineIsCutAtTheLineBufferCapacity) {
    static logog::MessageSite site;
    std::string big(70000, 'y');
    logog::LogAtSite(site, logog::LOGOG_LEVEL_ERROR, "f.cpp", 1, "%s", big.c_str());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), logog::Formatter::LINE_CAPACITY);
    EXPECT_EQ(lines[0].substr(lines[0].size() - 3), std::string("\r\n", 3));
}

TEST_F(Framework, TwoThreadsOnOneSiteProduceWholeUnmixedLines) {
    constexpr int perThread = 20000;
    static logog::MessageSite site;
    auto worker = [](char tag) {
        for (int i = 0; i < perThread; ++i) {
            std::string body(200, tag);
            logog::LogAtSite(site, logog::LOGOG_LEVEL_ERROR, "t.cpp", 1, "%c%d:%s", tag, i, body.c_str());
        }
    };
    std::thread a(worker, 'a'), b(worker, 'b');
    a.join();
    b.join();
    ASSERT_EQ(lines.size(), 2u * perThread);
    std::map<std::string, int> seen;
    for (const std::string& line : lines) {
        const std::string prefix = "t.cpp(1) : error: ";
        ASSERT_EQ(line.compare(0, prefix.size(), prefix), 0) << line;
        std::string text = line.substr(prefix.size(), line.size() - prefix.size() - 3);  // "\r\n\0"
        char tag = text[0];
        std::string body = text.substr(text.find(':') + 1);
        ASSERT_EQ(body, std::string(200, tag)) << line;
        ++seen[text.substr(0, text.find(':'))];
    }
    EXPECT_EQ(seen.size(), 2u * perThread) << "every text must be published exactly once";
}

TEST(FrameworkLifetime, AfterShutdownASiteMakesANewRecordThatReachesNoTarget) {
    std::vector<std::string> lines;
    static logog::MessageSite site;
    logog::InitializeFramework();
    new RecordingTarget(lines);
    logog::LogAtSite(site, logog::LOGOG_LEVEL_ERROR, "f.cpp", 1, "before");
    EXPECT_EQ(lines.size(), 1u);
    logog::ShutdownFramework();
    EXPECT_FALSE(site.created) << "deleting the record clears its site's flag";

    logog::LogAtSite(site, logog::LOGOG_LEVEL_ERROR, "f.cpp", 1, "after");
    EXPECT_TRUE(site.created);
    EXPECT_EQ(site.message->SubscriberCount(), 0u);
    EXPECT_EQ(lines.size(), 1u);

    // Release what the late use created.
    logog::InitializeFramework();
    logog::ShutdownFramework();
    EXPECT_FALSE(site.created);
}

TEST(FrameworkLifetime, InitializationIsCountedAndOnlyTheLastShutdownTearsDown) {
    std::vector<std::string> lines;
    static logog::MessageSite site;
    logog::InitializeFramework();
    logog::InitializeFramework();
    new RecordingTarget(lines);
    logog::ShutdownFramework();
    logog::LogAtSite(site, logog::LOGOG_LEVEL_ERROR, "f.cpp", 1, "still up");
    EXPECT_EQ(lines.size(), 1u);
    logog::ShutdownFramework();
    EXPECT_FALSE(site.created);
}

TEST(FrameworkLifetime, CustomAllocatorIsUsedForFrameworkMemory) {
    static int allocations = 0;
    logog::INIT_PARAMS params;
    params.m_pfMalloc = [](size_t size) {
        ++allocations;
        return std::malloc(size);
    };
    params.m_pfFree = &std::free;
    logog::InitializeFramework(&params);
    static logog::MessageSite site;
    logog::LogAtSite(site, logog::LOGOG_LEVEL_ERROR, "f.cpp", 1, "x");
    logog::ShutdownFramework();
    EXPECT_GT(allocations, 0);
}
