// Names between the program's narrow text and the system's UTF-16. The narrow side is the
// process's ANSI code page: UTF-8 wherever the manifest's activeCodePage is honoured
// (Windows 10 1903 and later, Wine 8), the user's legacy code page before that. A name
// that does not survive the trip is never acted on: Windows' own conversion would put a
// look-alike ("Omega.log" for "Ωmega.log") or '?' in its place, which names another file
// or, as a pattern, other files.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "platform/win32/win32.h"

#include <shellapi.h>

namespace win32 {

namespace {

int length32(std::size_t length) { return length > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(length); }

}  // namespace

bool toWide(const char* text, std::size_t length, std::wstring& out) {
    out.clear();
    if (length == 0) return true;
    const int needed = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, length32(length), nullptr, 0);
    if (needed <= 0) return false;
    out.resize(static_cast<std::size_t>(needed));
    return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, length32(length), &out[0], needed) == needed;
}

bool toAnsi(const wchar_t* text, std::size_t length, std::string& out) {
    out.clear();
    if (length == 0) return true;
    const UINT codePage = GetACP();
    // UTF-8 holds every character; only a lone surrogate (possible in NTFS names) fails.
    // A legacy code page is asked for no best fit, and the result must read back exactly.
    const DWORD flags = codePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* usedDefaultOut = codePage == CP_UTF8 ? nullptr : &usedDefault;
    int needed = WideCharToMultiByte(CP_ACP, flags, text, length32(length), nullptr, 0, nullptr, usedDefaultOut);
    bool exact = needed > 0 && !usedDefault;
    if (!exact) needed = WideCharToMultiByte(CP_ACP, 0, text, length32(length), nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return false;
    out.resize(static_cast<std::size_t>(needed));
    WideCharToMultiByte(CP_ACP, exact ? flags : 0, text, length32(length), &out[0], needed, nullptr,
                        exact ? usedDefaultOut : nullptr);
    if (!exact || codePage == CP_UTF8) return exact;
    std::wstring back;
    return toWide(out.data(), out.size(), back) && back.size() == length &&
           std::wmemcmp(back.data(), text, length) == 0;
}

bool foldedUtf8(const wchar_t* text, std::size_t length, std::string& out) {
    static std::wstring upper;
    out.clear();
    if (length == 0) return true;
    upper.resize(length * 2);
    const int folded = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text, length32(length), &upper[0],
                                     length32(upper.size()), nullptr, nullptr, 0);
    if (folded <= 0) return false;
    const int needed = WideCharToMultiByte(CP_UTF8, 0, upper.data(), folded, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return false;
    out.resize(static_cast<std::size_t>(needed));
    WideCharToMultiByte(CP_UTF8, 0, upper.data(), folded, &out[0], needed, nullptr, nullptr);
    return true;
}

bool typedIntact(const std::wstring& pattern) {
    int count = 0;
    LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr) return false;
    bool found = false;
    for (int i = 1; i < count && !found; ++i) found = pattern == arguments[i];
    LocalFree(arguments);
    return found;
}

int errnoFromWin32(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    default:
        return EIO;
    }
}

std::string systemText(DWORD error) {
    char buffer[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                  buffer, sizeof buffer, nullptr);
    while (length > 0 && (buffer[length - 1] == '\n' || buffer[length - 1] == '\r' || buffer[length - 1] == ' ')) {
        --length;
    }
    if (length > 0) return std::string(buffer, length);
    // No text in the system's tables: the C runtime's words, and the number to look up.
    char fallback[64];
    std::snprintf(fallback, sizeof fallback, " (error %lu)", static_cast<unsigned long>(error));
    return std::string(std::strerror(errnoFromWin32(error))) + fallback;
}

}  // namespace win32
