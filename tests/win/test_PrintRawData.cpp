// Raw print jobs: the spooler calls and log lines checked against a recording fake, and whole
// jobs through Wine's spooler to the CUPS test bed, whose listener keeps what arrives.
#include <gtest/gtest.h>
#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "EmfSpool/EmfPrint_win.h"
#include "EmfSpool/PageDrawingHost_win.h"
#include "EmfSpoolBuilder.h"
#include "HostileEmfPages.h"
#include "MarkedRecords_win.h"
#include "PageDrawingChildMain_win.h"
#include "PrintRawData_win.h"
#include "ProgressWatcher.h"
#include "PrintTestSupport_win.h"
#include "textutil.h"
#include "textutil_win.h"

namespace {

constexpr DWORD kChunk = 262144;

std::string PatternBytes(size_t size, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}

// A file in the temporary folder, deleted again with the object.
class TempFile {
public:
    explicit TempFile(const std::string& content) {
        wchar_t folder[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        static unsigned counter = 0;
        m_Path = std::wstring(folder) + L"tavrel_print_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                 std::to_wstring(++counter) + L".spl";
        std::ofstream out(std::filesystem::path(m_Path), std::ios::binary);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    ~TempFile() { DeleteFileW(m_Path.c_str()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::wstring& Path() const { return m_Path; }

private:
    std::wstring m_Path;
};

// Proves that nothing holds the file open any more.
bool OpensExclusively(const std::wstring& path) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
}

std::string StartLine(const std::wstring& path, const std::wstring& printer, const std::wstring& job,
                      const std::wstring& format) {
    return "Start send file \"" + WideToUtf8(path) + "\" to printer \"" + WideToUtf8(printer) + "\". JobName is \"" +
           WideToUtf8(job) + "\", JobDataFormat is \"" + WideToUtf8(format) + "\".";
}

std::string FinishLine(bool success, const std::wstring& path, const std::wstring& printer, const std::wstring& job,
                       const std::wstring& format) {
    return std::string("Finished [") + (success ? "success" : "failure") + "] sending file \"" + WideToUtf8(path) +
           "\" to printer \"" + WideToUtf8(printer) + "\". JobName is \"" + WideToUtf8(job) +
           "\", JobDataFormat is \"" + WideToUtf8(format) + "\".";
}

// ---- The recording fake ----

struct WriteStep {
    BOOL result;
    DWORD accept;  // bytes taken when result is TRUE
    DWORD error;   // last error when result is FALSE
};

struct FakeSpooler {
    // Behaviour.
    BOOL openResult = TRUE;
    DWORD openError = 0;
    DWORD startResult = 17;  // job id
    DWORD startError = 0;
    std::deque<WriteStep> writeSteps;  // then every write takes all it is given
    int failingRead = -1;              // index of the ReadFile call that fails
    DWORD readError = 0;
    BOOL endResult = TRUE;
    DWORD endError = 0;
    BOOL abortResult = TRUE;

    // Record.
    const HANDLE printer = reinterpret_cast<HANDLE>(0x4711);
    std::wstring openedPath;
    std::vector<std::string> calls;
    bool printerNameNull = true;
    std::wstring printerName;
    bool defaultsNull = false;
    DWORD docLevel = 0;
    bool docNameNull = true, outputFileNull = false, dataTypeNull = true;
    std::wstring docName, dataType;
    std::vector<DWORD> writeSizes;
    std::string delivered;
    int reads = 0;
    std::vector<HANDLE> closed;
    bool foreignHandle = false;
};

FakeSpooler* g_Fake = nullptr;

void NoteHandle(HANDLE printer) {
    if (printer != g_Fake->printer) g_Fake->foreignHandle = true;
}

HANDLE WINAPI FakeCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD creation,
                             DWORD flags, HANDLE templateFile) {
    g_Fake->openedPath = path;
    return ::CreateFileW(path, access, share, security, creation, flags, templateFile);
}

BOOL WINAPI FakeReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
    if (g_Fake->reads++ == g_Fake->failingRead) {
        *read = 0;
        SetLastError(g_Fake->readError);
        return FALSE;
    }
    return ::ReadFile(file, buffer, size, read, overlapped);
}

BOOL WINAPI FakeOpenPrinter(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults) {
    g_Fake->calls.push_back("OpenPrinter");
    g_Fake->printerNameNull = name == nullptr;
    if (name != nullptr) g_Fake->printerName = name;
    g_Fake->defaultsNull = defaults == nullptr;
    if (!g_Fake->openResult) {
        *printer = reinterpret_cast<HANDLE>(0xBAD);  // a failed open may leave anything there
        SetLastError(g_Fake->openError);
        return FALSE;
    }
    *printer = g_Fake->printer;
    return TRUE;
}

DWORD WINAPI FakeStartDocPrinter(HANDLE printer, DWORD level, LPBYTE info) {
    NoteHandle(printer);
    g_Fake->calls.push_back("StartDoc");
    g_Fake->docLevel = level;
    const auto* doc = reinterpret_cast<const DOC_INFO_1W*>(info);
    g_Fake->docNameNull = doc->pDocName == nullptr;
    g_Fake->outputFileNull = doc->pOutputFile == nullptr;
    g_Fake->dataTypeNull = doc->pDatatype == nullptr;
    if (doc->pDocName != nullptr) g_Fake->docName = doc->pDocName;
    if (doc->pDatatype != nullptr) g_Fake->dataType = doc->pDatatype;
    if (g_Fake->startResult == 0) SetLastError(g_Fake->startError);
    return g_Fake->startResult;
}

BOOL WINAPI FakeWritePrinter(HANDLE printer, LPVOID buffer, DWORD size, LPDWORD written) {
    NoteHandle(printer);
    g_Fake->calls.push_back("Write " + std::to_string(size));
    g_Fake->writeSizes.push_back(size);
    WriteStep step{TRUE, size, 0};
    if (!g_Fake->writeSteps.empty()) {
        step = g_Fake->writeSteps.front();
        g_Fake->writeSteps.pop_front();
    }
    if (!step.result) {
        *written = 0;
        SetLastError(step.error);
        return FALSE;
    }
    DWORD taken = step.accept < size ? step.accept : size;
    g_Fake->delivered.append(static_cast<const char*>(buffer), taken);
    *written = taken;
    return TRUE;
}

BOOL WINAPI FakeEndDocPrinter(HANDLE printer) {
    NoteHandle(printer);
    g_Fake->calls.push_back("EndDoc");
    if (!g_Fake->endResult) SetLastError(g_Fake->endError);
    return g_Fake->endResult;
}

BOOL WINAPI FakeAbortPrinter(HANDLE printer) {
    NoteHandle(printer);
    g_Fake->calls.push_back("Abort");
    if (!g_Fake->abortResult) SetLastError(ERROR_INVALID_HANDLE);
    return g_Fake->abortResult;
}

BOOL WINAPI FakeClosePrinter(HANDLE printer) {
    g_Fake->calls.push_back("ClosePrinter");
    g_Fake->closed.push_back(printer);
    return TRUE;
}

class FakeSpoolerJob : public ::testing::Test {
protected:
    void SetUp() override {
        g_Fake = &fake;
        CurrentRawPrintCalls() =
            RawPrintCalls{FakeCreateFile,    FakeReadFile,      FakeOpenPrinter, FakeStartDocPrinter, FakeWritePrinter,
                          FakeEndDocPrinter, FakeAbortPrinter, FakeClosePrinter};
    }
    void TearDown() override {
        CurrentRawPrintCalls() = PlatformRawPrintCalls();
        EXPECT_FALSE(fake.foreignHandle) << "a spooler call got a handle OpenPrinterW did not return";
        g_Fake = nullptr;
    }

