// qarn-reader as a user runs it: a child process whose COM1 is the
// simulated reader's pseudo-terminal.
#include "readersim.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <pty.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Outcome {
    int status = -1;   // exit status; -1 when it did not end in time
    std::string out;
    std::string err;
};

std::string Slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct QarnReaderTest : ::testing::Test {
    readersim::ReaderSim sim;
    std::string scratch;

    void SetUp() override
    {
        ASSERT_TRUE(sim.ok());
        char dir[] = "/tmp/qarn-reader-test-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        scratch = dir;
    }

    void TearDown() override { std::filesystem::remove_all(scratch); }

    // How the child's standard descriptors are set up.
    struct Streams {
        bool terminal = false;      // standard error is a pseudo-terminal of its own
        int closed = -1;            // this one of 0, 1, 2 is closed
        std::string out;            // standard output goes here (e.g. /dev/full) instead
        bool brokenPipe = false;    // standard output is a pipe nobody reads
    };

    // Runs the program with COM1 naming the simulator (and `env` added); a
    // run that has not ended after `limit` is killed and reported as -1.
    Outcome run(std::vector<std::string> args, std::vector<std::string> env = {},
                std::chrono::seconds limit = std::chrono::seconds(60), bool terminal = false)
    {
        Streams streams;
        streams.terminal = terminal;
        return run(std::move(args), streams, std::move(env), limit);
    }

    Outcome run(std::vector<std::string> args, const Streams& streams, std::vector<std::string> env = {},
                std::chrono::seconds limit = std::chrono::seconds(60))
    {
        const bool terminal = streams.terminal;
        std::vector<std::string> environment = {"COM1=" + sim.devicePath()};
        environment.insert(environment.end(), env.begin(), env.end());
        for (char** e = environ; *e != nullptr; ++e)
            environment.emplace_back(*e);   // later duplicates lose to the ones above
        args.insert(args.begin(), QARN_READER);
        std::vector<char*> argv, envp;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        for (std::string& e : environment)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        const std::string out = scratch + "/out", err = scratch + "/err";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        const std::string outPath = streams.out.empty() ? out : streams.out;
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int pipeEnds[2] = {-1, -1};
        if (streams.brokenPipe) {
            if (pipe(pipeEnds) != 0) {
                ADD_FAILURE() << "no pipe";
                return {};
            }
            posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
            close(pipeEnds[0]);   // nobody reads: the first write fails with EPIPE
        }
        if (streams.closed >= 0)
            posix_spawn_file_actions_addclose(&actions, streams.closed);
        int master = -1, slave = -1;
        if (terminal) {
            termios raw{};
            cfmakeraw(&raw);
            if (openpty(&master, &slave, nullptr, &raw, nullptr) != 0) {
                ADD_FAILURE() << "no pseudo-terminal for standard error";
                return {};
            }
            posix_spawn_file_actions_adddup2(&actions, slave, 2);
        }
        pid_t pid = -1;
        const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (slave >= 0)
            close(slave);
        if (pipeEnds[1] >= 0)
            close(pipeEnds[1]);
        Outcome outcome;
        if (spawned != 0) {
            ADD_FAILURE() << "cannot start " << argv[0];
            return outcome;
        }
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int wstatus = 0;
        bool ended = true;
        while (waitpid(pid, &wstatus, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(pid, SIGKILL);
                waitpid(pid, &wstatus, 0);
                ended = false;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (ended)
            outcome.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
        outcome.out = Slurp(out);
        outcome.err = Slurp(err);
        char text[4096];
        for (ssize_t got = 0; master >= 0 && (got = read(master, text, sizeof text)) > 0;)
            outcome.err.append(text, std::size_t(got));
        if (master >= 0)
            close(master);
        return outcome;
    }

    std::string writeFile(const std::string& name, const Bytes& bytes)
    {
        const std::string path = scratch + "/" + name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    std::streamsize(bytes.size()));
        return path;
    }

    std::size_t sent(std::uint8_t command, const Bytes& payload) const
    {
        std::size_t count = 0;
        for (const readersim::Request& r : sim.requests())
            count += r.command == command && r.payload == payload;
        return count;
    }
};

Bytes Pattern(std::size_t size)
{
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    return bytes;
}

TEST_F(QarnReaderTest, ClockSetIsReadBackAndNoOtherCommandTouchesIt)
{
    Outcome set = run({"set-time", "2027-03-07T14:05:09"});
    ASSERT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(set.out, "clock set to 2027-03-07 14:05:09 Sunday\n");
    EXPECT_EQ(sim.clock(), (readersim::ClockRecord{127, 3, 7, 14, 5, 9, 0}));

    sim.forgetRequests();
    Outcome text = run({"time"});
    Outcome json = run({"--json", "time"});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(text.out, "2027-03-07 14:05:09 Sunday\n");
    EXPECT_EQ(json.out, "{\"time\": \"2027-03-07 14:05:09\", \"dayOfWeek\": 0, \"weekday\": \"Sunday\"}\n");
    for (const readersim::Request& r : sim.requests())
        EXPECT_NE(r.command, 0xA0) << "reading the clock set it";

    // The reader is opened and closed at the address given, or at the
    // identification's first byte.
    EXPECT_EQ(run({"--address", "7", "time"}).status, 0);
    EXPECT_EQ(run({"--id", "2A0102030405", "time"}).status, 0);
    EXPECT_EQ(sent(0xC0, {7}) + sent(0xC1, {7}) + sent(0xC0, {0x2A}) + sent(0xC1, {0x2A}), 4u);

    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(run({"set-time", "now"}).status, 0);
    const std::time_t after = std::time(nullptr);
    const auto local = [](std::time_t t) {
        const std::tm* tm = std::localtime(&t);
        return readersim::ClockRecord{std::uint8_t(tm->tm_year), std::uint8_t(tm->tm_mon + 1),
                                      std::uint8_t(tm->tm_mday), std::uint8_t(tm->tm_hour),
                                      std::uint8_t(tm->tm_min),  std::uint8_t(tm->tm_sec),
                                      std::uint8_t(tm->tm_wday)};
    };
    const readersim::ClockRecord now = sim.clock();
    EXPECT_TRUE(now >= local(before) && now <= local(after)) << "set-time now did not send the local time";
}

TEST_F(QarnReaderTest, DownloadReachesTheReaderByteForByte)
{
    // Past one block, and not a whole number of words.
    const Bytes file = Pattern(1001);
    Outcome one = run({"send-file", "--type", "1", writeFile("one.bin", file)});
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(sim.file(1), file);
    EXPECT_EQ(one.err, "");

    const Bytes records = Pattern(80);
    Outcome three = run({"--json", "send-file", "--type", "3", writeFile("three.bin", records)});
    ASSERT_EQ(three.status, 0) << three.err;
    ASSERT_EQ(sim.records().size(), 2u);
    for (std::uint8_t k = 0; k < 2; ++k) {
        Bytes expected{k};
        expected.insert(expected.end(), records.begin() + 40 * k, records.begin() + 40 * (k + 1));
        EXPECT_EQ(sim.records()[k], expected);
    }
    EXPECT_NE(three.out.find("\"type\": 3, \"bytes\": 80}"), std::string::npos) << three.out;
}

TEST_F(QarnReaderTest, LongDownloadShowsItsProgressOnATerminalOnly)
{
    const std::string file = writeFile("slow.bin", Pattern(300));
    // The open goes as usual; the first block's answer comes 2.5 s late.
    const readersim::InjectedFault slow{readersim::Fault::SlowFirstByte, 2500, 0, {}};
    sim.queueFault({});
    sim.queueFault(slow);
    Outcome logged = run({"send-file", "--type", "2", file});
    ASSERT_EQ(logged.status, 0) << logged.err;
    EXPECT_EQ(logged.err, "");

    sim.queueFault({});
    sim.queueFault(slow);
    Outcome shown = run({"send-file", "--type", "2", file}, {}, std::chrono::seconds(60), true);
    ASSERT_EQ(shown.status, 0) << shown.err;
    // Rewritten in place each second, and wiped at the end.
    const std::string line = "qarn-reader: sending " + file + " (300 bytes, type 2): ";
    EXPECT_EQ(shown.err.rfind("\r" + line, 0), 0u) << shown.err;
    EXPECT_EQ(shown.err.find('\n'), std::string::npos) << shown.err;
    const std::string wiped(line.size() + 3, ' ');
    EXPECT_EQ(shown.err.substr(shown.err.size() - wiped.size() - 2), "\r" + wiped + "\r") << shown.err;
    EXPECT_EQ(sim.file(2), Pattern(300));
}

TEST_F(QarnReaderTest, LogsAreFetchedAndAcknowledgedUntilNoneIsLeft)
{
    for (std::uint8_t n = 1; n <= 4; ++n)
        sim.queueLogRecord({n, 0, 0, 0, 0, 0x25, 0xAB});

    Outcome peek = run({"logs", "--no-ack"});
    ASSERT_EQ(peek.status, 0) << peek.err;
    EXPECT_EQ(peek.out, "01 00 00 00 00 19 AB\n");   // byte 5 arrives in BCD
    EXPECT_EQ(sim.logRecordsLeft(), 4u);

    Outcome two = run({"logs", "--max", "2"});
    ASSERT_EQ(two.status, 0) << two.err;
    EXPECT_EQ(two.out, "01 00 00 00 00 19 AB\n02 00 00 00 00 19 AB\n");
    EXPECT_EQ(sim.logRecordsLeft(), 2u);

    Outcome rest = run({"--json", "logs"});
    ASSERT_EQ(rest.status, 0) << rest.err;
    EXPECT_EQ(rest.out, "{\"record\": \"030000000019AB\", \"length\": 7, \"repeat\": false, \"acknowledged\": true}\n"
                        "{\"record\": \"040000000019AB\", \"length\": 7, \"repeat\": false, \"acknowledged\": true}\n");
    EXPECT_EQ(sim.logRecordsLeft(), 0u);
    EXPECT_EQ(sent(0xB1, {0}), 4u);

    sim.queueLogRecord({5, 0, 0, 0, 0, 0x25});
    sim.refuseAcknowledgements(true);
    Outcome refused = run({"logs"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("RC_LOG_E4 (228)"), std::string::npos) << refused.err;
    EXPECT_EQ(sim.logRecordsLeft(), 1u);
}

TEST_F(QarnReaderTest, ReportsWhatTheReaderHolds)
{
    sim.setFileLengths(1024, 512, 400);
    Outcome lengths = run({"--json", "file-lengths"});
    ASSERT_EQ(lengths.status, 0) << lengths.err;
    EXPECT_EQ(lengths.out, "{\"lengths\": [1024, 512, 400]}\n");

    Bytes info(40, 0);
    info[0] = 0x11;
    info[11] = 0x12;   // the first 16-bit field, turned low byte first
    info[30] = 0x99;
    sim.setInformation(info);
    Outcome record = run({"--json", "info"});
    ASSERT_EQ(record.status, 0) << record.err;
    EXPECT_EQ(record.out, "{\"info\": \"11000000000000000000000012000000000000000000000000000000000099\", "
                          "\"bytesShown\": 31, \"lengthReported\": false}\n");

    Outcome user = run({"command", "86", "0102"});
    ASSERT_EQ(user.status, 0) << user.err;
    EXPECT_EQ(user.out, "reply, 3 bytes: A1 01 02\n");   // the simulator answers code and data
    EXPECT_EQ(sent(0xA1, {1, 2}), 1u);
}

TEST_F(QarnReaderTest, SilentReaderFailsTheOpenWithinTheRetries)
{
    sim.answerNothing(true);
    // The library documents about 1 s for an open nobody answers; the limit
    // only tells a hang from an end.
    Outcome silent = run({"time"}, {}, std::chrono::seconds(30));
    EXPECT_EQ(silent.status, 1) << "did not end within 30 s";
    EXPECT_EQ(silent.out, "");
    EXPECT_EQ(silent.err, "qarn-reader: the reader at address 1 on COM1 did not accept the open: RC_FAILED (255), "
                          "no valid reply after the retries, or not the status expected\n");
}

TEST_F(QarnReaderTest, BadUsageExitsTwoAndSendsNothing)
{
    const std::vector<std::vector<std::string>> refused = {
        {},
        {"reboot"},
        {"--frobnicate", "time"},
        {"--port", "0", "time"},
        {"--address", "256", "time"},
        {"--address", "2", "--id", "010203040506", "time"},
        {"--id", "0102", "time"},
        {"set-time", "2027-02-29T10:00:00"},
        {"set-time", "2100-01-01T00:00:00"},
        {"send-file", writeFile("f.bin", Pattern(10))},
        {"send-file", "--type", "3", writeFile("41.bin", Pattern(41))},
        {"send-file", "--type", "1", writeFile("big.bin", Pattern(65536))},
        {"send-file", "--type", "1", scratch + "/missing.bin"},
        {"logs", "--no-ack", "--max", "3"},
        {"time", "--max", "3"},
        {"command", "85"},
        {"command", "84", "01"},
        {"command", "89", "00"},
        {"command", "8"},
    };
    for (const std::vector<std::string>& args : refused) {
        Outcome outcome = run(args);
        std::string line;
        for (const std::string& a : args)
            line += a + " ";
        EXPECT_EQ(outcome.status, 2) << line;
        EXPECT_EQ(outcome.err.rfind("qarn-reader: ", 0), 0u) << line << ": " << outcome.err;
    }
    EXPECT_TRUE(sim.requests().empty()) << "a refused command line sent something";

    Outcome missing = run({"--port", "7", "time"}, {"COM7=" + scratch + "/no-such-port"});
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find("qarn-reader: cannot open COM7: RC_PORT_FAILED (254)"), std::string::npos)
        << missing.err;

    Outcome help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* command : {"time", "set-time", "info", "file-lengths", "send-file", "logs", "command"})
        EXPECT_NE(help.out.find("\n  " + std::string(command) + " "), std::string::npos) << command;
}

