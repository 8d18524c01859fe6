// Linked only into the fully static build (AGECULL_STATIC), which passes
// -Wl,--wrap=nl_langinfo_l so that every call lands here.
//
// glibc's static library builds nl_langinfo_l to read the calling thread's current locale
// and ignore the one it is given (glibc 2.36, objdump of libc.a's __nl_langinfo_l): with a
// locale from newlocale it answers the C locale's D_FMT and AM_STR, and the dates come out
// month first. strftime_l and the thread's own locale are right, so the item is read with
// the given locale made the thread's for the moment. The strings belong to the locale's
// data, which outlives the switch back.

#include <langinfo.h>
#include <locale.h>

extern "C" char* __wrap_nl_langinfo_l(nl_item item, locale_t locale) {
    const locale_t previous = uselocale(locale);
    char* const value = nl_langinfo(item);
    uselocale(previous);
    return value;
}