    bool Print(const TempFile& file, const std::wstring& job = L"Job", const std::wstring& format = L"RAW",
               const std::wstring& printer = L"Printer") {
        return SendFileToPrinter(file.Path(), job, format, printer);
    }

    std::vector<std::string> CallsOf(std::initializer_list<const char*> middle) const {
        std::vector<std::string> calls = {"OpenPrinter", "StartDoc"};
        calls.insert(calls.end(), middle.begin(), middle.end());
        return calls;
    }

    FakeSpooler fake;
    LogRecorder log;
};

std::string CountLine(unsigned long read, unsigned long written) {
    return "Sent to printer not expected amount of data! Read from file " + std::to_string(read) +
           " bytes, wrote to printer " + std::to_string(written) + " bytes.";
}

}  // namespace

// ---- Against the fake ----

struct ChunkCase {
    size_t size;
    std::vector<DWORD> writes;
};

void PrintTo(const ChunkCase& chunkCase, std::ostream* out) { *out << chunkCase.size; }

class ChunkedTransfer : public FakeSpoolerJob, public ::testing::WithParamInterface<ChunkCase> {};

TEST_P(ChunkedTransfer, OneWritePrinterPerChunkAndEveryByteInOrder) {
    const std::string content = PatternBytes(GetParam().size, 7);
    TempFile file(content);
    WatchedCopy watcher;
    EXPECT_TRUE(Print(file));
    EXPECT_EQ(watcher.total, content.size()) << "the watcher is told the bytes to do";
    EXPECT_EQ(watcher.done, content.size());
    EXPECT_EQ(fake.writeSizes, GetParam().writes);
    EXPECT_TRUE(fake.delivered == content) << "the spooler got other bytes than the file holds";
    ASSERT_GE(fake.calls.size(), 4u);
    EXPECT_EQ(fake.calls[fake.calls.size() - 2], "EndDoc");
    EXPECT_EQ(fake.calls.back(), "ClosePrinter");
    EXPECT_EQ(fake.closed, std::vector<HANDLE>{fake.printer});
    EXPECT_TRUE(OpensExclusively(file.Path())) << "the file must be closed";
    EXPECT_TRUE(log.Errors().empty()) << log.Dump();
    EXPECT_EQ(log.Infos(), (std::vector<std::string>{StartLine(file.Path(), L"Printer", L"Job", L"RAW"),
                                                     FinishLine(true, file.Path(), L"Printer", L"Job", L"RAW")}));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ChunkedTransfer,
                         ::testing::Values(ChunkCase{1, {1}}, ChunkCase{kChunk - 1, {kChunk - 1}},
                                           ChunkCase{kChunk, {kChunk}}, ChunkCase{kChunk + 1, {kChunk, 1}},
                                           ChunkCase{3 * kChunk + 5, {kChunk, kChunk, kChunk, 5}}),
                         [](const ::testing::TestParamInfo<ChunkCase>& chunkCase) { return std::to_string(chunkCase.param.size); });

TEST_F(FakeSpoolerJob, DocumentInfoCarriesJobNameAndDataType) {
    TempFile file("data");
    EXPECT_TRUE(Print(file, L"Счёт №42", L"NT EMF 1.008", L"Принтер в бухгалтерии"));
    EXPECT_EQ(fake.printerName, L"Принтер в бухгалтерии");
    EXPECT_TRUE(fake.defaultsNull);
    EXPECT_EQ(fake.docLevel, 1u);
    EXPECT_EQ(fake.docName, L"Счёт №42");
    EXPECT_TRUE(fake.outputFileNull);
    EXPECT_EQ(fake.dataType, L"NT EMF 1.008");
    EXPECT_EQ(log.Infos().at(0),
              "Start send file \"" + WideToUtf8(file.Path()) +
                  "\" to printer \"Принтер в бухгалтерии\". JobName is \"Счёт №42\", JobDataFormat is \"NT EMF 1.008\".");
}

// A job name or data type from a shadow file goes into the log escaped: a line break in it
// cannot start a forged line, neither in the start and finish lines nor in an error line.
TEST_F(FakeSpoolerJob, NamesFromTheShadowFileCannotForgeLogLines) {
    const std::wstring job = L"Report\r\n01/01/27 00:00:00: main.cpp(1): info: FORGED";
    const std::string jobText = "Report\\x0D\\x0A01/01/27 00:00:00: main.cpp(1): info: FORGED";
    TempFile file("data");
    EXPECT_TRUE(Print(file, job, L"RAW\n"));
    EXPECT_EQ(log.Infos().back(), "Finished [success] sending file \"" + WideToUtf8(file.Path()) +
                                      "\" to printer \"Printer\". JobName is \"" + jobText +
                                      "\", JobDataFormat is \"RAW\\x0A\".");
    fake.writeSteps = {{FALSE, 0, ERROR_NOT_ENOUGH_MEMORY}};
    EXPECT_FALSE(Print(file, job, L"RAW\n"));
    EXPECT_EQ(log.Errors().at(0), "Error in WritePrinter, dwTotalBytesRead[4], dwTotalBytesWritten[0], JobName[" +
                                      jobText + "], JobDataFormat[RAW\\x0A]: " +
                                      GetLastErrorText(ERROR_NOT_ENOUGH_MEMORY));
    for (const std::string& line : log.Lines()) EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
}

// The intake takes paths of any length, which plain opens refuse from 260 characters on: the
// open gets the extended-length form, the log the path as the user knows it.
TEST_F(FakeSpoolerJob, LongPathsAreOpenedInTheirExtendedLengthForm) {
    const std::wstring path = L"C:\\" + std::wstring(300, L'j') + L"\\00012.SPL";
    EXPECT_FALSE(SendFileToPrinter(path, L"Job", L"RAW", L"Printer"));
    EXPECT_EQ(fake.openedPath, L"\\\\?\\" + path);
    ASSERT_EQ(log.Errors().size(), 1u);
    EXPECT_EQ(log.Errors()[0].rfind("Can't open file \"" + WideToUtf8(path) + "\": ", 0), 0u) << log.Dump();
}

TEST_F(FakeSpoolerJob, EmptyNamesReachTheSpoolerAsEmptyStringsNotNull) {
    TempFile file("data");
    EXPECT_TRUE(Print(file, L"", L"", L""));
    EXPECT_FALSE(fake.printerNameNull);
    EXPECT_EQ(fake.printerName, L"");
    EXPECT_FALSE(fake.docNameNull);
    EXPECT_EQ(fake.docName, L"");
    EXPECT_FALSE(fake.dataTypeNull);
    EXPECT_EQ(fake.dataType, L"");
}

TEST_F(FakeSpoolerJob, EmptyFileEndsAnEmptyDocumentAndFails) {
    TempFile file("");
    EXPECT_FALSE(Print(file));
    EXPECT_EQ(fake.calls, CallsOf({"EndDoc", "ClosePrinter"}));
    EXPECT_TRUE(log.Errors().empty()) << log.Dump();
    EXPECT_EQ(log.Infos().back(), FinishLine(false, file.Path(), L"Printer", L"Job", L"RAW"));
}

TEST_F(FakeSpoolerJob, ShortWritesOfferTheRestOfTheChunkAgain) {
    const std::string content = PatternBytes(300000, 3);
    TempFile file(content);
    fake.writeSteps = {{TRUE, 100000, 0}, {TRUE, 62144, 0}};
    EXPECT_TRUE(Print(file));
    EXPECT_EQ(fake.writeSizes, (std::vector<DWORD>{kChunk, kChunk - 100000, kChunk - 162144, 300000 - kChunk}));
    EXPECT_TRUE(fake.delivered == content) << "bytes went missing or out of order";
    EXPECT_TRUE(log.Errors().empty()) << log.Dump();
    EXPECT_EQ(log.CountStartingWith("WritePrinter took 100000 of 262144 bytes"), 1u) << log.Dump();
}

TEST_F(FakeSpoolerJob, WriteThatTakesNothingCancelsTheJob) {
    TempFile file(PatternBytes(kChunk + 10, 4));
    fake.writeSteps = {{TRUE, 0, 0}};
    EXPECT_FALSE(Print(file));
    EXPECT_EQ(fake.calls, CallsOf({"Write 262144", "Abort", "ClosePrinter"}));
    EXPECT_EQ(log.Errors(),
              (std::vector<std::string>{"WritePrinter reported 0 of 262144 bytes written, dwTotalBytesRead[262144], "
                                        "dwTotalBytesWritten[0], JobName[Job], JobDataFormat[RAW]",
                                        CountLine(kChunk, 0)}));
    EXPECT_EQ(log.Infos().back(), FinishLine(false, file.Path(), L"Printer", L"Job", L"RAW"));
}

TEST_F(FakeSpoolerJob, FailedWriteCancelsTheJobInsteadOfSubmittingPartOfIt) {
    TempFile file(PatternBytes(2 * kChunk + 100, 5));
    fake.writeSteps = {{TRUE, kChunk, 0}, {TRUE, 1000, 0}, {FALSE, 0, ERROR_NOT_ENOUGH_MEMORY}};
    EXPECT_FALSE(Print(file, L"Отчёт", L"RAW"));
    EXPECT_EQ(fake.calls, CallsOf({"Write 262144", "Write 262144", "Write 261144", "Abort", "ClosePrinter"}));
    EXPECT_EQ(fake.reads, 2) << "no read after the failed write";
    EXPECT_EQ(log.Errors(), (std::vector<std::string>{
                                "Error in WritePrinter, dwTotalBytesRead[524288], dwTotalBytesWritten[263144], "
                                "JobName[Отчёт], JobDataFormat[RAW]: " +
                                    GetLastErrorText(ERROR_NOT_ENOUGH_MEMORY),
                                CountLine(2 * kChunk, kChunk + 1000)}));
    EXPECT_EQ(log.Infos().back(), FinishLine(false, file.Path(), L"Printer", L"Отчёт", L"RAW"));
    EXPECT_TRUE(OpensExclusively(file.Path()));
}

// A cancel between two chunks aborts the job, never ends it: nothing partial is submitted.
// When the abort fails, the outcome must not claim that nothing was sent.
TEST_F(FakeSpoolerJob, CancelBetweenChunksAbortsTheJob) {
    TempFile file(PatternBytes(3 * kChunk + 5, 12));
    WatchedCopy watcher(2);  // a look after each chunk
    EXPECT_EQ(PrintFileRaw(file.Path(), L"Job", L"RAW", L"Printer"), RawJobOutcome::Cancelled);
    EXPECT_EQ(fake.calls, CallsOf({"Write 262144", "Write 262144", "Abort", "ClosePrinter"}));
    EXPECT_TRUE(log.Errors().empty()) << log.Dump();
    EXPECT_EQ(log.CountStartingWith("Cancelled by the user: sending job \"Job\" to the printer after 524288 bytes"), 1u)
        << log.Dump();
    fake.abortResult = FALSE;
    EXPECT_EQ(PrintFileRaw(file.Path(), L"Job", L"RAW", L"Printer"), RawJobOutcome::CancelledNotAborted);
}

TEST_F(FakeSpoolerJob, FailedLaterReadCancelsTheJob) {
    TempFile file(PatternBytes(2 * kChunk, 6));
    fake.failingRead = 1;
    fake.readError = ERROR_CRC;
    EXPECT_FALSE(Print(file));
    EXPECT_EQ(fake.calls, CallsOf({"Write 262144", "Abort", "ClosePrinter"}));
    EXPECT_EQ(log.Errors(), std::vector<std::string>{"Error in ReadFile, dwTotalBytesRead[262144], "
                                                     "dwTotalBytesWritten[262144], JobName[Job], JobDataFormat[RAW]: " +
                                                     GetLastErrorText(ERROR_CRC)});
    EXPECT_EQ(log.Infos().back(), FinishLine(false, file.Path(), L"Printer", L"Job", L"RAW"));
}

TEST_F(FakeSpoolerJob, FailedFirstReadCancelsTheJob) {
    TempFile file("data");
    fake.failingRead = 0;
    fake.readError = ERROR_LOCK_VIOLATION;
    EXPECT_FALSE(Print(file));
    EXPECT_EQ(fake.calls, CallsOf({"Abort", "ClosePrinter"}));
    EXPECT_EQ(log.Errors(), std::vector<std::string>{"Error in ReadFile, dwTotalBytesRead[0], dwTotalBytesWritten[0], "
                                                     "JobName[Job], JobDataFormat[RAW]: " +
                                                     GetLastErrorText(ERROR_LOCK_VIOLATION)});
}

TEST_F(FakeSpoolerJob, FailedStartDocStillEndsTheDocument) {
    TempFile file("data");
    fake.startResult = 0;
    fake.startError = ERROR_INVALID_DATATYPE;
    EXPECT_FALSE(Print(file, L"Job", L"BOGUS"));
    EXPECT_EQ(fake.calls, CallsOf({"EndDoc", "ClosePrinter"}));
    EXPECT_EQ(log.Errors(), std::vector<std::string>{"Error in StartDocPrinter, JobName[Job], JobDataFormat[BOGUS]: " +
                                                     GetLastErrorText(ERROR_INVALID_DATATYPE)});

    log.Clear();
    fake.calls.clear();
    fake.endResult = FALSE;
    fake.endError = ERROR_INVALID_HANDLE;
    EXPECT_FALSE(Print(file, L"Job", L"BOGUS"));
    EXPECT_EQ(fake.calls, CallsOf({"EndDoc", "ClosePrinter"}));
    EXPECT_EQ(log.Errors(), (std::vector<std::string>{
                                "Error in StartDocPrinter, JobName[Job], JobDataFormat[BOGUS]: " +
                                    GetLastErrorText(ERROR_INVALID_DATATYPE),
                                "Error in EndDocPrinter, JobName[Job], JobDataFormat[BOGUS]: " +
                                    GetLastErrorText(ERROR_INVALID_HANDLE)}));
}

TEST_F(FakeSpoolerJob, FailedEndDocFailsTheJob) {
    const std::string content = PatternBytes(kChunk + 1, 8);
    TempFile file(content);
    fake.endResult = FALSE;
    fake.endError = ERROR_INSUFFICIENT_BUFFER;
    EXPECT_FALSE(Print(file, L"Job", L"XPS_PASS"));
    EXPECT_TRUE(fake.delivered == content);
    EXPECT_EQ(log.Errors(), std::vector<std::string>{"Error in EndDocPrinter, JobName[Job], JobDataFormat[XPS_PASS]: " +
                                                     GetLastErrorText(ERROR_INSUFFICIENT_BUFFER)});
    EXPECT_EQ(log.Infos().back(), FinishLine(false, file.Path(), L"Printer", L"Job", L"XPS_PASS"));
}

TEST_F(FakeSpoolerJob, AnyNonzeroEndDocResultIsSuccess) {
    TempFile file("data");
    fake.endResult = 2;
    EXPECT_TRUE(Print(file));
    EXPECT_EQ(log.Infos().back(), FinishLine(true, file.Path(), L"Printer", L"Job", L"RAW"));
}

TEST_F(FakeSpoolerJob, PrinterThatDoesNotOpenIsNeitherUsedNorClosed) {
    TempFile file("data");
    fake.openResult = FALSE;
    fake.openError = ERROR_INVALID_PRINTER_NAME;
    EXPECT_FALSE(Print(file, L"Job", L"RAW", L"Nowhere"));
    EXPECT_EQ(fake.calls, std::vector<std::string>{"OpenPrinter"});
    EXPECT_EQ(log.Errors(), std::vector<std::string>{"Can't open printer \"Nowhere\": " +
                                                     GetLastErrorText(ERROR_INVALID_PRINTER_NAME)});
    EXPECT_EQ(log.Infos().back(), FinishLine(false, file.Path(), L"Nowhere", L"Job", L"RAW"));
    EXPECT_TRUE(OpensExclusively(file.Path()));
}

TEST_F(FakeSpoolerJob, MissingFileIsNotSentAnywhere) {
    std::wstring path;
    {
        TempFile gone("x");
        path = gone.Path();
    }
    EXPECT_FALSE(SendFileToPrinter(path, L"Job", L"RAW", L"Printer"));
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(log.Errors(), std::vector<std::string>{"Can't open file \"" + WideToUtf8(path) +
                                                     "\": " + GetLastErrorText(ERROR_FILE_NOT_FOUND)});
}

TEST_F(FakeSpoolerJob, PrinterHandleClosesOnlyWhatItHolds) {
    PrinterHandle unopened;
    EXPECT_EQ(unopened.get(), reinterpret_cast<HANDLE>(-1));
    EXPECT_FALSE(unopened);
    unopened.reset();
    PrinterHandle null(nullptr);
    EXPECT_FALSE(null);
    null.reset();
    EXPECT_TRUE(fake.closed.empty());

    PrinterHandle first(fake.printer);
    EXPECT_TRUE(first);
    PrinterHandle second(std::move(first));
    EXPECT_FALSE(first);
    second.reset();
    EXPECT_EQ(fake.closed, std::vector<HANDLE>{fake.printer});
}

// ---- Through Wine's spooler and the CUPS test bed ----

namespace {

const std::wstring kQueue = L"tavrel_print";

std::wstring OutputFolder() { return TestbedFolder() + L"\\out\\" + kQueue; }

unsigned DeliveredJobs() {
    unsigned count = 0;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((OutputFolder() + L"\\*.bin").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do ++count;
    while (FindNextFileW(search, &found));
    FindClose(search);
    return count;
}

// The bytes of the listener's n-th connection, once it has closed; nullopt after the time-out.
std::optional<std::string> WaitForDelivery(unsigned number, DWORD timeoutMs = 60000) {
    wchar_t name[32];
    swprintf(name, 32, L"\\%06u.bin", number);
    std::filesystem::path path(OutputFolder() + name);
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        std::error_code error;
        if (std::filesystem::exists(path, error)) {
            std::ifstream in(path, std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        Sleep(50);
    }
    return std::nullopt;
}

}  // namespace

class CupsPrintJob : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(TestbedFolder().empty()) << "needs the CUPS test bed (CUPS_SERVER=<bed>/cups.sock)";
        CurrentRawPrintCalls() = PlatformRawPrintCalls();
    }

