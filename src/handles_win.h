// Move-only owners of Win32 handles, in the style of WIL's unique_handle: the owner closes
// its handle when it is reset, reassigned or destroyed. Null and INVALID_HANDLE_VALUE both
// count as empty, whatever the API returned on failure.
#pragma once

#include <windows.h>

#include <utility>

template <class Traits>
class UniqueHandle {
public:
    using pointer = typename Traits::pointer;

    UniqueHandle() = default;
    explicit UniqueHandle(pointer value) : m_Value(value) {}
    ~UniqueHandle() { reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : m_Value(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    pointer get() const { return m_Value; }
    explicit operator bool() const { return !IsEmpty(m_Value); }

    void reset(pointer value = Traits::Invalid()) {
        pointer old = std::exchange(m_Value, value);
        if (!IsEmpty(old)) Traits::Close(old);
    }

    pointer release() { return std::exchange(m_Value, Traits::Invalid()); }

    // For APIs that fill a handle through an out-parameter: closes the current one first.
    pointer* put() {
        reset();
        return &m_Value;
    }

    static bool IsEmpty(pointer value) {
        return value == nullptr || value == reinterpret_cast<pointer>(INVALID_HANDLE_VALUE);
    }

private:
    pointer m_Value = Traits::Invalid();
};

struct FileHandleTraits {
    using pointer = HANDLE;
    static pointer Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(pointer value) { CloseHandle(value); }
};

using FileHandle = UniqueHandle<FileHandleTraits>;

// Any other kernel object closed with CloseHandle, such as a thread.
using ThreadHandle = UniqueHandle<FileHandleTraits>;

// GDI objects: a device context made with CreateDC or CreateCompatibleDC, an enhanced
// metafile in memory, a bitmap.
struct DeviceContextTraits {
    using pointer = HDC;
    static pointer Invalid() { return nullptr; }
    static void Close(pointer value) { DeleteDC(value); }
};
using DeviceContext = UniqueHandle<DeviceContextTraits>;

struct EnhMetaFileTraits {
    using pointer = HENHMETAFILE;
    static pointer Invalid() { return nullptr; }
    static void Close(pointer value) { DeleteEnhMetaFile(value); }
};
using EnhMetaFile = UniqueHandle<EnhMetaFileTraits>;

struct BitmapTraits {
    using pointer = HBITMAP;
    static pointer Invalid() { return nullptr; }
    static void Close(pointer value) { DeleteObject(value); }
};
using Bitmap = UniqueHandle<BitmapTraits>;
