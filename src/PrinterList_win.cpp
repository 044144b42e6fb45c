#include "PrinterList_win.h"

#include <windows.h>
#include <winspool.h>

#include <cstring>
#include <cwchar>

#include "PrintRawData_win.h"
#include "logging/logog.h"
#include "textutil.h"
#include "textutil_win.h"

static_assert(sizeof(void*) != 4 || sizeof(PRINTER_INFO_2W) == 84,
              "the 32-bit program enumerates 84-byte PRINTER_INFO_2W records");

namespace {

// Local printers and printer connections.
constexpr DWORD kEnumFlags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;

// Receives the PRINTER_INFO_2W records. It lives for the whole process and keeps its size,
// so once it has grown to the spooler's needs a refill takes a single EnumPrintersW call.
// It starts with room for one record.
std::vector<BYTE>& EnumerationBuffer() {
    static std::vector<BYTE> buffer(sizeof(PRINTER_INFO_2W), 0);
    return buffer;
}

BOOL EnumerateInto(std::vector<BYTE>& buffer, DWORD& needed, DWORD& returned) {
    returned = 0;
    return EnumPrintersW(kEnumFlags, nullptr, 2, buffer.empty() ? nullptr : buffer.data(),
                         static_cast<DWORD>(buffer.size()), &needed, &returned);
}

void LogEnumerationError(DWORD error) { LOGOG_ERROR("Error in EnumPrinters: %s", GetLastErrorText(error).c_str()); }

// Fills the enumeration buffer and returns the number of records in it; 0 after a failure.
// A buffer that is too small is replaced once by one of the size the spooler asks for.
DWORD EnumeratePrinters() {
    std::vector<BYTE>& buffer = EnumerationBuffer();
    DWORD needed = 0;
    DWORD returned = 0;
    if (EnumerateInto(buffer, needed, returned)) return returned;

    DWORD error = GetLastError();
    if (error != ERROR_INSUFFICIENT_BUFFER) {
        LogEnumerationError(error);
        return 0;
    }
    buffer.clear();
    buffer.shrink_to_fit();
    buffer.resize(needed, 0);
    LOGOG_DEBUG("Buffer for EnumPrinters was resized to %lu", needed);
    if (EnumerateInto(buffer, needed, returned)) return returned;

    error = GetLastError();
    LogEnumerationError(error);
    return 0;
}

std::wstring StringOrEmpty(const wchar_t* text) { return text != nullptr ? std::wstring(text) : std::wstring(); }

PrinterEntry EntryFromRecord(const std::vector<BYTE>& buffer, DWORD index) {
    // Copied out rather than cast in place: the buffer is only bytes to the compiler.
    PRINTER_INFO_2W record;
    std::memcpy(&record, buffer.data() + static_cast<size_t>(index) * sizeof(record), sizeof(record));
    return PrinterEntry{StringOrEmpty(record.pPrinterName), StringOrEmpty(record.pDriverName)};
}

}  // namespace

PrinterList& PrinterList::Instance() {
    static PrinterList list;
    return list;
}

unsigned PrinterList::FillPrinterList(const PrinterEntry& reference) {
    DWORD returned = EnumeratePrinters();
    LOGOG_DEBUG("EnumPrinters return amount: %lu", returned);
    m_Printers.clear();
    if (returned == 0) return 0;

    const std::vector<BYTE>& buffer = EnumerationBuffer();
    // Never read past the buffer, whatever count the spooler reports.
    DWORD fitting = static_cast<DWORD>(buffer.size() / sizeof(PRINTER_INFO_2W));
    if (returned > fitting) returned = fitting;

    for (DWORD i = 0; i < returned; ++i) {
        PrinterEntry candidate = EntryFromRecord(buffer, i);
        std::string name = LogText(candidate.PrinterName);
        std::string driver = LogText(candidate.PrinterDriverName);
        if (IsSuitablePrinter(candidate, reference)) {
            m_Printers.push_back(std::move(candidate));
            LOGOG_DEBUG("Add suitable printer \"%s\" with driver \"%s\"", name.c_str(), driver.c_str());
        } else {
            LOGOG_DEBUG("Ignored inappropriate printer \"%s\" with driver \"%s\"", name.c_str(), driver.c_str());
        }
    }
    return Count();
}