    // Prints the content and returns what the printer received.
    std::string PrintAndReceive(const std::string& content, const std::wstring& job, bool& result) {
        TempFile file(content);
        unsigned before = DeliveredJobs();
        result = SendFileToPrinter(file.Path(), job, L"RAW", kQueue);
        std::optional<std::string> received = WaitForDelivery(before + 1);
        if (!received) ADD_FAILURE() << "nothing reached the printer";
        return received.value_or("");
    }

    LogRecorder log;
};

class CupsPrintSizes : public CupsPrintJob, public ::testing::WithParamInterface<size_t> {};

TEST_P(CupsPrintSizes, ArriveByteIdentical) {
    const std::string content = PatternBytes(GetParam(), static_cast<unsigned>(GetParam()));
    bool result = false;
    std::string received = PrintAndReceive(content, L"Tavrel test job", result);
    EXPECT_TRUE(result) << log.Dump();
    EXPECT_EQ(received.size(), content.size());
    EXPECT_TRUE(received == content) << "the printer got other bytes";
    EXPECT_TRUE(log.Errors().empty()) << log.Dump();
}

INSTANTIATE_TEST_SUITE_P(Bytes, CupsPrintSizes,
                         ::testing::Values(1, kChunk - 1, kChunk, kChunk + 1, 10u * 1024 * 1024));

TEST_F(CupsPrintJob, EmptyFileIsAFailure) {
    TempFile file("");
    EXPECT_FALSE(SendFileToPrinter(file.Path(), L"Empty job", L"RAW", kQueue));
    EXPECT_EQ(log.CountStartingWith("Sent to printer not expected amount"), 0u);
    EXPECT_EQ(log.Infos().back(), FinishLine(false, file.Path(), kQueue, L"Empty job", L"RAW"));
}

// The title that the scheduler recorded for its newest job: its IPP-encoded control file
// c<id> holds the job-name value after the name, as a 16-bit big-endian length and UTF-8.
std::optional<std::string> NewestCupsJobTitle() {
    std::filesystem::path newest;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(TestbedFolder() + L"\\spool"))) {
        std::wstring name = entry.path().filename().wstring();
        if (name.size() < 2 || name[0] != L'c' || name.find_first_not_of(L"0123456789", 1) != std::wstring::npos) continue;
        if (newest.empty() || name > newest.filename().wstring()) newest = entry.path();
    }
    if (newest.empty()) return std::nullopt;
    std::ifstream in(newest, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t at = bytes.find("job-name");
    if (at == std::string::npos || at + 10 > bytes.size()) return std::nullopt;
    size_t length = (static_cast<unsigned char>(bytes[at + 8]) << 8) | static_cast<unsigned char>(bytes[at + 9]);
    return bytes.substr(at + 10, length);
}

