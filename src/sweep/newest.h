#pragma once

// Which entries of a directory are its n newest, for /KEEP:n. Newest means the latest
// last-write time; among equal times the name that sorts last in byte order counts as newer,
// as dated names do, so the choice never depends on the order the system lists them in.
// Memory is bounded by n, whatever the size of the directory.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

class NewestEntries {
public:
    explicit NewestEntries(std::int32_t count) : count_(static_cast<std::size_t>(count)) {}

    // Offers one entry; it stays among the kept only while fewer than n are newer.
    void offer(FileTime lastWrite, const char* name, std::size_t nameLength, const EntryIdentity& identity);
    // Ends the offers: from now on holds() answers.
    void seal();
    // Whether the entry with `identity` is one of the n newest offered before seal().
    bool holds(const EntryIdentity& identity) const;
    // Forgets everything, for the next directory.
    void clear();

private:
    struct Candidate {
        FileTime lastWrite;
        std::string name;
        EntryIdentity identity;
    };
    // The heap's top is the oldest of those kept, the first to give way to a newer one.
    static bool newer(const Candidate& a, const Candidate& b);

    std::size_t count_;
    std::vector<Candidate> heap_;
    std::vector<EntryIdentity> kept_;  // sorted
};
