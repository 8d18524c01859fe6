// The pattern's directory part, opened one component at a time. The kernel would follow
// any symbolic link on the way, and a user who owns a directory on that path could point it
// anywhere: root cleaning /tmp/u/cache would then delete the old files of whatever
// directory u chose. So every component is opened without following links, and a link is
// read here and followed only when whoever could have put it there is root, the running
// user, or the owner of the directory it leads to who can reach that directory anyway.
// A '..' leads wherever the directory before it now stands: after a link someone placed,
// or a directory someone could have renamed elsewhere, it is judged the same way for each
// of them, since it leads wherever they chose.

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/posix.h"
#include "platform/posix/reach.h"

namespace posix {

namespace {

// The kernel's own limit on the links one lookup may follow.
constexpr int MAX_LINKS = 40;

#ifdef O_PATH
// Enough to walk through a directory that may be searched but not read, and to hold a
// link itself: its owner and its text then come from the very link that was opened.
constexpr int STEP_FLAGS = O_PATH | O_NOFOLLOW | O_CLOEXEC;
#else
constexpr int STEP_FLAGS = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#endif

class Descriptor {
public:
    explicit Descriptor(int descriptor = -1) : descriptor_(descriptor) {}
    ~Descriptor() {
        if (descriptor_ >= 0) close(descriptor_);
    }
    Descriptor(Descriptor&& other) noexcept : descriptor_(other.release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            if (descriptor_ >= 0) close(descriptor_);
            descriptor_ = other.release();
        }
        return *this;
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return descriptor_; }
    explicit operator bool() const { return descriptor_ >= 0; }
    int release() {
        const int descriptor = descriptor_;
        descriptor_ = -1;
        return descriptor;
    }

private:
    int descriptor_;
};

class Walk {
public:
    explicit Walk(SearchFailure& failure) : failure_(failure), self_(geteuid()) {}

    // Resolves `text` from `current`. Messages name a component by `shown` followed by the
    // text up to it: the path as typed, or within a link "link -> its text".
    Descriptor resolve(Descriptor current, const std::string& shown, const std::string& text) {
        struct stat here;
        if (fstat(current.get(), &here) != 0) return fail(shown + text, errno);
        std::size_t position = 0;
        while (position < text.size()) {
            if (text[position] == '/') {
                ++position;
                continue;
            }
            const std::size_t start = position;
            position = std::min(text.find('/', start), text.size());
            const std::string name = text.substr(start, position - start);
            if (name == ".") continue;
            const std::string place = shown + text.substr(0, position);
            Descriptor next;
            struct stat info;
            std::string linkText;
            if (!openStep(current.get(), name.c_str(), next, info, linkText)) return fail(place + "/", errno);
            if (S_ISDIR(info.st_mode)) {
                if (name == "..") {
                    noteMovers(here, info);
                    if (!climbAllowed(next.get(), info, place)) return Descriptor();
                }
                current = std::move(next);
                here = info;
                continue;
            }
            if (!S_ISLNK(info.st_mode)) return fail(place + "/", ENOTDIR);
            current = follow(std::move(current), info.st_uid, place, linkText);
            if (!current) return current;
            if (fstat(current.get(), &here) != 0) return fail(place + "/", errno);
        }
        return current;
    }

private:
    // Opens one component without following it: a directory comes back open in `next`; for
    // a link, `linkText` gets its text. `info` describes what was found. False, with errno
    // set, when it cannot be opened.
    static bool openStep(int directory, const char* name, Descriptor& next, struct stat& info, std::string& linkText) {
        Descriptor step(openat(directory, name, STEP_FLAGS));
#ifdef O_PATH
        if (!step || fstat(step.get(), &info) != 0) return false;
        if (S_ISLNK(info.st_mode)) return readLink(step.get(), "", linkText);
#else
        if (!step) {
            const int openError = errno;
            if (fstatat(directory, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)) {
                return readLink(directory, name, linkText);
            }
            errno = openError;
            return false;
        }
        if (fstat(step.get(), &info) != 0) return false;
#endif
        next = std::move(step);
        return true;
    }

    static bool readLink(int directory, const char* name, std::string& text) {
        char buffer[PATH_MAX];
        const ssize_t length = readlinkat(directory, name, buffer, sizeof buffer);
        if (length < 0) return false;
        if (static_cast<std::size_t>(length) >= sizeof buffer) {
            errno = ENAMETOOLONG;
            return false;
        }
        if (length == 0) {
            errno = ENOENT;  // as the kernel treats an empty link
            return false;
        }
        text.assign(buffer, static_cast<std::size_t>(length));
        return true;
    }

