#pragma once

#include "platform/win_types.h"

// File version resources, shaped as the Windows calls. The program's own
// files (the executable and the libraries of this layer beside it) carry the
// program's version data: file version, product name and version, company,
// copyright, in one translation (US English, Unicode code page). Other files
// have none.
namespace platform {

constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;

DWORD GetFileVersionInfoSizeA(const char* fileName, DWORD* handle);
BOOL GetFileVersionInfoA(const char* fileName, DWORD handle, DWORD size, void* data);
// "\VarFileInfo\Translation" gives the language and code page as two WORDs;
// "\StringFileInfo\<language><code page>\<name>" (eight hexadecimal digits)
// gives a string. `*value` points into `block`.
BOOL VerQueryValueA(const void* block, const char* subBlock, void** value, UINT* length);

} // namespace platform
