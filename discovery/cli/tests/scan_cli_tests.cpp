// corvane-scan's command line and JSON strings, without a network.

#include "scan_options.h"
#include "scan_output.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
    bool ok = false;
    ScanOptions options;
    std::string error;
};

Parsed Parse(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "corvane-scan");
    Parsed parsed;
    parsed.ok = ParseScanOptions(int(arguments.size()), arguments.data(), parsed.options, parsed.error);
    return parsed;
}

TEST(ScanOptions, AValueFollowsItsOptionEitherAsTheNextArgumentOrAfterAnEqualsSign)
{
    for (const auto& arguments : {std::vector<const char*>{"--interface", "eth1", "--timeout", "300", "--json"},
                                  std::vector<const char*>{"--interface=eth1", "--timeout=300", "--json"}}) {
        const Parsed parsed = Parse(arguments);
        ASSERT_TRUE(parsed.ok) << parsed.error;
        EXPECT_EQ(parsed.options.interfaceName, "eth1");
        EXPECT_EQ(parsed.options.timeoutMs, 300);
        EXPECT_TRUE(parsed.options.json);
    }
    // Only the first equals sign splits; a name is taken byte for byte (UTF-8).
    EXPECT_EQ(Parse({"--interface=a=b"}).options.interfaceName, "a=b");
    EXPECT_EQ(Parse({"--interface=\xE4\xB9\x99\xE5\xA4\xAA"}).options.interfaceName, "\xE4\xB9\x99\xE5\xA4\xAA");
    EXPECT_EQ(Parse({"--interface", "--timeout=5"}).options.interfaceName, "--timeout=5");
}

TEST(ScanOptions, BadCommandLinesAreRefusedWithTheReason)
{
    const std::vector<std::pair<std::vector<const char*>, std::string>> cases = {
        {{"--interface="}, "--interface needs a name"},
        {{"--interface"}, "--interface needs a value"},
        {{"--timeout="}, "--timeout takes milliseconds from 1 to 600000: "},
        {{"--timeout=0"}, "--timeout takes milliseconds from 1 to 600000: 0"},
        {{"--timeout=5ms"}, "--timeout takes milliseconds from 1 to 600000: 5ms"},
        {{"--json=yes"}, "--json takes no value"},
        {{"--help="}, "--help takes no value"},
        {{"--colour=red"}, "unknown option: --colour"},
        {{"-x=1"}, "unknown option: -x=1"},
    };
    for (const auto& [arguments, reason] : cases) {
        const Parsed parsed = Parse(arguments);
        EXPECT_FALSE(parsed.ok) << arguments[0];
        EXPECT_EQ(parsed.error, reason);
    }
}

TEST(JsonString, IsUtf8WithOnlyWhatJsonRequiresEscaped)
{
    // Traditional Chinese Windows names its first wired interface 乙太網路.
    const std::string ethernet = "\xE4\xB9\x99\xE5\xA4\xAA\xE7\xB6\xB2\xE8\xB7\xAF";
    EXPECT_EQ(JsonString(ethernet), "\"" + ethernet + "\"");
    EXPECT_EQ(JsonString("Wi-Fi \xC3\xA4 \xF0\x9F\x93\xB6 \x7F"), "\"Wi-Fi \xC3\xA4 \xF0\x9F\x93\xB6 \x7F\"");
    EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\u000a\\u0001\"");
    EXPECT_EQ(JsonString(""), "\"\"");
}

TEST(JsonString, BytesOutsideWellFormedUtf8BecomeReplacementCharacters)
{
    const std::string replacement = "\xEF\xBF\xBD";
    EXPECT_EQ(JsonString("a\xFF" "b"), "\"a" + replacement + "b\"");           // never a lead byte
    EXPECT_EQ(JsonString("\x80"), "\"" + replacement + "\"");                  // a stray continuation
    EXPECT_EQ(JsonString("\xC0\xAF"), "\"" + replacement + replacement + "\"");   // an overlong '/'
    EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"" + replacement + replacement + replacement + "\"");   // a surrogate
    EXPECT_EQ(JsonString("\xF4\x90\x80\x80").substr(0, 4), "\"" + replacement);   // beyond U+10FFFF
    EXPECT_EQ(JsonString("x\xE4\xB9"), "\"x" + replacement + replacement + "\"");   // cut short
}

TEST(FormatJson, NamesTheInterfaceInUtf8)
{
    FoundDevice device{};
    device.reply.ipAddress = {10, 0, 0, 9};
    device.reply.ipMask = {255, 255, 255, 0};
    device.reply.macAddress = {0x00, 0x0A, 0xBC, 0x01, 0x02, 0xEF};
    device.reply.deviceId = ToWireOrder16(1);
    device.interfaceName = "pc2-\xC3\xBC";
    EXPECT_EQ(FormatJson({device}), "[\n  {\"address\": \"10.0.0.9\", \"mask\": \"255.255.255.0\", "
                                    "\"mac\": \"00-0A-BC-01-02-EF\", \"deviceId\": 1, \"interface\": \"pc2-\xC3\xBC\", "
                                    "\"sharesAddressWith\": [], \"outsideSubnets\": false}\n]\n");
}

} // namespace
