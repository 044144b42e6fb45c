// Linked into TavrelPaced.exe: the program as it ships, but every step of an extraction or a
// print is slowed to 64 MiB/s, so that a test can watch the progress window, probe the main
// window and press Cancel while a 256 MiB job is under way (Wine's spooler and the disk take
// such a job in well under the half second after which the progress window appears). Its
// page-drawing process acts on marked records: a player that crashes or hangs on a page.
#include <windows.h>

#include <cstdint>

#include "EmfSpool/EmfPlayback_win.h"
#include "MarkedRecords_win.h"
#include "Visualisation/BackgroundWork_win.h"

namespace {

constexpr std::uint64_t BytesPerMillisecond = 64 * 1024 * 1024 / 1000;

void Pace(std::uint64_t bytes) {
    static std::uint64_t owed = 0;  // only the one worker thread calls this
    owed += bytes;
    if (owed < BytesPerMillisecond * 10) return;
    Sleep(static_cast<DWORD>(owed / BytesPerMillisecond));
    owed %= BytesPerMillisecond;
}

[[maybe_unused]] const bool Paced = (SetBackgroundStepHook(Pace), SetPlaybackRecordHook(marked::ActOn), true);

}  // namespace
