#include "ReplayWords.h"

#include "Vistrel/tcRegisterFile.h"
#include "Vistrel/tsUpdate.h"
#include "sim/FrameworkThreads.h"
#include "sim/Replay.h"

#include <cstdio>

namespace camhost {

tcNotifiedWords::tcNotifiedWords() {
    Vistrel::tcRegisterFile::getInstance(nullptr, true)->observable.registerObserver(this);
}

tcNotifiedWords::~tcNotifiedWords() {
    Vistrel::tcRegisterFile::getInstance(nullptr, true)->observable.unregisterObserver(this);
}

void tcNotifiedWords::update(Vistrel::tsUpdate& update) {
    if (update.kind != Vistrel::tsUpdate::eeWordWritten)
        return;
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++counts[{update.address, update.value}];
    }
    notified.notify_all();
}

std::optional<tcNotifiedWords::tsShort>
tcNotifiedWords::waitFor(const tcWordCounts& wanted, std::chrono::milliseconds timeout) const {
    std::optional<tsShort> missing;
    const auto complete = [&] {
        for (const auto& [word, count] : wanted) {
            const auto found = counts.find(word);
            const unsigned have = found == counts.end() ? 0 : found->second;
            if (have < count) {
                missing = tsShort{word, have};
                return false;
            }
        }
        missing.reset();
        return true;
    };
    std::unique_lock<std::mutex> lock(mutex);
    notified.wait_for(lock, timeout, complete);
    return missing;
}

namespace {

tsWordValue wordOf(const trace::tsEvent& notify) {
    return {static_cast<uint32_t>(sim::replay::number(notify.value("addr"))),
            static_cast<uint32_t>(sim::replay::number(notify.value("val")))};
}

} // namespace

tcRecordedWords::tcRecordedWords(const trace::tsRecord& record) {
    std::set<unsigned> calling{0};
    for (const trace::tsEvent& event : record.events)
        if (event.keyword == "op" || event.keyword == "cmd" || event.keyword == "gpio_irq")
            calling.insert(event.thread);
    for (const trace::tsEvent& event : record.events)
        if (event.keyword == "notify" && calling.count(event.thread) == 0)
            awaited.insert(wordOf(event));
}

void tcRecordedWords::passed(const trace::tsEvent& event) {
    if (event.keyword != "notify")
        return;
    const tsWordValue word = wordOf(event);
    if (awaited.count(word) == 0)
        return;
    ++recorded[word];
    lines[word].push_back(event.line);
}

std::optional<std::string> tcRecordedWords::await() {
    if (!waiting)
        return std::nullopt;
    const std::optional<tcNotifiedWords::tsShort> missing = notified.waitFor(recorded, kMostWait);
    if (!missing) {
        // The counter hears of a word before the board's observer does: its notification
        // ends first, or the board, destroyed meanwhile, would not be notified of it.
        if (sim::waitForNotificationsElsewhere(kMostWait))
            return std::nullopt;
        waiting = false;
        return "a notification on another thread did not end within " +
               std::to_string(kMostWait.count()) +
               " ms: the replay waits for the board's words no more";
    }
    waiting = false;
    char text[200];
    std::snprintf(text, sizeof text,
                  "the record's notification of word 0x%x val=0x%x (record line %zu) did not "
                  "come within %lld ms: the replay waits for the board's words no more",
                  missing->word.first, missing->word.second,
                  lines[missing->word][missing->notified],
                  static_cast<long long>(kMostWait.count()));
    return std::string(text);
}

} // namespace camhost
