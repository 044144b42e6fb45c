// The printer list: suitability by driver name, and enumeration through Wine's spooler,
// which lists the queues of the CUPS test bed.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "PrintTestSupport_win.h"
#include "PrinterList_win.h"
#include "textutil.h"

void PrintTo(const PrinterEntry& entry, std::ostream* out) {
    *out << "{\"" << WideToUtf8(entry.PrinterName) << "\", \"" << WideToUtf8(entry.PrinterDriverName) << "\"}";
}

namespace {

const std::wstring kSharedDriver = L"Tavrel Shared Driver";
const std::wstring kCyrillicDriver = L"Драйвер Тавреля";

// Driver names given to some of the bed's queues; the others keep Wine's default, the
// queue's own name.
const std::vector<std::pair<std::wstring, std::wstring>> kDriverOfQueue = {
    {L"tavrel_list_05", kSharedDriver},
    {L"tavrel_list_10", L"tavrel shared driver"},
    {L"tavrel_list_17", kSharedDriver},
    {L"tavrel_list_20", kSharedDriver + L" "},
    {L"tavrel_list_25", kCyrillicDriver},
    {L"tavrel_list_33", kSharedDriver},
};

// The enumeration buffer lives for the whole process; only the first fill meets it small.
bool g_FilledInThisProcess = false;

unsigned Fill(const std::wstring& referenceDriver) {
    g_FilledInThisProcess = true;
    return PrinterList::Instance().FillPrinterList(PrinterEntry{L"Job printer", referenceDriver});
}

std::vector<PrinterEntry> ListedPrinters() {
    std::vector<PrinterEntry> entries;
    for (unsigned i = 0; i < PrinterList::Instance().Count(); ++i) entries.push_back(PrinterList::Instance().GetPrinter(i));
    return entries;
}

// What the spooler itself reports, asked directly with a buffer of the right size.
struct SpoolerSnapshot {
    DWORD neededBytes = 0;
    std::vector<PrinterEntry> printers;
};

SpoolerSnapshot EnumerateDirectly() {
    SpoolerSnapshot snapshot;
    DWORD count = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, nullptr, 0, &snapshot.neededBytes, &count);
    std::vector<BYTE> buffer(snapshot.neededBytes + sizeof(PRINTER_INFO_2W));
    if (!EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, buffer.data(),
                       static_cast<DWORD>(buffer.size()), &snapshot.neededBytes, &count)) {
        ADD_FAILURE() << "EnumPrintersW failed: " << GetLastError();
        return snapshot;
    }
    auto* records = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    // The spooler's records are as long as ours (84 bytes in the 32-bit program): the names it
    // wrote lie behind an array of count such records, inside what it said it needed.
    const BYTE* namesStart = buffer.data() + count * sizeof(PRINTER_INFO_2W);
    const BYTE* namesEnd = buffer.data() + snapshot.neededBytes;
    for (DWORD i = 0; i < count; ++i) {
        for (const wchar_t* name : {records[i].pPrinterName, records[i].pDriverName}) {
            const auto* at = reinterpret_cast<const BYTE*>(name);
            EXPECT_TRUE(at >= namesStart && at < namesEnd) << "record " << i << " of " << sizeof(PRINTER_INFO_2W) << " bytes";
        }
        snapshot.printers.push_back(PrinterEntry{records[i].pPrinterName, records[i].pDriverName});
    }
    return snapshot;
}

std::string AddLine(const PrinterEntry& entry) {
    return "Add suitable printer \"" + WideToUtf8(entry.PrinterName) + "\" with driver \"" +
           WideToUtf8(entry.PrinterDriverName) + "\"";
}

std::string IgnoredLine(const PrinterEntry& entry) {
    return "Ignored inappropriate printer \"" + WideToUtf8(entry.PrinterName) + "\" with driver \"" +
           WideToUtf8(entry.PrinterDriverName) + "\"";
}

