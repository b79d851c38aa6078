#pragma once

#include <cstddef>
#include <cstdint>

// The plain Windows types that the device layer's calls are shaped with.
// Handles are opaque pointers; none of them is ever dereferenced outside
// this layer.
struct HWND__;
struct HINSTANCE__;
struct HDEVNOTIFY__;

namespace platform {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using BOOL = int;
using UINT = unsigned int;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using HRESULT = std::int32_t;
using WCHAR = char16_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

using HANDLE = void*;
using HWND = HWND__*;
using HMODULE = HINSTANCE__*;
using HINSTANCE = HINSTANCE__*;
using HDEVNOTIFY = HDEVNOTIFY__*;
using HLOCAL = void*;

// The generic procedure pointer GetProcAddress returns; callers cast it to the
// entry point's real type.
using FARPROC = void (*)();

constexpr BOOL FALSE = 0;
constexpr BOOL TRUE = 1;

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT TYPE_E_CANTLOADLIBRARY = static_cast<HRESULT>(0x80029C4Au);
constexpr HRESULT TYPE_E_DLLFUNCTIONNOTFOUND = static_cast<HRESULT>(0x8002802Fu);
// What a call on a device that has left the bus answers.
constexpr HRESULT HRESULT_DEVICE_NOT_CONNECTED = static_cast<HRESULT>(0x8007048Fu);

constexpr bool SUCCEEDED(HRESULT result) {
    return result >= 0;
}
constexpr bool FAILED(HRESULT result) {
    return result < 0;
}

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};

constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}

static_assert(sizeof(GUID) == 16);

} // namespace platform
