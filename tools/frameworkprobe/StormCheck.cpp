// How long update_word keeps a caller waiting while a client writes the register file in a
// tight loop. A host call returns only once its words were handed to update_word, so on a
// register file that holds an unfair lock across its notifications, this wait is added to
// the host call, whatever the board does.
#include "Bounded.h"
#include "Checks.h"

#include "Vistrel/tcObserver.h"
#include "Vistrel/tcRegisterFile.h"
#include "plugin/RegisterFileWords.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace frameworkprobe {
namespace {

using Clock = std::chrono::steady_clock;

const char* const kStorm = "tcRegisterFile::update_word beside a client writing in a tight loop";

// The client's word and the timed one: words the board publishes again when it is brought up.
constexpr uint32_t kClientWord = Vistrel::regfile::kRegionY;
constexpr uint32_t kTimedWord = Vistrel::regfile::kRegionHeight;

// The storm, and the timed writes made during it, one every kTimedEvery.
constexpr milliseconds kStormLength{1000};
constexpr milliseconds kTimedEvery{4};
// What the board's notification of a client's word costs (its log line, a sensor write).
constexpr std::chrono::microseconds kNotificationWork{30};
// As many client writes as the storm has room to notify: a register file that queues its
// notifications is not left with a backlog longer than the storm.
constexpr long kMostClientWrites = kStormLength / kNotificationWork;

// Busy for kNotificationWork in each notification of the client's word.
class BusyObserver : public Vistrel::tcObserver {
public:
    void update(Vistrel::tsUpdate& update) override {
        if (update.kind != Vistrel::tsUpdate::eeWordWritten || update.address != kClientWord)
            return;
        const auto until = Clock::now() + kNotificationWork;
        while (Clock::now() < until) {
        }
    }
};

// Filled by the probe's threads, which may outlive the check when the framework hangs.
struct Figures {
    std::atomic<bool> stop{false};
    std::atomic<long> clientWrites{0};
    std::mutex mutex;
    std::vector<double> waitsMs; // guarded by mutex
};

} // namespace

void checkWordBesideWriteStorm(Report& report) {
    using namespace Vistrel;
    tcRegisterFile* file = tcRegisterFile::getInstance(nullptr, true);
    if (file == nullptr) {
        report.info(kStorm, "tcRegisterFile::getInstance(nullptr, true) answered null");
        return;
    }
    if (report.isStuck()) {
        report.info(kStorm, "not run: an earlier check left a thread blocked inside the "
                            "framework, perhaps holding the register file's lock");
        return;
    }
    auto figures = std::make_shared<Figures>();
    auto* observer = new BusyObserver(); // leaked if a thread hangs
    const auto registering =
        startDetached([file, observer] { file->observable.registerObserver(observer); });
    if (!endsWithin(registering, kCallBound)) {
        report.markStuck();
        report.info(kStorm, "registerObserver did not return within 2 s");
        return;
    }

    const auto client = startDetached([file, figures] {
        for (uint32_t value = 0; !figures->stop.load() && value < kMostClientWrites; ++value) {
            file->update_word(kClientWord, value & 0xFFF);
            figures->clientWrites.fetch_add(1);
        }
    });
    const auto timed = startDetached([file, figures] {
        const auto end = Clock::now() + kStormLength;
        for (uint32_t value = 1; Clock::now() < end; ++value) {
            std::this_thread::sleep_for(kTimedEvery);
            const auto begin = Clock::now();
            file->update_word(kTimedWord, value);
            const double ms =
                std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
            const std::lock_guard<std::mutex> lock(figures->mutex);
            figures->waitsMs.push_back(ms);
        }
    });
    const bool timedEnded = endsWithin(timed, kStormLength + kCallBound);
    figures->stop = true;
    const bool clientEnded = endsWithin(client, kCallBound);
    if (!timedEnded || !clientEnded) {
        report.markStuck();
        report.info(kStorm, "update_word did not return within 2 s during the storm");
        return;
    }
    file->observable.unregisterObserver(observer);
    delete observer;

    std::vector<double> waits;
    {
        const std::lock_guard<std::mutex> lock(figures->mutex);
        waits = figures->waitsMs;
    }
    if (waits.empty()) {
        report.info(kStorm, "no timed update_word returned during the storm");
        return;
    }
    std::sort(waits.begin(), waits.end());
    const double p99 = waits[(waits.size() - 1) * 99 / 100];
    char seen[320];
    std::snprintf(seen, sizeof seen,
                  "longest %.1f ms, 99th percentile %.1f ms over %zu writes while another "
                  "thread wrote %ld words, each notification taking %lld us; a host call hands "
                  "its words over through update_word and waits as long",
                  waits.back(), p99, waits.size(), figures->clientWrites.load(),
                  static_cast<long long>(kNotificationWork.count()));
    report.info(kStorm, seen);
}

} // namespace frameworkprobe
