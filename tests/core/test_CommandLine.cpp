// The debug switch: a substring test on the command line with one blank put before it.
#include <gtest/gtest.h>

#include "CommandLine.h"
#include "textutil.h"

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

// The switch with which the program starts its page-drawing process: exactly the switch and
// four handle values; anything else starts the window as before.
TEST(DrawingChildSwitch, OnlyTheProgramsOwnArgumentsStartAChild) {
    const DrawingChildHandles handles{12, 34, 56, 18446744073709551615u & UINTPTR_MAX};
    const std::optional<DrawingChildHandles> parsed = ParseDrawingChildSwitch(DrawingChildArguments(handles).c_str());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->Request, 12u);
    EXPECT_EQ(parsed->Cancel, handles.Cancel);
    for (const wchar_t* other : {L"", L"-d", L"--page-drawing-child", L"--page-drawing-child 1 2 3",
                                 L"--page-drawing-child 1 2 3 4 -d", L"--page-drawing-child 1 2 3 x",
                                 L"--page-drawing-child  1 2 3 4", L"x --page-drawing-child 1 2 3 4",
                                 L"--page-drawing-child 1 2 3 99999999999999999999999"})
        EXPECT_FALSE(ParseDrawingChildSwitch(other)) << WideToUtf8(other);
    EXPECT_FALSE(HasDebugSwitch(DrawingChildArguments(handles).c_str())) << "the child's switch is not the debug switch";
}
