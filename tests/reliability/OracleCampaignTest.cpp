// Sequence oracle: random, seeded sequences of host operations, client register-file writes
// and GPIO triggers, under configuration variants and head faults, on the strict head. After
// every step what the board reports (getters, answers, published words) must be what the
// head holds, and no hardware rule may be broken. A failing sequence is shrunk to a short one
// and printed with its seed as a camhost script.
//
// The faults it catches are those no single-operation test sees: a setting refused by the
// hardware but reported as in effect, an answer of 0 for what never reached the chip, a
// capture reported running that delivers nothing, words that no longer describe the receiver.
//
// TC120MXS_ORACLE_SEQUENCES (default 300) and TC120MXS_ORACLE_SECONDS (default: no limit)
// bound a run; TC120MXS_ORACLE_SEED picks the first seed (default 1). scripts/soak.sh runs it
// for hours.
#include "plugin/BringupFixture.h"
#include "sim/FrameworkThreads.h"
#include "sim/HeadImpl.h"
#include "tests/support/BoardTestAccess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Vistrel::ROI;
using Vistrel::tc120MXSSensorBoard;

constexpr uint32_t kExposureWord = 0x3A004, kIntervalWord = 0x3A000, kGainWord = 0x3D000,
                   kBiasOffsetWord = 0x3D008, kBiasEnableWord = 0x3D00C, kFactorWord = 0x3A040;

enum class Op {
    Init,
    Roi,
    Regions,
    Exposure,
    Interval,
    Pattern,
    Trigger,
    Start,
    Stop,
    Sleep,
    Notify,
    Write
};

struct Step {
    Op op;
    std::vector<long long> args;
};

// A configuration of the head's files and hardware a sequence runs under.
struct Variant {
    const char* name;
    std::string configExtra; // lines added to [Settings] of 120mxs_config.ini
    const char* misreadKey;  // a key whose value is read otherwise than written: said on stderr
    bool configIsFifo = false;
    bool nanRail = false;
};

const std::vector<Variant>& variants() {
    static const std::vector<Variant> list{
        {"sample", "", nullptr},
        {"RoiX 4", "RoiX = 4\n", nullptr},
        {"RoiHeight 9188", "RoiHeight = 9188\n", nullptr},
        {"RoiWidth 0", "RoiWidth = 0\n", nullptr},
        {"RoiY -4", "RoiY = -4\n", nullptr},
        {"RoiX RoiY 32", "RoiX = 32\nRoiY = 32\n", nullptr},
        {"RoiY octal", "RoiY = 0100\n", "RoiY"},
        {"commented exposure", "ExposureTime = 20000 # 20 ms\n", "ExposureTime"},
        {"mask beyond 32 bits", "LaneInvertMask = 4294967296\n", "LaneInvertMask"},
        {"config FIFO", "", nullptr, true},
        {"rail 2 NaN", "", nullptr, false, true},
    };
    return list;
}

std::string scriptLine(const Step& step) {
    static const char* const names[] = {"init",     "roi",     "regions", "exposure",
                                        "interval", "pattern", "trigger", "start",
                                        "stop",     "sleep",   "notify",  "write"};
    std::ostringstream line;
    line << names[static_cast<int>(step.op)];
    for (long long a : step.args)
        line << ' ' << (step.op == Op::Write ? "0x" : "")
             << (step.op == Op::Write ? std::hex : std::dec) << a << std::dec;
    return line.str();
}

// Regions the generator picks from: programmable ones, ones the board refuses, ones the
// sensor refuses, and the full frame.
ROI randomRegion(std::mt19937& rng) {
    static const std::vector<ROI> regions{
        {0, 0, 13280, 9184}, {3600, 0, 13280, 2000}, {7000, 0, 13280, 2000},
        {8, 16, 640, 480},   {32, 32, 13280, 9184},  {4, 0, 13280, 9188},
        {0, 4, 13280, 9184}, {9000, 0, 13280, 216},  {100, 800, 4000, 4000}};
    return regions[rng() % regions.size()];
}

