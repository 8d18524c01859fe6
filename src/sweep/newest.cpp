#include "sweep/newest.h"

#include <algorithm>

bool NewestEntries::newer(const Candidate& a, const Candidate& b) {
    if (a.lastWrite != b.lastWrite) return a.lastWrite > b.lastWrite;
    return a.name > b.name;  // std::string compares as unsigned bytes
}

void NewestEntries::offer(FileTime lastWrite, const char* name, std::size_t nameLength, const EntryIdentity& identity) {
    if (count_ == 0) return;
    Candidate candidate{lastWrite, std::string(name, nameLength), identity};
    if (heap_.size() < count_) {
        heap_.push_back(std::move(candidate));
        std::push_heap(heap_.begin(), heap_.end(), newer);
    } else if (newer(candidate, heap_.front())) {
        std::pop_heap(heap_.begin(), heap_.end(), newer);
        heap_.back() = std::move(candidate);
        std::push_heap(heap_.begin(), heap_.end(), newer);
    }
}

namespace {

bool before(const EntryIdentity& a, const EntryIdentity& b) {
    return a.device != b.device ? a.device < b.device : a.file < b.file;
}

}  // namespace

void NewestEntries::seal() {
    kept_.clear();
    for (const Candidate& candidate : heap_) kept_.push_back(candidate.identity);
    std::sort(kept_.begin(), kept_.end(), before);
    heap_.clear();
}

bool NewestEntries::holds(const EntryIdentity& identity) const {
    return std::binary_search(kept_.begin(), kept_.end(), identity, before);
}

void NewestEntries::clear() {
    heap_.clear();
    kept_.clear();
}