std::size_t Lines(const std::string& text)
{
    return std::size_t(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(QarnReaderTest, OutputThatDidNotGetOutIsAFailureAndAcknowledgesNothing)
{
    for (std::uint8_t n = 1; n <= 3; ++n)
        sim.queueLogRecord({n, 0, 0, 0, 0, 0x25});
    Streams full;
    full.out = "/dev/full";
    Streams closedPipe;
    closedPipe.brokenPipe = true;
    for (const Streams& streams : {full, closedPipe}) {
        Outcome lost = run({"logs"}, streams);
        EXPECT_EQ(lost.status, 1) << lost.err;
        EXPECT_EQ(Lines(lost.err), 1u) << lost.err;
        EXPECT_NE(lost.err.find("log record 1: cannot write to standard output"), std::string::npos) << lost.err;
        EXPECT_EQ(sim.logRecordsLeft(), 3u);
    }
    EXPECT_EQ(sent(0xB1, {0}), 0u);
    EXPECT_EQ(sent(0xC1, {1}), 2u) << "the reader is closed after a failed write";

    Outcome next = run({"logs"});
    ASSERT_EQ(next.status, 0) << next.err;
    EXPECT_EQ(next.out, "01 00 00 00 00 19\n02 00 00 00 00 19\n03 00 00 00 00 19\n");

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"--version"}, {"time"}, {"--json", "file-lengths"}, {"info"}, {"command", "89"}}) {
        Outcome outcome = run(args, full);
        EXPECT_EQ(outcome.status, 1) << args.back();
        EXPECT_NE(outcome.err.find("cannot write to standard output: No space left on device"), std::string::npos)
            << outcome.err;
    }
}

