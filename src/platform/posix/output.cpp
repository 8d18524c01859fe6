// Standard output: a buffer of our own, written out in whole 4 KiB pieces with write(2),
// and standard error, written straight through with write(2).
//
// 4 KiB, as find's stdio writes: the record of the removals is never further behind them
// than that, whether the run is killed (SIGKILL) or its reader watches the lines come.
// stdio is not used for either stream: a write that blocks must be given up when a signal
// asks the run to end (terminal.cpp bounds every write this file makes, on both streams).
//
// Three ways a write can fail, three answers:
// - a full disk or a closed descriptor: said once, and the sweep goes on, its removals
//   unaffected; the lines that could not be written are dropped;
// - the reader of a pipe has gone (EPIPE; SIGPIPE is ignored so that the write says so):
//   said once, and the run ends as a filter does, before any further removal;
// - blocked for good after Ctrl-C, kill or a hang-up: terminal.cpp ends the run.

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/posix/posix.h"

namespace posix {

namespace {

constexpr std::size_t BUFFER_SIZE = 4096;

char buffer[BUFFER_SIZE];
std::size_t used = 0;
// A pipe or a socket: its reader can go away while the run goes on.
bool outputHasReader = false;
// A socket of another kind than AF_UNIX (TCP): see readerGone.
bool outputIsNetworkSocket = false;

// A report that cannot be written must not pass in silence, as a full disk under a
// redirected output otherwise would: the first failure is said, with the system's reason.
// Later ones add nothing, and the sweep goes on with its removals all the same.
bool failed = false;
OutputFailureWords words;
// words.abandoned and its line break, whole, for a handler to write as it is.
std::string abandonedLine;

// A pipe with no reader polls as an error, a socket closed both ways as a hang-up.
bool hungUp() {
    struct pollfd state {};
    state.fd = STDOUT_FILENO;
    return poll(&state, 1, 0) == 1 && (state.revents & (POLLERR | POLLHUP)) != 0;
}

// Whether the peer of a socket has said it will send no more (FIN).
bool peerFinishedSending() {
#ifdef POLLRDHUP
    struct pollfd state {};
    state.fd = STDOUT_FILENO;
    state.events = POLLRDHUP;
    return poll(&state, 1, 0) == 1 && (state.revents & POLLRDHUP) != 0;
#else
    char byte;
    return recv(STDOUT_FILENO, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
#endif
}

// Waits until a descriptor that was handed over non-blocking can take more.
void waitUntilWritable(int descriptor) {
    struct pollfd writable {};
    writable.fd = descriptor;
    writable.events = POLLOUT;
    poll(&writable, 1, -1);
}

void sayWriteFailure(int error) {
    if (failed) return;
    failed = true;
    writeErrorLine(words.cannotWrite + ": " + std::strerror(error));
}

void writeAll(const char* data, std::size_t size) {
    const int error = writeBounded(STDOUT_FILENO, data, size);
    if (error == EPIPE) endForGoneReader();
    if (error != 0) sayWriteFailure(error);
}

}  // namespace

int writeBounded(int descriptor, const char* data, std::size_t size) {
    while (size > 0) {
        beginOutputWrite(descriptor);
        const ssize_t wrote = write(descriptor, data, size);
        const int error = wrote < 0 ? errno : 0;
        if (error == EAGAIN || error == EWOULDBLOCK) waitUntilWritable(descriptor);
        endOutputWrite();
        if (wrote > 0) {
            data += wrote;
            size -= static_cast<std::size_t>(wrote);
        } else if (error != EINTR && error != EAGAIN && error != EWOULDBLOCK) {
            return wrote == 0 ? EIO : error;
        }
    }
    return 0;
}

void startOutput() {
    struct stat info;
    const bool known = fstat(STDOUT_FILENO, &info) == 0;
    const bool socket = known && S_ISSOCK(info.st_mode);
    outputHasReader = socket || (known && S_ISFIFO(info.st_mode));
    struct sockaddr_storage address {};
    socklen_t size = sizeof address;
    outputIsNetworkSocket = socket && getsockname(STDOUT_FILENO, reinterpret_cast<struct sockaddr*>(&address), &size) == 0 &&
                            address.ss_family != AF_UNIX;
    catchBrokenPipes();
}

void writeOut(const char* data, std::size_t size) {
    while (size > 0) {
        const std::size_t part = size < BUFFER_SIZE - used ? size : BUFFER_SIZE - used;
        std::memcpy(buffer + used, data, part);
        used += part;
        data += part;
        size -= part;
        if (used == BUFFER_SIZE) flushOut();
    }
}

void flushOut() {
    const std::size_t size = used;
    used = 0;
    writeAll(buffer, size);
}

void writeErrorLine(const std::string& text) {
    std::string line = text + "\n";
    writeBounded(STDERR_FILENO, line.data(), line.size());
}

bool readerGone() {
    if (!outputHasReader) return false;
    if (hungUp()) return true;
    // A TCP peer that closed has sent FIN alone, and so has one that only finished sending
    // and still reads. The lines waiting tell them apart: written to a closed peer, they
    // draw its reset (at once on this machine, a round trip later across a network). A
    // Unix socket's peer hangs up when it closes, and the journal's never sends at all.
    if (!outputIsNetworkSocket || !peerFinishedSending()) return false;
    flushOut();
    return hungUp();
}

void nameOutputFailure(const OutputFailureWords& given) {
    words = given;
    abandonedLine = words.abandoned.empty() ? std::string() : words.abandoned + "\n";
}

bool outputFailed() { return failed; }

void endForGoneReader() {
    used = 0;  // nobody is left to read it
    failed = true;
    writeErrorLine(words.cannotWrite + ": " + std::strerror(EPIPE) + words.readerGone);
    endAfterBrokenPipe(words.readerGoneStatus);
}

void sayOutputAbandoned() {
    // Worded before the run; only read here.
    const char* rest = abandonedLine.data();
    std::size_t size = abandonedLine.size();
    while (size > 0) {
        const ssize_t wrote = write(STDERR_FILENO, rest, size);
        if (wrote > 0) {
            rest += wrote;
            size -= static_cast<std::size_t>(wrote);
        } else if (wrote < 0 && errno == EINTR) {
            continue;
        } else {
            return;
        }
    }
}

}  // namespace posix