    // Follows the link `place`, owned by `linkOwner`, found in `holder`, and gives the
    // directory it leads to when the step is safe. Relative text starts from `holder`, and
    // ".." in it from there, as in the kernel.
    Descriptor follow(Descriptor holder, uid_t linkOwner, const std::string& place, const std::string& linkText) {
        if (depth_ == 0) outermost_ = place;
        // A loop is named by the link as typed, not by the whole circle of texts.
        if (++linksFollowed_ > MAX_LINKS) return fail(outermost_ + "/", ELOOP);
        struct stat holderInfo;
        if (fstat(holder.get(), &holderInfo) != 0) return fail(place + "/", errno);
        // Where others than the owner may write and the sticky bit does not keep their hands
        // off entries they do not own, any of them could have renamed some other link over
        // this one's name: the holder is no more trusted than the least trusted of them.
        if ((holderInfo.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (holderInfo.st_mode & S_ISVTX) == 0) {
            refuse(SearchFailure::Reason::LINK_IN_SHARED_DIRECTORY, place).mode = holderInfo.st_mode & 07777;
            return Descriptor();
        }
        const bool absolute = linkText[0] == '/';
        Descriptor start(absolute ? open("/", STEP_FLAGS | O_DIRECTORY) : fcntl(holder.get(), F_DUPFD_CLOEXEC, 0));
        if (!start) return fail(place + "/", errno);
        ++depth_;
        Descriptor target = resolve(std::move(start), place + " -> ", linkText);
        --depth_;
        if (!target) return target;
        struct stat targetInfo;
        if (fstat(target.get(), &targetInfo) != 0) return fail(place + "/", errno);
        // Whoever owns the directory could have replaced the link (in a sticky one, only the
        // link's owner and the directory's), and whoever owns the link placed it: each must
        // be trusted for the directory it leads to.
        for (const bool byHolder : {true, false}) {
            const uid_t placer = byHolder ? holderInfo.st_uid : linkOwner;
            if (distrusted(placer, target.get(), targetInfo)) {
                refuseStranger(SearchFailure::Reason::LINK_PLACED_BY_STRANGER, place, placer, targetInfo.st_uid)
                    .placedByHolder = byHolder;
                return Descriptor();
            }
        }
        steer(holderInfo.st_uid, false);
        steer(linkOwner, false);
        return target;
    }

    // Who, besides root and the running user, could have put `directory` where it stands,
    // in `parent`, the directory its '..' reached: whoever may write there. That is the
    // parent's owner, and in a sticky parent the directory's own owner too; in a parent its
    // group or others may write without the sticky bit, anyone among them, and who they are
    // is not known here.
    void noteMovers(const struct stat& directory, const struct stat& parent) {
        if (directory.st_dev == parent.st_dev && directory.st_ino == parent.st_ino) return;  // the root
        const bool sticky = (parent.st_mode & S_ISVTX) != 0;
        if (!sticky && (parent.st_mode & (S_IWGRP | S_IWOTH)) != 0 && sharedMode_ == 0) {
            sharedMode_ = parent.st_mode & 07777;
        }
        steer(parent.st_uid, true);
        if (sticky) steer(directory.st_uid, true);
    }

    void steer(uid_t user, bool mover) {
        if (user == 0 || user == self_) return;
        const auto known = [user](const Steerer& steerer) { return steerer.user == user; };
        if (std::none_of(steerers_.begin(), steerers_.end(), known)) steerers_.push_back({user, mover});
    }

    // A '..' leads wherever the users who steered the walk so far chose: each of them must
    // be trusted for the directory it reaches, as for a link's own target.
    bool climbAllowed(int directory, const struct stat& info, const std::string& place) {
        using Reason = SearchFailure::Reason;
        if (sharedMode_ != 0) {
            refuse(Reason::CLIMB_AFTER_MOVABLE_DIRECTORY, place).mode = sharedMode_;
            return false;
        }
        for (const Steerer& steerer : steerers_) {
            if (distrusted(steerer.user, directory, info)) {
                refuseStranger(steerer.mover ? Reason::CLIMB_AFTER_MOVABLE_DIRECTORY : Reason::CLIMB_AFTER_STRANGER,
                               place, steerer.user, info.st_uid);
                return false;
            }
        }
        return true;
    }

    // Whether `placer` may not send the walk to `directory`: only root, the running user,
    // and its owner who can reach it on its own may.
    bool distrusted(uid_t placer, int directory, const struct stat& info) const {
        if (placer == 0 || placer == self_) return false;
        return placer != info.st_uid || !reaches(placer, directory, info);
    }

    SearchFailure& refuse(SearchFailure::Reason reason, const std::string& place) {
        failure_.reason = reason;
        failure_.place = place;
        return failure_;
    }

    // A placer who does not own where the link leads is told from one who owns it but
    // cannot reach it by the owner given.
    SearchFailure& refuseStranger(SearchFailure::Reason reason, const std::string& place, uid_t placer,
                                  uid_t targetOwner) {
        SearchFailure& failure = refuse(reason, place);
        failure.user = placer;
        failure.targetOwner = targetOwner;
        return failure;
    }

    Descriptor fail(const std::string& place, int error) {
        failAt(failure_, place, error);
        return Descriptor();
    }

    SearchFailure& failure_;
    uid_t self_;
    // A user other than root and the running user who placed a link followed so far, or
    // could have moved a directory the walk went through.
    struct Steerer {
        uid_t user;
        bool mover;
    };
    std::vector<Steerer> steerers_;
    // Not 0: the mode of a directory others may write, holding one the walk went through.
    unsigned sharedMode_ = 0;
    int linksFollowed_ = 0;
    int depth_ = 0;
    std::string outermost_;
};

}  // namespace

void failAt(SearchFailure& failure, const std::string& place, int error) {
    failure.reason = SearchFailure::Reason::RUNTIME_ERROR;
    failure.place = place;
    failure.code = error;
}

int openDirectoryPart(const std::string& directoryPart, SearchFailure& failure) {
    const bool absolute = !directoryPart.empty() && directoryPart[0] == '/';
    const std::string shown = directoryPart.empty() ? std::string(".") : directoryPart;
    Descriptor start(open(absolute ? "/" : ".", STEP_FLAGS | O_DIRECTORY));
    if (!start) {
        failAt(failure, shown, errno);
        return -1;
    }
    Walk walk(failure);
    Descriptor reached = walk.resolve(std::move(start), std::string(), directoryPart);
    if (!reached) return -1;
    const int directory = openat(reached.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) failAt(failure, shown, errno);
    return directory;
}

}  // namespace posix
