#pragma once

#include "platform/win_types.h"

#include <cstddef>

// Holds one dynamically loaded library; the transports load the system
// libraries they talk through with it. The library is freed with the holder
// unless it was detached.
class CLibrary {
public:
    CLibrary() = default;
    virtual ~CLibrary();
    CLibrary(const CLibrary&) = delete;
    CLibrary& operator=(const CLibrary&) = delete;

    // Loads the file; the handle (null on failure) is kept and returned. A
    // handle held before is freed first.
    virtual platform::HMODULE load(const char* fileName);
    virtual void free();
    virtual platform::FARPROC procAddress(const char* name) const;
    // The module's file name, truncated to size - 1 characters; 0 on failure,
    // else its length.
    virtual std::size_t moduleFileName(char* buffer, std::size_t size) const;
    // The "FileVersion" / "LegalCopyright" string of the module's file, at most
    // `max` characters including the terminator; false when any step fails.
    virtual bool fileVersion(char* buffer, std::size_t max) const;
    virtual bool legalCopyright(char* buffer, std::size_t max) const;
    // Takes the handle only when none is held.
    virtual bool attach(platform::HMODULE handle);
    // Gives up the handle without freeing the library.
    virtual platform::HMODULE detach();

    platform::HMODULE handle() const { return module_; }

private:
    bool versionString(const char* name, char* buffer, std::size_t max) const;

    platform::HMODULE module_ = nullptr;
};
