#pragma once

// The front end's fixed texts, byte for byte, as the tests expect them.

#include <string>

#include "common/version.h"

namespace expected {

inline const std::string CAUTION =
    "\n* Deleted files are NOT moved to recycle bin. Use this program with caution. *\n\n";
inline const std::string OPENING =
    "agecull " AGECULL_VERSION " - removes files older than a given number of days" + CAUTION;
inline const std::string USAGE =
    "Usage: agecull fname days [/Q] [/L]\n"
    "  fname - file name which can include wildcards * and ?.\n"
    "  days  - is the number of days.\n"
    "  /Q    - Run quietly and do not prompt to delete each file.\n"
    "  /L    - List the older files only. Do not delete them.\n"
    "\n"
    "Example: agecull *.dat 5\n"
    "  This command will delete all files ending in .dat in the current\n"
    "  directory/folder older than 5 days.\n";
inline const std::string INVALID_COUNT = "Invalid number of paramaters\n\n" + USAGE;
inline const std::string PATH_TOO_LONG = "Path too long\n";
inline const std::string DAYS_VALUE = "Number of days must be > 0\n";
inline const std::string DAYS_FORM = "days must consist of the digits 0 - 9 only\n";
inline const std::string OPTION = "Optional 3rd paramater can only be /Q or /L\n";

}  // namespace expected
