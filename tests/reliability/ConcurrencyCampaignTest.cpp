// Concurrency campaign: the framework's notification thread, register-file clients and
// host calls meeting on one board, and threads that die holding the board's or the
// sensor's mutex. Every case runs a fixed number of operations on the virtual clock.
#include "plugin/BringupFixture.h"
#include "tests/support/BoardTestAccess.h"

#include "Tarnis/tcGpio.h"
#include "Vistrel/tcRegisterFile.h"
#include "platform/RobustLock.h"
#include "sim/FrameworkThreads.h"

#include <gtest/gtest.h>

#include <malloc.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <streambuf>
#include <string>
#include <thread>
#include <vector>

// Test-only view of the sensor's register mutex (a friend of the sensor).
class SensorTestAccess {
public:
    static pthread_mutex_t* registerMutex(tc120MXS& sensor) {
        return sensor.registerMutex.getMutex();
    }
};

namespace {

using Vistrel::tc120MXSSensorBoard;

// The board with its framework mutex in reach, for the owner-dead cases.
class ExposedBoard : public tc120MXSSensorBoard {
public:
    using tc120MXSSensorBoard::tc120MXSSensorBoard;
    pthread_mutex_t* boardMutex() { return mutex.getMutex(); }
};

void report(const char* name, int threads, long notifications, long operations) {
    std::cout << "campaign: " << name << " threads=" << threads
              << " notifications=" << notifications << " operations=" << operations << std::endl;
}

void writeWord(uint32_t address, uint32_t value) {
    Vistrel::tcRegisterFile::getInstance(nullptr, true)->update_word(address, value);
}

// Releases the threads of a case together.
class StartGate {
public:
    void open() { go = true; }
    void wait() const {
        while (!go.load())
            std::this_thread::yield();
    }

private:
    std::atomic<bool> go{false};
};

// Fails the case instead of hanging the run when its threads deadlock.
class Watchdog {
public:
    explicit Watchdog(const char* name, std::chrono::seconds limit = std::chrono::seconds(30))
        : name(name), limit(limit), thread([this] { watch(); }) {}
    ~Watchdog() {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            done = true;
        }
        finished.notify_all();
        thread.join();
    }

private:
    void watch() {
        std::unique_lock<std::mutex> lock(mutex);
        if (!finished.wait_for(lock, limit, [this] { return done; })) {
            std::cerr << "campaign: " << name << " deadlocked" << std::endl;
            std::abort();
        }
    }
    const char* name;
    std::chrono::seconds limit;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::thread thread;
};

// Standard output that also tells when lines containing some texts went out (threads of
// the board write to it; the original buffer still gets everything).
class OutputWatch : public std::streambuf {
public:
    explicit OutputWatch(std::vector<std::string> texts)
        : texts(std::move(texts)), previous(std::cout.rdbuf(this)) {}
    ~OutputWatch() override { std::cout.rdbuf(previous); }
    // Waits until every text has gone out.
    void waitForTexts() {
        std::unique_lock<std::mutex> lock(mutex);
        seen.wait(lock, [this] { return texts.empty(); });
    }

private:
    int overflow(int c) override {
        const char ch = static_cast<char>(c);
        return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        const std::lock_guard<std::mutex> lock(mutex);
        previous->sputn(s, n);
        buffer.append(s, static_cast<size_t>(n));
        for (auto text = texts.begin(); text != texts.end();)
            text = buffer.find(*text) != std::string::npos ? texts.erase(text) : text + 1;
        if (texts.empty())
            seen.notify_all();
        if (buffer.size() > 8192)
            buffer.erase(0, buffer.size() - 4096);
        return n;
    }
    std::vector<std::string> texts;
    std::streambuf* previous;
    std::mutex mutex;
    std::condition_variable seen;
    std::string buffer;
};

class ConcurrencyCampaignTest : public bringup::BringupTest {
protected:
    ExposedBoard& readyExposedBoard() {
        copyAllSampleFiles();
        board = std::make_unique<ExposedBoard>("/dev/spidev1.0");
        EXPECT_EQ(board->initialize(), 0);
        head().clearStatusLines();
        return static_cast<ExposedBoard&>(*board);
    }
    tc120MXS& sensor() { return Vistrel::BoardTestAccess::sensor(*board); }

    // Stopped board: PWM off, sensor frame state 0, nothing capturing.
    void expectStopped() {
        EXPECT_FALSE(board->isCapturing());
        EXPECT_FALSE(head().pwm().enabled);
        EXPECT_EQ(chipFrameState(), 0u);
    }
};

