#pragma once
// How qarn-reader writes what the reader handed over, for people and for
// scripts (JSON).

#include "reader_options.h"

#include <cstddef>
#include <string>

// Upper-case hex, the bytes separated by a space when `spaced`.
std::string Hex(const unsigned char* bytes, std::size_t count, bool spaced);

// Text from the command line or a reader as it may go into a message:
// control characters and bytes that are not UTF-8 become \xNN.
std::string Printable(const std::string& text);

// "YYYY-MM-DD HH:MM:SS" from a clock record whose year is given in full.
std::string ClockText(int year, const ClockBytes& clock);

// "Sunday" to "Saturday" for 0 to 6; "day N" for a value no weekday has.
std::string WeekdayName(unsigned dayOfWeek);

// A result code of the library as its name and value, e.g. "RC_FAILED (255)".
std::string ResultName(int result);
