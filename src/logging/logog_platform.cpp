// The framework's lock and clock on other platforms: a recursive mutex, like a critical
// section, and the steady clock in nanoseconds.
#include <chrono>
#include <mutex>
#include <new>

#include "logging/logog.h"

namespace logog {

static_assert(sizeof(std::recursive_mutex) <= 64, "the lock's storage in logog.h is too small");

namespace {
std::recursive_mutex& Lock(unsigned char* storage) {
    return *std::launder(reinterpret_cast<std::recursive_mutex*>(storage));
}
long long Nanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}  // namespace

Mutex::Mutex() { new (m_Lock) std::recursive_mutex; }
Mutex::~Mutex() { Lock(m_Lock).~recursive_mutex(); }
void Mutex::MutexLock() { Lock(m_Lock).lock(); }
void Mutex::MutexUnlock() { Lock(m_Lock).unlock(); }

Timer::Timer() : m_Frequency(1e9), m_Start(Nanoseconds()) {}

double Timer::Get() const { return static_cast<double>(Nanoseconds() - m_Start) / m_Frequency; }

}  // namespace logog
