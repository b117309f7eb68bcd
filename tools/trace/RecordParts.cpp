#include "RecordParts.h"

#include "EventSchema.h"

#include <cstdlib>

namespace trace {

namespace {

bool isRead(const tsEvent& event) {
    return event.keyword == "fpga_read" || event.keyword == "gpio_get" || event.keyword == "adc";
}

std::string canonical(const std::string& value) {
    if (!value.empty() && value.front() != '-' && value.size() <= 18) {
        const bool hex = value.rfind("0x", 0) == 0;
        char* end = nullptr;
        const unsigned long long number =
            std::strtoull(value.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
        if (end != nullptr && *end == '\0' && end != value.c_str() + (hex ? 2 : 0))
            return std::to_string(number);
    }
    return value;
}

std::string segmentKey(const tsSegment& segment) {
    switch (segment.kind) {
    case teSegment::Op:
    case teSegment::Cmd:
    case teSegment::Notify:
    case teSegment::Irq:
    case teSegment::Apply:
        return eventKey(*segment.open);
    default:
        return "outside";
    }
}

} // namespace

std::string eventKey(const tsEvent& event, bool withRequest) {
    std::string key = event.keyword;
    const tsEventKind* kind = findEventKind(event.keyword);
    const tcFieldList* form = kind != nullptr ? matchingForm(*kind, event.fields) : nullptr;
    if (form == nullptr)
        return key;
    for (size_t i = 0; i < form->size(); ++i) {
        const teRole role = (*form)[i].role;
        if (role == teRole::Subject || (withRequest && role == teRole::Request))
            key += " " + event.fields[i].key + "=" + canonical(event.fields[i].value);
    }
    return key;
}

std::map<unsigned, std::vector<tsSegment>> segmentsByThread(const tsRecord& record) {
    std::map<unsigned, std::vector<tsSegment>> threads;
    std::map<unsigned, unsigned> depth; // open operations and notifications, nested
    std::map<unsigned, std::map<std::string, unsigned>> seen;
    auto begin = [&](unsigned thread, teSegment kind, const tsEvent* open) {
        tsSegment segment;
        segment.kind = kind;
        segment.open = open;
        segment.key = segmentKey(segment);
        segment.ordinal = ++seen[thread][segment.key];
        threads[thread].push_back(segment);
    };
    for (const tsEvent& event : record.events) {
        const std::string& k = event.keyword;
        if (k == "trace" || k == "end" || k == "dropped")
            continue;
        std::vector<tsSegment>& segments = threads[event.thread];
        unsigned& open = depth[event.thread];
        const bool opens = k == "op" || k == "cmd" || k == "notify";
        // The notifications of the words a deferred word's application sends are its own.
        const bool applying = !segments.empty() && segments.back().kind == teSegment::Apply;
        if (open == 0 && k == "deferred_apply") {
            begin(event.thread, teSegment::Apply, &event);
            continue;
        }
        if (open == 0 && opens && !applying) {
            begin(event.thread,
                  k == "op"    ? teSegment::Op
                  : k == "cmd" ? teSegment::Cmd
                               : teSegment::Notify,
                  &event);
            open = 1;
            continue;
        }
        if (open == 0 && k == "gpio_irq") {
            begin(event.thread, teSegment::Irq, &event);
            continue;
        }
        if (opens) {
            ++open;
        } else if ((k == "op_ret" || k == "cmd_ret" || k == "notify_ret") && open > 0 &&
                   --open == 0 && !applying) {
            segments.back().close = &event;
            continue;
        }
        // At the top: after a finished operation a new stretch outside operations begins;
        // a GPIO interrupt's and a deferred word's application's last until the next begins.
        if (open == 0 &&
            (segments.empty() || segments.back().kind == teSegment::Op ||
             segments.back().kind == teSegment::Cmd || segments.back().kind == teSegment::Notify))
            begin(event.thread, teSegment::Outside, nullptr);
        threads[event.thread].back().body.push_back(&event);
    }
    return threads;
}

std::vector<tsItem> itemsOf(const std::vector<const tsEvent*>& events) {
    std::vector<tsItem> items;
    for (size_t i = 0; i < events.size();) {
        tsItem item;
        item.first = item.last = events[i];
        item.key = eventKey(*events[i]);
        item.events.push_back(events[i]);
        size_t next = i + 1;
        if (isRead(*events[i])) {
            item.polls = 1;
            // Further reads of the same register, each after any number of waits.
            while (true) {
                size_t j = next;
                unsigned waits = 0;
                while (j < events.size() && events[j]->keyword == "delay") {
                    ++j;
                    ++waits;
                }
                if (j >= events.size() || eventKey(*events[j]) != item.key)
                    break;
                for (size_t k = next; k <= j; ++k)
                    item.events.push_back(events[k]);
                item.last = events[j];
                item.polls += waits > 0 ? 1 : 0;
                next = j + 1;
            }
        }
        items.push_back(item);
        i = next;
    }
    return items;
}

std::string segmentLabel(const tsSegment& segment) {
    if (segment.kind == teSegment::Outside)
        return "outside operations";
    const tsEvent& open = *segment.open;
    std::string label;
    if (segment.kind == teSegment::Op || segment.kind == teSegment::Cmd)
        label = open.keyword + " " + open.value("name");
    else if (segment.kind == teSegment::Notify || segment.kind == teSegment::Apply)
        label = open.keyword + " " + open.value("addr") + " val=" + open.value("val");
    else
        label = "gpio_irq pin=" + open.value("pin") + " level=" + open.value("level");
    return label + " #" + std::to_string(segment.ordinal);
}

} // namespace trace