std::vector<Step> randomSequence(std::mt19937& rng, size_t length) {
    std::vector<Step> steps;
    // Mostly brought up first; sometimes operations reach a board that never was.
    if (rng() % 5 != 0)
        steps.push_back({Op::Init, {}});
    static const long long exposures[] = {1000, 20000, 80000, 150000, 400000};
    static const long long intervals[] = {50000, 106713, 200000, 450000, 1000000};
    static const long long patterns[] = {0, 16, 17, 0, 2};
    static const uint32_t words[] = {kGainWord, kBiasOffsetWord, kBiasEnableWord, kFactorWord};
    static const long long values[] = {0, 1, 2, 7, 13, 0x100, 0x7FF, 0x800};
    while (steps.size() < length) {
        switch (rng() % 14) {
        case 0:
            if (rng() % 4 == 0)
                steps.push_back({Op::Init, {}});
            break;
        case 1:
        case 2: {
            const ROI r = randomRegion(rng);
            steps.push_back({Op::Roi, {r.y, r.x, r.width, r.height}});
            break;
        }
        case 3: {
            const ROI a = randomRegion(rng), b = randomRegion(rng);
            steps.push_back(
                {Op::Regions, {a.y, a.x, a.width, a.height, b.y, b.x, b.width, b.height}});
            break;
        }
        case 4:
            steps.push_back({Op::Exposure, {exposures[rng() % 5]}});
            break;
        case 5:
            steps.push_back({Op::Interval, {intervals[rng() % 5]}});
            break;
        case 6:
            steps.push_back({Op::Pattern, {patterns[rng() % 5]}});
            break;
        case 7:
            steps.push_back({Op::Trigger, {static_cast<long long>(rng() % 2)}});
            break;
        case 8:
        case 9:
            steps.push_back({Op::Start, {}});
            break;
        case 10:
            steps.push_back({Op::Stop, {}});
            break;
        case 11:
            steps.push_back({Op::Sleep, {static_cast<long long>(100000 + rng() % 900000)}});
            break;
        case 12:
            steps.push_back({Op::Notify, {}});
            break;
        default:
            steps.push_back({Op::Write, {words[rng() % 4], values[rng() % 8]}});
            break;
        }
    }
    return steps;
}

class OracleCampaignTest : public bringup::BringupTest {
protected:
    // Runs the sequence on a fresh head; the first discrepancy, or nothing.
    std::optional<std::string> run(const Variant& variant, sim::RegisterFileMode mode,
                                   const std::vector<Step>& steps) {
        board.reset();
        sim::HeadConfig config;
        config.registerFileMode = mode;
        if (variant.nanRail)
            config.railVolts[2] = std::numeric_limits<float>::quiet_NaN();
        resetHead(config);
        copyHeadFiles();
        ::unlink("120mxs_config.ini");
        if (variant.configIsFifo)
            ::mkfifo("120mxs_config.ini", 0600);
        else
            writeFile("120mxs_config.ini", "[Settings]\n" + variant.configExtra);
        makeBoard();
        state = State{};
        for (size_t i = 0; i < steps.size(); ++i) {
            if (auto fault = apply(variant, steps[i]))
                return "step " + std::to_string(i + 1) + " (" + scriptLine(steps[i]) +
                       "): " + *fault;
            state.longestPeriod =
                std::max<long long>(state.longestPeriod, board->getFrameInterval());
            if (auto fault = check())
                return "after step " + std::to_string(i + 1) + " (" + scriptLine(steps[i]) +
                       "): " + *fault;
        }
        return std::nullopt;
    }

    // Drops steps, one at a time, as long as the sequence still fails.
    std::vector<Step> shrink(const Variant& variant, sim::RegisterFileMode mode,
                             std::vector<Step> steps) {
        for (size_t i = steps.size(); i-- > 0;) {
            std::vector<Step> shorter = steps;
            shorter.erase(shorter.begin() + static_cast<long>(i));
            if (run(variant, mode, shorter))
                steps = shorter;
        }
        return steps;
    }

