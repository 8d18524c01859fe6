#pragma once

#include <string>

class RunReport;

// Asks "delete y/n ? " on the current line and waits for Y, N or Esc (other keys are
// ignored). Echoes the answer; returns true for Y, false for N. Never returns after Esc, or
// when no key can ever come: it then ends the process with the run's status (0 for agecull).
// `line` is the entry's line as standard output got it: with the question and the answer it
// is shown on the terminal too when standard output is not that terminal.
bool confirmDelete(RunReport& report, const std::string& line = std::string());
