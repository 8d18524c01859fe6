#pragma once

// Examining entries, and examining them ahead of the sweep on worker threads.
// examine.cpp: the next matching name, one entry's status, and how many worker threads
// may examine at once.
// read_ahead.cpp: ReadAhead, the one way a directory is read: its names in batches, in
// directory order, with worker threads (none on one CPU) examining the matching names of a
// batch while the sweep works through the batch before it.

#include <sys/stat.h>
#include <sys/types.h>

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <dirent.h>
#include <pthread.h>

#include "common/types.h"

namespace posix {

// What the search keeps of an entry's own status (never a link's target).
struct EntryStatus {
    dev_t device = 0;
    ino_t inode = 0;
    mode_t mode = 0;
    FileTime lastWrite = 0;
};

// fstatat relative to `directory`, never following a link: 0, or the errno it failed with.
int examineEntry(int directory, const char* name, EntryStatus& out);

// The next name in `directory` that matches `namePattern`, with its length. Null at the
// end of the listing, with `error` then 0, or the errno that cut the listing short.
// `sawDirectory` is set once a name passed on the way (matching or not, other than "."
// and "..") may be a directory.
const struct dirent* nextMatchingName(DIR* directory, const std::string& namePattern, std::size_t& length, int& error,
                                     bool& sawDirectory);

// Worker threads worth starting: none when this process may run on one CPU only (the
// sweep's thread then examines every batch itself), otherwise one per CPU, at most
// MAX_EXAMINERS.
unsigned workerCount();

// Beyond four, the one thread that reads the names and writes the lines is the limit, and
// more threads only queue on the directory's locks.
constexpr unsigned MAX_EXAMINERS = 4;
// Matching names per batch, and batches in flight: the one being handed over and the ones
// being examined after it. Examination runs at most BATCHES - 1 batches ahead of the sweep.
constexpr std::size_t BATCH_NAMES = 256;
constexpr std::size_t BATCHES = 3;
// An examination older than this when its entry is handed over is done again, so that
// what the sweep shows and asks about is the entry as it is now, not as it was before the
// sweep was held up (by a blocked write, say). Removal does not rest on it: the entry is
// looked at once more right before every unlink.
constexpr std::int64_t STALE_NANOSECONDS = 50 * 1000 * 1000;

class ReadAhead {
public:
    // Reads the names of `directory` (which stays the caller's) that match `namePattern`,
    // with up to `workers` worker threads. Workers start only once the matches fill more
    // than one batch, so a small directory is examined without any.
    ReadAhead(DIR* directory, std::string namePattern, unsigned workers);
    // Stops and joins the workers; the directory must stay open until then.
    ~ReadAhead();

    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next matching name in directory order, with `error` 0 and its `status`, or the
    // errno its examination failed with. `name` stays valid until the next call. False
    // when the names are done; readError() then says whether they ended early.
    bool next(const char*& name, std::size_t& length, EntryStatus& status, int& error);
    int readError() const { return readError_; }
    // Whether a name read so far may be a directory; with the names done and no read
    // error, whether the directory may have any subdirectory at all.
    bool sawDirectory() const { return sawDirectory_; }

private:
    struct Slot {
        std::size_t offset = 0;
        std::size_t length = 0;
        int error = 0;
        std::int64_t examinedAt = 0;
        EntryStatus status;
    };
    struct Batch {
        std::vector<char> names;  // each name with its terminating NUL, one after another
        std::vector<Slot> slots;
        std::size_t finished = 0;  // slots examined; guarded by mutex_
    };

    void fillAndPublish(Batch& batch);
    void startWorkers(unsigned count);
    void waitUntilExamined(Batch& batch);
    // With mutex_ held: claims the next slots to examine, in order; false when none are left.
    bool claim(std::size_t& sequence, std::size_t& begin, std::size_t& end);
    void examineSlots(Batch& batch, std::size_t begin, std::size_t end);
    void work();
    static void* workerMain(void* self);

    DIR* directory_;
    int descriptor_;
    std::string namePattern_;
    std::array<Batch, BATCHES> ring_;  // batch number n lives in ring_[n % BATCHES]

    // The sweep's thread only.
    std::size_t handOver_ = 0;  // number of the batch being handed over
    std::size_t position_ = 0;  // its next slot to hand over
    bool handOverReady_ = false;  // all of it examined
    bool namesEnded_ = false;
    int readError_ = 0;
    bool sawDirectory_ = false;
    std::vector<pthread_t> workers_;

    // Written under mutex_; published_ is written by the sweep's thread only.
    std::mutex mutex_;
    std::condition_variable workReady_;
    std::condition_variable batchDone_;
    std::size_t published_ = 0;   // batches filled and open to examination
    std::size_t claimBatch_ = 0;  // the batch claims are made from, and the next slot in it
    std::size_t claimSlot_ = 0;
    bool stopping_ = false;
};

}  // namespace posix