TEST_F(ConcurrencyCampaignTest, RegisterFileWritesDuringRegionExposureAndVersion) {
    // Fault: observer notifications racing setROI/setExposure on the sensor's timing, a
    // lock-order deadlock with getVersion, or interval words out of step with the PWM.
    ExposedBoard& b = readyExposedBoard();
    constexpr int kWrites = 300;
    constexpr int kRounds = 30;
    StartGate gate;
    std::atomic<long> notifications{0};
    std::thread client([&] {
        gate.wait();
        for (int i = 0; i < kWrites; ++i) {
            writeWord(0x3D000, i % 2 == 0 ? 13 : 15);             // gain
            writeWord(0x3D008, static_cast<uint32_t>(i) & 0x3FF); // bias offset
            writeWord(0x3D00C, static_cast<uint32_t>(i) & 1);     // bias enable
            notifications += 3;
        }
    });
    const Vistrel::ROI regions[3] = {Vistrel::kFullFrame, Vistrel::ROI(1000, 800, 4000, 2000),
                                     Vistrel::ROI(0, 0, 13280, 4592)};
    long operations = 0;
    testing::internal::CaptureStdout();
    gate.open();
    for (int round = 0; round < kRounds; ++round) {
        EXPECT_EQ(b.setROI(regions[round % 3]), 0);
        EXPECT_EQ(b.setExposure(20000 + (round % 7) * 15000), 0);
        EXPECT_FALSE(b.getVersion().empty());
        operations += 3;
    }
    client.join();
    testing::internal::GetCapturedStdout();

    EXPECT_EQ(word(0x3A000), uint32_t(b.getFrameInterval()));
    EXPECT_EQ(word(0x3A004), uint32_t(b.getExposure()));
    EXPECT_EQ(head().pwm().periodUs, b.getFrameInterval());
    EXPECT_LE(b.getExposure(), b.getFrameInterval());
    EXPECT_EQ(b.getMinFrameIntervalMicroS() <= b.getFrameInterval(), true);
    EXPECT_EQ(b.start(), 0);
    EXPECT_EQ(b.stop(), 0);
    expectStopped();
    report("regfile-writes-during-roi-exposure-version", 2, notifications.load(), operations);
}

TEST_F(ConcurrencyCampaignTest, PeekAndPokeDuringRegisterFileLoad) {
    // Fault: a poke's SPI frame interleaved with the file's frames (torn 5-byte frames), a
    // peek reading the shadow map while the loader inserts into it, or a deadlock.
    ExposedBoard& b = readyExposedBoard();
    constexpr int kFileLines = 2000;
    constexpr int kPokes = 300;
    std::ostringstream file;
    file << std::hex;
    for (int i = 0; i < kFileLines; ++i)
        file << (0x100 + (i % 200)) << ' ' << i << '\n';
    writeFile("120MXS_registers.txt", file.str());
    const size_t framesBefore = head().spiFrames().size();
    StartGate gate;
    std::atomic<long> operations{0};
    std::atomic<bool> loaded{false};
    testing::internal::CaptureStdout();
    std::thread loader([&] {
        gate.wait();
        sensor().SensorInitRegisters();
        loaded = true;
    });
    // Peeks alone, without pokes that would wait for the whole file under the register
    // mutex: these overlap the loader's inserts into the shadow map.
    std::thread reader([&] {
        gate.wait();
        for (int i = 0; i < kPokes || !loaded.load(); ++i) {
            int value = 0;
            b.peek(0x100 + (i % 200), &value);
            operations += 1;
        }
    });
    std::thread client([&] {
        gate.wait();
        for (int i = 0; i < kPokes; ++i) {
            int value = 0;
            EXPECT_EQ(b.poke(0x50, i), 0);
            EXPECT_EQ(b.peek(0x50, &value), 0);
            EXPECT_EQ(value, i) << "peek does not see the poke just made";
            b.peek(0x100 + (i % 200), &value); // may not be loaded yet
            operations += 3;
        }
    });
    gate.open();
    loader.join();
    reader.join();
    client.join();
    testing::internal::GetCapturedStdout();

    const auto frames = head().spiFrames();
    size_t pokes = 0, fileWrites = 0;
    for (size_t i = framesBefore; i < frames.size(); ++i) {
        ASSERT_TRUE(frames[i].wellFormed) << "torn SPI frame " << i;
        if (frames[i].reg == 0x50)
            ++pokes;
        else if (frames[i].reg >= 0x100 && frames[i].reg < 0x100 + 200)
            ++fileWrites;
    }
    EXPECT_EQ(pokes, size_t(kPokes));
    EXPECT_EQ(fileWrites, size_t(kFileLines));
    EXPECT_EQ(head().chipRegisters().at(0x50), uint32_t(kPokes - 1));
    EXPECT_EQ(head().chipRegisters().at(0x100), uint32_t(kFileLines - 200));
    report("peek-poke-during-register-load", 4, 0, operations.load() + kFileLines);
}

TEST_F(ConcurrencyCampaignTest, BoardMutexOwnerDiesThenNormalOperation) {
    // Fault: the board mutex left unusable after a holder died (the next setter hangs or
    // fails), or the recovered mutex not made consistent and so broken for good.
    if (testsupport::robustFutexesUnavailable())
        GTEST_SKIP() << "robust futexes unavailable (set_robust_list: ENOSYS, as under qemu-user)";
    ExposedBoard& b = readyExposedBoard();
    std::thread dies([&] { ASSERT_EQ(pthread_mutex_lock(b.boardMutex()), 0); });
    dies.join(); // exits holding the board mutex

    testing::internal::CaptureStdout();
    EXPECT_EQ(b.setExposure(30000), 0);
    EXPECT_EQ(word(0x3A004), uint32_t(b.getExposure()));
    EXPECT_EQ(b.setFrameInterval(200000), 0);
    EXPECT_FALSE(b.getVersion().empty());
    testing::internal::GetCapturedStdout();
    // The mutex works normally again: free, and taken and released by the operations.
    ASSERT_EQ(pthread_mutex_trylock(b.boardMutex()), 0);
    EXPECT_EQ(pthread_mutex_unlock(b.boardMutex()), 0);
    EXPECT_EQ(b.start(), 0);
    EXPECT_EQ(b.stop(), 0);
    expectStopped();
    report("board-mutex-owner-dead", 2, 0, 6);
}