TEST_F(QarnReaderTest, WithAStandardDescriptorClosedTheLineCarriesRequestsOnly)
{
    const std::string file = writeFile("slow.bin", Pattern(300));
    for (int fd = 0; fd <= 2; ++fd) {
        Streams streams;
        streams.closed = fd;
        EXPECT_EQ(run({"time"}, streams).status, 0) << fd;
        sim.queueLogRecord({1, 2, 3, 4, 5, 6});
        EXPECT_EQ(run({"--json", "logs"}, streams).status, 0) << fd;
        sim.queueLogRecord({7});
        sim.refuseAcknowledgements(true);
        EXPECT_EQ(run({"logs"}, streams).status, 1) << fd;   // a message for standard error
        sim.refuseAcknowledgements(false);
        // Long enough for the progress line, which only a terminal gets.
        sim.queueFault({});
        sim.queueFault({readersim::Fault::SlowFirstByte, 1500, 0, {}});
        EXPECT_EQ(run({"send-file", "--type", "1", file}, streams).status, 0) << fd;
        EXPECT_EQ(sim.file(1), Pattern(300)) << fd;
    }
    // Its requests are answered after everything sent before them was read.
    ASSERT_EQ(run({"time"}).status, 0);
    EXPECT_EQ(sim.strayBytes(), 0u);
}