// Wine 8 cuts a non-ASCII document name to its UTF-16 length plus four bytes of UTF-8 when
// it hands the job to CUPS, so a short name is what can come through whole.
TEST_F(CupsPrintJob, CyrillicJobNameReachesCups) {
    // 32-bit Wine 8 gets that length wrong the other way: CUPS records "Счёт" followed by
    // nine bytes of whatever lies behind it in Wine's buffer ("Счёт" "essful-ok" seen). The
    // fake spooler shows the name the program passes on either build.
    if (sizeof(void*) == 4) GTEST_SKIP() << "32-bit Wine 8 hands CUPS the document name with a wrong length";
    const std::string content = PatternBytes(5000, 11);
    bool result = false;
    EXPECT_TRUE(PrintAndReceive(content, L"Счёт", result) == content);
    EXPECT_TRUE(result) << log.Dump();
    EXPECT_NE(log.Infos().front().find("JobName is \"Счёт\""), std::string::npos) << log.Dump();
    EXPECT_EQ(NewestCupsJobTitle().value_or("<none>"), "Счёт");
}

TEST_F(CupsPrintJob, UnknownPrinterFailsAtOpen) {
    TempFile file("data");
    EXPECT_FALSE(SendFileToPrinter(file.Path(), L"Job", L"RAW", L"Tavrel no such printer"));
    EXPECT_EQ(log.Errors(), std::vector<std::string>{"Can't open printer \"Tavrel no such printer\": " +
                                                     GetLastErrorText(ERROR_INVALID_PRINTER_NAME)});
    EXPECT_TRUE(OpensExclusively(file.Path()));
}

