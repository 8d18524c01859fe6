// Directories below the search's own, for walking a tree: each is opened by its single name
// relative to its parent's handle (NtCreateFile with RootDirectory), so no path is walked
// again and none is too long, and as itself, never through a reparse point. What is opened
// is then checked against the listing: its file id and its attributes.
//
// Its volume is its parent's. On Windows another volume is only reached through a mount
// point, a reparse point, which the listing shows and the open sees as itself; under Wine a
// directory on another Unix file system is listed without a file id (search.cpp leaves it
// out). The volume is not asked again for each one: under Wine that takes the mount manager,
// another process, longer the deeper the path (0.1 s a directory at 3,500 characters), and
// it fails past the 4,096 bytes of a Unix path, where the rest still works.
//
// A level whose handle was given up is opened again by its "\\?\" path, and checked by its
// file id and volume, as anything may lie at that path by now.
//
// No delete sharing on any of them: while a directory is held open it cannot be renamed
// away and another put in its place.

#include <cerrno>

#include "platform/win32/win32.h"

// After windows.h (through win32.h), which it needs.
#include <winternl.h>

namespace win32 {

namespace {

constexpr ACCESS_MASK LISTING_ACCESS = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr ULONG LISTING_SHARING = FILE_SHARE_READ | FILE_SHARE_WRITE;

constexpr NTSTATUS NAME_NOT_FOUND = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS PATH_NOT_FOUND = static_cast<NTSTATUS>(0xC000003A);
constexpr NTSTATUS NOT_A_DIRECTORY = static_cast<NTSTATUS>(0xC0000103);
// A warning: the label did not fit, the serial number is there.
constexpr NTSTATUS BUFFER_OVERFLOW = static_cast<NTSTATUS>(0x80000005);

// FILE_INFORMATION_CLASS's FileInternalInformation and the volume's facts, as ntifs.h has them.
constexpr auto FILE_INTERNAL_INFORMATION_CLASS = static_cast<FILE_INFORMATION_CLASS>(6);
struct InternalInformation {
    LARGE_INTEGER indexNumber;
};
struct VolumeInformation {
    LARGE_INTEGER creationTime;
    ULONG serialNumber;
    ULONG labelLength;
    BOOLEAN supportsObjects;
    WCHAR label[MAX_PATH];
};

DWORD dosError(NTSTATUS status) { return RtlNtStatusToDosError(status); }

// Under Wine a Unix file system that no drive stands for has no serial number: the query
// fails alike for the pattern's directory and for any directory opened again below it, so
// that counts as one volume.
Volume volumeOf(HANDLE handle) {
    IO_STATUS_BLOCK io;
    VolumeInformation information;
    const NTSTATUS status =
        NtQueryVolumeInformationFile(handle, &io, &information, sizeof information, FileFsVolumeInformation);
    Volume volume;
    if (status >= 0 || status == BUFFER_OVERFLOW) {
        volume.known = true;
        volume.serial = information.serialNumber;
    }
    return volume;
}

// 0 with `out` filled (its volume too when `withVolume`), or a Win32 error.
DWORD factsOf(HANDLE handle, HandleFacts& out, bool withVolume) {
    const NTSTATUS status = queryFileId(handle, out.fileId);
    if (status < 0) return dosError(status);
    FILE_ATTRIBUTE_TAG_INFO tag;
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) return GetLastError();
    out.attributes = tag.FileAttributes;
    if (withVolume) out.volume = volumeOf(handle);
    return 0;
}

enum class Found { LISTED, CHANGED, ELSEWHERE };

// Whether `facts` show the directory the listing named (`fileId`, not a reparse point):
// another file (a junction or link opened as itself has its own id) has CHANGED; the same
// directory made a mount point since leads ELSEWHERE.
Found compare(const HandleFacts& facts, std::uint64_t fileId) {
    if (facts.fileId != fileId || (facts.attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return Found::CHANGED;
    return (facts.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? Found::ELSEWHERE : Found::LISTED;
}

}  // namespace

NTSTATUS queryFileId(HANDLE handle, std::uint64_t& out) {
    IO_STATUS_BLOCK io;
    InternalInformation internal;
    const NTSTATUS status =
        NtQueryInformationFile(handle, &io, &internal, sizeof internal, FILE_INTERNAL_INFORMATION_CLASS);
    if (status >= 0) out = static_cast<std::uint64_t>(internal.indexNumber.QuadPart);
    return status;
}

NTSTATUS openRelative(HANDLE directory, const std::wstring& name, ACCESS_MASK access, ULONG sharing, ULONG options,
                      HANDLE& out) {
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    // No OBJ_CASE_INSENSITIVE: the name is the listed one, exactly.
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, 0, directory, nullptr);
    IO_STATUS_BLOCK io;
    out = nullptr;
    const NTSTATUS status = NtCreateFile(&out, access | SYNCHRONIZE, &attributes, &io, nullptr, 0, sharing, FILE_OPEN,
                                         options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (status < 0) out = nullptr;
    return status;
}

HANDLE openDirectory(const std::wstring& path) {
    return CreateFileW(path.c_str(), LISTING_ACCESS, LISTING_SHARING, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                       nullptr);
}

DWORD describeDirectory(HANDLE directory, HandleFacts& out) {
    const DWORD error = factsOf(directory, out, true);
    if (error != 0) return error;
    return (out.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 0 : ERROR_DIRECTORY;
}

int openListedSubdirectory(HANDLE parent, const std::wstring& name, std::uint64_t fileId, HANDLE& out) {
    out = nullptr;
    // Only Wine lists a name with a separator (from a Unix name), and it would lead elsewhere.
    if (name.find_first_of(L"\\/") != std::wstring::npos) return ERROR_ENTRY_CHANGED;
    HANDLE directory;
    const NTSTATUS status = openRelative(parent, name, LISTING_ACCESS, LISTING_SHARING,
                                         FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT,
                                         directory);
    // Gone, or a file in its place: not the directory that was listed.
    if (status == NAME_NOT_FOUND || status == PATH_NOT_FOUND || status == NOT_A_DIRECTORY) return ERROR_ENTRY_CHANGED;
    if (status < 0) return errnoFromWin32(dosError(status));
    HandleFacts facts;
    const DWORD error = factsOf(directory, facts, false);
    const Found found = error != 0 ? Found::CHANGED : compare(facts, fileId);
    if (error == 0 && found == Found::LISTED) {
        out = directory;
        return 0;
    }
    CloseHandle(directory);
    if (error != 0) return errnoFromWin32(error);
    return found == Found::CHANGED ? ERROR_ENTRY_CHANGED : 0;
}

int reopenDirectory(const std::wstring& path, std::uint64_t fileId, const Volume& volume, HANDLE& out) {
    out = nullptr;
    HANDLE directory = openDirectory(path);
    if (directory == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ERROR_ENTRY_CHANGED
                                                                              : errnoFromWin32(error);
    }
    HandleFacts facts;
    const DWORD error = factsOf(directory, facts, true);
    // Whatever lies at its path now, only the very directory (same id, same volume) will do.
    if (error == 0 && facts.fileId == fileId && facts.volume == volume) {
        out = directory;
        return 0;
    }
    CloseHandle(directory);
    return error != 0 ? errnoFromWin32(error) : ERROR_ENTRY_CHANGED;
}

}  // namespace win32