TEST_F(QarnReaderTest, RecordsAreShownAsTheReaderSentThem)
{
    // A repeat record stands for the first 16 bytes of the record before it,
    // 16 zero bytes before any.
    Bytes first(20);
    for (std::size_t i = 0; i < first.size(); ++i)
        first[i] = std::uint8_t(0x40 + i);
    first[5] = 0x25;
    Bytes repeat(30, 0x77);
    repeat[5] = 0xFF;
    sim.queueLogRecord(repeat);
    sim.queueLogRecord(first);
    sim.queueLogRecord(repeat);
    Outcome logs = run({"--json", "logs"});
    ASSERT_EQ(logs.status, 0) << logs.err;
    EXPECT_EQ(logs.out,
              "{\"record\": \"00000000000000000000000000000000\", \"length\": 16, \"repeat\": true, \"acknowledged\": true}\n"
              "{\"record\": \"404142434419464748494A4B4C4D4E4F50515253\", \"length\": 20, \"repeat\": false, "
              "\"acknowledged\": true}\n"
              "{\"record\": \"404142434419464748494A4B4C4D4E4F\", \"length\": 16, \"repeat\": true, \"acknowledged\": true}\n");
}

TEST_F(QarnReaderTest, LogsEndAgainstAReaderThatDoesNotRunOut)
{
    sim.endlessLog(true);
    Outcome endless = run({"logs"});
    EXPECT_EQ(endless.status, 1);
    EXPECT_EQ(Lines(endless.out), 4096u);
    EXPECT_NE(endless.err.find("more than 4096 log records"), std::string::npos) << endless.err;
    EXPECT_EQ(sent(0xB1, {0}), 4096u);
    sim.endlessLog(false);

    sim.queueLogRecord({1, 2, 3});
    sim.queueLogRecord({4, 5, 6});
    sim.ignoreAcknowledgements(true);
    Outcome same = run({"logs"});
    EXPECT_EQ(same.status, 1);
    EXPECT_EQ(same.out, "01 02 03\n");
    EXPECT_NE(same.err.find("log record 2 is the record before it again"), std::string::npos) << same.err;
}

