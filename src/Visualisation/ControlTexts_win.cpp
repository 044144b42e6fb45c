#include "Visualisation/ControlTexts_win.h"

void SetControlTexts(HWND dialog, const TextTable& texts, const ControlText* begin, const ControlText* end) {
    for (const ControlText* control = begin; control != end; ++control) {
        SendDlgItemMessageW(dialog, control->ControlId, WM_SETTEXT, 0,
                            reinterpret_cast<LPARAM>(texts.GetTextPtr(control->Text)));
    }
}

