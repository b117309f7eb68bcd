#pragma once
// A record cut into what tracediff sets side by side: per thread, the board operations,
// text commands, notifications and GPIO interrupts (each with what happened inside it), and within
// each of those the boundary events, where repeated reads of one register with waits between them
// are one poll.
#include "TraceRecord.h"

#include <map>
#include <string>
#include <vector>

namespace trace {

// Apply: a word left to the board's notification thread, applied there (deferred_apply):
// what follows on that thread is its effect, up to the next one.
enum class teSegment { Op, Cmd, Notify, Irq, Apply, Outside };

struct tsSegment {
    teSegment kind = teSegment::Outside;
    const tsEvent* open = nullptr;  // op, cmd, notify, gpio_irq or deferred_apply; null outside
    const tsEvent* close = nullptr; // op_ret, cmd_ret or notify_ret; null when the record ends
    std::vector<const tsEvent*> body;
    unsigned ordinal = 1; // the how-many-th of its key on its thread
    std::string key;      // equal for the same call with the same arguments
};

// A boundary event, or a poll: reads of one register, possibly with waits between them.
struct tsItem {
    std::vector<const tsEvent*> events;
    const tsEvent* first = nullptr;
    const tsEvent* last = nullptr; // for a poll, the read that ended it
    unsigned polls = 0; // looks at the register (waits between reads, plus one); 0: no read
    std::string key;    // keyword, subject and request
};

// Every event but the record's own (trace, end, dropped), by thread.
std::map<unsigned, std::vector<tsSegment>> segmentsByThread(const tsRecord& record);
std::vector<tsItem> itemsOf(const std::vector<const tsEvent*>& events);

// Keyword and the values of the fields of the given roles, numbers in one spelling.
std::string eventKey(const tsEvent& event, bool withRequest = true);
// "op initialize #1", "cmd GBPR #1", "notify 0x3d000 val=0x7 #1", "outside operations".
std::string segmentLabel(const tsSegment& segment);

} // namespace trace