TEST_F(ConcurrencyCampaignTest, RegisterMutexOwnerDiesThenNormalOperation) {
    // Fault: the sensor's register mutex left unusable after a holder died, so every
    // later SPI write (poke, exposure, register file) hangs or is skipped.
    if (testsupport::robustFutexesUnavailable())
        GTEST_SKIP() << "robust futexes unavailable (set_robust_list: ENOSYS, as under qemu-user)";
    ExposedBoard& b = readyExposedBoard();
    pthread_mutex_t* registerMutex = SensorTestAccess::registerMutex(sensor());
    std::thread dies([&] { ASSERT_EQ(pthread_mutex_lock(registerMutex), 0); });
    dies.join(); // exits holding the register mutex

    const size_t framesBefore = head().spiFrames().size();
    testing::internal::CaptureStdout();
    EXPECT_EQ(b.poke(0x50, 0x1234), 0);
    EXPECT_EQ(b.setExposure(30000), 0);
    sensor().SensorInitRegisters();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(head().chipRegisters().at(0x50), 0x1234u);
    EXPECT_GT(head().spiFrames().size(), framesBefore + 2);
    ASSERT_EQ(pthread_mutex_trylock(registerMutex), 0);
    EXPECT_EQ(pthread_mutex_unlock(registerMutex), 0);
    EXPECT_EQ(b.start(), 0);
    EXPECT_EQ(b.stop(), 0);
    expectStopped();
    report("register-mutex-owner-dead", 2, 0, 5);
}

// Prints what the checks reported while standard output was captured.
void showFailures(const std::string& out) {
    for (size_t at = out.find("Failure"); at != std::string::npos; at = out.find("Failure", at + 1))
        std::cout << out.substr(at, 400) << std::endl;
}

// An observer of the register file that runs an action for some of its words.
class WordWatch : public Vistrel::tcObserver {
public:
    WordWatch(std::vector<uint32_t> words, std::function<void()> action)
        : words(std::move(words)), action(std::move(action)) {
        observable().registerObserver(this);
    }
    ~WordWatch() override { stop(); }
    void stop() { observable().unregisterObserver(this); }
    void update(Vistrel::tsUpdate& update) override {
        if (std::find(words.begin(), words.end(), update.address) != words.end())
            action();
    }

private:
    static Vistrel::tcObservable& observable() {
        return Vistrel::tcRegisterFile::getInstance(nullptr, true)->observable;
    }
    std::vector<uint32_t> words;
    std::function<void()> action;
};

TEST_F(ConcurrencyCampaignTest, StrictLockRegisterFileRefusesAWordFromItsOwnNotification) {
    // Fault in the head: a register file holding a lock that is not recursive while it
    // notifies lets a word written from inside the notification through (a real one would
    // block for good), hangs the run itself, or blames a write from another thread that only
    // waited for the lock.
    resetHeadWithRegisterFile(sim::RegisterFileMode::strictLock);
    expectViolation("regfile-reentrant");
    const Watchdog watchdog("strict-lock-reentry");
    std::thread other;
    WordWatch echo({0x3A200}, [&] {
        writeWord(0x3A204, 1); // the same thread, inside the notification
        other = std::thread([] { writeWord(0x3A208, 2); });
    });
    writeWord(0x3A200, 1);
    other.join();
    echo.stop();
    EXPECT_EQ(word(0x3A200), 1u);
    EXPECT_EQ(word(0x3A204), std::nullopt) << "the word written from inside was stored";
    EXPECT_EQ(word(0x3A208), 2u) << "the other thread's write waited for the lock";
    EXPECT_EQ(violatedRules(), std::vector<std::string>{"regfile-reentrant"});
}

// The same cases whichever way the framework delivers register-file notifications.
class FrameworkThreadsTest : public ConcurrencyCampaignTest,
                             public testing::WithParamInterface<sim::RegisterFileMode> {
protected:
    void SetUp() override {
        ConcurrencyCampaignTest::SetUp();
        resetHeadWithRegisterFile(GetParam());
    }
    void TearDown() override {
        settle();
        ConcurrencyCampaignTest::TearDown();
    }
    // Every notification posted so far has been delivered, and the words the board
    // published inside them were sent and delivered too.
    void settle() {
        sim::waitForRegisterFileNotifications();
        sim::waitForGpioNotifications();
        if (board) {
            Vistrel::BoardTestAccess::waitForPublishedWords(*board);
            sim::waitForRegisterFileNotifications();
        }
    }
    uint16_t verticalMode() { return Vistrel::BoardTestAccess::verticalMode(*board); }
    uint32_t chipRegister(uint16_t reg) {
        const auto chip = head().chipRegisters();
        const auto found = chip.find(reg);
        return found == chip.end() ? 0 : found->second;
    }
    std::vector<uint32_t> receiverRegion() {
        return {head().frameRegister(sim::frame::roiResolution),
                head().frameRegister(sim::frame::blankOffset),
                head().frameRegister(sim::frame::roiStart)};
    }
};

std::string modeName(const testing::TestParamInfo<sim::RegisterFileMode>& info) {
    switch (info.param) {
    case sim::RegisterFileMode::direct:
        return "direct";
    case sim::RegisterFileMode::locked:
        return "locked";
    case sim::RegisterFileMode::strictLock:
        return "strict_lock";
    default:
        return "thread";
    }
}

