#pragma once

class RunReport;

// Asks "delete y/n ? " on the current line and waits for Y, N or Esc (other keys are
// ignored). Echoes the answer; returns true for Y, false for N. Never returns after Esc, or
// when no key can ever come: it then ends the process with the run's status (0 for agecull).
bool confirmDelete(RunReport& report);
