#pragma once

// The pieces of the Win32 platform, one file per subject. platform.cpp puts them together
// behind the Platform seam; nothing outside src/platform/win32 includes this header.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace win32 {

// names.cpp: text in the process's ANSI code page (UTF-8 when the manifest is honoured)
// against the system's own UTF-16, and the system's words for an error.

// `text` in the ANSI code page as UTF-16; false when it is not valid in that code page.
bool toWide(const char* text, std::size_t length, std::wstring& out);
// UTF-16 in the ANSI code page; false, with `out` holding a best-effort rendering, when
// some character has no exact form there (Windows would have put a look-alike or '?').
bool toAnsi(const wchar_t* text, std::size_t length, std::string& out);
// UTF-16 as UTF-8 with the case folded the way the file system folds it, for matching.
bool foldedUtf8(const wchar_t* text, std::size_t length, std::string& out);
// Whether `pattern` is exactly one of the arguments as typed: false when the command
// line reached the program through a code page that could not hold it.
bool typedIntact(const std::wstring& pattern);
// A Win32 error as the nearest errno value, so it can be reported like any other.
int errnoFromWin32(DWORD error);
// The system's own text for a Win32 error, without its trailing line break.
std::string systemText(DWORD error);

// clock.cpp: the clock, the calendar and the user's date and time texts.

FileTime fromFiletime(const FILETIME& time);
FILETIME toFiletime(FileTime time);
FileTime currentTime();
// The local offset in force now (daylight saving included), in ticks.
std::int64_t localOffsetNow();
bool toCalendar(FileTime time, CalendarTime& out);
bool shortDateNumbers(const CalendarTime& time, int numbers[3]);
bool formatTime(const CalendarTime& time, char* buffer, std::size_t size);

// console.cpp: standard output and error, the console's code page, and keys.

// Standard output through an own buffer and WriteFile, with '\n' written as CR LF. The
// first write that fails is said once on standard error.
void writeOut(const char* data, std::size_t size);
void flushOut();
// Whether standard output is a pipe whose reader has gone. The lines waiting are written
// out first; a reader found gone then ends the run as endForGoneReader does.
bool readerGone();
// Says once on standard error that the reader of standard output is gone and that no
// further files are deleted, restores the console and ends with STATUS_PIPE_BROKEN.
[[noreturn]] void endForGoneReader();
// Shows `text` on the console's screen when keys come from the console and standard
// output is not the console; a leading line break only ends a line the screen was left in.
void showOnTerminal(const char* text, std::size_t size);
// The words a failed write is said with; whether one has failed.
void nameOutputFailure(const OutputFailureWords& words);
bool outputFailed();
// Whether standard output, and standard error, is a console; each read once, at start-up.
bool outputIsTerminal();
bool errorIsTerminal();
// Flushes standard output, then writes `text` and a line break to standard error.
void reportLine(const std::string& text);
// Sets the console to the code page the program's text is in; restoreConsole puts that,
// and the keyboard's mode, back.
void prepareConsole();
void restoreConsole();
// Flushes standard output, then waits for one key code from the console keyboard;
// KEY_NONE when there is no console. An interruption during the wait ends the run at once.
int readKey();
// From now on the console's control events are held until endIfInterrupted.
void holdInterruptions();
// After a held event: flushes standard output, restores the console and ends the process
// with STATUS_CONTROL_C_EXIT, as the console's own handling would; otherwise returns.
void endIfInterrupted();

// removal.cpp: removal of one listed entry, by name, checked to be the very file listed.

// What the listing said of an entry.
struct ListedFile {
    DWORD attributes = 0;
    std::uint64_t fileId = 0;
    FileTime lastWrite = 0;
};
// Removes `name` in the directory held open by `directory` if it is the file listed,
// unchanged: 0, an errno value, or ERROR_ENTRY_CHANGED.
int removeListedFile(HANDLE directory, const std::wstring& name, const ListedFile& listed);

// tree.cpp: directories opened for listing, and entries opened by name relative to their
// directory's handle.

// The volume a handle lies on: its serial number, when the system can name one.
struct Volume {
    bool known = false;
    DWORD serial = 0;
    bool operator==(const Volume& other) const { return known == other.known && serial == other.serial; }
    bool operator!=(const Volume& other) const { return !(*this == other); }
};
// What a handle is.
struct HandleFacts {
    std::uint64_t fileId = 0;
    DWORD attributes = 0;
    Volume volume;
};
// The file id of `handle` (FileInternalInformation, what the listing shows as FileId); an NTSTATUS.
LONG queryFileId(HANDLE handle, std::uint64_t& out);
// NtCreateFile on the single component `name` in `directory`; an NTSTATUS, `out` null on failure.
LONG openRelative(HANDLE directory, const std::wstring& name, ACCESS_MASK access, ULONG sharing, ULONG options,
                  HANDLE& out);
// Opens the directory at a "\\?\" path for listing; INVALID_HANDLE_VALUE as CreateFileW has it.
HANDLE openDirectory(const std::wstring& path);
// What the opened `directory` is: 0, or a Win32 error (ERROR_DIRECTORY when it is not one).
DWORD describeDirectory(HANDLE directory, HandleFacts& out);
// Opens the listed subdirectory `name` of `parent` for listing, as itself: 0 with `out`
// set; 0 with `out` null when it is a mount point now; ERROR_ENTRY_CHANGED when it is not
// the directory listed as `fileId`; or an errno value.
int openListedSubdirectory(HANDLE parent, const std::wstring& name, std::uint64_t fileId, HANDLE& out);
// Opens the directory at `path` again, checked to be `fileId` on `volume`: 0 with `out`
// set, ERROR_ENTRY_CHANGED when something else is there now, or an errno value.
int reopenDirectory(const std::wstring& path, std::uint64_t fileId, const Volume& volume, HANDLE& out);

// pattern.cpp: the pattern's parts, and its directory opened for the search.
std::unique_ptr<DirectorySearch> openSearch(const char* pattern, SearchFailure& failure, bool wholeTree);
std::size_t pathPrefixLength(const char* pattern);

// search.cpp: the search over one directory, and the directories below it.
// Searches `directory` (open for listing; the search closes it), at the "\\?\" `path`, what
// `facts` say of it, for names matching the case-folded `namePattern`. Null when nothing
// matches and not `wholeTree`, or when the listing fails (`readError`).
std::unique_ptr<DirectorySearch> searchDirectory(HANDLE directory, std::wstring path, std::string namePattern,
                                                 std::size_t prefixLength, const HandleFacts& facts, bool wholeTree,
                                                 int& readError);

}  // namespace win32