PrinterEntry PrinterList::GetPrinter(unsigned index) const { return m_Printers.at(index); }

unsigned PrinterList::Count() const { return static_cast<unsigned>(m_Printers.size()); }

namespace {

// GetPrinterW level 2 of the printer; empty when the spooler does not answer.
std::vector<BYTE> PrinterInfo2(const std::wstring& printerName) {
    std::vector<wchar_t> name(printerName.begin(), printerName.end());
    name.push_back(L'\0');
    PrinterHandle printer;
    if (!OpenPrinterW(name.data(), printer.put(), nullptr)) {
        printer.release();
        return {};
    }
    DWORD needed = 0;
    GetPrinterW(printer.get(), 2, nullptr, 0, &needed);
    std::vector<BYTE> info(needed);
    if (needed == 0 || !GetPrinterW(printer.get(), 2, info.data(), needed, &needed)) info.clear();
    return info;
}

DataTypeSupport ProcessorTakes(const wchar_t* processor, const std::wstring& dataType) {
    if (processor == nullptr) return DataTypeSupport::CannotTell;
    std::vector<wchar_t> name(processor, processor + wcslen(processor) + 1);
    DWORD needed = 0, count = 0;
    EnumPrintProcessorDatatypesW(nullptr, name.data(), 1, nullptr, 0, &needed, &count);
    std::vector<BYTE> types(needed);
    if (needed == 0 || !EnumPrintProcessorDatatypesW(nullptr, name.data(), 1, types.data(), needed, &needed, &count))
        return DataTypeSupport::CannotTell;
    const auto* listed = reinterpret_cast<const DATATYPES_INFO_1W*>(types.data());
    for (DWORD i = 0; i < count; ++i) {
        if (listed[i].pName != nullptr &&
            CompareStringOrdinal(listed[i].pName, -1, dataType.c_str(), -1, TRUE) == CSTR_EQUAL)
            return DataTypeSupport::Listed;
    }
    return DataTypeSupport::NotListed;
}

const char* SupportName(DataTypeSupport support) {
    return support == DataTypeSupport::Listed ? "yes" : support == DataTypeSupport::NotListed ? "no" : "cannot tell";
}

}  // namespace

PrinterForEmf DescribePrinterForEmf(const PrinterEntry& printer, const std::wstring& jobDriver,
                                    const std::wstring& dataType) {
    PrinterForEmf answer;
    answer.JobsDriver = !jobDriver.empty() && printer.PrinterDriverName == jobDriver;
    const std::vector<BYTE> info = PrinterInfo2(printer.PrinterName);
    std::wstring processor;
    if (!info.empty()) {
        const auto* record = reinterpret_cast<const PRINTER_INFO_2W*>(info.data());
        answer.RawOnly = (record->Attributes & PRINTER_ATTRIBUTE_RAW_ONLY) != 0;
        answer.JobDataType = ProcessorTakes(record->pPrintProcessor, dataType);
        processor = StringOrEmpty(record->pPrintProcessor);
    }
    LOGOG_DEBUG("Printer \"%s\": driver[%s] job's driver[%s] raw only[%s] print processor[%s] takes \"%s\"[%s]",
                LogText(printer.PrinterName).c_str(), LogText(printer.PrinterDriverName).c_str(),
                answer.JobsDriver ? "yes" : "no", answer.RawOnly ? "yes" : "no", LogText(processor).c_str(),
                LogText(dataType).c_str(), SupportName(answer.JobDataType));
    return answer;
}
