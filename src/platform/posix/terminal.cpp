// Keys from the controlling terminal, and the signals that may end or stop the process
// while one is awaited. Keys come from /dev/tty, not standard input, so a pipe into the
// command can never answer its questions. The terminal's settings are put back after every
// key, and by the handlers below if a signal ends or stops the process meanwhile. All the
// state the handlers share lives here.

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "platform/posix/posix.h"

namespace posix {

namespace {

// After a lone ESC byte, how long to wait for the rest of a key's escape sequence.
constexpr int ESCAPE_SEQUENCE_WAIT_MS = 50;

int ttyDescriptor = -1;
struct termios savedSettings;
struct termios keySettings;
volatile std::sig_atomic_t awaitingKey = 0;

const int endingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void onEndingSignal(int signalNumber) {
    if (awaitingKey) tcsetattr(ttyDescriptor, TCSANOW, &savedSettings);
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void onStopSignal(int signalNumber) {
    const int savedErrno = errno;
    if (awaitingKey) tcsetattr(ttyDescriptor, TCSANOW, &savedSettings);
    std::signal(signalNumber, SIG_DFL);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, signalNumber);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);
    std::raise(signalNumber);
    // Continued ("fg"): back to reading keys.
    std::signal(signalNumber, onStopSignal);
    if (awaitingKey) tcsetattr(ttyDescriptor, TCSANOW, &keySettings);
    errno = savedErrno;
}

void installSignalHandlers() {
    for (int signalNumber : endingSignals) {
        struct sigaction action {};
        action.sa_handler = onEndingSignal;
        sigaction(signalNumber, &action, nullptr);
    }
    struct sigaction stop {};
    stop.sa_handler = onStopSignal;
    sigaction(SIGTSTP, &stop, nullptr);
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

int readTerminalKey() {
    if (ttyDescriptor == -1) {
        ttyDescriptor = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (ttyDescriptor < 0) {
            ttyDescriptor = -2;
        } else {
            installSignalHandlers();
        }
    }
    if (ttyDescriptor < 0 || tcgetattr(ttyDescriptor, &savedSettings) != 0) {
        flushStandardOutput();
        return KEY_NONE;
    }
    keySettings = savedSettings;
    keySettings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    keySettings.c_cc[VMIN] = 1;
    keySettings.c_cc[VTIME] = 0;
    awaitingKey = 1;
    tcsetattr(ttyDescriptor, TCSANOW, &keySettings);
    // The question shows only now: a key pressed the moment it appears is read as a key,
    // never echoed or held for Enter by a terminal still in line mode.
    flushStandardOutput();
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
    tcsetattr(ttyDescriptor, TCSANOW, &savedSettings);
    awaitingKey = 0;
    return key < 0 ? KEY_NONE : key;
}

}  // namespace posix