    void expectHolds(const Variant& variant, sim::RegisterFileMode mode,
                     const std::vector<Step>& steps, const std::string& seed) {
        const auto fault = run(variant, mode, steps);
        if (!fault)
            return;
        const std::vector<Step> shortest = shrink(variant, mode, steps);
        std::ostringstream script;
        for (const Step& s : shortest)
            script << "  " << scriptLine(s) << '\n';
        ADD_FAILURE() << "seed " << seed << ", configuration \"" << variant.name
                      << "\", register file mode " << static_cast<int>(mode) << ": " << *fault
                      << "\nshortest sequence (" << shortest.size() << " of " << steps.size()
                      << " steps), as a camhost script:\n"
                      << script.str()
                      << "it fails with: " << run(variant, mode, shortest).value_or("?");
    }

private:
    struct State {
        bool everInitialised = false;
        int lastInit = 1;
        long long longestPeriod = 0; // µs: the longest interval since a frame last came
    };

    long long delivered() {
        sim::Head::Impl& impl = head().impl();
        const std::lock_guard<std::mutex> lock(impl.mutex);
        return impl.frames.delivered;
    }

    std::optional<std::string> apply(const Variant& variant, const Step& step) {
        tc120MXSSensorBoard& b = *board;
        const auto& a = step.args;
        int result = 0;
        switch (step.op) {
        case Op::Init: {
            testing::internal::CaptureStderr();
            result = b.initialize();
            const std::string err = testing::internal::GetCapturedStderr();
            state.everInitialised = true;
            state.lastInit = result;
            if (variant.nanRail && result == 0)
                return std::string("bring-up answered 0 with a rail reading NaN");
            if (variant.misreadKey && err.find(variant.misreadKey) == std::string::npos)
                return std::string("a value read otherwise than written was not said: ") +
                       variant.misreadKey;
            break;
        }
        case Op::Roi: {
            const ROI region(static_cast<int>(a[0]), static_cast<int>(a[1]), static_cast<int>(a[2]),
                             static_cast<int>(a[3]));
            result = b.setROI(region);
            if (result == 0 && !(b.getROI() == region))
                return std::string("setROI answered 0, getROI gives ") + b.getROI().toString();
            break;
        }
        case Op::Regions: {
            std::vector<ROI> list;
            for (size_t i = 0; i < 2; ++i)
                list.emplace_back(static_cast<int>(a[4 * i]), static_cast<int>(a[4 * i + 1]),
                                  static_cast<int>(a[4 * i + 2]), static_cast<int>(a[4 * i + 3]));
            b.setMultipleROI(list);
            result = b.programMultipleROI();
            break;
        }
        case Op::Exposure:
            result = b.setExposure(static_cast<int>(a[0]));
            break;
        case Op::Interval:
            result = b.setFrameInterval(static_cast<int>(a[0]));
            break;
        case Op::Pattern:
            result = b.setTestPattern(static_cast<Vistrel::teTestPattern>(a[0]));
            if (result == 0 && b.getTestPattern() != a[0])
                return std::string("setTestPattern answered 0, getTestPattern differs");
            break;
        case Op::Trigger:
            b.setTrigger(static_cast<Vistrel::teTriggerMode>(a[0]));
            return std::nullopt;
        case Op::Start:
            testing::internal::CaptureStdout();
            result = b.start();
            testing::internal::GetCapturedStdout();
            if (result == 0 && !b.isCapturing())
                return std::string("start answered 0 and nothing captures");
            break;
        case Op::Stop:
            b.stop();
            return std::nullopt;
        case Op::Sleep: {
            const long long before = delivered();
            sim::Clock::sleepFor(sim::Micros(a[0]));
            head().step();
            // Free running, a capture delivers a frame within three frames once a longer
            // period still counting has run out (a new period starts at the next pulse).
            const long long interval = b.getFrameInterval();
            const bool due = a[0] >= state.longestPeriod + 3 * interval;
            if (b.isCapturing() && b.getTrigger() == 0 && due && delivered() == before)
                return std::string("a running capture delivered no frame");
            // A frame came: the pulses run at the period now programmed.
            if (delivered() != before)
                state.longestPeriod = interval;
            return std::nullopt;
        }
        case Op::Notify: {
            const long long before = delivered();
            b.Handler(0, 1);
            head().step();
            if (b.isCapturing() && b.getTrigger() == 1 && delivered() == before)
                return std::string("a trigger during a triggered capture delivered no frame");
            return std::nullopt;
        }
        case Op::Write:
            Vistrel::tcRegisterFile::getInstance(nullptr, true)
                ->update_word(static_cast<uint32_t>(a[0]), static_cast<uint32_t>(a[1]));
            return std::nullopt;
        }
        // Nothing but refusals from a board that was never brought up.
        if (!state.everInitialised && result == 0)
            return std::string("answered 0 before initialize()");
        return std::nullopt;
    }

