// Keys from the controlling terminal, and the signals that end or stop the process. Keys
// come from /dev/tty, not standard input, so a pipe into the command can never answer its
// questions. The terminal's settings are put back after every key, and by the handlers
// below if a signal ends or stops the process meanwhile. All the state the handlers share
// lives here.
//
// Ctrl-C, kill and a hang-up (SIGINT, SIGTERM, SIGHUP) only leave a note while the sweep
// works: it finishes the entry in hand and writes its line, then endIfInterrupted ends the
// process by the same signal, so a deleted file never goes unrecorded and whoever started
// the run still sees how it ended. A wait for a key has nothing in hand, and ends at once.
// Nor does a write to standard output or error, or to the terminal, which may block for as
// long as its reader likes: once a signal has come, each write gets OUTPUT_GRACE_SECONDS,
// and one still blocked then ends the run by the signal, the rest given up (standard error
// says so when it was standard output that blocked).
//
// When standard output goes elsewhere (a file), the question is shown on the terminal too,
// so whoever answers sees what is asked.

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "common/display.h"

#include "platform/posix/posix.h"

namespace posix {

namespace {

// After a lone ESC byte, how long to wait for the rest of a key's escape sequence.
constexpr int ESCAPE_SEQUENCE_WAIT_MS = 50;
// After Ctrl-C, kill or a hang-up, how long a write to standard output may stay blocked.
constexpr unsigned OUTPUT_GRACE_SECONDS = 1;

int ttyDescriptor = -1;
struct termios savedSettings;
struct termios keySettings;
// The terminal is in key mode (unechoed, no Enter needed), to be put back if the process
// ends or stops.
volatile std::sig_atomic_t inKeyMode = 0;
// Standard output is flushed and the process waits for a key: a signal ends it at once.
volatile std::sig_atomic_t waitingForKey = 0;
// The first held signal that came, 0 while none has.
volatile std::sig_atomic_t pendingSignal = 0;
// The descriptor a write is under way to, which may block; -1 while none is.
volatile std::sig_atomic_t writingTo = -1;
// The alarm bounds the write under way.
volatile std::sig_atomic_t graceArmed = 0;
// The signal the run is ending by, once the record has been given up.
volatile std::sig_atomic_t abandoning = 0;
bool handlersInstalled = false;
// Standard output is the terminal keys come from (1), is not (0), or not yet known (-1).
int outputIsKeyTerminal = -1;
// Text shown on the terminal has left it in the middle of a line, to be ended on exit.
volatile std::sig_atomic_t terminalMidLine = 0;
// The caller had SIGPIPE ignored before the output made it so.
bool callerIgnoresBrokenPipes = false;

const int heldSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Whether this process may change the terminal's settings. A job the shell has put in the
// background (stopped, then sent "kill %1") would itself be stopped by SIGTTOU if it tried.
bool ownsTerminal() { return tcgetpgrp(ttyDescriptor) == getpgrp(); }

void setHandler(int signalNumber, void (*handler)(int), int extraFlags = 0) {
    struct sigaction action {};
    action.sa_handler = handler;
    // Interrupted system calls carry on: the handlers only take a note, stop and resume, or
    // end the process themselves.
    action.sa_flags = SA_RESTART | extraFlags;
    sigaction(signalNumber, &action, nullptr);
}

// A signal the caller ignores stays ignored: nohup's hang-up, or Ctrl-C for a job a
// script started in the background.
void handleUnlessIgnored(int signalNumber, void (*handler)(int)) {
    struct sigaction current {};
    if (sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) return;
    setHandler(signalNumber, handler);
}

// Ends the line the question left on the terminal, so that a shell's prompt starts on its
// own; never waits for a terminal that takes no more. Async-signal-safe.
void endTerminalLine() {
    if (terminalMidLine == 0) return;
    terminalMidLine = 0;
    struct pollfd room {};
    room.fd = ttyDescriptor;
    room.events = POLLOUT;
    if (poll(&room, 1, 0) == 1 && (room.revents & POLLOUT) != 0 && write(ttyDescriptor, "\n", 1) < 0) return;
}

// Puts the terminal back if need be, then takes `signalNumber`'s default action (ending
// or stopping the process). Async-signal-safe.
void raiseWithDefaultAction(int signalNumber) {
    if (inKeyMode && ownsTerminal()) tcsetattr(ttyDescriptor, TCSANOW, &savedSettings);
    if (signalNumber != SIGTSTP) endTerminalLine();
    setHandler(signalNumber, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signalNumber);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    std::raise(signalNumber);
}

// Ends the process by `signalNumber` itself.
void endBySignal(int signalNumber) {
    raiseWithDefaultAction(signalNumber);
    _exit(128 + signalNumber);  // not reached: the default action ends the process
}

// The grace has run out for a write still blocked: the rest is given up. Only a blocked
// standard output leaves words to say, on standard error; an alarm while that is blocked
// too ends the process without them.
void onGraceOver(int) {
    if (abandoning != 0) endBySignal(abandoning);
    if (writingTo < 0 || pendingSignal == 0) return;  // that write got through after all
    abandoning = pendingSignal;
    if (writingTo == STDOUT_FILENO) {
        alarm(OUTPUT_GRACE_SECONDS);
        sayOutputAbandoned();
    }
    endBySignal(abandoning);
}

// Installed on first use, so that an alarm the caller set before exec keeps its meaning
// until then. Async-signal-safe.
void armGrace() {
    static volatile std::sig_atomic_t installed = 0;
    if (installed == 0) {
        installed = 1;
        // SA_NODEFER: a second alarm must reach the handler while it writes to standard error.
        setHandler(SIGALRM, onGraceOver, SA_NODEFER);
    }
    graceArmed = 1;
    alarm(OUTPUT_GRACE_SECONDS);
}

void onHeldSignal(int signalNumber) {
    if (waitingForKey) endBySignal(signalNumber);
    if (pendingSignal != 0) return;
    pendingSignal = signalNumber;
    if (writingTo >= 0) armGrace();
}

void onStopSignal(int signalNumber) {
    const int savedErrno = errno;
    raiseWithDefaultAction(signalNumber);
    // Continued: armed again for the next Ctrl-Z.
    setHandler(signalNumber, onStopSignal);
    errno = savedErrno;
}

// Continued ("fg"), after Ctrl-Z or after a read from the background: back in key mode if
// a key is awaited and the terminal is ours.
void onContinue(int) {
    const int savedErrno = errno;
    if (inKeyMode && ownsTerminal()) tcsetattr(ttyDescriptor, TCSANOW, &keySettings);
    errno = savedErrno;
}

// Waits up to `milliseconds` for a byte; -1 when none came.
int readByteWithin(int descriptor, int milliseconds) {
    struct pollfd ready {};
    ready.fd = descriptor;
    ready.events = POLLIN;
    if (poll(&ready, 1, milliseconds) <= 0) return -1;
    unsigned char byte;
    return read(descriptor, &byte, 1) == 1 ? byte : -1;
}

// Reads the rest of an escape sequence that began with ESC and `first`.
void swallowEscapeSequence(int descriptor, int first) {
    if (first == '[') {
        // CSI: parameter and intermediate bytes, then one final byte in 0x40..0x7E.
        for (int byte = readByteWithin(descriptor, ESCAPE_SEQUENCE_WAIT_MS); byte >= 0;
             byte = readByteWithin(descriptor, ESCAPE_SEQUENCE_WAIT_MS)) {
            if (byte >= 0x40 && byte <= 0x7E) return;
        }
    } else if (first == 'O') {
        readByteWithin(descriptor, ESCAPE_SEQUENCE_WAIT_MS);  // SS3: one more byte
    }
}

// The controlling terminal, opened once; -2 when there is none.
int terminal() {
    if (ttyDescriptor == -1) {
        ttyDescriptor = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (ttyDescriptor < 0) ttyDescriptor = -2;
    }
    return ttyDescriptor;
}

// Whether standard output is that terminal itself: a terminal whose session is ours.
// (/dev/tty has a device number of its own, so the numbers cannot be compared.)
bool outputIsTheTerminal() {
    if (isatty(STDOUT_FILENO) != 1) return false;
    const pid_t session = tcgetsid(STDOUT_FILENO);
    return session != -1 && session == getsid(0);
}

// One byte in non-canonical, unechoed mode; -1 when the terminal is gone.
int readRawByte(int descriptor) {
    unsigned char byte;
    for (;;) {
        const ssize_t got = read(descriptor, &byte, 1);
        if (got == 1) return byte;
        if (got < 0 && errno == EINTR) continue;
        return -1;
    }
}

}  // namespace

void holdInterruptions() {
    if (handlersInstalled) return;
    handlersInstalled = true;
    for (int signalNumber : heldSignals) handleUnlessIgnored(signalNumber, onHeldSignal);
    // Ctrl-\ asks for an end at once (and a core dump): only the terminal is put back.
    handleUnlessIgnored(SIGQUIT, endBySignal);
    handleUnlessIgnored(SIGTSTP, onStopSignal);
    setHandler(SIGCONT, onContinue);
}

void endIfInterrupted() {
    if (pendingSignal == 0) return;
    flushOut();
    endBySignal(pendingSignal);
}

void beginOutputWrite(int descriptor) {
    writingTo = descriptor;
    if (pendingSignal != 0) armGrace();
}

void endOutputWrite() {
    writingTo = -1;
    if (graceArmed) {
        alarm(0);
        graceArmed = 0;
    }
}

void catchBrokenPipes() {
    struct sigaction current {};
    callerIgnoresBrokenPipes = sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
    std::signal(SIGPIPE, SIG_IGN);
}

void endAfterBrokenPipe(int status) {
    if (!callerIgnoresBrokenPipes) endBySignal(SIGPIPE);
    // A caller that ignores SIGPIPE wants to be told by a status instead.
    if (inKeyMode && ownsTerminal()) tcsetattr(ttyDescriptor, TCSANOW, &savedSettings);
    endTerminalLine();
    _exit(status);
}

void showOnTerminal(const char* text, std::size_t size) {
    if (outputIsKeyTerminal < 0) outputIsKeyTerminal = terminal() < 0 || outputIsTheTerminal() ? 1 : 0;
    if (outputIsKeyTerminal == 1 || size == 0) return;
    // The entry line's own break ends the line before on standard output; here there may
    // be none to end. Names reach the terminal masked, whatever standard output gets.
    const bool breakFirst = text[0] == '\n';
    if (breakFirst) {
        ++text;
        --size;
    }
    std::string shown = breakFirst && terminalMidLine != 0 ? "\n" : "";
    std::string scratch;
    shown += displayText(std::string(text, size), true, scratch);
    terminalMidLine = 1;
    writeBounded(ttyDescriptor, shown.data(), shown.size());
}

void finishTerminal() { endTerminalLine(); }

int readKey() {
    holdInterruptions();
    if (terminal() < 0 || tcgetattr(ttyDescriptor, &savedSettings) != 0) {
        flushOut();
        return KEY_NONE;
    }
    keySettings = savedSettings;
    keySettings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    keySettings.c_cc[VMIN] = 1;
    keySettings.c_cc[VTIME] = 0;
    inKeyMode = 1;
    tcsetattr(ttyDescriptor, TCSANOW, &keySettings);
    // The question shows only now: a key pressed the moment it appears is read as a key,
    // never echoed or held for Enter by a terminal still in line mode.
    flushOut();
    // From here a signal ends the wait at once; one that came before is acted on now.
    waitingForKey = 1;
    if (pendingSignal != 0) endBySignal(pendingSignal);
    int key;
    for (;;) {
        key = readRawByte(ttyDescriptor);
        if (key != 27) break;
        // A lone ESC is the Esc key; ESC followed at once by more is a cursor or
        // function key's sequence, which is ignored like any other key.
        const int following = readByteWithin(ttyDescriptor, ESCAPE_SEQUENCE_WAIT_MS);
        if (following < 0) break;
        swallowEscapeSequence(ttyDescriptor, following);
    }
    waitingForKey = 0;
    inKeyMode = 0;
    tcsetattr(ttyDescriptor, TCSANOW, &savedSettings);
    return key < 0 ? KEY_NONE : key;
}

}  // namespace posix
