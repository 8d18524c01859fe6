// Standard output and error, the console's code page, and keys from the console.
// Text goes out through WriteFile in the ANSI code page, with '\n' written as CR LF: on a
// console, which is set for the run to that same code page, names and the locale's words
// read right (Wine's C runtime would ignore the console's code page); redirected to a file
// or a pipe, the bytes are the program's own, with no conversion.
//
// Ctrl-C, Ctrl-Break and the console's close, logoff and shutdown events only leave a note
// while the sweep works (the system runs the handler on a thread of its own): the entry in
// hand is finished and its line written, then endIfInterrupted flushes, restores the
// console and ends the run with the status the console's own handling gives. A wait for a
// key has nothing in hand, and ends at once.
//
// Standard output is written out each time 4 KiB have gathered, as find's stdio does, so
// the record is never further behind the removals than that. When it goes elsewhere than
// the console (a file), the question is shown on the console too, so whoever answers sees
// what is asked.

#include <conio.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "common/display.h"
#include "platform/win32/win32.h"

namespace win32 {

namespace {

constexpr std::size_t OUTPUT_BUFFER_SIZE = 4096;
// ntstatus.h's STATUS_PIPE_BROKEN, the end of a run whose reader is gone. Windows has no
// SIGPIPE; the status is the system's own for the pipe that failed, as
// STATUS_CONTROL_C_EXIT is for Ctrl-C, never a success.
constexpr DWORD PIPE_BROKEN_EXIT = 0xC000014B;

std::string outputBuffer;
bool outputFailure = false;
// Why the reader of standard output was found gone, for the line that says so.
DWORD readerGoneError = ERROR_NO_DATA;
// The console's own screen, for the question when standard output is not the console.
HANDLE screen = INVALID_HANDLE_VALUE;
// The question has left the console's screen in the middle of a line, ended on exit.
bool screenMidLine = false;
OutputFailureWords failureWords;
UINT savedConsoleCodePage = 0;
bool keyboardChecked = false;
bool keyboardAvailable = false;
HANDLE keyboard = INVALID_HANDLE_VALUE;
DWORD savedInputMode = 0;
bool inputModeChanged = false;
// Shared with the control handler's thread.
std::atomic<bool> holding{false};
std::atomic<bool> waitingForKey{false};
std::atomic<bool> interrupted{false};

// Writes all of `data`; false, with the reason in GetLastError, when the handle is gone or
// refuses (a closed pipe, a full disk).
bool writeAll(HANDLE handle, const char* data, std::size_t size) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handle, data, chunk, &written, nullptr)) return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// Windows says ERROR_NO_DATA or ERROR_BROKEN_PIPE for a pipe whose reader has gone; Wine
// says ERROR_PIPE_NOT_CONNECTED.
bool isReaderGone(DWORD error) {
    return error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA || error == ERROR_PIPE_NOT_CONNECTED;
}

bool outputIsPipe() {
    static const bool pipe = GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_PIPE;
    return pipe;
}

// Appends `data` to `out` with each '\n' as CR LF, the text-mode line break.
void appendText(std::string& out, const char* data, std::size_t size) {
    while (size > 0) {
        const char* lineFeed = static_cast<const char*>(std::memchr(data, '\n', size));
        if (lineFeed == nullptr) {
            out.append(data, size);
            return;
        }
        const std::size_t before = static_cast<std::size_t>(lineFeed - data);
        out.append(data, before);
        out.append("\r\n", 2);
        data += before + 1;
        size -= before + 1;
    }
}

void setConsoleCodePage() {
    const UINT current = GetConsoleOutputCP();
    if (savedConsoleCodePage == 0 && current != GetACP() && SetConsoleOutputCP(GetACP())) {
        savedConsoleCodePage = current;
    }
}

void restoreConsoleModes() {
    if (savedConsoleCodePage != 0) SetConsoleOutputCP(savedConsoleCodePage);
    if (inputModeChanged) SetConsoleMode(keyboard, savedInputMode);
}

// Whether a standard handle is a console; read once each, at start-up.
bool isConsole(DWORD standardHandle) {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(standardHandle), &mode) != 0;
}

// Opens the console keyboard once and turns its echo and line editing off.
void readKeyboardMode() {
    if (keyboardChecked) return;
    keyboardChecked = true;
    keyboard = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (keyboard != INVALID_HANDLE_VALUE && GetConsoleMode(keyboard, &savedInputMode)) {
        keyboardAvailable = true;
        // Ctrl-C keeps coming as an event, never as a key (ENABLE_PROCESSED_INPUT stays).
        inputModeChanged =
            SetConsoleMode(keyboard, savedInputMode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT | ENABLE_LINE_INPUT));
    }
}

// Held, the event is noted and the main thread ends the run at its next stopping place.
// Returning TRUE from a close, logoff or shutdown event would end the process at once, so
// this thread waits instead, for the few seconds the system gives, while the main thread
// finishes the entry in hand and starts no other. Otherwise the console gets its code page
// and keyboard mode back, and the usual handling ends the process without its destructors.
BOOL WINAPI onControlEvent(DWORD event) {
    if (holding.load()) {
        interrupted.store(true);
        if (!waitingForKey.load()) {
            if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
            Sleep(INFINITE);
        }
    }
    restoreConsoleModes();
    return FALSE;
}

}  // namespace

void writeOut(const char* data, std::size_t size) {
    appendText(outputBuffer, data, size);
    if (outputBuffer.size() >= OUTPUT_BUFFER_SIZE) flushOut();
}

