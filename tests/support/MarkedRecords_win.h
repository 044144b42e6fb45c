// Records that the page-drawing process of a test build treats specially: a player that
// crashes, hangs or is slow on a record the check lets through, which no real page can be
// relied on to do. The record is an EMR_SETPIXELV whose colour is the mark.
#pragma once

#include <windows.h>

#include <cstdint>
#include <span>

#include "ByteReader.h"
#include "EmfSpoolBuilder.h"

namespace marked {

enum class Mark : std::uint32_t { Crash = 0x00C0FFEE, Hang = 0x00DEAD00, Slow = 0x00510700 };

inline emfbuild::Bytes Pixel(Mark mark) { return emfbuild::Rec(15, {10, 10, static_cast<std::uint32_t>(mark)}); }

// The record hook of a test build's page-drawing process (SetPlaybackRecordHook).
inline void ActOn(std::span<const std::uint8_t> record) {
    ByteReader reader(record);
    if (reader.U32() != 15 || reader.U32() != 20) return;
    reader.Skip(8);
    switch (static_cast<Mark>(reader.U32())) {
    case Mark::Crash: RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr); break;
    case Mark::Hang: Sleep(INFINITE); break;
    case Mark::Slow: Sleep(400); break;
    }
}

}  // namespace marked
