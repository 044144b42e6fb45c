// The debug switch: a substring test on the command line with one blank put before it.
#include <gtest/gtest.h>

#include "CommandLine.h"

TEST(DebugSwitch, LowerOrUpperCaseAfterABlankOrAtTheStart) {
    EXPECT_TRUE(HasDebugSwitch(L"-d"));
    EXPECT_TRUE(HasDebugSwitch(L"-D"));
    EXPECT_TRUE(HasDebugSwitch(L"C:\\spool\\00012.SHD -D"));
    EXPECT_TRUE(HasDebugSwitch(L"a -d b"));
}

TEST(DebugSwitch, AnyTextStartingWithTheSwitchCountsEvenInsideAPath) {
    EXPECT_TRUE(HasDebugSwitch(L"-debug"));
    EXPECT_TRUE(HasDebugSwitch(L"-dx"));
    EXPECT_TRUE(HasDebugSwitch(L"\"C:\\My files\\ -data\\x.spl\""));
}

TEST(DebugSwitch, NeedsTheBlankBeforeTheHyphen) {
    EXPECT_FALSE(HasDebugSwitch(L""));
    EXPECT_FALSE(HasDebugSwitch(nullptr));
    EXPECT_FALSE(HasDebugSwitch(L"x-d"));
    EXPECT_FALSE(HasDebugSwitch(L"--d"));
    EXPECT_FALSE(HasDebugSwitch(L"d"));
    EXPECT_FALSE(HasDebugSwitch(L"\t-d")) << "only a blank, not a tab, separates";
    EXPECT_FALSE(HasDebugSwitch(L"-x -e"));
}
