#include "option_words.h"

#include <charconv>

namespace {

constexpr int MAX_TIMEOUT_MS = 600000;

} // namespace

OptionWord SplitOptionWord(const char* argument)
{
    OptionWord word{argument, {}, false};
    // Only the first equals sign splits, and only in an option.
    const std::size_t equals = word.name.rfind("--", 0) == 0 ? word.name.find('=') : std::string::npos;
    if (equals != std::string::npos) {
        word.value = word.name.substr(equals + 1);
        word.name.erase(equals);
        word.joined = true;
    }
    return word;
}

bool TakeOptionValue(OptionWord& option, int argc, const char* const* argv, int& i, std::string& error)
{
    if (option.joined)
        return true;
    if (i + 1 >= argc) {
        error = option.name + " needs a value";
        return false;
    }
    option.value = argv[++i];
    return true;
}

bool RefuseOptionValue(const OptionWord& option, std::string& error)
{
    if (!option.joined)
        return true;
    error = option.name + " takes no value";
    return false;
}

bool ParseTimeoutMs(const std::string& value, int& ms, std::string& error)
{
    int parsed = 0;
    const char* end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, parsed);
    if (ec != std::errc() || ptr != end || parsed < 1 || parsed > MAX_TIMEOUT_MS) {
        error = "--timeout takes milliseconds from 1 to " + std::to_string(MAX_TIMEOUT_MS) + ": " + value;
        return false;
    }
    ms = parsed;
    return true;
}
