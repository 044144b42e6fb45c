// Message boxes and shell opening: what is shown, what is logged, how answers come back.
// This program's own resources hold a web address that no handler can open.
#include <gtest/gtest.h>

#include <stdexcept>

#include "LogCapture.h"
#include "Visualisation/BackgroundWork_win.h"
#include "Visualisation/MessageBoxes_win.h"
#include "WindowTestSupport_win.h"
#include "texts/TextTable.h"
#include "textutil.h"
#include "textutil_win.h"

using windowtest::AnswerNextMessageBox;
using windowtest::ConfirmNextMessageBoxes;

namespace {

class MessageBoxes : public LogCapture {
protected:
    void TearDown() override {
        GetTextTable().SetLanguage(English);
        LogCapture::TearDown();
    }
};

}  // namespace

TEST_F(MessageBoxes, ShowMessageShowsTheTextAndLogsCaptionFlagsInHexAndText) {
    const struct {
        UINT Flags;
        const char* Logged;
    } cases[] = {{MB_ICONERROR, "{0x10}"}, {MB_ICONWARNING, "{0x30}"}, {0, "{0x0}"}};
    for (const auto& c : cases) {
        auto box = AnswerNextMessageBox(IDOK);
        ShowMessage(nullptr, L"Файл \"a.spl\"\nline two", L"Tavrel test box", c.Flags);
        auto seen = box.get();
        ASSERT_TRUE(seen.Found) << c.Logged;
        EXPECT_EQ(seen.Caption, L"Tavrel test box");
        EXPECT_EQ(seen.Text, L"Файл \"a.spl\"\nline two");
    }
    const std::string text = "\"\xD0\xA4\xD0\xB0\xD0\xB9\xD0\xBB \"a.spl\"\nline two\"";
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "info: ShowMessage \"Tavrel test box\" {0x10}: " + text,
                           "info: ShowMessage \"Tavrel test box\" {0x30}: " + text,
                           "info: ShowMessage \"Tavrel test box\" {0x0}: " + text,
                       }));
}

TEST_F(MessageBoxes, AskUserYesNoReturnsTheAnswerAndLogsQuestionAndAnswer) {
    auto yes = AnswerNextMessageBox(IDYES);
    EXPECT_TRUE(AskUserYesNo(nullptr, L"Print again?", L"Tavrel test question"));
    EXPECT_TRUE(yes.get().Found);
    auto no = AnswerNextMessageBox(IDNO);
    EXPECT_FALSE(AskUserYesNo(nullptr, L"Print again?", L"Tavrel test question"));
    EXPECT_EQ(no.get().Text, L"Print again?");
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "info: AskUserYesNo \"Tavrel test question\": \"Print again?\"",
                           "info: User answered \"Yes\"",
                           "info: AskUserYesNo \"Tavrel test question\": \"Print again?\"",
                           "info: User answered \"No\"",
                       }));
}

TEST_F(MessageBoxes, BoxThatCannotBeShownIsLoggedAndCountsAsNo) {
    HWND noSuchWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFF1234));
    ASSERT_FALSE(IsWindow(noSuchWindow));
    EXPECT_FALSE(AskUserYesNo(noSuchWindow, L"Print again?", L"Tavrel test question"));
    ShowMessage(noSuchWindow, L"text", L"Tavrel test box", MB_ICONERROR);
    auto texts = Texts();
    ASSERT_EQ(texts.size(), 4u) << ::testing::PrintToString(texts);
    EXPECT_EQ(texts[0], "info: AskUserYesNo \"Tavrel test question\": \"Print again?\"");
    EXPECT_EQ(texts[1].rfind("error: MessageBox fail: 1400, ", 0), 0u) << texts[1];
    EXPECT_EQ(texts[2], "info: ShowMessage \"Tavrel test box\" {0x10}: \"text\"");
    EXPECT_EQ(texts[3].rfind("error: MessageBox fail: 1400, ", 0), 0u) << texts[3];
}

TEST_F(MessageBoxes, WebAddressComesFromStringResource104) {
    EXPECT_EQ(GetWebAddress(), L"tavrel-test-unknown-scheme:nowhere");
}

