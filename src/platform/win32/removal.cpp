// Removal of one listed entry. The entry is opened by its name relative to the handle of
// the directory it was listed in (NtCreateFile with RootDirectory), however deep or long its
// path, and the handle must show the very file that was listed (the listed file id) with the
// listed last-write time before the delete disposition is set on that same handle. A name
// may reach another file by the time it is opened: one renamed over it meanwhile, or, under
// Wine, another Unix file that the listed name stands for as well (an old "\xe9.log" is
// listed under a name that opens a new "i.log").
//
// The volume is the search's: the name is a single component of the directory held open
// for the search, and a reparse point (a mount point among them) is opened as itself, a
// directory, and refused. A name with a separator in it can only come from Wine's listing
// of a Unix name, and would lead elsewhere. The file id comes from NtQueryInformationFile
// (FileInternalInformation): FileIdInfo and GetFileInformationByHandle would give the volume
// again as well, and under Wine each asks its mount manager, another process, which made a
// /Q removal about ten times as slow.

#include <cerrno>

#include "platform/win32/win32.h"

// After windows.h (through win32.h), which it needs.
#include <winternl.h>

namespace win32 {

namespace {

// Through `file`, opened on the listed name: checks, then sets the delete disposition.
int removeOpened(HANDLE file, const ListedFile& listed) {
    std::uint64_t id = 0;
    const NTSTATUS queried = queryFileId(file, id);
    if (queried < 0) return errnoFromWin32(RtlNtStatusToDosError(queried));
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) return errnoFromWin32(GetLastError());
    // A file system that lists no file ids (0) leaves the time to go by.
    if ((listed.fileId != 0 && id != listed.fileId) ||
        static_cast<FileTime>(basic.LastWriteTime.QuadPart) != listed.lastWrite) {
        return ERROR_ENTRY_CHANGED;
    }
    if ((basic.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) return EACCES;
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    if (!SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition)) {
        return errnoFromWin32(GetLastError());
    }
    return 0;
}

}  // namespace

int removeListedFile(HANDLE directory, const std::wstring& name, const ListedFile& listed) {
    // Directories (the "." and ".." entries among them) and read-only files are never
    // removed, as on every system the command runs on.
    if ((listed.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) return EACCES;
    if (name.find_first_of(L"\\/") != std::wstring::npos) return ERROR_ENTRY_CHANGED;
    // The entry itself, never what a link or junction points at. FILE_NON_DIRECTORY_FILE
    // refuses to open a directory at all, so no directory put in a file's place can be
    // removed; a read-only file refuses DELETE. No delete sharing: while the handle is open
    // nobody can rename the file away, and of two runs removing the same file only one
    // opens it and says it deleted it.
    HANDLE file;
    const NTSTATUS opened = openRelative(directory, name, DELETE | FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT, file);
    if (opened < 0) return errnoFromWin32(RtlNtStatusToDosError(opened));
    const int result = removeOpened(file, listed);
    CloseHandle(file);
    return result;
}

}  // namespace win32
