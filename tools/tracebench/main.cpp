// tracebench: what the boundary record costs. An FPGA register read on the simulated head
// with recording off and on (goal: on, at most 2 us more per event), the record's own cost
// per event, and, given a record (camhost --fast --trace demo.trace config/demo.cam), its
// size and its events by kind.
#include "fpga/tcRegisterWindow.h"
#include "platform/TraceRecord.h"
#include "sim/SimHead.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kReads = 200000;
constexpr int kRuns = 5;

// Best of kRuns, in ns per read.
template <typename Work> double bestNanoseconds(Work work) {
    double best = 1e30;
    for (int run = 0; run < kRuns; ++run) {
        const auto begin = Clock::now();
        work();
        const double ns = std::chrono::duration<double, std::nano>(Clock::now() - begin).count();
        best = std::min(best, ns / kReads);
    }
    return best;
}

// Reads kReads registers of the frame receiver, into record unless it is null.
double readCost(platform::tcTraceRecord* record) {
    tcRegisterWindow window(0xFF212000, 64, record);
    volatile uint32_t sink = 0;
    return bestNanoseconds([&] {
        for (int i = 0; i < kReads; ++i)
            sink = sink + window.read(static_cast<uint32_t>(i % 16) * 4);
    });
}

int summarise(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "tracebench: cannot read %s\n", path);
        return 2;
    }
    std::map<std::string, long> kinds;
    long bytes = 0, lines = 0;
    for (std::string line; std::getline(in, line);) {
        bytes += static_cast<long>(line.size()) + 1;
        ++lines;
        std::istringstream fields(line);
        std::string time, thread, keyword;
        fields >> time >> thread >> keyword;
        ++kinds[keyword];
    }
    std::printf("%s: %ld bytes, %ld lines\n", path, bytes, lines);
    for (const auto& [keyword, count] : kinds)
        std::printf("  %-12s %ld\n", keyword.c_str(), count);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    sim::Clock::useVirtualTime(true);
    sim::Head::instance().reset();
    const double off = readCost(nullptr);
    const int descriptor = ::open("/dev/null", O_WRONLY);
    double on = 0, eventOnly = 0;
    uint64_t dropped = 0;
    {
        platform::tcTraceRecord record(descriptor);
        on = readCost(&record);
        eventOnly = bestNanoseconds([&] {
            for (int i = 0; i < kReads; ++i)
                record.event("fpga_read", "base=0x%08x off=0x%04x val=0x%08x", 0xFF212000u,
                             static_cast<unsigned>(i % 16) * 4, static_cast<unsigned>(i));
        });
        dropped = record.dropped();
    }
    std::printf("FPGA register read, recording off: %8.1f ns\n", off);
    std::printf("FPGA register read, recording on:  %8.1f ns (+%.1f ns an event; goal +2000)\n", on,
                on - off);
    std::printf("one event alone (format and buffer): %6.1f ns\n", eventOnly);
    std::printf("events dropped while measuring: %llu of %d\n",
                static_cast<unsigned long long>(dropped), kReads * kRuns * 2);
    return argc > 1 ? summarise(argv[1]) : 0;
}