    std::optional<std::string> check() {
        tc120MXSSensorBoard& b = *board;
        // Words in flight settle first: a client's write the register file still delivers,
        // the board's words it publishes in answer, and their own notifications.
        for (int round = 0; round < 3; ++round) {
            sim::waitForRegisterFileNotifications();
            Vistrel::BoardTestAccess::waitForPublishedWords(b);
        }
        const auto broken = head().violations();
        if (!broken.empty())
            return "hardware rule " + broken.front().rule + " broken: " + broken.front().reason;
        if (state.lastInit != 0)
            return std::nullopt;

        std::ostringstream fault;
        const ROI image = b.getImageROI();
        const auto halves = [](int high, int low) {
            return (static_cast<uint32_t>(high) & 0xFFFF) << 16 |
                   (static_cast<uint32_t>(low) & 0xFFFF);
        };
        if (head().frameRegister(sim::frame::roiResolution) != halves(image.height, image.width) ||
            head().frameRegister(sim::frame::roiStart) != halves(image.y, image.x))
            fault << "receiver region differs from getImageROI " << image.toString() << "; ";
        const int interval = b.getFrameInterval();
        if (head().pwm().periodUs != interval ||
            word(kIntervalWord) != static_cast<uint32_t>(interval))
            fault << "pulse period " << head().pwm().periodUs << " / word 0x3A000 differ from "
                  << interval << "; ";
        if (word(kExposureWord) != static_cast<uint32_t>(b.getExposure()))
            fault << "word 0x3A004 differs from getExposure " << b.getExposure() << "; ";
        const uint32_t gain = (head().chipRegisters()[0x7A] >> 5) & 0xF;
        if (word(kGainWord) != gain)
            fault << "word 0x3D000 differs from the sensor's gain " << gain << "; ";
        const uint32_t expectedBias =
            b.getTestPattern() != 0 ? 0u
                                    : (word(kBiasEnableWord).value_or(0) != 0 ? 0x80000000u : 0u) |
                                          word(kBiasOffsetWord).value_or(0);
        const uint32_t bias = head().frameRegister(sim::frame::biasSubtract);
        if (bias != expectedBias)
            fault << std::hex << "receiver bias 0x" << bias << ", the words and pattern say 0x"
                  << expectedBias << std::dec << "; ";
        if (fault.str().empty())
            return std::nullopt;
        return fault.str();
    }

    State state;
};

long long fromEnvironment(const char* name, long long fallback) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::atoll(text) : fallback;
}

const Variant& variantNamed(const std::string& name) {
    for (const Variant& v : variants())
        if (name == v.name)
            return v;
    throw std::invalid_argument(name);
}

std::vector<Step> parse(const std::vector<std::pair<Op, std::vector<long long>>>& raw) {
    std::vector<Step> steps;
    for (const auto& [op, args] : raw)
        steps.push_back({op, args});
    return steps;
}

