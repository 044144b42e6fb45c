// The framework's lock and clock on Windows: a critical section (recursive, as the framework
// needs when a delivery logs) and the performance counter.
#include <windows.h>

#include <new>

#include "logging/logog.h"

namespace logog {

static_assert(sizeof(CRITICAL_SECTION) <= 64, "the lock's storage in logog.h is too small");

namespace {
CRITICAL_SECTION& Section(unsigned char* storage) { return *std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage)); }
}  // namespace

Mutex::Mutex() { InitializeCriticalSection(new (m_Lock) CRITICAL_SECTION); }
Mutex::~Mutex() { DeleteCriticalSection(&Section(m_Lock)); }
void Mutex::MutexLock() { EnterCriticalSection(&Section(m_Lock)); }
void Mutex::MutexUnlock() { LeaveCriticalSection(&Section(m_Lock)); }

Timer::Timer() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    m_Frequency = static_cast<double>(frequency.QuadPart);
    m_Start = counter.QuadPart;
}

double Timer::Get() const {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart - m_Start) / m_Frequency;
}

}  // namespace logog
