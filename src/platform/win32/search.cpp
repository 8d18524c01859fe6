// The directory search. The pattern's directory is opened once, and stays open for the
// whole run without delete sharing, so it cannot be renamed away and replaced meanwhile.
// Its entries are read with GetFileInformationByHandleEx (FileIdBothDirectoryInfo), which
// gives each entry's long name, attributes, file id and times in one go. The system is never
// asked to match the pattern: FindFirstFile would also match the short 8.3 names, so "*.log"
// would take "a.logx" (A~1.LOG). Each long name is matched here, case folded, by the
// long-name rules (matchesLongName). Entries are removed by name relative to the directory's
// handle (removal.cpp), checked to be the very file that was listed.
//
// For a whole tree the same listing is read again for the subdirectories, each opened
// relative to this directory's handle and checked (tree.cpp). An entry's identity is the
// volume's serial number, read once for the pattern's directory (every directory walked
// into lies on that volume), and the listed file id. The pattern's own directory is opened
// in pattern.cpp.

#include <cerrno>
#include <utility>
#include <vector>

#include "platform/wildcard.h"
#include "platform/win32/win32.h"

namespace win32 {

namespace {

constexpr std::size_t LISTING_BUFFER_SIZE = 64 * 1024;

// One entry as the listing gave it.
struct ListedEntry {
    std::string name;  // in the ANSI code page; a best-effort rendering when `unusable`
    bool unusable = false;
    std::wstring wideName;
    ListedFile listed;
};

void take(const FILE_ID_BOTH_DIR_INFO& record, ListedEntry& out) {
    const std::size_t length = record.FileNameLength / sizeof(wchar_t);
    // Shown and removed under a name that is not its own, it could be mistaken for another
    // file: it is handed over marked, for the sweep to leave alone and say so.
    out.unusable = !toAnsi(record.FileName, length, out.name);
    out.wideName.assign(record.FileName, length);
    out.listed.attributes = record.FileAttributes;
    out.listed.fileId = static_cast<std::uint64_t>(record.FileId.QuadPart);
    out.listed.lastWrite = static_cast<FileTime>(record.LastWriteTime.QuadPart);
}

// A subdirectory to walk into: never "." or "..", nor a reparse point (a junction, a
// directory symlink, a mount point), nor one listed without a file id, which could not be
// known again when opened (under Wine, the mark of a directory on another Unix file system).
bool walkable(const FILE_ID_BOTH_DIR_INFO& record) {
    const DWORD attributes = record.FileAttributes;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        record.FileId.QuadPart == 0) {
        return false;
    }
    const std::size_t length = record.FileNameLength / sizeof(wchar_t);
    const wchar_t* name = record.FileName;
    return !(name[0] == L'.' && (length == 1 || (length == 2 && name[1] == L'.')));
}

class Win32Search final : public DirectorySearch {
public:
    // `directory` is `path` ("\\?\" form), the directory `fileId` on `volume`.
    Win32Search(HANDLE directory, std::wstring path, std::string namePattern, std::size_t prefixLength,
                const Volume& volume, std::uint64_t fileId)
        : directory_(directory),
          path_(std::move(path)),
          namePattern_(std::move(namePattern)),
          prefixLength_(prefixLength),
          volume_(volume),
          fileId_(fileId) {}

    ~Win32Search() override {
        if (directory_ != nullptr) CloseHandle(directory_);
    }

    Win32Search(const Win32Search&) = delete;
    Win32Search& operator=(const Win32Search&) = delete;

    // Finds the first match, so that a search of one directory with no match fails as it should.
    bool start() { return pending_ = advance(); }

    bool next(FoundEntry& out) override {
        if (!pending_ && !advance()) return false;
        pending_ = false;
        // Every fact of an entry comes in its listing record (FileIdBothDirectoryInfo): there
        // is no examination of its own, so nothing can fail for one entry alone.
        handOver(out);
        return true;
    }

    int readError() const override { return readError_; }
    std::size_t prefixLength() const override { return prefixLength_; }

    // Every removal checks the entry on the handle that removes it (removal.cpp).
    // An entry handed over as unusable is never removed, whoever asks.
    int remove() override {
        if (entry_.unusable) return ERROR_ENTRY_CHANGED;
        return directory_ == nullptr ? EBADF : removeListedFile(directory_, entry_.wideName, entry_.listed);
    }

    bool restart() override {
        startPass(false);
        return fetch() || readError_ == 0;
    }

    bool nextSubdirectory(FoundEntry& out) override {
        if (!subdirectories_) startPass(true);
        if (drained_) {
            if (nextRemaining_ == remaining_.size()) {
                std::vector<ListedEntry>().swap(remaining_);
                return false;
            }
            entry_ = std::move(remaining_[nextRemaining_++]);
        } else {
            const FILE_ID_BOTH_DIR_INFO* record;
            do {
                record = nextRecord();
                if (record == nullptr) return false;
            } while (!walkable(*record));
            take(*record, entry_);
        }
        handOver(out);
        return true;
    }

    std::unique_ptr<DirectorySearch> openSubdirectory(int& error) override {
        // A name that cannot be written in the code page would make every path below it
        // wrong: never entered, whoever asks.
        if (entry_.unusable) {
            error = EILSEQ;
            return nullptr;
        }
        HANDLE child = nullptr;
        error = directory_ == nullptr ? EBADF
                                      : openListedSubdirectory(directory_, entry_.wideName, entry_.listed.fileId, child);
        if (child == nullptr) return nullptr;
        std::wstring path = path_;
        if (path.back() != L'\\') path += L'\\';
        path += entry_.wideName;
        return std::make_unique<Win32Search>(child, std::move(path), namePattern_, 0, volume_, entry_.listed.fileId);
    }