std::vector<std::wstring> Names(const std::vector<PrinterEntry>& entries) {
    std::vector<std::wstring> names;
    for (const PrinterEntry& entry : entries) names.push_back(entry.PrinterName);
    return names;
}

void SetDriverOfQueue(const std::wstring& queue, const std::wstring& driver) {
    // Only printers that Wine took over from CUPS are touched: a key made here would be
    // a printer without a port.
    std::wstring key = L"System\\CurrentControlSet\\Control\\Print\\Printers\\" + queue;
    HKEY printer = nullptr;
    LSTATUS opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, &printer);
    ASSERT_EQ(opened, ERROR_SUCCESS) << "Wine has no printer " << WideToUtf8(queue);
    LSTATUS set = RegSetValueExW(printer, L"Printer Driver", 0, REG_SZ, reinterpret_cast<const BYTE*>(driver.c_str()),
                                 static_cast<DWORD>((driver.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(printer);
    ASSERT_EQ(set, ERROR_SUCCESS);
}

}  // namespace

TEST(IsSuitablePrinter, DriverNamesMustBeEqualCodeUnitForCodeUnit) {
    const PrinterEntry reference{L"Job printer", L"HP Universal PCL 6"};
    EXPECT_TRUE(IsSuitablePrinter({L"Another printer", L"HP Universal PCL 6"}, reference));
    EXPECT_FALSE(IsSuitablePrinter({L"Job printer", L"hp universal pcl 6"}, reference));
    EXPECT_FALSE(IsSuitablePrinter({L"Job printer", L"HP Universal PCL 6 "}, reference));
    EXPECT_FALSE(IsSuitablePrinter({L"Job printer", L" HP Universal PCL 6"}, reference));
    EXPECT_FALSE(IsSuitablePrinter({L"Job printer", L"HP Universal PCL"}, reference));
    EXPECT_FALSE(IsSuitablePrinter({L"Job printer", L""}, reference));
    EXPECT_FALSE(IsSuitablePrinter({L"P", L"драйвер"}, {L"P", L"Драйвер"}));
    EXPECT_TRUE(IsSuitablePrinter({L"P", L"Драйвер"}, {L"Q", L"Драйвер"}));
}

TEST(IsSuitablePrinter, EmptyReferenceDriverAdmitsEveryPrinter) {
    EXPECT_TRUE(IsSuitablePrinter({L"A", L"Any driver"}, {L"Job printer", L""}));
    EXPECT_TRUE(IsSuitablePrinter({L"A", L""}, {L"", L""}));
}

class SpoolerPrinterList : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(TestbedFolder().empty()) << "needs the CUPS test bed (CUPS_SERVER=<bed>/cups.sock)";
        EnumerateDirectly();  // Wine takes over the CUPS queues before the drivers are set
        for (const auto& [queue, driver] : kDriverOfQueue) ASSERT_NO_FATAL_FAILURE(SetDriverOfQueue(queue, driver));
        spooler = EnumerateDirectly();
    }

    LogRecorder log;
    SpoolerSnapshot spooler;
};

// Each test runs in a process of its own under CTest; run alone, this one must come first.
TEST_F(SpoolerPrinterList, FirstFillGrowsTheBufferOnceAndKeepsEveryPrinterInSpoolerOrder) {
    ASSERT_FALSE(g_FilledInThisProcess) << "the enumeration buffer has already grown in this process";
    std::vector<std::wstring> listed = Names(spooler.printers);
    for (const std::wstring& queue : TestbedQueues())
        ASSERT_NE(std::find(listed.begin(), listed.end(), queue), listed.end()) << WideToUtf8(queue);
    ASSERT_GE(spooler.printers.size(), 41u);

    unsigned count = Fill(L"");
    EXPECT_EQ(count, spooler.printers.size());
    EXPECT_EQ(PrinterList::Instance().Count(), count);
    EXPECT_EQ(ListedPrinters(), spooler.printers);

    std::vector<std::string> expected = {
        "Buffer for EnumPrinters was resized to " + std::to_string(spooler.neededBytes),
        "EnumPrinters return amount: " + std::to_string(spooler.printers.size()),
    };
    for (const PrinterEntry& entry : spooler.printers) expected.push_back(AddLine(entry));
    EXPECT_EQ(log.Debugs(), expected);
    EXPECT_TRUE(log.Errors().empty()) << log.Dump();
    EXPECT_THROW(PrinterList::Instance().GetPrinter(count), std::out_of_range);

    log.Clear();
    EXPECT_EQ(Fill(L""), count);
    EXPECT_EQ(log.CountStartingWith("Buffer for EnumPrinters was resized"), 0u) << "the grown buffer is kept";
    EXPECT_EQ(ListedPrinters(), spooler.printers);
}

