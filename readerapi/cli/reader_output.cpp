#include "reader_output.h"

#include "json_text.h"
#include "qarnapi.h"

#include <cstdio>

std::string Hex(const unsigned char* bytes, std::size_t count, bool spaced)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", bytes[i]);
        if (spaced && i > 0)
            text += ' ';
        text += pair;
    }
    return text;
}

std::string Printable(const std::string& text)
{
    std::string shown;
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        const std::size_t length = json_text::Utf8SequenceLength(text, at);
        if (length == 0 || byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            shown += escape;
            ++at;
            continue;
        }
        shown.append(text, at, length);
        at += length;
    }
    return shown;
}

std::string ClockText(int year, const ClockBytes& clock)
{
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u", year, clock[1], clock[2], clock[3],
                  clock[4], clock[5]);
    return text;
}

std::string WeekdayName(unsigned dayOfWeek)
{
    static const char* const names[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
    return dayOfWeek < 7 ? names[dayOfWeek] : "day " + std::to_string(dayOfWeek);
}

std::string ResultName(int result)
{
    const char* name = result == RC_OK            ? "RC_OK"
                       : result == RC_LOG_E4      ? "RC_LOG_E4"
                       : result == RC_LOG_E5      ? "RC_LOG_E5"
                       : result == RC_BAD_HANDLE  ? "RC_BAD_HANDLE"
                       : result == RC_PORT_FAILED ? "RC_PORT_FAILED"
                       : result == RC_FAILED      ? "RC_FAILED"
                                                  : "an unknown result";
    return std::string(name) + " (" + std::to_string(result) + ")";
}