INSTANTIATE_TEST_SUITE_P(RegisterFile, FrameworkThreadsTest, testsupport::allRegisterFileModes(),
                         modeName);

TEST_P(FrameworkThreadsTest, VerticalFactorWritesAgainstRegionExposureStartAndStop) {
    // Fault: a client's 0x3A040 write interleaving with setROI, so that the region, the line
    // factor, the sensor's row band and the receiver's cut-out are seen out of step by a
    // holder of the board mutex, or words 0x3C020, 0x3A000, 0x3A004 go stale; a deadlock
    // between the board mutex and a register file notifying under its own lock; a refused
    // factor's rollback racing start or stop.
    ExposedBoard& b = readyExposedBoard();
    const Watchdog watchdog("vertical-factor-writes");
    // Valid with line factor 1 and 2 alike.
    const Vistrel::ROI regions[] = {Vistrel::ROI(1000, 800, 4000, 2000),
                                    Vistrel::ROI(0, 0, 13280, 4592),
                                    Vistrel::ROI(400, 0, 8000, 1200)};
    // Region and factor, and what the sensor and the receiver hold for them.
    const auto regionKey = [&] {
        return b.getROI().toString() + "@" + std::to_string(verticalMode());
    };
    const auto hardware = [&] {
        std::vector<uint32_t> held = receiverRegion();
        held.push_back(chipRegister(0x04));               // row band
        held.push_back((chipRegister(0x03) >> 15) & 0x7); // line factor code
        return held;
    };
    // Each state the case can reach, set up one step at a time.
    testing::internal::CaptureStdout();
    std::map<std::string, std::vector<uint32_t>> reachable;
    const auto learn = [&] {
        settle();
        reachable[regionKey()] = hardware();
    };
    for (const Vistrel::ROI& region : regions) {
        writeWord(0x3A040, 1);
        b.setROI(region);
        learn();
        writeWord(0x3A040, 2); // the region in rows of two
        learn();
        b.setROI(region);
        learn();
        writeWord(0x3A040, 1);
        learn();
    }

    constexpr int kRounds = 80;
    std::atomic<int> round{-1};
    std::atomic<int> clientDone{-1};
    std::atomic<bool> finished{false};
    std::atomic<long> checks{0};
    std::mutex seenMutex;
    std::string outOfStep;
    std::thread client([&] {
        for (int r = 0; r < kRounds; ++r) {
            while (round.load() < r)
                std::this_thread::yield();
            writeWord(0x3A040, r % 3 == 0 ? 1 : 2);
            clientDone = r;
        }
    });
    // Whoever holds the board mutex sees one of the states above, never one in between:
    // checked whenever the board publishes a word, and by a thread of its own.
    const auto check = [&] {
        std::string key;
        std::vector<uint32_t> held;
        {
            platform::tcRobustLock lock(b.boardMutex());
            key = regionKey();
            held = hardware();
        }
        ++checks;
        const auto found = reachable.find(key);
        if (found == reachable.end() || found->second != held) {
            const std::lock_guard<std::mutex> lock(seenMutex);
            if (outOfStep.empty())
                outOfStep = key;
        }
    };
    WordWatch watch({0x3A000, 0x3A004, 0x3C020}, check);
    std::thread checker([&] {
        while (!finished.load()) {
            check();
            std::this_thread::yield();
        }
    });
    long operations = 0;
    for (int r = 0; r < kRounds; ++r) {
        round = r;
        switch (r % 4) {
        case 0:
            b.setROI(regions[(r / 4) % 3]);
            break;
        case 1:
            b.setExposure(20000 + (r % 7) * 15000);
            break;
        case 2:
            EXPECT_EQ(b.start(), 0);
            break;
        default:
            EXPECT_EQ(b.stop(), 0);
            break;
        }
        ++operations;
        while (clientDone.load() < r)
            std::this_thread::yield();
        settle();
        // Quiet: the words match the board.
        EXPECT_EQ(word(0x3C020), uint32_t(b.getMinFrameIntervalMicroS())) << "round " << r;
        EXPECT_EQ(word(0x3A000), uint32_t(b.getFrameInterval())) << "round " << r;
        EXPECT_EQ(word(0x3A004), uint32_t(b.getExposure())) << "round " << r;
        if (HasFailure()) {
            round = kRounds; // lets the client finish
            break;
        }
    }
    client.join();
    finished = true;
    checker.join();
    settle();
    watch.stop();
    showFailures(testing::internal::GetCapturedStdout());
    EXPECT_EQ(outOfStep, "") << "region, line factor and hardware out of step";
    EXPECT_GT(checks.load(), 0);
    b.stop();
    expectStopped();
    report((std::string("vertical-factor-writes/") + modeName({GetParam(), 0})).c_str(), 3, kRounds,
           operations + checks.load());
}

