// The register file's notifications: the plug-in's observer is a member of its board, and
// its notification publishes register-file words of its own.
#include "Bounded.h"
#include "Checks.h"

#include "Vistrel/tcObserver.h"
#include "Vistrel/tcRegisterFile.h"
#include "plugin/RegisterFileWords.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace frameworkprobe {
namespace {

const char* const kUnregister =
    "tcObservable::unregisterObserver waits for a running notification to that observer";
const char* const kNested = "tcRegisterFile::update_word from inside its own notification";

// The board never sends a word from inside a notification: words a client's write produces
// (a vertical-factor word rescales the region, 0x3A00C and 0x3A014) go out from the board's
// own publishing thread after the notification returns. The line informs without counting;
// set this to true if the board ever sends from a notification again.
constexpr bool kPluginWritesFromNotification = false;

// The word whose notification the unregister check holds up: the region height, which the
// board publishes again when it is brought up.
constexpr uint32_t kProbeWord = Vistrel::regfile::kRegionHeight;

// Flags set by a notification on a framework thread and waited for here.
struct Signals {
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool release = false;
    bool nestedReturned = false;
    bool nestedNotified = false;

    void set(bool Signals::*flag) {
        const std::lock_guard<std::mutex> lock(mutex);
        this->*flag = true;
        changed.notify_all();
    }
    // Sets `entered`; false when it was already set (an observer acts on its first call only).
    bool enterOnce() {
        const std::lock_guard<std::mutex> lock(mutex);
        if (entered)
            return false;
        entered = true;
        changed.notify_all();
        return true;
    }
    bool waitFor(bool Signals::*flag, milliseconds bound) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, bound, [&] { return this->*flag; });
    }
};

// Stays inside its first notification of the word until released (at most a few seconds, so
// that a framework which never lets unregisterObserver return does not keep the probe).
class BlockingObserver : public Vistrel::tcObserver {
public:
    BlockingObserver(std::shared_ptr<Signals> signals, uint32_t word)
        : signals(std::move(signals)), word(word) {}
    void update(Vistrel::tsUpdate& update) override {
        if (update.address != word)
            return;
        if (!signals->enterOnce())
            return;
        signals->waitFor(&Signals::release, 2 * kCallBound);
    }

private:
    std::shared_ptr<Signals> signals;
    uint32_t word;
};

// Writes a second word from inside the notification of the first, as a board might (this one
// leaves that to its publishing thread).
class NestingObserver : public Vistrel::tcObserver {
public:
    NestingObserver(std::shared_ptr<Signals> signals, uint32_t outer, uint32_t inner)
        : signals(std::move(signals)), outer(outer), inner(inner) {}
    void update(Vistrel::tsUpdate& update) override {
        if (update.kind != Vistrel::tsUpdate::eeWordWritten)
            return;
        if (update.address == inner)
            signals->set(&Signals::nestedNotified);
        if (update.address != outer)
            return;
        if (!signals->enterOnce())
            return;
        Vistrel::tcRegisterFile::getInstance(nullptr, true)->update_word(inner, update.value);
        signals->set(&Signals::nestedReturned);
    }

private:
    std::shared_ptr<Signals> signals;
    uint32_t outer;
    uint32_t inner;
};

} // namespace

void checkUnregisterWaits(Report& report) {
    using namespace Vistrel;
    tcRegisterFile* file = tcRegisterFile::getInstance(nullptr, true);
    auto signals = std::make_shared<Signals>();
    auto observer = std::make_shared<BlockingObserver>(signals, kProbeWord);
    file->observable.registerObserver(observer.get());

    const auto writing = startDetached([file, observer] { file->update_word(kProbeWord, 1); });
    if (!signals->waitFor(&Signals::entered, kCallBound)) {
        signals->set(&Signals::release);
        report.markStuck(); // the observer stays registered: it must outlive the process
        report.fail(kUnregister, "update_word did not notify the registered observer within 2 s",
                    "every registered observer notified");
        return;
    }
    const auto unregistering =
        startDetached([file, observer] { file->observable.unregisterObserver(observer.get()); });
    // A framework that does not wait returns at once; one that waits is still waiting.
    const bool returnedEarly = endsWithin(unregistering, milliseconds(300));
    signals->set(&Signals::release);
    if (returnedEarly) {
        report.fail(kUnregister,
                    "unregisterObserver returned while a notification to the observer was still "
                    "running",
                    "it to wait: the board's observer is a member of the board, which is "
                    "destroyed right after unregisterObserver returns");
        return;
    }
    if (!endsWithin(unregistering, kCallBound) || !endsWithin(writing, kCallBound)) {
        report.markStuck();
        report.fail(kUnregister,
                    "unregisterObserver did not return within 2 s after the notification ended",
                    "it to return once the running notification ends");
        return;
    }
    report.ok(kUnregister, "it returned only after the running notification ended");
}

void checkWordFromNotification(Report& report) {
    using namespace Vistrel;
    tcRegisterFile* file = tcRegisterFile::getInstance(nullptr, true);
    if (file == nullptr) {
        report.fail(kNested, "tcRegisterFile::getInstance(nullptr, true) answered null",
                    "the process-wide register file");
        return;
    }
    // The two words the board writes this way (the board publishes both again when it is
    // brought up).
    const uint32_t outer = regfile::kRegionHeight;
    const uint32_t inner = regfile::kRegionY;

    auto signals = std::make_shared<Signals>();
    auto* observer = new NestingObserver(signals, outer, inner); // leaked if a thread hangs
    file->observable.registerObserver(observer);
    const auto writing =
        startDetached([file] { file->update_word(regfile::kRegionHeight, 9184); }); // outer
    const bool notified = signals->waitFor(&Signals::entered, kCallBound);
    const bool nestedReturned = notified && signals->waitFor(&Signals::nestedReturned, kCallBound);
    const bool outerReturned = endsWithin(writing, nestedReturned ? kCallBound : milliseconds(0));
    const bool nestedNotified =
        outerReturned && signals->waitFor(&Signals::nestedNotified, kCallBound);

    const auto conclude = [&](bool holds, const std::string& seen) {
        const std::string needed =
            "update_word, called on the notifying thread, to return and notify its word "
            "(the board publishes words from its notification)";
        if (!kPluginWritesFromNotification)
            report.info(kNested, seen + " (the plug-in does not rely on it)");
        else if (holds)
            report.ok(kNested, seen);
        else
            report.fail(kNested, seen, needed);
    };
    if (!notified) {
        report.markStuck();
        conclude(false, outerReturned ? "update_word notified no observer"
                                      : "update_word did not return within 2 s and notified "
                                        "no observer");
        return;
    }
    if (!nestedReturned || !outerReturned) {
        report.markStuck();
        conclude(false, "update_word called inside its notification did not return within 2 s: "
                        "the register file holds a non-recursive lock while it notifies");
        return;
    }
    file->observable.unregisterObserver(observer);
    delete observer;
    if (!nestedNotified)
        conclude(false, "update_word called inside its notification returned, but no "
                        "notification of its word followed within 2 s (the word was dropped)");
    else
        conclude(true, "the nested update_word and the outer one returned, and the nested word "
                       "was notified");
}

} // namespace frameworkprobe
