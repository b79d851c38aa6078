#include "platform/still_image.h"

#include "platform/system_info.h"
#include "platform/system_still_image.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

namespace platform {

namespace {

std::mutex& providerLock() {
    static std::mutex lock;
    return lock;
}

StillImageProvider& providerSlot() {
    static StillImageProvider provider;
    return provider;
}

std::atomic<int>& wow64Override() {
    static std::atomic<int> value{-1};
    return value;
}

// Decodes one code point of UTF-8; malformed bytes stand for themselves.
char32_t nextCodePoint(const unsigned char*& p, const unsigned char* end) {
    const unsigned char lead = *p++;
    int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    if (extra == 0 || end - p < extra)
        return lead;
    char32_t code = lead & (0x3F >> extra);
    for (int i = 0; i < extra; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return lead;
        code = code << 6 | (p[i] & 0x3F);
    }
    p += extra;
    return code;
}

void appendUtf8(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

} // namespace

void InstallStillImageProvider(StillImageProvider provider) {
    std::lock_guard<std::mutex> guard(providerLock());
    providerSlot() = std::move(provider);
}

bool StillImageProviderInstalled() {
    std::lock_guard<std::mutex> guard(providerLock());
    return static_cast<bool>(providerSlot());
}

HRESULT StiCreateInstanceW(HINSTANCE, DWORD version, IStillImageW** stillImage, void* outer) {
    if (stillImage == nullptr)
        return E_POINTER;
    *stillImage = nullptr;
    if (outer != nullptr || version == 0)
        return E_INVALIDARG;
    StillImageProvider provider;
    {
        std::lock_guard<std::mutex> guard(providerLock());
        provider = providerSlot();
    }
    if (!provider)
        return STIERR_NOT_INITIALIZED;
    *stillImage = provider();
    return *stillImage != nullptr ? S_OK : E_FAIL;
}

HLOCAL LocalAlloc(unsigned flags, std::size_t bytes) {
    return native::LocalAlloc(flags, bytes);
}

HLOCAL LocalFree(HLOCAL memory) {
    return native::LocalFree(memory);
}

int WideCharToMultiByte(unsigned, DWORD, const WCHAR* text, int count, char* out, int outSize,
                        const char*, BOOL* usedDefault) {
    if (usedDefault != nullptr)
        *usedDefault = FALSE;
    if (text == nullptr || outSize < 0)
        return 0;
    std::size_t length = 0;
    if (count < 0) {
        while (text[length] != 0)
            ++length;
        ++length; // the terminator is converted too
    } else {
        length = static_cast<std::size_t>(count);
    }
    std::string converted;
    for (std::size_t i = 0; i < length; ++i) {
        char32_t code = text[i];
        if (code >= 0xD800 && code < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        appendUtf8(converted, code);
    }
    if (outSize == 0)
        return static_cast<int>(converted.size());
    if (out == nullptr || converted.size() > static_cast<std::size_t>(outSize))
        return 0;
    std::memcpy(out, converted.data(), converted.size());
    return static_cast<int>(converted.size());
}

int MultiByteToWideChar(unsigned, DWORD, const char* text, int count, WCHAR* out, int outSize) {
    if (text == nullptr || outSize < 0)
        return 0;
    const std::size_t length = count < 0 ? std::strlen(text) + 1 : static_cast<std::size_t>(count);
    std::u16string converted;
    auto* p = reinterpret_cast<const unsigned char*>(text);
    const auto* end = p + length;
    while (p < end) {
        const char32_t code = nextCodePoint(p, end);
        if (code >= 0x10000) {
            converted += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
            converted += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            converted += static_cast<char16_t>(code);
        }
    }
    if (outSize == 0)
        return static_cast<int>(converted.size());
    if (out == nullptr || converted.size() > static_cast<std::size_t>(outSize))
        return 0;
    std::memcpy(out, converted.data(), converted.size() * sizeof(WCHAR));
    return static_cast<int>(converted.size());
}

BOOL IsWow64Process(HANDLE process, BOOL* wow64) {
    if (wow64 == nullptr)
        return FALSE;
    int answer = wow64Override().load();
    if (answer < 0) {
        const std::string text = GetEnvironmentVariableA("REFIRM_WOW64");
        if (text != "0" && text != "1")
            return native::HostIsWow64Process(process, wow64);
        answer = text == "1";
    }
    *wow64 = answer != 0 ? TRUE : FALSE;
    return TRUE;
}

HANDLE GetCurrentProcess() {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));
}

void SetWow64Override(int wow64) {
    wow64Override().store(wow64 < 0 ? -1 : (wow64 != 0 ? 1 : 0));
}

} // namespace platform