TEST_F(SpoolerPrinterList, OnlyExactDriverMatchesStayInSpoolerOrder) {
    unsigned count = Fill(kSharedDriver);
    ASSERT_EQ(count, 3u) << log.Dump();
    std::vector<PrinterEntry> expected = {
        {L"tavrel_list_05", kSharedDriver}, {L"tavrel_list_17", kSharedDriver}, {L"tavrel_list_33", kSharedDriver}};
    EXPECT_EQ(ListedPrinters(), expected);
    EXPECT_THROW(PrinterList::Instance().GetPrinter(3), std::out_of_range);

    std::vector<std::string> debug = log.Debugs();
    for (const PrinterEntry& entry : expected)
        EXPECT_NE(std::find(debug.begin(), debug.end(), AddLine(entry)), debug.end()) << AddLine(entry);
    for (const PrinterEntry& nearMiss : {PrinterEntry{L"tavrel_list_10", L"tavrel shared driver"},
                                         PrinterEntry{L"tavrel_list_20", kSharedDriver + L" "}})
        EXPECT_NE(std::find(debug.begin(), debug.end(), IgnoredLine(nearMiss)), debug.end()) << IgnoredLine(nearMiss);
    EXPECT_EQ(log.CountStartingWith("Ignored inappropriate printer"), spooler.printers.size() - 3);
}

TEST_F(SpoolerPrinterList, EachFillReplacesTheList) {
    EXPECT_EQ(Fill(L""), spooler.printers.size());
    EXPECT_EQ(Fill(kCyrillicDriver), 1u);
    ASSERT_EQ(PrinterList::Instance().Count(), 1u);
    EXPECT_EQ(PrinterList::Instance().GetPrinter(0).PrinterName, L"tavrel_list_25");
    std::vector<std::string> debug = log.Debugs();
    EXPECT_NE(std::find(debug.begin(), debug.end(),
                        "Add suitable printer \"tavrel_list_25\" with driver \"Драйвер Тавреля\""),
              debug.end());

    log.Clear();
    EXPECT_EQ(Fill(L"No installed printer has this driver"), 0u);
    EXPECT_EQ(PrinterList::Instance().Count(), 0u);
    EXPECT_THROW(PrinterList::Instance().GetPrinter(0), std::out_of_range);
    EXPECT_EQ(log.CountStartingWith("Ignored inappropriate printer"), spooler.printers.size());
    EXPECT_EQ(log.CountStartingWith("Add suitable printer"), 0u);
}

// Registered against a scheduler without queues.
TEST(EmptySpooler, NoPrintersGiveAnEmptyListWithoutResizing) {
    ASSERT_TRUE(EnumerateDirectly().printers.empty()) << "the spooler must have no printers here";
    LogRecorder log;
    EXPECT_EQ(Fill(L""), 0u);
    EXPECT_EQ(PrinterList::Instance().Count(), 0u);
    EXPECT_THROW(PrinterList::Instance().GetPrinter(0), std::out_of_range);
    EXPECT_EQ(log.Debugs(), std::vector<std::string>{"EnumPrinters return amount: 0"});
    EXPECT_TRUE(log.Errors().empty()) << log.Dump();
}
