// The directory search. The pattern's directory is opened once, and stays open for the
// whole run without delete sharing, so it cannot be renamed away and replaced meanwhile.
// Its entries are read with GetFileInformationByHandleEx (FileIdBothDirectoryInfo), which
// gives each entry's long name, file id and times in one go. The system is never asked to
// match the pattern: FindFirstFile would also match the short 8.3 names, so "*.log" would
// take "a.logx" (A~1.LOG). Each long name is matched here, case folded, by the long-name
// rules (matchesLongName). Entries are removed by handle, through the "\\?\" form of the
// directory's full path, so that paths over 260 characters work and the file removed is
// the very one that was listed.

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/wildcard.h"
#include "platform/win32/win32.h"

namespace win32 {

namespace {

constexpr std::size_t LISTING_BUFFER_SIZE = 64 * 1024;

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

class Win32Search final : public DirectorySearch {
public:
    Win32Search(HANDLE directory, std::wstring directoryPath, std::string namePattern, std::size_t prefixLength)
        : directory_(directory),
          directoryPath_(std::move(directoryPath)),
          namePattern_(std::move(namePattern)),
          prefixLength_(prefixLength),
          listing_(new LONGLONG[LISTING_BUFFER_SIZE / sizeof(LONGLONG)]) {
        if (directoryPath_.back() != L'\\') directoryPath_ += L'\\';
    }

    ~Win32Search() override { CloseHandle(directory_); }

    Win32Search(const Win32Search&) = delete;
    Win32Search& operator=(const Win32Search&) = delete;

    // Finds the first match, so that opening a search with no match fails as it should.
    bool start() { return pending_ = advance(); }

    bool next(FoundEntry& out) override {
        if (!pending_ && !advance()) return false;
        pending_ = false;
        out.name = name_.c_str();
        out.nameLength = name_.size();
        out.lastWrite = listed_.lastWrite;
        out.unusableInCodePage = unusable_ ? GetACP() : 0;
        out.examineError = 0;
        out.directory = (listed_.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        out.identity.file = listed_.fileId;
        return true;
    }

    int readError() const override { return readError_; }
    std::size_t prefixLength() const override { return prefixLength_; }

    // Every removal checks the entry on the handle that removes it (removal.cpp).
    // An entry handed over as unusable is never removed, whoever asks.
    int remove() override { return unusable_ ? ERROR_ENTRY_CHANGED : removeListedFile(directoryPath_, wideName_, listed_); }

    bool restart() override { return false; }
    bool nextSubdirectory(FoundEntry&) override { return false; }
    std::unique_ptr<DirectorySearch> openSubdirectory(int& error) override {
        error = ENOSYS;
        return nullptr;
    }
    void release() override {}
    int reacquire(DirectorySearch&) override { return 0; }

private:
    // Moves to the next entry whose long name matches; false at the end or on error.
    bool advance() {
        for (;;) {
            if (!nextRecord()) return false;
            const wchar_t* name = current_->FileName;
            const std::size_t length = current_->FileNameLength / sizeof(wchar_t);
            if (!foldedUtf8(name, length, folded_) ||
                !matchesLongName(namePattern_.data(), namePattern_.size(), folded_.data(), folded_.size())) {
                continue;
            }
            // Shown and removed under a name that is not its own, it could be mistaken for
            // another file: it is handed over marked, for the sweep to leave alone and say so.
            unusable_ = !toAnsi(name, length, name_);
            wideName_.assign(name, length);
            listed_.attributes = current_->FileAttributes;
            listed_.fileId = static_cast<std::uint64_t>(current_->FileId.QuadPart);
            listed_.lastWrite = static_cast<FileTime>(current_->LastWriteTime.QuadPart);
            return true;
        }
    }

    // Steps to the next record of the listing, reading a new batch when one is used up.
    bool nextRecord() {
        if (current_ != nullptr && current_->NextEntryOffset != 0) {
            current_ = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(reinterpret_cast<const char*>(current_) +
                                                                       current_->NextEntryOffset);
            return true;
        }
        if (finished_) return false;
        const FILE_INFO_BY_HANDLE_CLASS kind = current_ == nullptr ? FileIdBothDirectoryRestartInfo
                                                                   : FileIdBothDirectoryInfo;
        if (!GetFileInformationByHandleEx(directory_, kind, listing_.get(), LISTING_BUFFER_SIZE)) {
            finished_ = true;
            // Only the end of the listing is a normal end; anything else (a network drive
            // gone, a device error) cut it short and must be said.
            const DWORD error = GetLastError();
            if (error != ERROR_NO_MORE_FILES) readError_ = errnoFromWin32(error);
            return false;
        }
        current_ = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(listing_.get());
        return true;
    }

    HANDLE directory_;
    std::wstring directoryPath_;
    std::string namePattern_;
    std::size_t prefixLength_;
    std::unique_ptr<LONGLONG[]> listing_;
    const FILE_ID_BOTH_DIR_INFO* current_ = nullptr;
    bool finished_ = false;
    bool pending_ = false;
    int readError_ = 0;
    std::string folded_;
    // The current entry.
    std::string name_;
    bool unusable_ = false;
    std::wstring wideName_;
    ListedFile listed_;
};

}  // namespace

std::unique_ptr<DirectorySearch> openSearch(const char* pattern, SearchFailure& failure, bool /*wholeTree*/) {
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
    HANDLE directory = CreateFileW(directoryPath.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (directory == INVALID_HANDLE_VALUE) {
        return fail(SearchFailure::Reason::SYSTEM_ERROR, shownDirectory, static_cast<int>(GetLastError()));
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(directory, &info) || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        CloseHandle(directory);
        return fail(SearchFailure::Reason::SYSTEM_ERROR, shownDirectory, ERROR_DIRECTORY);
    }
    auto search = std::make_unique<Win32Search>(directory, std::move(directoryPath), std::move(namePattern), prefixLength);
    if (!search->start()) {
        if (search->readError() != 0) fail(SearchFailure::Reason::RUNTIME_ERROR, shownDirectory, search->readError());
        return nullptr;
    }
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
