// The process's text table, in the user's language from the start.
#include <windows.h>

#include "texts/TextTable.h"

TextTable::TextTable() : TextTable(GetUserDefaultLCID()) {}

TextTable& GetTextTable() {
    static TextTable table;
    return table;
}

std::wstring GetText(TextId id) { return GetTextTable().GetText(id); }

std::wstring FormatText(TextId id, std::initializer_list<std::wstring> values) {
    return GetTextTable().FormatText(id, values);
}

namespace {

// Builds the table before the entry point runs, so the start-up language is settled
// before anything is shown.
[[maybe_unused]] const TextTable& StartupTable = GetTextTable();

}  // namespace
