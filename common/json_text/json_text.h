// JSON string literals for the command-line tools' --json output.
#pragma once

#include <string>

namespace json_text {

// A JSON string literal: UTF-8 passes as it is, with only what JSON requires
// escaped ('"', '\\', control characters); a byte that is not part of a
// well-formed UTF-8 sequence becomes U+FFFD, as JSON text is UTF-8 throughout.
std::string JsonString(const std::string& value);

// The length of the well-formed UTF-8 sequence at text[at], or 0 if there is
// none (a stray continuation byte, an overlong form, a surrogate, beyond
// U+10FFFF, cut short).
std::size_t Utf8SequenceLength(const std::string& text, std::size_t at);

} // namespace json_text