TEST_F(CupsPrintJob, FileHeldOpenByAnotherProcessIsNotPrinted) {
    TempFile file("data");
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring ready = L"tavrel_hold_ready_" + std::to_wstring(GetCurrentProcessId());
    std::wstring release = L"tavrel_hold_release_" + std::to_wstring(GetCurrentProcessId());
    HANDLE readyEvent = CreateEventW(nullptr, TRUE, FALSE, ready.c_str());
    HANDLE releaseEvent = CreateEventW(nullptr, TRUE, FALSE, release.c_str());
    std::wstring command = L"\"" + std::wstring(self) + L"\" --hold-exclusively \"" + file.Path() + L"\" " + ready +
                           L" " + release;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION child{};
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
    ASSERT_EQ(WaitForSingleObject(readyEvent, 30000), WAIT_OBJECT_0) << "the other process did not open the file";

    EXPECT_FALSE(SendFileToPrinter(file.Path(), L"Job", L"RAW", kQueue));
    EXPECT_EQ(log.Errors(), std::vector<std::string>{"Can't open file \"" + WideToUtf8(file.Path()) +
                                                     "\": " + GetLastErrorText(ERROR_SHARING_VIOLATION)});

    SetEvent(releaseEvent);
    WaitForSingleObject(child.hProcess, 30000);
    CloseHandle(child.hProcess);
    CloseHandle(child.hThread);
    CloseHandle(readyEvent);
    CloseHandle(releaseEvent);
}