void flushOut() {
    if (outputBuffer.empty()) return;
    const bool written = writeAll(GetStdHandle(STD_OUTPUT_HANDLE), outputBuffer.data(), outputBuffer.size());
    const DWORD error = GetLastError();
    outputBuffer.clear();
    if (written) return;
    // Nobody will ever see another line: no further removal starts.
    if (isReaderGone(error)) {
        readerGoneError = error;
        endForGoneReader();
    }
    // A report that cannot be written must not pass in silence: the first failure is said
    // on standard error, with the system's words; the sweep goes on all the same.
    if (!outputFailure) {
        outputFailure = true;
        reportLine(failureWords.cannotWrite + ": " + systemText(error));
    }
}

bool readerGone() {
    if (!outputIsPipe()) return false;
    // A write of nothing tells on Windows, and on a socket under Wine; Wine passes one to
    // a Unix pipe on as a write of nothing, which Linux lets through with no reader, so
    // the lines waiting are written out instead: that write fails when nobody reads.
    if (!outputBuffer.empty()) {
        flushOut();
        return false;
    }
    DWORD written = 0;
    if (WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "", 0, &written, nullptr)) return false;
    readerGoneError = GetLastError();
    return isReaderGone(readerGoneError);
}

void endForGoneReader() {
    outputBuffer.clear();  // nobody is left to read it
    if (!outputFailure) {
        outputFailure = true;
        reportLine(failureWords.cannotWrite + ": " + systemText(readerGoneError) + failureWords.readerGone);
    }
    restoreConsole();
    ExitProcess(PIPE_BROKEN_EXIT);
}

void showOnTerminal(const char* text, std::size_t size) {
    static bool screenChecked = false;
    if (!screenChecked) {
        screenChecked = true;
        // Only when keys come from the console: otherwise no question is ever answered.
        readKeyboardMode();
        DWORD mode = 0;
        HANDLE opened = outputIsTerminal() || !keyboardAvailable
                            ? INVALID_HANDLE_VALUE
                            : CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          nullptr, OPEN_EXISTING, 0, nullptr);
        if (opened != INVALID_HANDLE_VALUE && GetConsoleMode(opened, &mode)) {
            screen = opened;
            setConsoleCodePage();
        }
    }
    if (screen == INVALID_HANDLE_VALUE || size == 0) return;
    // The entry line's own break ends the line before on standard output; here there may
    // be none to end. Names reach the console masked, whatever standard output gets.
    const bool breakFirst = text[0] == '\n';
    if (breakFirst) {
        ++text;
        --size;
    }
    std::string scratch;
    std::string shown = breakFirst && screenMidLine ? "\r\n" : "";
    shown += displayText(std::string(text, size), true, scratch);
    screenMidLine = true;
    writeAll(screen, shown.data(), shown.size());
}

void nameOutputFailure(const OutputFailureWords& words) { failureWords = words; }

bool outputFailed() { return outputFailure; }

bool outputIsTerminal() {
    static const bool terminal = isConsole(STD_OUTPUT_HANDLE);
    return terminal;
}

bool errorIsTerminal() {
    static const bool terminal = isConsole(STD_ERROR_HANDLE);
    return terminal;
}

void reportLine(const std::string& text) {
    flushOut();
    std::string line;
    appendText(line, text.data(), text.size());
    line.append("\r\n", 2);
    writeAll(GetStdHandle(STD_ERROR_HANDLE), line.data(), line.size());
}

void prepareConsole() {
    outputBuffer.reserve(OUTPUT_BUFFER_SIZE + 2);
    SetConsoleCtrlHandler(onControlEvent, TRUE);
    errorIsTerminal();  // taken now, at start-up, as standard output's is just below
    // Only a console has a code page to set; the one it had is put back at the end, as the
    // shell that started us reads it too.
    if (outputIsTerminal()) setConsoleCodePage();
}

void restoreConsole() {
    flushOut();
    if (screenMidLine) writeAll(screen, "\r\n", 2);
    screenMidLine = false;
    if (savedConsoleCodePage != 0) SetConsoleOutputCP(savedConsoleCodePage);
    savedConsoleCodePage = 0;
    if (inputModeChanged) SetConsoleMode(keyboard, savedInputMode);
    inputModeChanged = false;
}

void holdInterruptions() { holding.store(true); }

void endIfInterrupted() {
    if (!interrupted.load()) return;
    restoreConsole();
    ExitProcess(STATUS_CONTROL_C_EXIT);
}

int readKey() {
    // _getch reads the console itself, never standard input, so the check is made on
    // CONIN$: without a console _getch would fail at once on every call, and the prompt
    // would spin. Echo and line editing are turned off before the question is shown, not
    // only while _getch waits: a console that echoes keys typed meanwhile (Wine's does)
    // would print them on the question's line.
    readKeyboardMode();
    flushOut();
    if (!keyboardAvailable) return KEY_NONE;
    // From here an interruption ends the wait at once; one that came before is acted on now.
    waitingForKey.store(true);
    endIfInterrupted();
    // Function and cursor keys come as a lead code 0 or 0xE0 and then a second code;
    // both are handed on, and the prompt ignores them.
    const int key = _getch();
    waitingForKey.store(false);
    if (key == EOF) {
        keyboardAvailable = false;
        return KEY_NONE;
    }
    return key;
}

}  // namespace win32
