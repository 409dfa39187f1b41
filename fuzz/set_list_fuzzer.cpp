// Any file given to corvane-set --from: the list reader refuses what it must (a NUL,
// a MAC or a new address twice) and what it accepts is what each line says alone.
#include "address_rules.h"
#include "fuzz_check.h"
#include "set_request.h"

#include <string>
#include <vector>

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\n')
            lines.emplace_back();
        else
            lines.back() += c;
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<SetRequest> requests;
    std::string error;
    const bool read = ParseSetList(text, requests, error);
    if (!read) {
        FUZZ_CHECK(error.rfind("line ", 0) == 0 || error == "the list names no device");
        return 0;
    }
    FUZZ_CHECK(!requests.empty());
    FUZZ_CHECK(text.find('\0') == std::string::npos);
    const std::vector<std::string> lines = Lines(text);
    int previousLine = 0;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        const SetRequest& request = requests[i];
        FUZZ_CHECK(request.line > previousLine && std::size_t(request.line) <= lines.size());
        previousLine = request.line;
        FUZZ_CHECK(IsAcceptableAddress(request.address));
        FUZZ_CHECK(!request.maskGiven || IsAcceptableMask(request.mask));
        for (std::size_t k = 0; k < i; ++k)
            FUZZ_CHECK(requests[k].mac != request.mac && requests[k].address != request.address);
        // The same line alone reads the same.
        std::vector<SetRequest> alone;
        std::string aloneError;
        FUZZ_CHECK(ParseSetList(lines[std::size_t(request.line) - 1], alone, aloneError));
        FUZZ_CHECK(alone.size() == 1 && alone[0].mac == request.mac && alone[0].address == request.address &&
                   alone[0].maskGiven == request.maskGiven && (!request.maskGiven || alone[0].mask == request.mask));
    }
    return 0;
}
