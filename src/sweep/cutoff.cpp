#include "sweep/cutoff.h"

#include "platform/platform.h"

FileTime cutoffFrom(FileTime localNow, std::int32_t days) {
    if (days <= 0) return localNow;
    // days * TICKS_PER_DAY <= localNow exactly when days <= localNow / TICKS_PER_DAY,
    // so the multiplication below can neither overflow nor go past the start of time.
    const FileTime wholeDays = localNow / TICKS_PER_DAY;
    if (static_cast<FileTime>(days) > wholeDays) return 0;
    return localNow - static_cast<FileTime>(days) * TICKS_PER_DAY;
}

FileTime computeCutoff(Platform& platform, std::int32_t days) {
    return cutoffFrom(platform.toLocalTime(platform.currentTime()), days);
}
