#pragma once
// camhost --replay: the host thread waits for the board's words where the record has them.
//
// The board sends the words a client's write causes from its own publishing thread, and its
// outbox keeps one word waiting per address: when the host thread replays the next write
// before that thread sent the words of the last one, only the newest value of each address
// is sent, and the replay parts from the record. Waiting before each of the host thread's
// events until the replay has notified every word the record had notified by then lets the
// publishing thread send them in the record's groups. It cannot hold that thread back where
// the record's was later than the replay's.
#include "TraceRecord.h"

#include "Vistrel/tcObserver.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace camhost {

// A word: address and value.
using tsWordValue = std::pair<uint32_t, uint32_t>;
// How many notifications of each word.
using tcWordCounts = std::map<tsWordValue, unsigned>;

// The replay's register-file notifications, counted.
class tcNotifiedWords : public Vistrel::tcObserver {
public:
    // Registers with the process-wide register file: before the board is made, so that it
    // sees every word the board's observer sees.
    tcNotifiedWords();
    ~tcNotifiedWords() override;
    tcNotifiedWords(const tcNotifiedWords&) = delete;
    tcNotifiedWords& operator=(const tcNotifiedWords&) = delete;

    void update(Vistrel::tsUpdate& update) override;

    struct tsShort {
        tsWordValue word;
        unsigned notified; // how often it was
    };
    // Waits until each word was notified at least as often as wanted says; gives one that
    // was not when timeout passed first.
    std::optional<tsShort> waitFor(const tcWordCounts& wanted,
                                   std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex mutex;
    mutable std::condition_variable notified;
    tcWordCounts counts;
};

// The record's notifications as the replay passes its events, and the wait for them.
class tcRecordedWords {
public:
    // A word that never comes costs this wait once; the replay then waits no more.
    static constexpr std::chrono::milliseconds kMostWait{1000};

    // Waits for the words record notified on a thread other than the framework's calling
    // threads (those the replay makes its calls on): the others' notifications are the host
    // thread's own in the replay, over before it goes on, and a word that differs there is
    // not worth a wait.
    explicit tcRecordedWords(const trace::tsRecord& record);

    // Counts a notify; call for every event of the record, in its order, after it was
    // replayed.
    void passed(const trace::tsEvent& event);
    // Before one of the host thread's events: gives a note when a word did not come.
    std::optional<std::string> await();

private:
    tcNotifiedWords notified;
    std::set<tsWordValue> awaited;
    tcWordCounts recorded;                            // of the awaited words
    std::map<tsWordValue, std::vector<size_t>> lines; // record lines of each notification
    bool waiting = true;
};

} // namespace camhost
