// The boundary record's writer: whole lines, every event either written or counted as
// dropped, and the counts in the last line.
#include "platform/TraceRecord.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <stdlib.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> linesOf(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(TraceRecordTest, AnEventIsWrittenOrCountedAsDroppedNeverLostSilently) {
    char path[] = "/tmp/trace-record-XXXXXX";
    const int descriptor = mkstemp(path);
    ASSERT_GE(descriptor, 0);
    constexpr int kThreads = 3;
    constexpr int kEach = 2000;
    uint64_t extra = 0; // events after the burst
    {
        // Room for a few lines only: the writer, waking every 100 ms, cannot keep up.
        platform::tcTraceRecord record(descriptor, 4096);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&record, t] {
                for (int i = 0; i < kEach; ++i)
                    record.event("fpga_read", "base=0x%08x off=0x%04x val=0x%08x", t, i, i);
            });
        for (std::thread& thread : threads)
            thread.join();
        EXPECT_GT(record.dropped(), 0u);
        EXPECT_EQ(record.recorded() + record.dropped(), uint64_t{kThreads * kEach});
        // One event more once the writer has made room: the drops before it are said in a
        // line of their own. (The burst may end before the writer first woke.)
        const uint64_t before = record.recorded();
        for (int i = 0; i < 500 && record.recorded() == before; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            record.event("fpga_read", "base=0x%08x off=0x%04x val=0x%08x", 9, 0, 0);
            ++extra;
        }
    }
    const std::vector<std::string> lines = linesOf(path);
    unlink(path);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_TRUE(std::regex_search(lines.front(), std::regex(R"(^\d+ t0 trace format=2 )")))
        << lines.front();

    const std::regex grammar(R"(\d+ t\d+ [a-z_]+( [a-z0-9_]+=("([^"\\]|\\.)*"|[^ "]+))*)");
    const std::regex counts(R"(.* end events=(\d+) dropped=(\d+))");
    uint64_t written = 0, saidDropped = 0;
    std::smatch end;
    for (const std::string& line : lines) {
        ASSERT_TRUE(std::regex_match(line, grammar)) << line;
        if (line.find(" fpga_read ") != std::string::npos)
            ++written;
        const auto at = line.find(" dropped count=");
        if (at != std::string::npos)
            saidDropped += std::stoull(line.substr(at + 15));
    }
    ASSERT_TRUE(std::regex_match(lines.back(), end, counts)) << lines.back();
    EXPECT_EQ(std::stoull(end[1]), written);
    // Drops after the last written event are said in the last line alone.
    EXPECT_GE(std::stoull(end[2]), saidDropped);
    EXPECT_EQ(written + std::stoull(end[2]), uint64_t{kThreads * kEach} + extra);
    EXPECT_GT(saidDropped, 0u);
}

TEST(TraceRecordTest, AFileIsNamedWithItsSizeAndStandardCrcInARecordThatReplacesAnOlderOne) {
    // Fault: a checksum that is not the standard CRC-32, so that a board's record and the
    // model's agree with each other but not with `crc32` run on the file; or a record
    // written over an older, longer one without truncating it, its tail left behind.
    char config[] = "/tmp/trace-config-XXXXXX";
    const int configDescriptor = mkstemp(config);
    ASSERT_GE(configDescriptor, 0);
    ASSERT_EQ(write(configDescriptor, "123456789", 9), 9);
    close(configDescriptor);
    char path[] = "/tmp/trace-older-XXXXXX";
    const int older = mkstemp(path);
    ASSERT_GE(older, 0);
    const std::string stale(100000, 'x');
    ASSERT_EQ(write(older, stale.data(), stale.size()), ssize_t(stale.size()));
    close(older);

    setenv("TC120MXS_TRACE", path, 1);
    {
        const std::unique_ptr<platform::tcTraceRecord> record =
            platform::tcTraceRecord::fromEnvironment();
        unsetenv("TC120MXS_TRACE");
        ASSERT_NE(record, nullptr);
        record->file(config);
    }
    const std::vector<std::string> lines = linesOf(path);
    unlink(path);
    unlink(config);
    ASSERT_EQ(lines.size(), 3u) << "first line, file, end";
    EXPECT_NE(lines[1].find(" file name=\"" + std::string(config) + "\" bytes=9 crc32=0xcbf43926"),
              std::string::npos)
        << lines[1];
    EXPECT_NE(lines[2].find(" end events=1 dropped=0"), std::string::npos) << lines[2];
}

} // namespace