TEST_P(FrameworkThreadsTest, BoardDeletedWhileNotificationsRun) {
    // Fault: a board whose destructor returns while a client's 0x3A040 write or a GPIO
    // trigger is still running in it (use after free: the notification goes on in freed
    // memory), or a destructor that waits for itself when the notifying thread deletes the
    // board. Each notification is held inside the board while the delete starts.
    const Watchdog watchdog("board-deleted");
    copyAllSampleFiles();
    constexpr int kBoards = 4;
    int returnedEarly = 0;
    testing::internal::CaptureStdout();
    for (int i = 0; i < kBoards; ++i) {
        // The board itself, as the framework makes it: a subclass would change the virtual
        // table that running notifications use while the destructor starts.
        auto made = std::make_unique<tc120MXSSensorBoard>("/dev/spidev1.0");
        ASSERT_EQ(made->initialize(), 0);
        ASSERT_EQ(made->setTrigger(Vistrel::eeExternalTrigger), 0);
        ASSERT_EQ(made->start(), 0);
        settle();
        tc120MXSSensorBoard* const target = made.release();
        auto& captureMutex = Vistrel::BoardTestAccess::captureMutex(*target);
        pthread_mutex_t* const boardMutex = Vistrel::BoardTestAccess::boardMutex(*target);
        // Even rounds: the host deletes the board while both notifications wait inside it.
        // Odd rounds: the thread that delivers the board's own word 0x3C020 deletes it
        // while the trigger waits inside.
        const bool byNotifier = i % 2 == 1;
        std::atomic<bool> deleting{false}, destroyed{false};
        const auto destroy = [&] {
            deleting = true;
            delete target;
            destroyed = true;
        };
        std::atomic<bool> armed{false};
        WordWatch killer({0x3C020}, [&] {
            if (armed.exchange(false))
                destroy();
        });
        std::thread deleter;
        {
            // In the board's lock order: the board mutex before the capture mutex.
            if (!byNotifier)
                pthread_mutex_lock(boardMutex); // a host operation running
            std::unique_lock<platform::tcMutexLock> frame(
                captureMutex); // a triggered frame running
            {
                OutputWatch inside({"Handler: gpio 7"});
                sim::notifyGpio(*target, 7, 1);
                inside.waitForTexts();
            }
            OutputWatch inside({byNotifier ? "setROI exit" : "update register: 237632"});
            armed = byNotifier;
            std::thread client([&] { writeWord(0x3A040, 2); });
            inside.waitForTexts();
            // Lets them reach the mutexes.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (!byNotifier)
                deleter = std::thread(destroy);
            while (!deleting.load())
                std::this_thread::yield();
            // The destructor must wait for what runs in the board.
            for (int n = 0; n < 10 && !destroyed.load(); ++n)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            if (destroyed.load())
                ++returnedEarly;
            if (!byNotifier)
                pthread_mutex_unlock(boardMutex);
            frame.unlock();
            client.join();
            if (deleter.joinable())
                deleter.join();
            // The word 0x3C020 leaves the board after the client's notification, on a
            // thread of the board's own: the delete may still be on its way.
            while (!destroyed.load())
                std::this_thread::yield();
            settle(); // before standard output gets its own buffer back
        }
        killer.stop();
        EXPECT_TRUE(destroyed.load());
    }
    showFailures(testing::internal::GetCapturedStdout());
    EXPECT_EQ(returnedEarly, 0) << "destructors that returned while a notification ran";
    report((std::string("board-deleted/") + modeName({GetParam(), 0})).c_str(), 4, kBoards * 2,
           kBoards);
}

TEST_P(FrameworkThreadsTest, GpioNotificationsDuringStartStopAndTrigger) {
    // Fault: setTrigger changing the mode while start() sets a capture up (a capture whose
    // PWM and frame output follow another mode than getTrigger() reports), a triggered
    // frame driving the PWM after stop() returned, a deadlock between Handler, start/stop
    // and a client's 0x3A040 write, or a lost or torn notification line.
    ExposedBoard& b = readyExposedBoard();
    const Watchdog watchdog("gpio-start-stop-trigger");
    constexpr int pin = 7; // the trigger input
    constexpr int kRounds = 40;
    constexpr int kAimedRounds = 6; // a mode change sent in the middle of start()
    constexpr int kEdgesPerRound = 5;
    constexpr int kWrites = 40;

    // Another host thread asks for free running while start() talks to the frame output,
    // and is given a moment to get through.
    std::mutex changeMutex;
    std::condition_variable changed;
    int requested = 0, returned = 0;
    std::atomic<bool> aim{false}, finished{false};
    std::thread host([&] {
        std::unique_lock<std::mutex> lock(changeMutex);
        for (;;) {
            changed.wait(lock, [&] { return requested > returned || finished.load(); });
            if (requested == returned)
                return;
            lock.unlock();
            b.setTrigger(Vistrel::eeFreeRunning);
            lock.lock();
            ++returned;
            changed.notify_all();
        }
    });
    sim::setFrameOutputHook([&](char operation) {
        if (operation != 'P' || !aim.exchange(false))
            return;
        std::unique_lock<std::mutex> lock(changeMutex);
        ++requested;
        changed.notify_all();
        changed.wait_for(lock, std::chrono::milliseconds(2), [&] { return returned == requested; });
    });
    StartGate gate;
    std::thread client([&] {
        gate.wait();
        for (int i = 0; i < kWrites; ++i)
            writeWord(0x3A040, i % 2 == 0 ? 2 : 1);
    });
    long operations = 0;
    testing::internal::CaptureStdout();
    gate.open();
    for (int round = 0; round < kRounds; ++round) {
        const bool external = round % 2 == 0;
        b.setTrigger(external ? Vistrel::eeExternalTrigger : Vistrel::eeFreeRunning);
        aim = external && round / 2 < kAimedRounds;
        const size_t outputCalls = head().frameOutputCalls().size();
        ASSERT_EQ(b.start(), 0);
        const bool triggered = b.getTrigger() == Vistrel::eeExternalTrigger;
        EXPECT_EQ(head().frameOutputCalls().size() - outputCalls, triggered ? 3u : 0u)
            << "round " << round << ": capture set up for the other trigger mode";
        if (!triggered) {
            EXPECT_TRUE(head().pwm().enabled) << "round " << round;
        }
        for (int e = 0; e < kEdgesPerRound; ++e)
            sim::notifyGpio(b, pin, static_cast<unsigned>(e & 1));
        EXPECT_EQ(b.stop(), 0);
        const size_t pwmCalls = head().pwm().enableLog.size();
        sim::waitForGpioNotifications();
        EXPECT_EQ(head().pwm().enableLog.size(), pwmCalls)
            << "round " << round << ": a trigger drove the PWM after stop() returned";
        EXPECT_FALSE(head().pwm().enabled);
        {
            // The mode change asked for during start() has returned before the next round.
            std::unique_lock<std::mutex> lock(changeMutex);
            changed.wait(lock, [&] { return returned == requested; });
        }
        operations += 4;
        if (HasFailure())
            break;
    }
    sim::setFrameOutputHook(nullptr);
    {
        const std::lock_guard<std::mutex> lock(changeMutex);
        finished = true;
    }
    changed.notify_all();
    host.join();
    client.join();
    settle();
    const std::string out = testing::internal::GetCapturedStdout();
    showFailures(out);

    size_t lines = 0;
    for (size_t at = out.find("Handler: gpio "); at != std::string::npos;
         at = out.find("Handler: gpio ", at + 1))
        ++lines;
    if (!HasFailure()) {
        EXPECT_EQ(lines, size_t(kRounds * kEdgesPerRound))
            << "a notification line was lost or torn";
    }
    expectStopped();
    // Normal operation afterwards.
    EXPECT_EQ(b.setTrigger(Vistrel::eeFreeRunning), 0);
    EXPECT_EQ(b.start(), 0);
    EXPECT_TRUE(head().pwm().enabled);
    EXPECT_EQ(b.stop(), 0);
    report((std::string("gpio-during-start-stop-trigger/") + modeName({GetParam(), 0})).c_str(), 4,
           kRounds * kEdgesPerRound + kWrites, operations + requested);
}