// Wine's spooler completes only RAW documents: other data types fail when the document ends.
TEST_F(CupsPrintJob, EmfJobEndsInTheEndDocPrinterError) {
    TempFile file(PatternBytes(1000, 12));
    EXPECT_FALSE(SendFileToPrinter(file.Path(), L"EMF job", L"NT EMF 1.008", kQueue));
    std::vector<std::string> errors = log.Errors();
    ASSERT_EQ(errors.size(), 1u) << log.Dump();
    EXPECT_EQ(errors[0], "Error in EndDocPrinter, JobName[EMF job], JobDataFormat[NT EMF 1.008]: " +
                             GetLastErrorText(ERROR_INSUFFICIENT_BUFFER));
}

// A page recorded by GDI on A4 (0.01 mm): a frame and the text, with a colour-space record
// that names a stock colour space after its header, as real EMF spool files have one.
emfbuild::Bytes RecordedPage(const std::wstring& text) {
    const RECT a4{0, 0, 21000, 29700};
    HDC recorder = CreateEnhMetaFileW(nullptr, nullptr, &a4, L"Tavrel test\0page\0");
    Rectangle(recorder, 100, 100, 1500, 600);
    TextOutW(recorder, 200, 200, text.c_str(), static_cast<int>(text.size()));
    HENHMETAFILE metafile = CloseEnhMetaFile(recorder);
    emfbuild::Bytes page(GetEnhMetaFileBits(metafile, 0, nullptr));
    GetEnhMetaFileBits(metafile, static_cast<UINT>(page.size()), page.data());
    DeleteEnhMetaFile(metafile);
    const emfbuild::Bytes stock = emfbuild::Rec(100, {0x80000014});  // EMR_SETCOLORSPACE
    const std::uint32_t header = page[4] | page[5] << 8, records = page[52] | page[53] << 8;
    page.insert(page.begin() + header, stock.begin(), stock.end());
    return emfbuild::Set(emfbuild::Set(page, 48, static_cast<std::uint32_t>(page.size())), 52, records + 1);
}