TEST_F(OracleCampaignTest, KnownSequencesHold) {
    // The sequences that once broke the board's word, each as it was found.
    using sim::RegisterFileMode;
    struct Known {
        const char* variant;
        RegisterFileMode mode;
        std::vector<std::pair<Op, std::vector<long long>>> steps;
    };
    const std::vector<Known> known{
        // A refused start-up region left the receiver unprogrammed.
        {"RoiX 4",
         RegisterFileMode::direct,
         {{Op::Init, {}}, {Op::Start, {}}, {Op::Sleep, {300000}}}},
        {"RoiHeight 9188", RegisterFileMode::direct, {{Op::Init, {}}}},
        {"RoiY octal", RegisterFileMode::direct, {{Op::Init, {}}}},
        // A NaN rail reading passed the check; a FIFO config hung the bring-up.
        {"rail 2 NaN", RegisterFileMode::direct, {{Op::Init, {}}}},
        {"config FIFO", RegisterFileMode::direct, {{Op::Init, {}}}},
        // A second bring-up over a running capture left it dead.
        {"sample",
         RegisterFileMode::direct,
         {{Op::Init, {}},
          {Op::Start, {}},
          {Op::Sleep, {300000}},
          {Op::Init, {}},
          {Op::Sleep, {400000}}}},
        // Bias words around a test pattern.
        {"sample",
         RegisterFileMode::direct,
         {{Op::Init, {}},
          {Op::Pattern, {16}},
          {Op::Write, {kBiasOffsetWord, 0x100}},
          {Op::Pattern, {0}}}},
        {"sample",
         RegisterFileMode::direct,
         {{Op::Init, {}},
          {Op::Write, {kBiasEnableWord, 0}},
          {Op::Write, {kBiasOffsetWord, 0}},
          {Op::Pattern, {16}},
          {Op::Pattern, {0}}}},
        {"sample", RegisterFileMode::thread, {{Op::Init, {}}, {Op::Pattern, {16}}}},
        // Regions changed while the sensor reads out.
        {"sample",
         RegisterFileMode::direct,
         {{Op::Init, {}},
          {Op::Start, {}},
          {Op::Sleep, {250000}},
          {Op::Regions, {0, 0, 13280, 2000, 4000, 0, 13280, 2000}}}},
        // A longer interval during a free-running capture lost a frame.
        {"sample",
         RegisterFileMode::direct,
         {{Op::Init, {}},
          {Op::Roi, {7000, 0, 13280, 2000}},
          {Op::Exposure, {1000}},
          {Op::Start, {}},
          {Op::Sleep, {100000}},
          {Op::Interval, {200000}},
          {Op::Sleep, {1000000}}}},
        // The getters kept a region the sensor refused.
        {"sample", RegisterFileMode::direct, {{Op::Init, {}}, {Op::Roi, {32, 32, 13280, 9184}}}},
        // Settings before bring-up answered 0.
        {"sample",
         RegisterFileMode::direct,
         {{Op::Start, {}},
          {Op::Exposure, {20000}},
          {Op::Roi, {0, 0, 13280, 9184}},
          {Op::Pattern, {16}}}},
        // Values read otherwise than written.
        {"commented exposure", RegisterFileMode::direct, {{Op::Init, {}}}},
        {"mask beyond 32 bits", RegisterFileMode::direct, {{Op::Init, {}}}},
    };
    for (const Known& k : known)
        expectHolds(variantNamed(k.variant), k.mode, parse(k.steps), "known");
}

TEST_F(OracleCampaignTest, RandomSequencesHold) {
    const long long sequences = fromEnvironment("TC120MXS_ORACLE_SEQUENCES", 300);
    const long long seconds = fromEnvironment("TC120MXS_ORACLE_SECONDS", 0);
    const long long firstSeed = fromEnvironment("TC120MXS_ORACLE_SEED", 1);
    const auto start = std::chrono::steady_clock::now();
    const sim::RegisterFileMode modes[] = {sim::RegisterFileMode::direct,
                                           sim::RegisterFileMode::locked,
                                           sim::RegisterFileMode::thread};
    long long ran = 0, steps = 0;
    for (long long seed = firstSeed;; ++seed) {
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (seconds > 0 ? elapsed >= seconds : ran >= sequences)
            break;
        std::mt19937 rng(static_cast<uint32_t>(seed));
        const Variant& variant = variants()[rng() % variants().size()];
        const sim::RegisterFileMode mode = modes[rng() % 3];
        const std::vector<Step> sequence = randomSequence(rng, 4 + rng() % 24);
        expectHolds(variant, mode, sequence, std::to_string(seed));
        ++ran;
        steps += static_cast<long long>(sequence.size());
        if (HasFailure())
            break;
    }
    std::cout << "oracle: " << ran << " sequences, " << steps << " steps, seeds " << firstSeed
              << ".." << firstSeed + ran - 1 << ", "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()
              << " s" << std::endl;
}

} // namespace