TEST_P(FrameworkThreadsTest, TriggerWaitingAcrossStopDoesNotRunInTheNextCapture) {
    // Fault: a trigger that arrived during capture A while a triggered frame ran, and
    // waited while stop() was called, drives the PWM beside that frame, after stop() or in
    // capture B (the capture mutex is not first come, first served).
    ExposedBoard& b = readyExposedBoard();
    const Watchdog watchdog("trigger-across-stop");
    auto& captureMutex = Vistrel::BoardTestAccess::captureMutex(b);
    constexpr int kRounds = 6;
    int stale = 0;
    testing::internal::CaptureStdout();
    ASSERT_EQ(b.setTrigger(Vistrel::eeExternalTrigger), 0);
    for (int round = 0; round < kRounds; ++round) {
        ASSERT_EQ(b.start(), 0); // capture A
        {
            OutputWatch arrived({"Handler: gpio 7"});
            std::unique_lock<platform::tcMutexLock> busy(
                captureMutex); // a triggered frame still running
            const size_t pwmCalls = head().pwm().enableLog.size();
            sim::notifyGpio(b, 7, 1);
            arrived.waitForTexts();
            // Lets the trigger reach the capture mutex.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            std::atomic<bool> stopping{false};
            std::thread host([&] {
                stopping = true;
                b.stop();
                b.start(); // capture B
            });
            while (!stopping.load())
                std::this_thread::yield();
            // Lets stop() reach the capture mutex.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            busy.unlock();
            host.join();
            sim::waitForGpioNotifications();
            // Only stop (PWM off) and B's start in trigger mode (on for the arming pulse, then
            // off): no frame for the trigger, neither beside the running one nor later.
            if (head().pwm().enableLog.size() - pwmCalls != 3)
                ++stale;
        }
        ASSERT_EQ(b.stop(), 0);
    }
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(stale, 0) << "rounds in which the waiting trigger drove the PWM";
    expectStopped();
    report((std::string("trigger-across-stop/") + modeName({GetParam(), 0})).c_str(), 3, kRounds,
           kRounds * 4);
}

// Real-time durations of one kind of call, and their distribution.
class CallTimes {
public:
    void add(std::chrono::steady_clock::duration taken) {
        micros.push_back(std::chrono::duration<double, std::micro>(taken).count());
    }
    // The p-th percentile (0..100), nearest rank.
    double percentile(double p) const {
        if (micros.empty())
            return 0;
        std::vector<double> sorted = micros;
        std::sort(sorted.begin(), sorted.end());
        const size_t rank = static_cast<size_t>(p / 100.0 * static_cast<double>(sorted.size() - 1));
        return sorted[rank];
    }
    std::string summary() const {
        std::ostringstream out;
        out.precision(1);
        out << std::fixed << "calls=" << micros.size() << " p50=" << percentile(50)
            << "us p99=" << percentile(99) << "us max=" << percentile(100) << "us";
        return out.str();
    }

private:
    std::vector<double> micros;
};

// Heap memory the process has allocated and not freed, in KiB: what a growing backlog
// would show, where the resident size keeps the high-water mark of the head's logs.
long heapInUseKiB() {
    return static_cast<long>(mallinfo2().uordblks / 1024);
}

