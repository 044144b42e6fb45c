#include "PrinterList_win.h"

#include <windows.h>
#include <winspool.h>

#include <cstring>

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
