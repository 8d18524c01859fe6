// Standard output: a buffer of our own, written out in whole 64 KiB pieces with write(2),
// and what is said on standard error when it cannot be written.
//
// stdio is not used for it: glibc ignores the size given to setvbuf without a buffer and
// writes 4 KiB at a time, and a write that blocks must be given up when a signal asks the
// run to end (terminal.cpp bounds every write this file makes).
//
// Three ways a write can fail, three answers:
// - a full disk or a closed descriptor: said once, and the sweep goes on, its removals
//   unaffected; the lines that could not be written are dropped;
// - the reader of a pipe has gone (EPIPE; SIGPIPE is ignored so that the write says so):
//   said once, and the run ends as a filter does, before any further removal;
// - blocked for good after Ctrl-C, kill or a hang-up: terminal.cpp ends the run.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/posix/posix.h"

namespace posix {

namespace {

constexpr std::size_t BUFFER_SIZE = std::size_t{1} << 16;

char buffer[BUFFER_SIZE];
std::size_t used = 0;
// A pipe or a socket: its reader can go away while the run goes on.
bool outputHasReader = false;

// A report that cannot be written must not pass in silence, as a full disk under a
// redirected output otherwise would: the first failure is said, with the system's reason.
// Later ones add nothing, and the sweep goes on with its removals all the same.
bool failed = false;
OutputFailureWords words;
// words.abandoned and its line break, whole, for a handler to write as it is.
std::string abandonedLine;

void sayWriteFailure(int error) {
    if (failed) return;
    failed = true;
    std::fprintf(stderr, "%s: %s\n", words.cannotWrite.c_str(), std::strerror(error));
}

// Waits until a descriptor that was handed over non-blocking can take more.
void waitUntilWritable() {
    struct pollfd writable {};
    writable.fd = STDOUT_FILENO;
    writable.events = POLLOUT;
    poll(&writable, 1, -1);
}

void writeAll(const char* data, std::size_t size) {
    while (size > 0) {
        beginOutputWrite();
        const ssize_t wrote = write(STDOUT_FILENO, data, size);
        const int error = wrote < 0 ? errno : 0;
        if (error == EAGAIN || error == EWOULDBLOCK) waitUntilWritable();
        endOutputWrite();
        if (wrote > 0) {
            data += wrote;
            size -= static_cast<std::size_t>(wrote);
        } else if (error == EPIPE) {
            endForGoneReader();
        } else if (error != EINTR && error != EAGAIN && error != EWOULDBLOCK) {
            sayWriteFailure(wrote == 0 ? EIO : error);
            return;
        }
    }
}

}  // namespace

void startOutput() {
    struct stat info;
    outputHasReader = fstat(STDOUT_FILENO, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode));
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

bool readerGone() {
    if (!outputHasReader) return false;
    // A pipe with no reader polls as an error, a socket whose peer closed as a hang-up.
    struct pollfd state {};
    state.fd = STDOUT_FILENO;
    return poll(&state, 1, 0) == 1 && (state.revents & (POLLERR | POLLHUP)) != 0;
}

void nameOutputFailure(const OutputFailureWords& given) {
    words = given;
    abandonedLine = words.abandoned.empty() ? std::string() : words.abandoned + "\n";
}

bool outputFailed() { return failed; }

void endForGoneReader() {
    used = 0;  // nobody is left to read it
    failed = true;
    std::fprintf(stderr, "%s: %s%s\n", words.cannotWrite.c_str(), std::strerror(EPIPE), words.readerGone.c_str());
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
