#pragma once
// What corvane-scan and corvane-set read from their command lines alike.

#include <string>

// One argument as given: "--name=value" is "--name value" in one argument.
struct OptionWord {
    std::string name;
    std::string value;
    bool joined = false;   // the value came after an equals sign
};

OptionWord SplitOptionWord(const char* argument);
// The option's value: the joined one, else the next argument; false with a reason.
bool TakeOptionValue(OptionWord& option, int argc, const char* const* argv, int& i, std::string& error);
// False with a reason when a flag was given a value.
bool RefuseOptionValue(const OptionWord& option, std::string& error);
// --timeout's milliseconds, 1 to 600000; false with a reason.
bool ParseTimeoutMs(const std::string& value, int& ms, std::string& error);
