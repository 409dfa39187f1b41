// corvane-set's command line and change list, without a network.

#include "set_options.h"
#include "set_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(SetRequest, TakesBothMacSpellingsAndAnOptionalMask)
{
    SetRequest request;
    std::string error;
    ASSERT_TRUE(ParseSetRequest({"02-c0-4E-00-00-0a", "10.0.0.7"}, request, error)) << error;
    EXPECT_EQ(request.mac, (MacOctets{0x02, 0xC0, 0x4E, 0x00, 0x00, 0x0A}));
    EXPECT_EQ(request.address, (IpOctets{10, 0, 0, 7}));
    EXPECT_FALSE(request.maskGiven);
    ASSERT_TRUE(ParseSetRequest({"02:C0:4E:00:00:0B", "0.1.2.3", "255.0.255.0"}, request, error)) << error;
    EXPECT_EQ(request.mac[5], 0x0B);
    EXPECT_TRUE(request.maskGiven);
    EXPECT_EQ(request.mask, (IpOctets{255, 0, 255, 0}));
}

TEST(SetRequest, RefusesWithTheWindowsTextsAddressFirst)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"02-C0-4E-00-00-01", "10.0.0.255", "0.0.0.0"}, "Invalid IP address: 10.0.0.255"},
        {{"02-C0-4E-00-00-01", "127.0.0.1"}, "Invalid IP address: 127.0.0.1"},
        {{"02-C0-4E-00-00-01", "1.2.3"}, "Invalid IP address: 1.2.3"},
        {{"02-C0-4E-00-00-01", "10.0.0.1", "254.0.0.0"}, "Invalid mask: 254.0.0.0"},
        {{"02-C0-4E-00-00-1", "10.0.0.1"}, "Invalid MAC address: 02-C0-4E-00-00-1"},
        {{"02-C0-4E-00-00-0G", "10.0.0.1"}, "Invalid MAC address: 02-C0-4E-00-00-0G"},
        {{"02-C0-4E+00-00-01", "10.0.0.1"}, "Invalid MAC address: 02-C0-4E+00-00-01"},
        {{"02-C0-4E-00-00-01"}, "expected MAC ADDRESS [MASK]"},
        {{"02-C0-4E-00-00-01", "10.0.0.1", "255.0.0.0", "x"}, "expected MAC ADDRESS [MASK]"},
    };
    for (const auto& [words, reason] : cases) {
        SetRequest request;
        std::string error;
        EXPECT_FALSE(ParseSetRequest(words, request, error)) << words[1];
        EXPECT_EQ(error, reason);
    }
}

TEST(SetList, SkipsCommentsAndBlankLinesAndNumbersLinesAsInTheFile)
{
    std::vector<SetRequest> requests;
    std::string error;
    ASSERT_TRUE(ParseSetList("# cabinet 4\n\n02-C0-4E-00-00-01 10.0.0.11 255.255.255.0\r\n"
                             "  02-C0-4E-00-00-02\t10.0.0.12  # mask kept\n02-C0-4E-00-00-03 10.0.0.13",
                             requests, error))
        << error;
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].line, 3);
    EXPECT_TRUE(requests[0].maskGiven);
    EXPECT_EQ(requests[1].line, 4);
    EXPECT_EQ(requests[1].address, (IpOctets{10, 0, 0, 12}));
    EXPECT_FALSE(requests[1].maskGiven);
    EXPECT_EQ(requests[2].line, 5);
}

TEST(SetList, TheFirstBadLineStopsTheListWithItsNumber)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"02-C0-4E-00-00-01 10.0.0.11\n# note\n02-C0-4E-00-00-02 10.0.0.12 128.0.0.0\n02-C0-4E-00-00-03 x",
         "line 3: Invalid mask: 128.0.0.0"},
        {"02-C0-4E-00-00-01 10.0.0.11\n02-c0-4e-00-00-01 10.0.0.12\n",
         "line 2: 02-C0-4E-00-00-01 is already on line 1"},
        {"02-C0-4E-00-00-01\n", "line 1: expected MAC ADDRESS [MASK]"},
        {"# nothing\n\n", "the list names no device"},
    };
    for (const auto& [text, reason] : cases) {
        std::vector<SetRequest> requests;
        std::string error;
        EXPECT_FALSE(ParseSetList(text, requests, error)) << text;
        EXPECT_EQ(error, reason);
    }
}

struct Parsed {
    bool ok = false;
    SetOptions options;
    std::string error;
};

Parsed Parse(std::vector<const char*> arguments)
{
    arguments.insert(arguments.begin(), "corvane-set");
    Parsed parsed;
    parsed.ok = ParseSetOptions(int(arguments.size()), arguments.data(), parsed.options, parsed.error);
    return parsed;
}

TEST(SetOptions, EitherOneChangeOrAList)
{
    Parsed parsed = Parse({"--timeout=800", "02-C0-4E-00-00-01", "--dry-run", "10.0.0.7", "--interface", "eth1"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.options.change, (std::vector<std::string>{"02-C0-4E-00-00-01", "10.0.0.7"}));
    EXPECT_EQ(parsed.options.timeoutMs, 800);
    EXPECT_EQ(parsed.options.interfaceName, "eth1");
    EXPECT_TRUE(parsed.options.dryRun);
    parsed = Parse({"--from", "-", "--json"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.options.fromFile, "-");
    EXPECT_EQ(Parse({"--version"}).ok, true);
    parsed = Parse({"--renumber", "192.168.1.100", "--first=10.20.0.20", "--mask", "255.255.255.0"});
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.options.renumberFrom, (IpOctets{192, 168, 1, 100}));
    EXPECT_EQ(parsed.options.first, (IpOctets{10, 20, 0, 20}));
    EXPECT_TRUE(parsed.options.maskGiven);

    const std::vector<std::pair<std::vector<const char*>, std::string>> refused = {
        {{}, "nothing to change: give MAC ADDRESS [MASK] or --from FILE"},
        {{"02-C0-4E-00-00-01"}, "expected MAC ADDRESS [MASK]"},
        {{"--from=list.txt", "02-C0-4E-00-00-01", "10.0.0.7"}, "give either MAC ADDRESS [MASK] or --from, not both"},
        {{"--from="}, "--from needs a file"},
        {{"--dry-run=yes", "02-C0-4E-00-00-01", "10.0.0.7"}, "--dry-run takes no value"},
        {{"--timeout", "0", "02-C0-4E-00-00-01", "10.0.0.7"}, "--timeout takes milliseconds from 1 to 600000: 0"},
        {{"--renumber", "192.168.1.100"}, "--renumber and --first go together, and --mask only with them"},
        {{"--renumber", "192.168.1.100", "--first", "10.0.0.5", "--from", "-"},
         "give one of MAC ADDRESS [MASK], --from and --renumber"},
        {{"--renumber", "192.168.1.100", "--first", "10.0.0.255"}, "--first: Invalid IP address: 10.0.0.255"},
        {{"--renumber", "192.168.1.100", "--first", "10.0.0.5", "--mask", "0.255.255.0"},
         "--mask: Invalid mask: 0.255.255.0"},
    };
    for (const auto& [arguments, reason] : refused) {
        parsed = Parse(arguments);
        EXPECT_FALSE(parsed.ok) << reason;
        EXPECT_EQ(parsed.error, reason);
    }
}

} // namespace
