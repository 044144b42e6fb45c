// The texts of a window's controls from the text table, for every window of the program.
#pragma once

#include <windows.h>

#include "texts/TextTable.h"

// A control whose text comes straight from the text table.
struct ControlText {
    int ControlId;
    TextId Text;
};

// Sets each control's text from the table, in order.
void SetControlTexts(HWND dialog, const TextTable& texts, const ControlText* begin, const ControlText* end);
