#pragma once

#include <cstdint>

class Platform;
class RunReport;

// Writes the banner (name, purpose, version) with no line break of its own.
void printBanner(Platform& platform);

enum class Program;

// Writes the usage block: agecull-strict's shows its own switches.
void printUsage(Platform& platform, Program program);

// atol's reading of a day count, saturated to the 32-bit signed range instead of wrapping:
// leading white space, an optional sign, then digits up to the first non-digit.
std::int32_t parseDayCount(const char* text);

// The number of a /KEEP:n or /MAX:n switch: plain decimal digits, 0 to 2147483647; -1 for
// anything else (empty, a sign, another character, past the range).
std::int64_t parseCount(const char* text);

// The whole command: opening lines, argument checks, then the sweep. Always returns 0.
int runCommand(int argc, const char* const* argv, Platform& platform);
// The same command for `report`'s program, which words its errors and records what went
// wrong; its exitStatus() is read once standard output has been flushed.
void runCommand(int argc, const char* const* argv, RunReport& report);