TEST_F(QarnReaderTest, WhatOnlyTheComputerDecidesIsRefusedBeforeThePortOpens)
{
    const std::string fifo = scratch + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"send-file", "--type", "1", scratch}, ": it is a directory\n"},
        {{"send-file", "--type", "1", fifo}, ": it is not a regular file"},
        {{"send-file", "--type", "1", scratch + "/no\x1b[2Jfile"}, "no\\x1B[2Jfile: No such file or directory\n"},
        {{"reb\x07oot"}, "unknown command: reb\\x07oot "},
    };
    for (const auto& [args, reason] : refused) {
        Outcome outcome = run(args, {}, std::chrono::seconds(10));
        EXPECT_EQ(outcome.status, 2) << args.back();
        EXPECT_NE(outcome.err.find(reason), std::string::npos) << outcome.err;
    }
    Outcome in2100 = run({"set-time", "now"}, {"LD_PRELOAD=" CLOCK_IN_2100, "ASAN_OPTIONS=verify_asan_link_order=0"});
    EXPECT_EQ(in2100.status, 2);
    EXPECT_EQ(in2100.err, "qarn-reader: the computer's local time is outside 2000 to 2099\n");
    EXPECT_TRUE(sim.requests().empty()) << "the port was opened";

    // JSON strings are UTF-8 as they are.
    Outcome json = run({"--json", "send-file", "--type", "1", writeFile("caf\xC3\xA9.bin", Pattern(4))});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("caf\xC3\xA9.bin\", \"type\": 1"), std::string::npos) << json.out;
}

} // namespace