// Counts the register-file words of the board that reach the register file on one thread,
// whichever call sends them (meaningful where the register file notifies on the writer's
// thread).
class SentOnThread : public Vistrel::tcObserver {
public:
    explicit SentOnThread(std::thread::id thread) : thread(thread) {
        observable().registerObserver(this);
    }
    ~SentOnThread() override { observable().unregisterObserver(this); }
    void update(Vistrel::tsUpdate& update) override {
        static const uint32_t boardWords[] = {0x3A000, 0x3A004, 0x3A00C, 0x3A014, 0x3C020};
        if (std::this_thread::get_id() == thread &&
            std::find(std::begin(boardWords), std::end(boardWords), update.address) !=
                std::end(boardWords))
            ++sent;
    }
    long take() { return sent.exchange(0); }

private:
    static Vistrel::tcObservable& observable() {
        return Vistrel::tcRegisterFile::getInstance(nullptr, true)->observable;
    }
    std::thread::id thread;
    std::atomic<long> sent{0};
};

TEST_P(FrameworkThreadsTest, HostCallsDuringAClientWriteStorm) {
    // Fault: a host call that sends the words the client's writes made the board publish as
    // well as its own (its time then set by the client thread, the backlog growing with the
    // storm), a word sent from inside the register file's own notification (a deadlock, or a
    // dropped word, with a register file whose lock is not recursive), or an older value of a
    // word overtaking a newer one; a notification that steps aside for a host call it keeps
    // out itself (from a nested board lock). Host call times are measured, not checked: the
    // figures go to the README.
    ExposedBoard& b = readyExposedBoard();
    // Nothing here holds the board mutex while a notification steps aside, so a host call
    // gets in at once: a bound never reached, however slow the machine.
    Vistrel::BoardTestAccess::turns(b).setMostStepAside(std::chrono::seconds(10));
    // Sanitizer builds run it ten times slower.
    const Watchdog watchdog("write-storm", std::chrono::seconds(120));
    constexpr int kRounds = 10000;       // host calls of each run
    constexpr long kMostWrites = 400000; // bound of the storm
    // A host call's own distinct words (setROI: 0x3A000, 0x3A004, 0x3C020), each sent at most
    // once, and what may come in with them.
    constexpr long kMostWordsPerCall = 6;
    const Vistrel::ROI regions[] = {Vistrel::ROI(1000, 800, 4000, 2000),
                                    Vistrel::ROI(0, 0, 13280, 4592)};
    SentOnThread sentByHost(std::this_thread::get_id());
    long mostWords = 0;
    testing::internal::CaptureStdout();
    // Each call's whole time, and the same less its wait for the register file's own lock:
    // the part the board answers for.
    const auto hostRun = [&](CallTimes& times, CallTimes& boardShare, int rounds) {
        for (int r = 0; r < rounds; ++r) {
            const sim::Micros lockWaitBefore = sim::registerFileLockWaited();
            const auto begin = std::chrono::steady_clock::now();
            switch (r % 4) {
            case 0:
                b.setExposure(20000 + (r % 7) * 15000);
                break;
            case 1:
                b.setROI(regions[(r / 4) % 2]);
                break;
            case 2:
                b.start();
                break;
            default:
                b.stop();
                break;
            }
            const auto taken = std::chrono::steady_clock::now() - begin;
            times.add(taken);
            boardShare.add(taken - (sim::registerFileLockWaited() - lockWaitBefore));
            mostWords = std::max(mostWords, sentByHost.take());
        }
    };
    CallTimes quiet, quietBoard, stormy, stormyBoard;
    hostRun(quiet, quietBoard, kRounds);
    settle();
    head().clearLogs();

    // The storm in phases, the words checked at rest after each.
    constexpr int kPhases = 10;
    std::atomic<long> writes{0};
    int phasesOutOfStep = 0;
    long memoryAfterFirstPhase = 0;
    const auto stormBegin = std::chrono::steady_clock::now();
    for (int phase = 0; phase < kPhases; ++phase) {
        StartGate gate;
        std::atomic<bool> hostDone{false};
        std::thread client([&] {
            gate.wait();
            for (long i = 0; i < kMostWrites / kPhases && !hostDone.load(); i += 2) {
                writeWord(0x3A040, (i / 2) % 2 == 0 ? 2 : 1);
                writeWord(0x3D000, (i / 2) % 2 == 0 ? 13 : 15);
                writes += 2;
                // A framework's notification thread keeps pace with its clients.
                if (i % 64 == 0)
                    sim::waitForRegisterFileNotifications();
            }
        });
        gate.open();
        hostRun(stormy, stormyBoard, kRounds / kPhases);
        hostDone = true;
        client.join();
        settle();
        // The head logs every SPI frame of the storm: dropped here, so that what is left to
        // grow is the board's.
        head().clearLogs();
        if (phase == 0)
            memoryAfterFirstPhase = heapInUseKiB();
        if (word(0x3A000) != uint32_t(b.getFrameInterval()) ||
            word(0x3A004) != uint32_t(b.getExposure()) ||
            word(0x3C020) != uint32_t(b.getMinFrameIntervalMicroS()))
            ++phasesOutOfStep;
    }
    const double stormSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - stormBegin).count();
    const long memoryAfter = heapInUseKiB();
    showFailures(testing::internal::GetCapturedStdout());

    EXPECT_EQ(phasesOutOfStep, 0) << "phases after which the words differed from the board";
    EXPECT_LE(mostWords, kMostWordsPerCall) << "words one host call sent on its thread";
    // One word at most for each of the nine addresses the board publishes.
    const size_t mostWaiting = Vistrel::BoardTestAccess::mostWaitingWords(b);
    EXPECT_LE(mostWaiting, 9u) << "words waiting at once in the board's outbox";
    EXPECT_LE(Vistrel::BoardTestAccess::mostHandedOverAddresses(b), 9u)
        << "addresses waiting at once for the outbox's publishing thread";
    EXPECT_EQ(Vistrel::BoardTestAccess::turns(b).stepsAsideTimedOut(), 0u)
        << "notifications that waited in vain for a host call to get the board mutex";
    const std::string name = "campaign: write-storm/" + modeName({GetParam(), 0});
    std::cout << name << " without storm: " << quiet.summary() << std::endl
              << name << " with storm:    " << stormy.summary() << std::endl
              << name << " less the waits for the register file's lock: without storm "
              << quietBoard.summary() << ", with storm " << stormyBoard.summary() << std::endl
              << name << " client writes=" << writes.load() << " in " << stormSeconds
              << " s, most words sent by one host call=" << mostWords
              << ", most words waiting=" << mostWaiting << ", notifications that stepped aside="
              << Vistrel::BoardTestAccess::turns(b).stepsAside()
              << ", left to the board's thread=" << Vistrel::BoardTestAccess::deferredWords(b)
              << " (replaced before applied "
              << Vistrel::BoardTestAccess::supersededWords(b) << ")"
              << ", heap in use after the first phase " << memoryAfterFirstPhase
              << " KiB, after the last " << memoryAfter << " KiB" << std::endl;
    report((std::string("write-storm/") + modeName({GetParam(), 0})).c_str(), 2, writes.load(),
           2L * kRounds);
}