// The names of the glyphs that Wine's PostScript driver shows, as text ("space" as a blank).
std::string ShownGlyphs(const std::string& postScript) {
    std::string shown;
    for (std::size_t at = postScript.find(" glyphshow"); at != std::string::npos;
         at = postScript.find(" glyphshow", at + 1)) {
        std::size_t name = postScript.rfind('/', at) + 1;
        std::string glyph = postScript.substr(name, at - name);
        shown += glyph.size() == 1 ? glyph : glyph == "space" ? " " : "<" + glyph + ">";
    }
    return shown;
}

// Three pages drawn for a printer of another model: Wine's PostScript driver makes them
// PostScript pages in the job's orientation and paper, with the text drawn. A cancel while a
// (slow) page is drawn aborts the document after that page.
TEST_F(CupsPrintJob, EmfJobIsDrawnPageByPageForAnotherPrinter) {
    emfbuild::Spool spool;
    for (int page = 1; page <= 3; ++page) spool.Page(RecordedPage(L"Tavrel page " + std::to_wstring(page)));
    TempFile file(std::string(spool.File.begin(), spool.File.end()));
    unsigned before = DeliveredJobs();
    DevModeDetails landscapeA4;
    landscapeA4.Orientation = PaperOrientation::Landscape;
    landscapeA4.PaperSize = 9;
    EXPECT_EQ(DrawEmfJob(file.Path(), L"Redraw test", kQueue, landscapeA4), RawJobOutcome::Submitted) << log.Dump();
    const std::string received = WaitForDelivery(before + 1).value_or("");
    for (const char* expected : {"%%Pages: 3", "%%Orientation: Landscape", "*PageSize A4", "%%Page: 3 3"})
        EXPECT_NE(received.find(expected), std::string::npos) << expected;
    EXPECT_EQ(ShownGlyphs(received), "Tavrel page <one>Tavrel page <two>Tavrel page <three>");
    EXPECT_TRUE(log.Errors().empty()) << log.Dump();
    EXPECT_EQ(log.CountStartingWith("Drew page "), 3u);

    // Wine 8's AbortDoc fails (with a stale 183), so there the outcome says that what was drawn
    // may still be printed; on Windows the document is withdrawn.
    emfbuild::Spool slow;
    for (int page = 1; page <= 3; ++page) slow.Page(emfbuild::Emf({marked::Pixel(marked::Mark::Slow)}));
    TempFile slowFile(std::string(slow.File.begin(), slow.File.end()));
    WatchedCopy watcher(1);  // Cancel as page 2 starts
    const RawJobOutcome cancelled = DrawEmfJob(slowFile.Path(), L"Redraw test", kQueue, landscapeA4);
    EXPECT_TRUE(cancelled == RawJobOutcome::Cancelled || cancelled == RawJobOutcome::CancelledNotAborted);
    EXPECT_EQ(log.CountStartingWith("Cancelled by the user: drawing job \"Redraw test\" after 2 pages"), 1u)
        << log.Dump();
    EXPECT_EQ(log.CountStartingWith("Drew page "), 5u) << "no page after the cancel";
}

