// Helpers shared by the Win32 implementations in this folder; never included
// anywhere else. Paths arrive as UTF-8 and go to Windows as UTF-16.
#pragma once

#include "winutil/CodePage.h"
#include "winutil/FdIo.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace win32 {

// UTF-8 to UTF-16 and back (Windows' wchar_t is a UTF-16 unit).
inline std::wstring Wide(std::string_view text) {
    const std::u16string wide = CodePageToWide(text);
    return std::wstring(wide.begin(), wide.end());
}
inline std::string Narrow(std::wstring_view text) {
    return WideToCodePage(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

// Sets errno to the nearest meaning of a Windows error code.
void SetErrno(DWORD error);
inline void SetErrnoFromLastError() {
    SetErrno(GetLastError());
}

// True for errors that mean "nothing by that name".
bool IsMissingError(DWORD error);

// The handle behind a descriptor of FdIo.
HANDLE HandleOf(int fd);
// A descriptor that owns handle (closed with it); -1 (handle closed) on failure.
int DescriptorOf(HANDLE handle, bool writable);

// Opens path with access and disposition, sharing it with every other reader
// and writer (and with renames). Device names are refused (ERROR_BAD_DEVICE
// is set). INVALID_HANDLE_VALUE on failure.
HANDLE OpenShared(const std::string& path, DWORD access, DWORD disposition);
// What an open handle is.
FileInfo Describe(HANDLE handle);

// Nanoseconds since 1970 of a FILETIME-like count of 100 ns since 1601.
inline std::int64_t UnixNs(std::int64_t ticks1601) {
    constexpr std::int64_t kEpochDifference = 116444736000000000LL; // 1601 to 1970, 100 ns
    return (ticks1601 - kEpochDifference) * 100;
}

} // namespace win32
