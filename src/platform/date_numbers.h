#pragma once

// Reading the numbers back from a short date text, for a platform whose locale gives the
// short date only as text.

// Reads up to three integers from a short date, each run of non-digits counting as one
// separator, so "7/12/2026", "07.12.2026" and "2026-12-07" all give three numbers.
// Numbers not present stay 0. Returns how many were read.
int readDateNumbers(const char* date, int numbers[3]);
