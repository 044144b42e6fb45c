// When the Print command asks before a job is sent, and what it remembers of the answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CaseInsensitive.h"
#include "Visualisation/PrintPolicy.h"

namespace {

// Answers the questions in order and notes which were asked ("again", "unsuitable").
struct Questions {
    std::vector<bool> answers;
    std::vector<std::string> asked;
    AskUser Ask() {
        return [this](const PrintQuestion& question) {
            const char* names[] = {"again", "unsuitable", "mismatch", "redraw", "unfinished"};
            asked.push_back(names[question.Asked]);
            bool yes = answers.front();
            answers.erase(answers.begin());
            return yes;
        };
    }
};

}  // namespace

TEST(PrintPolicy, AsksAgainOnlyForTheOriginLastPrintedWhole) {
    PrintPolicy policy(SamePathIgnoringCase);
    Questions user{{false, true}, {}};
    const JobOrigin zip{L"C:\\in\\job.zip", L"00012.SPL"};
    EXPECT_TRUE(policy.ConfirmRepeatPrint(zip, user.Ask())) << "nothing printed yet";
    policy.RecordPrinted(zip);
    EXPECT_FALSE(policy.ConfirmRepeatPrint({L"c:\\IN\\JOB.ZIP", L"00012.spl"}, user.Ask()));
    EXPECT_TRUE(policy.ConfirmRepeatPrint({L"C:\\in\\job.zip", L"00013.SPL"}, user.Ask())) << "another member";
    EXPECT_TRUE(policy.ConfirmRepeatPrint(zip, user.Ask()));
    EXPECT_EQ(user.asked, (std::vector<std::string>{"again", "again"}));
}

// A Yes holds for the same pair of drivers until another pair is decided; a No is asked again.
TEST(PrintPolicy, RemembersTheLastYesForOnePairOfDrivers) {
    PrintPolicy policy(SamePathIgnoringCase);
    Questions user{{false, true, true}, {}};
    const JobInfo jobB{L"Office", L"B", L"Doc", L"RAW"};
    const PrinterEntry printerA{L"P1", L"A"}, otherA{L"P2", L"A"}, printerC{L"P3", L"C"}, anyDriver{L"P4", L""};
    EXPECT_TRUE(policy.ConfirmPrinterSuitability(jobB, PrinterEntry{L"P0", L"B"}, user.Ask()));
    EXPECT_TRUE(policy.ConfirmPrinterSuitability(jobB, anyDriver, user.Ask()));
    EXPECT_FALSE(policy.ConfirmPrinterSuitability(jobB, printerA, user.Ask()));
    EXPECT_TRUE(policy.ConfirmPrinterSuitability(jobB, printerA, user.Ask()));
    EXPECT_TRUE(policy.ConfirmPrinterSuitability(jobB, otherA, user.Ask())) << "the same pair, allowed";
    EXPECT_TRUE(policy.ConfirmPrinterSuitability(jobB, printerC, user.Ask()));
    EXPECT_EQ(user.asked, (std::vector<std::string>{"unsuitable", "unsuitable", "unsuitable"}));
}

// An EMF job goes unchanged only to a printer of its driver that may take its data type;
// data of one kind sent as another is asked about.
TEST(PrintPolicy, EmfJobsAndDataTypesThatDoNotSuitTheContents) {
    using enum DataTypeSupport;
    EXPECT_FALSE(OffersRedraw({true, false, Listed}));
    EXPECT_FALSE(OffersRedraw({true, false, CannotTell}));
    EXPECT_TRUE(OffersRedraw({false, false, Listed}));
    EXPECT_TRUE(OffersRedraw({true, true, Listed}));
    EXPECT_TRUE(OffersRedraw({true, false, NotListed}));
    SpoolContents emf, postScript;
    emf.Kind = SpoolContentKind::EmfSpool;
    postScript.Kind = SpoolContentKind::PostScript;
    EXPECT_TRUE(IsEmfJob(L"nt emf 1.008", SpoolContents{}));
    EXPECT_FALSE(IsEmfJob(L"NT EMF 1.008", postScript)) << "the contents decide";
    EXPECT_TRUE(IsEmfJob(L"RAW", emf));
    PrintPolicy policy(SamePathIgnoringCase);
    Questions user{{false, false}, {}};
    EXPECT_TRUE(policy.ConfirmDataType(L"RAW", postScript, user.Ask()));
    EXPECT_FALSE(policy.ConfirmDataType(L"RAW", emf, user.Ask()));
    EXPECT_TRUE(policy.ConfirmUnfinishedJob(false, L"00012.SPL", 3, user.Ask())) << "a finished spool file";
    EXPECT_FALSE(policy.ConfirmUnfinishedJob(true, L"00012.SPL", 3, user.Ask()));
    EXPECT_EQ(user.asked, (std::vector<std::string>{"mismatch", "unfinished"}));
}