TEST_P(FrameworkThreadsTest,
       EveryHostCallUnderTheFrameworksMutexWhileClientsWriteAndTriggersArrive) {
    // Fault: a framework that serialises its calls holds its board mutex around each; a
    // client's notification that waits for that mutex for as long as it takes, inside a
    // register file that notifies under its own lock, keeps that lock from the framework
    // thread, which writes the register file through the board's published words: neither
    // returns. Or, once all is done, words that describe other settings than the hardware's.
    ExposedBoard& b = readyExposedBoard();
    const Watchdog watchdog("framework-serialises");
    pthread_mutex_t* const boardMutex = Vistrel::BoardTestAccess::boardMutex(b);
    const auto underMutex = [&](const std::function<void()>& call) {
        pthread_mutex_lock(boardMutex);
        call();
        pthread_mutex_unlock(boardMutex);
    };
    const Vistrel::ROI regions[] = {Vistrel::ROI(1000, 800, 4000, 2000), Vistrel::kFullFrame};
    std::atomic<bool> done{false};
    StartGate gate;
    testing::internal::CaptureStdout();
    std::thread client([&] {
        gate.wait();
        for (uint32_t i = 0; !done.load(); ++i) {
            writeWord(0x3D000, i % 2 == 0 ? 13 : 7);
            writeWord(0x3D008, i & 0x7FF);
            writeWord(0x3D00C, (i / 2) & 1);
            if (i % 8 == 0)
                writeWord(0x3A040, (i / 8) % 2 == 0 ? 2 : 1);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    std::thread triggers([&] {
        gate.wait();
        for (unsigned level = 1; !done.load(); level ^= 1u) {
            sim::notifyGpio(b, 7, level);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    });
    gate.open();
    underMutex([&] { EXPECT_EQ(b.initialize(), 0); });
    constexpr int kRounds = 24;
    for (int r = 0; r < kRounds; ++r) {
        underMutex([&] { b.setExposure(20000 + (r % 5) * 10000); });
        underMutex([&] { b.setFrameInterval(250000 + (r % 3) * 50000); });
        underMutex([&] { b.setROI(regions[r % 2]); });
        underMutex(
            [&] { b.setTestPattern(static_cast<Vistrel::teTestPattern>(r % 3 == 0 ? 16 : 0)); });
        underMutex(
            [&] { b.setTrigger(r % 4 < 2 ? Vistrel::eeExternalTrigger : Vistrel::eeFreeRunning); });
        underMutex([&] { b.start(); });
        underMutex([&] {
            b.getImageROI();
            b.getROI();
            b.getVersion();
            b.getExposure();
        });
        underMutex([&] { b.stop(); });
    }
    underMutex([&] { b.setTestPattern(Vistrel::eeTestPatternOff); });
    done = true;
    client.join();
    triggers.join();
    settle();
    showFailures(testing::internal::GetCapturedStdout());

    const bool biasOn = (head().frameRegister(sim::frame::biasSubtract) & 0x80000000u) != 0;
    EXPECT_EQ(word(0x3D000), (chipRegister(0x7A) >> 5) & 0xFu) << "gain word and the sensor's gain";
    EXPECT_EQ(word(0x3D00C), biasOn ? 1u : 0u) << "bias-enable word and the receiver";
    EXPECT_EQ(word(0x3A000), uint32_t(b.getFrameInterval()));
    EXPECT_EQ(word(0x3A004), uint32_t(b.getExposure()));
    EXPECT_EQ(head().pwm().periodUs, b.getFrameInterval());
    std::cout << "campaign: framework-serialises/" << modeName({GetParam(), 0})
              << " notifications left to the board's thread="
              << Vistrel::BoardTestAccess::deferredWords(b) << std::endl;
}

} // namespace
