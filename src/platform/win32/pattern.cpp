// The pattern: its drive and directory part, measured as typed, and its name part, checked
// and case folded for matching; the directory part is opened by its full path in the "\\?\"
// form, so that paths over 260 characters work, and searched (search.cpp).

#include <cstring>

#include "platform/win32/win32.h"

namespace win32 {

namespace {

// The directory's full path in the "\\?\" form, which has no 260-character limit.
bool longFormOf(const std::wstring& directory, std::wstring& out) {
    const DWORD needed = GetFullPathNameW(directory.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return false;
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(directory.c_str(), needed, &full[0], nullptr);
    if (length == 0 || length >= needed) return false;
    full.resize(length);
    // Trailing separators go, except the one a drive's root needs.
    while (full.size() > 3 && full.back() == L'\\' && full[full.size() - 2] != L':') full.pop_back();
    if (full.compare(0, 4, L"\\\\?\\") == 0 || full.compare(0, 4, L"\\\\.\\") == 0) {
        out = full;
    } else if (full.compare(0, 2, L"\\\\") == 0) {
        out = L"\\\\?\\UNC\\" + full.substr(2);
    } else {
        out = L"\\\\?\\" + full;
    }
    return true;
}

bool hasInvalidNameCharacter(const char* name) {
    for (const char* c = name; *c != '\0'; ++c) {
        if (static_cast<unsigned char>(*c) < 32 || std::strchr("<>:\"|", *c) != nullptr) return true;
    }
    return false;
}

}  // namespace

std::unique_ptr<DirectorySearch> openSearch(const char* pattern, SearchFailure& failure, bool wholeTree) {
    const std::size_t prefixLength = pathPrefixLength(pattern);
    const std::string typedPrefix(pattern, prefixLength);
    const char* namePart = pattern + prefixLength;
    const std::string shownDirectory = prefixLength == 0 ? std::string(".") : typedPrefix;
    auto fail = [&failure](SearchFailure::Reason reason, const std::string& place, int code) {
        failure.reason = reason;
        failure.place = place;
        failure.code = code;
        return nullptr;
    };
    if (*namePart == '\0') {
        failure.separator = '\\';
        return fail(SearchFailure::Reason::NO_FILE_NAME, pattern, 0);
    }
    std::wstring widePrefix;
    std::wstring wideName;
    if (!toWide(pattern, prefixLength, widePrefix) || !toWide(namePart, std::strlen(namePart), wideName) ||
        (GetACP() != CP_UTF8 && !typedIntact(widePrefix + wideName))) {
        // The command line came through a code page that cannot hold what was typed:
        // "日本.log" would arrive as "??.log" and match "ab.log".
        failure.codePage = GetACP();
        return fail(SearchFailure::Reason::NOT_IN_CODE_PAGE, pattern, 0);
    }
    if (hasInvalidNameCharacter(namePart)) return fail(SearchFailure::Reason::SYSTEM_ERROR, pattern, ERROR_INVALID_NAME);
    std::string namePattern;
    foldedUtf8(wideName.data(), wideName.size(), namePattern);

    std::wstring directoryPath;
    if (!longFormOf(prefixLength == 0 ? std::wstring(L".") : widePrefix, directoryPath)) {
        return fail(SearchFailure::Reason::SYSTEM_ERROR, shownDirectory, static_cast<int>(GetLastError()));
    }
    HANDLE directory = openDirectory(directoryPath);
    if (directory == INVALID_HANDLE_VALUE) {
        return fail(SearchFailure::Reason::SYSTEM_ERROR, shownDirectory, static_cast<int>(GetLastError()));
    }
    HandleFacts facts;
    const DWORD error = describeDirectory(directory, facts);
    if (error != 0) {
        CloseHandle(directory);
        return fail(SearchFailure::Reason::SYSTEM_ERROR, shownDirectory, static_cast<int>(error));
    }
    int readError = 0;
    auto search = searchDirectory(directory, std::move(directoryPath), std::move(namePattern), prefixLength, facts,
                                  wholeTree, readError);
    if (readError != 0) fail(SearchFailure::Reason::RUNTIME_ERROR, shownDirectory, readError);
    return search;
}

// _splitpath's drive ("C:" when the second character is ':') and directory (up to the last
// '\' or '/'), measured in the pattern itself: the directory part is never cut at 255
// characters the way _splitpath's copy is, so no entry path is built from a shortened one.
// In a double-byte code page a trail byte can equal '\', so lead bytes take their trail
// byte with them.
std::size_t pathPrefixLength(const char* pattern) {
    std::size_t length = 0;
    if (pattern[0] != '\0' && pattern[1] == ':') length = 2;
    for (std::size_t i = length; pattern[i] != '\0'; ++i) {
        const char c = pattern[i];
        if (c == '\\' || c == '/') {
            length = i + 1;
        } else if (IsDBCSLeadByte(static_cast<BYTE>(c)) && pattern[i + 1] != '\0') {
            ++i;
        }
    }
    return length;
}

}  // namespace win32
