#pragma once

#include <cstdint>

class Platform;
class RunReport;

// Writes the banner (name, purpose, version) with no line break of its own.
void printBanner(Platform& platform);

// Writes the usage block.
void printUsage(Platform& platform);

// atol's reading of a day count, saturated to the 32-bit signed range instead of wrapping:
// leading white space, an optional sign, then digits up to the first non-digit.
std::int32_t parseDayCount(const char* text);

// The whole command: opening lines, argument checks, then the sweep. Always returns 0.
int runCommand(int argc, const char* const* argv, Platform& platform);
// The same command for `report`'s program, which words its errors and records what went
// wrong; its exitStatus() is read once standard output has been flushed.
void runCommand(int argc, const char* const* argv, RunReport& report);