    // What is left of the subdirectories' listing is read into memory first: a listing
    // cannot be taken up again on another handle where it stopped.
    void release() override {
        if (directory_ == nullptr) return;
        if (!subdirectories_) startPass(true);
        if (!drained_) {
            while (const FILE_ID_BOTH_DIR_INFO* record = nextRecord()) {
                if (!walkable(*record)) continue;
                remaining_.emplace_back();
                take(*record, remaining_.back());
            }
            drained_ = true;
            nextRemaining_ = 0;
        }
        CloseHandle(directory_);
        directory_ = nullptr;
    }

    // By its path: a handle cannot be opened as its child's parent on Windows.
    int reacquire(DirectorySearch& /*child*/) override {
        if (directory_ != nullptr) return 0;
        HANDLE directory = nullptr;
        const int error = reopenDirectory(path_, fileId_, volume_, directory);
        if (error == 0) directory_ = directory;
        return error;
    }

private:
    void handOver(FoundEntry& out) const {
        out.name = entry_.name.c_str();
        out.nameLength = entry_.name.size();
        out.lastWrite = entry_.listed.lastWrite;
        out.unusableInCodePage = entry_.unusable ? GetACP() : 0;
        out.examineError = 0;
        out.directory = isDirectory(entry_.listed.attributes);
        out.identity.device = volume_.serial;
        out.identity.file = entry_.listed.fileId;
    }

    // A directory itself: a junction or directory symlink is a link to one.
    static bool isDirectory(DWORD attributes) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    }

    // The next pass over the listing, from its first record: the matching entries, or
    // the subdirectories.
    void startPass(bool subdirectories) {
        subdirectories_ = subdirectories;
        drained_ = false;
        std::vector<ListedEntry>().swap(remaining_);
        record_ = nullptr;
        fromStart_ = true;
        finished_ = false;
        pending_ = false;
        readError_ = 0;
    }

    // Moves to the next entry whose long name matches; false at the end or on error.
    bool advance() {
        while (const FILE_ID_BOTH_DIR_INFO* record = nextRecord()) {
            if (!foldedUtf8(record->FileName, record->FileNameLength / sizeof(wchar_t), folded_) ||
                !matchesLongName(namePattern_.data(), namePattern_.size(), folded_.data(), folded_.size())) {
                continue;
            }
            take(*record, entry_);
            return true;
        }
        return false;
    }

    // The next record of the listing, reading a new batch when one is used up; null at the
    // end of the pass.
    const FILE_ID_BOTH_DIR_INFO* nextRecord() {
        if (record_ == nullptr && !fetch()) return nullptr;
        const FILE_ID_BOTH_DIR_INFO* record = record_;
        record_ = record->NextEntryOffset == 0
                      ? nullptr
                      : reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(reinterpret_cast<const char*>(record) +
                                                                       record->NextEntryOffset);
        return record;
    }

    // Reads the next batch. The buffer lives for one pass only, as a tree keeps many
    // searches alive at once.
    bool fetch() {
        if (finished_) return false;
        if (listing_ == nullptr) listing_.reset(new LONGLONG[LISTING_BUFFER_SIZE / sizeof(LONGLONG)]);
        const FILE_INFO_BY_HANDLE_CLASS kind = fromStart_ ? FileIdBothDirectoryRestartInfo : FileIdBothDirectoryInfo;
        if (directory_ == nullptr || !GetFileInformationByHandleEx(directory_, kind, listing_.get(), LISTING_BUFFER_SIZE)) {
            finished_ = true;
            listing_.reset();
            // Only the end of the listing is a normal end; anything else (a network drive
            // gone, a device error) cut it short and must be said.
            const DWORD error = directory_ == nullptr ? ERROR_INVALID_HANDLE : GetLastError();
            if (error != ERROR_NO_MORE_FILES) readError_ = errnoFromWin32(error);
            return false;
        }
        fromStart_ = false;
        record_ = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(listing_.get());
        return true;
    }

    HANDLE directory_;  // null while released
    std::wstring path_;
    std::string namePattern_;
    std::size_t prefixLength_;
    Volume volume_;
    std::uint64_t fileId_;
    // The pass under way.
    std::unique_ptr<LONGLONG[]> listing_;
    const FILE_ID_BOTH_DIR_INFO* record_ = nullptr;  // the next unread record of the batch
    bool fromStart_ = true;
    bool finished_ = false;
    bool subdirectories_ = false;
    bool pending_ = false;
    int readError_ = 0;
    std::string folded_;
    // The subdirectories not yet handed over, once the handle was given up.
    bool drained_ = false;
    std::vector<ListedEntry> remaining_;
    std::size_t nextRemaining_ = 0;
    // The entry last handed over.
    ListedEntry entry_;
};

}  // namespace

std::unique_ptr<DirectorySearch> searchDirectory(HANDLE directory, std::wstring path, std::string namePattern,
                                                 std::size_t prefixLength, const HandleFacts& facts, bool wholeTree,
                                                 int& readError) {
    auto search = std::make_unique<Win32Search>(directory, std::move(path), std::move(namePattern), prefixLength,
                                                facts.volume, facts.fileId);
    readError = 0;
    // A whole tree is searched whatever its top holds: its subdirectories may hold matches.
    if (search->start() || (wholeTree && search->readError() == 0)) return search;
    readError = search->readError();
    return nullptr;
}

}  // namespace win32