TEST_F(MessageBoxes, WebAddressThatCannotBeOpenedIsReportedWithTheLinkText) {
    for (Language language : {English, Russian}) {
        GetTextTable().SetLanguage(language);
        auto box = AnswerNextMessageBox(IDOK);
        OpenWebAddress(nullptr);
        auto seen = box.get();
        ASSERT_TRUE(seen.Found);
        EXPECT_EQ(seen.Caption, GetText(TXT_OPEN_ERROR_TITLE));
        EXPECT_EQ(seen.Text, GetText(TXT_OPEN_LINK_ERROR) + L"tavrel-test-unknown-scheme:nowhere");
    }
    EXPECT_EQ(Texts().at(0),
              "info: ShowMessage \"Open error\" {0x10}: \"An error occurred while opening link: "
              "tavrel-test-unknown-scheme:nowhere\"");
}

TEST_F(MessageBoxes, EmptyWebAddressIsReportedWithoutAskingTheShell) {
    auto box = AnswerNextMessageBox(IDOK);
    OpenLink(nullptr, L"");
    auto seen = box.get();
    ASSERT_TRUE(seen.Found);
    EXPECT_EQ(seen.Text, L"An error occurred while opening link: ");
}

TEST_F(MessageBoxes, FolderThatCannotBeOpenedStillLetsTheFileBeTried) {
    GetTextTable().SetLanguage(Russian);
    auto boxes = ConfirmNextMessageBoxes(2);
    OpenFolderAndFile(nullptr, L"C:\\tavrel-no-such-folder\\Tavrel.log");
    auto seen = boxes.get();
    ASSERT_TRUE(seen[0].Found && seen[1].Found);
    EXPECT_EQ(seen[0].Caption, L"Ошибка запуска");
    EXPECT_EQ(seen[0].Text, L"Ошибка при открытии каталога: C:\\tavrel-no-such-folder");
    EXPECT_EQ(seen[1].Text, L"Ошибка при открытии файла: C:\\tavrel-no-such-folder\\Tavrel.log");
}

TEST(FolderOfPath, EndsBeforeTheLastSeparatorOfEitherKind) {
    EXPECT_EQ(GetFolderOfPath(L"C:\\logs\\Tavrel.log"), L"C:\\logs");
    EXPECT_EQ(GetFolderOfPath(L"C:\\a/b\\c.log"), L"C:\\a/b");
    EXPECT_EQ(GetFolderOfPath(L"C:/a\\b/c.log"), L"C:/a\\b");
    EXPECT_EQ(GetFolderOfPath(L"Tavrel.log"), L"Tavrel.log");
    EXPECT_EQ(GetFolderOfPath(L"\\\\server\\share\\Папка\\Tavrel.log"), L"\\\\server\\share\\Папка");
    EXPECT_EQ(GetFolderOfPath(L""), L"");
}

DWORD WINAPI FailingWait(DWORD, const HANDLE*, BOOL, DWORD, DWORD) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
}

// The owner gets its input and focus back after short work, after a wait that keeps failing
// (no spinning for ever), and after work that throws, which the outcome must tell.
TEST_F(MessageBoxes, BackgroundWorkGivesTheOwnerBackWhateverHappens) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    SetFocus(owner);
    EXPECT_FALSE(RunInBackground(owner, L"short", [] {}).Failed);
    EXPECT_EQ(GetFocus(), owner) << "disabling the owner took its focus";
    CurrentWorkerWaitCall() = FailingWait;
    RunInBackground(owner, L"slow", [] { Sleep(300); });
    CurrentWorkerWaitCall() = MsgWaitForMultipleObjects;
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_TRUE(RunInBackground(owner, L"throws", [] { throw std::runtime_error("no memory"); }).Failed);
    EXPECT_FALSE(BackgroundWorkRunning());
    EXPECT_EQ(Texts(), (std::vector<std::string>{
                           "error: Error in MsgWaitForMultipleObjects: " + GetLastErrorText(ERROR_INVALID_HANDLE) +
                               "; waiting for the operation in steps of 50 ms",
                           "error: Unexpected exception in a background operation: no memory"}));
    DestroyWindow(owner);
}
