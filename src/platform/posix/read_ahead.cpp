// Reading ahead: names are read in directory order into a small ring of batches; worker
// threads examine the matching names of the batches ahead (one fstatat each, which is most
// of a sweep's time and runs in parallel in the kernel), while the sweep's thread hands the
// entries of the oldest batch over in order. A thread that waits for a batch examines its
// unclaimed names itself, so nobody idles while there is work, and with no workers at all
// (one CPU) the sweep's thread examines each batch as it comes to it.
//
// Memory is the ring, whatever the size of the directory. Workers block every signal: the
// sweep's own thread is the one that takes them. The invariants between the threads are
// asserted in debug builds.

#include <algorithm>
#include <cassert>
#include <csignal>
#include <ctime>

#include "platform/posix/read_ahead.h"

namespace posix {

namespace {

// Slots claimed at a time: enough to make the locking cheap, few enough to share a batch.
constexpr std::size_t CLAIM_SLOTS = 32;

std::int64_t monotonicNow() {
    struct timespec now;
#ifdef CLOCK_MONOTONIC_COARSE
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);  // a few ms fine, and far cheaper per entry
#else
    clock_gettime(CLOCK_MONOTONIC, &now);
#endif
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace

ReadAhead::ReadAhead(DIR* directory, std::string namePattern, unsigned workers)
    : directory_(directory), descriptor_(dirfd(directory)), namePattern_(std::move(namePattern)) {
    fillAndPublish(ring_[0]);
    if (namesEnded_) return;
    startWorkers(workers);
    for (std::size_t i = 1; i < BATCHES && !namesEnded_; ++i) fillAndPublish(ring_[i]);
}

ReadAhead::~ReadAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    workReady_.notify_all();
    for (pthread_t worker : workers_) pthread_join(worker, nullptr);
}

bool ReadAhead::next(const char*& name, std::size_t& length, EntryStatus& status, int& error) {
    for (;;) {
        assert(handOver_ <= published_ && published_ - handOver_ <= BATCHES);
        if (handOver_ == published_) return false;  // every batch handed over, and no more names
        Batch& batch = ring_[handOver_ % BATCHES];
        if (!handOverReady_) {
            waitUntilExamined(batch);
            handOverReady_ = true;
        }
        assert(position_ <= batch.slots.size());
        if (position_ < batch.slots.size()) {
            Slot& slot = batch.slots[position_++];
            name = batch.names.data() + slot.offset;
            length = slot.length;
            if (monotonicNow() - slot.examinedAt > STALE_NANOSECONDS) {
                slot.error = examineEntry(descriptor_, name, slot.status);
            }
            error = slot.error;
            status = slot.status;
            return true;
        }
        // The batch is used up, and its last name with it: its storage takes the next names.
        ++handOver_;
        position_ = 0;
        handOverReady_ = false;
        if (!namesEnded_) fillAndPublish(batch);
    }
}

// Only ever called on a batch no other thread can see: a new one, or one handed over whole.
void ReadAhead::fillAndPublish(Batch& batch) {
    assert(&batch == &ring_[published_ % BATCHES] && published_ - handOver_ < BATCHES);
    assert(batch.finished == batch.slots.size());  // examined whole, or never filled
    batch.names.clear();
    batch.slots.clear();
    batch.finished = 0;
    while (batch.slots.size() < BATCH_NAMES) {
        std::size_t length = 0;
        const struct dirent* found = nextMatchingName(directory_, namePattern_, length, readError_, sawDirectory_);
        if (found == nullptr) {
            namesEnded_ = true;
            break;
        }
        Slot slot;
        slot.offset = batch.names.size();
        slot.length = length;
        batch.names.insert(batch.names.end(), found->d_name, found->d_name + length + 1);
        batch.slots.push_back(slot);
    }
    if (batch.slots.empty()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++published_;
    }
    if (!workers_.empty()) workReady_.notify_all();
}

void ReadAhead::startWorkers(unsigned count) {
    if (count == 0) return;
    // Threads inherit the signal mask of the thread that makes them: with everything blocked
    // from their first instruction, no signal can ever be delivered to a worker.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    workers_.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
        pthread_t worker;
        // Without a thread the work is still done: by the sweep's thread, while it waits.
        if (pthread_create(&worker, nullptr, &ReadAhead::workerMain, this) != 0) break;
        workers_.push_back(worker);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void ReadAhead::waitUntilExamined(Batch& batch) {
    std::unique_lock<std::mutex> lock(mutex_);
    while (batch.finished < batch.slots.size()) {
        std::size_t sequence = 0;
        std::size_t begin = 0;
        std::size_t end = 0;
        // Claims are made in order, so any claim left is in this batch or a later one.
        assert(claimBatch_ >= handOver_);
        if (claimBatch_ == handOver_ && claim(sequence, begin, end)) {
            lock.unlock();
            examineSlots(batch, begin, end);
            lock.lock();
            batch.finished += end - begin;
            assert(batch.finished <= batch.slots.size());
        } else {
            batchDone_.wait(lock);
        }
    }
}

bool ReadAhead::claim(std::size_t& sequence, std::size_t& begin, std::size_t& end) {
    assert(claimBatch_ <= published_);
    if (claimBatch_ == published_) return false;
    sequence = claimBatch_;
    const std::size_t size = ring_[sequence % BATCHES].slots.size();
    begin = claimSlot_;
    end = std::min(begin + CLAIM_SLOTS, size);
    assert(begin < end);  // a published batch is never empty, and is left at its last claim
    // A batch whose last slots are claimed is left at once: its storage may be refilled
    // as soon as those are examined and handed over.
    if (end == size) {
        ++claimBatch_;
        claimSlot_ = 0;
    } else {
        claimSlot_ = end;
    }
    return true;
}

void ReadAhead::examineSlots(Batch& batch, std::size_t begin, std::size_t end) {
    // Taken before the first fstatat, so an examination is never thought younger than it is.
    const std::int64_t now = monotonicNow();
    for (std::size_t i = begin; i < end; ++i) {
        Slot& slot = batch.slots[i];
        slot.error = examineEntry(descriptor_, batch.names.data() + slot.offset, slot.status);
        slot.examinedAt = now;
    }
}

void ReadAhead::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        std::size_t sequence = 0;
        std::size_t begin = 0;
        std::size_t end = 0;
        while (!stopping_ && !claim(sequence, begin, end)) workReady_.wait(lock);
        if (stopping_) return;
        Batch& batch = ring_[sequence % BATCHES];
        lock.unlock();
        examineSlots(batch, begin, end);
        lock.lock();
        batch.finished += end - begin;
        assert(batch.finished <= batch.slots.size());
        // Only the sweep's thread waits for a batch to be done.
        if (batch.finished == batch.slots.size()) batchDone_.notify_one();
    }
}

void* ReadAhead::workerMain(void* self) {
    static_cast<ReadAhead*>(self)->work();
    return nullptr;
}

}  // namespace posix