// Every page of the shared hostile table, and two whose marked record makes the player crash
// or hang, drawn for real under Wine, as the thumbnail and for the printer, each in the
// page-drawing process. Each ends in a defined outcome with this process alive: drawn with the
// record skipped or changed (and the log says which), or refused; a dead player costs its one
// job, which is withdrawn, and nothing reaches the printer.
TEST_F(CupsPrintJob, HostilePagesEndInADefinedOutcomeAndADeadPlayerCostsOneJob) {
    enum class Expect { Drawn, Refused, Died };
    struct Row {
        std::string Name;
        emfbuild::Bytes Page;
        Expect Outcome;
        std::string Logged;  // how the line that names the skip, change, refusal or death starts
        std::string Reason = "";
    };
    std::vector<Row> rows;
    for (const hostile::Row& row : hostile::Rows()) {
        const std::string reason = emf::RecordReasonText(row.Reason);
        switch (row.Action) {
        case emf::RecordAction::Play: rows.push_back({row.Name, row.Page, Expect::Drawn, "Finished [success]"}); break;
        case emf::RecordAction::Skip: rows.push_back({row.Name, row.Page, Expect::Drawn, "Skipped 1 records", reason}); break;
        case emf::RecordAction::Rewrite: rows.push_back({row.Name, row.Page, Expect::Drawn, "Changed 1 records", reason}); break;
        case emf::RecordAction::Refuse: rows.push_back({row.Name, row.Page, Expect::Refused, "Refused to draw"}); break;
        }
    }
    rows.push_back({"a record the player crashes on", emfbuild::Emf({marked::Pixel(marked::Mark::Crash)}), Expect::Died,
                    "The page-drawing process", "crashed with exception code 0xC0000005"});
    rows.push_back({"a record the player hangs on", emfbuild::Emf({marked::Pixel(marked::Mark::Hang)}), Expect::Died,
                    "The page-drawing process", "did not answer for 2000 ms"});
    CurrentChildLimits().SilenceMilliseconds = 2000;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        log.Clear();
        emfbuild::Spool spool;
        spool.Page(row.Page);
        TempFile file(std::string(spool.File.begin(), spool.File.end()));
        const unsigned before = DeliveredJobs();
        const bool thumbnail = static_cast<bool>(DrawFirstPage(file.Path(), 60, 80));
        const RawJobOutcome printed = DrawEmfJob(file.Path(), L"Hostile page", kQueue, {});
        EXPECT_EQ(thumbnail, row.Outcome == Expect::Drawn) << log.Dump();
        const RawJobOutcome expected = row.Outcome == Expect::Drawn     ? RawJobOutcome::Submitted
                                       : row.Outcome == Expect::Refused ? RawJobOutcome::Failed
                                                                        : RawJobOutcome::Crashed;
        EXPECT_EQ(printed, expected) << log.Dump();
        const std::string all = log.Dump();
        EXPECT_TRUE(std::any_of(log.Lines().begin(), log.Lines().end(), [&](const std::string& line) {
            return line.find(": " + row.Logged) != std::string::npos && line.find(row.Reason) != std::string::npos;
        })) << all;
        if (row.Outcome == Expect::Drawn) {
            EXPECT_TRUE(WaitForDelivery(before + 1)) << "the page was printed";
        }
        if (row.Outcome == Expect::Died) {
            EXPECT_EQ(log.CountStartingWith("The first page of "), 1u) << all;
            Sleep(1000);
            EXPECT_EQ(DeliveredJobs(), before) << "nothing of the dead job reaches the printer";
        }
    }
    CurrentChildLimits() = {};
}

// The other side of the sharing-violation test: holds a file open without sharing until told.
int HoldExclusively(const wchar_t* path, const wchar_t* ready, const wchar_t* release) {
    FileHandle file(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return 1;
    HANDLE readyEvent = OpenEventW(EVENT_MODIFY_STATE, FALSE, ready);
    HANDLE releaseEvent = OpenEventW(SYNCHRONIZE, FALSE, release);
    if (readyEvent == nullptr || releaseEvent == nullptr) return 2;
    SetEvent(readyEvent);
    WaitForSingleObject(releaseEvent, 60000);
    CloseHandle(readyEvent);
    CloseHandle(releaseEvent);
    return 0;
}

int main(int argc, char** argv) {
    if (std::optional<int> code = RunAsPageDrawingChild(argc, argv)) return *code;
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments != nullptr && count == 5 && std::wstring(arguments[1]) == L"--hold-exclusively")
        return HoldExclusively(arguments[2], arguments[3], arguments[4]);
    LocalFree(arguments);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
