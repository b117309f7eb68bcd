#include "TraceDiff.h"

#include "Alignment.h"
#include "EventSchema.h"
#include "RecordParts.h"
#include "RegisterNames.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

namespace trace {

namespace {

int64_t integer(const std::string& text) {
    return std::strtoll(text.c_str(), nullptr, 0);
}

const tcFieldList* formOf(const tsEvent& event) {
    const tsEventKind* kind = findEventKind(event.keyword);
    return kind != nullptr ? matchingForm(*kind, event.fields) : nullptr;
}

// The fields of one role, as the line writes them.
std::string fieldsOf(const tsEvent& event, teRole role) {
    std::string text;
    const tcFieldList* form = formOf(event);
    if (form == nullptr)
        return text;
    for (size_t i = 0; i < form->size(); ++i)
        if ((*form)[i].role == role) {
            const tsField& f = event.fields[i];
            text += (text.empty() ? "" : " ") + f.key + "=" +
                    (f.quoted ? "\"" + f.value + "\"" : f.value);
        }
    return text;
}

std::string lines(const std::string& side, size_t first, size_t last) {
    return side + (first == last ? " line " + std::to_string(first)
                                 : " lines " + std::to_string(first) + "-" + std::to_string(last));
}

class tcComparison {
public:
    tcComparison(const tsRecord& a, const tsRecord& b, const tsDiffOptions& options)
        : a(a), b(b), options(options) {
        for (const tsRecord* record : {&a, &b})
            for (const tsEvent& event : record->events)
                if (event.keyword == "gpio_pin")
                    pinNames[integer(event.value("pin"))] = event.value("name");
    }

    tsDiffResult run() {
        const auto threadsA = segmentsByThread(a), threadsB = segmentsByThread(b);
        static const std::vector<tsSegment> none;
        for (const auto& [ta, tb] : pairThreads(threadsA, threadsB)) {
            const auto foundA = threadsA.find(ta), foundB = threadsB.find(tb);
            const std::string name = ta == tb || ta == kNoThread || tb == kNoThread
                                         ? "t" + std::to_string(ta == kNoThread ? tb : ta)
                                         : "t" + std::to_string(ta) + "/t" + std::to_string(tb);
            compareThread(name, foundA != threadsA.end() ? foundA->second : none,
                          foundB != threadsB.end() ? foundB->second : none);
        }
        for (const tsRecord* record : {&a, &b}) {
            const std::string& side = record == &a ? options.nameA : options.nameB;
            if (!record->ended)
                result.notes.push_back(
                    side + " record " + record->name +
                    " was cut short (no end line): compared up to its last line");
            if (record->dropped > 0)
                result.notes.push_back(side + " record " + record->name + " dropped " +
                                       std::to_string(record->dropped) + " events");
        }
        return result;
    }

private:
    static constexpr unsigned kNoThread = ~0u;
    using tcThreads = std::map<unsigned, std::vector<tsSegment>>;

    // Threads are numbered as they first wrote, which two runs need not share: t0 (the
    // board's maker) goes with t0, every other thread with the one whose operations and
    // notifications it shares most of; the rest stand alone.
    static std::vector<std::pair<unsigned, unsigned>> pairThreads(const tcThreads& ta,
                                                                  const tcThreads& tb) {
        struct tsCandidate {
            size_t shared;
            unsigned a, b;
        };
        std::vector<tsCandidate> candidates;
        for (const auto& threadA : ta)
            for (const auto& threadB : tb) {
                const unsigned na = threadA.first, nb = threadB.first;
                const std::vector<tsSegment>& sa = threadA.second;
                const std::vector<tsSegment>& sb = threadB.second;
                const size_t shared = alignSequences(sa.size(), sb.size(), [&](size_t i, size_t j) {
                                          return sa[i].key == sb[j].key;
                                      }).size();
                if (shared > 0 || (na == 0 && nb == 0))
                    candidates.push_back({na == 0 && nb == 0 ? ~size_t{0} : shared, na, nb});
            }
        std::stable_sort(
            candidates.begin(), candidates.end(),
            [](const tsCandidate& x, const tsCandidate& y) { return x.shared > y.shared; });
        std::set<unsigned> usedA, usedB;
        std::vector<std::pair<unsigned, unsigned>> pairs;
        for (const tsCandidate& c : candidates)
            if ((c.a == 0) == (c.b == 0) && !usedA.count(c.a) && !usedB.count(c.b)) {
                usedA.insert(c.a);
                usedB.insert(c.b);
                pairs.emplace_back(c.a, c.b);
            }
        for (const auto& [na, sa] : ta)
            if (!usedA.count(na))
                pairs.emplace_back(na, kNoThread);
        for (const auto& [nb, sb] : tb)
            if (!usedB.count(nb))
                pairs.emplace_back(kNoThread, nb);
        std::sort(pairs.begin(), pairs.end());
        return pairs;
    }

    void add(teDivergence kind, const std::string& text) {
        result.divergences.push_back({kind, text});
    }

    std::string subject(const tsEvent& event) const {
        const std::string& k = event.keyword;
        if (k == "fpga_read" || k == "fpga_write") {
            const std::string place = event.value("base") + "+" + event.value("off");
            const std::string name =
                fpgaRegisterName(static_cast<uint64_t>(integer(event.value("base"))),
                                 static_cast<uint64_t>(integer(event.value("off"))));
            return name.empty() ? "FPGA " + place : name + " [" + place + "]";
        }
        if (k == "spi_write") {
            const std::string name =
                sensorRegisterName(static_cast<uint64_t>(integer(event.value("reg"))));
            return "sensor register " + event.value("reg") +
                   (name.empty() ? "" : " (" + name + ")");
        }
        if (k == "adc") {
            const std::string name = adcChannelName(integer(event.value("ch")));
            return "ADC channel " + event.value("ch") + (name.empty() ? "" : " (" + name + ")");
        }
        if (k.rfind("gpio_", 0) == 0 && event.find("pin") != nullptr) {
            const auto name = pinNames.find(integer(event.value("pin")));
            return k + " pin " + event.value("pin") +
                   (name != pinNames.end() ? " (" + name->second + ")" : "");
        }
        return k + " " + fieldsOf(event, teRole::Subject);
    }

    std::string describe(const tsEvent& event) const {
        const std::string what = subject(event), request = fieldsOf(event, teRole::Request);
        const std::string answer = fieldsOf(event, teRole::Answer);
        std::string text = (event.keyword.rfind("fpga_", 0) == 0 || event.keyword == "spi_write" ||
                            event.keyword == "adc")
                               ? event.keyword + " " + what
                               : what;
        for (const std::string& part : {request, answer})
            if (!part.empty())
                text += " " + part;
        return text;
    }

    void compareThread(const std::string& thread, const std::vector<tsSegment>& sa,
                       const std::vector<tsSegment>& sb) {
        const tcPairs pairs = alignSequences(
            sa.size(), sb.size(), [&](size_t i, size_t j) { return sa[i].key == sb[j].key; });
        size_t i = 0, j = 0;
        auto unpaired = [&](size_t untilA, size_t untilB) {
            for (; i < untilA; ++i)
                segmentOnOneSide(thread, sa[i], options.nameA);
            for (; j < untilB; ++j)
                segmentOnOneSide(thread, sb[j], options.nameB);
        };
        for (const auto& [pa, pb] : pairs) {
            unpaired(pa, pb);
            compareSegments(thread + " " + segmentLabel(sa[pa]), sa[pa], sb[pb]);
            i = pa + 1;
            j = pb + 1;
        }
        unpaired(sa.size(), sb.size());
    }

    void segmentOnOneSide(const std::string& thread, const tsSegment& segment,
                          const std::string& side) {
        std::vector<const tsEvent*> events = segment.body;
        if (segment.open != nullptr)
            events.insert(events.begin(), segment.open);
        if (segment.close != nullptr)
            events.push_back(segment.close);
        if (events.empty())
            return;
        std::string what = segmentLabel(segment);
        if (segment.kind == teSegment::Op || segment.kind == teSegment::Cmd)
            what += " args=\"" + segment.open->value("args") + "\"";
        else if (segment.kind == teSegment::Outside)
            what = events.size() == 1
                       ? "outside operations: " + describe(*events.front())
                       : std::to_string(events.size()) + " events outside operations, from " +
                             describe(*events.front());
        add(teDivergence::OneSide, thread + ": " + side + " only: " + what + " (" +
                                       lines(side, events.front()->line, events.back()->line) +
                                       ")");
    }

    void compareSegments(const std::string& where, const tsSegment& sa, const tsSegment& sb) {
        if (sa.open != nullptr)
            compareTimes(where, *sa.open, *sb.open);
        compareItems(where, itemsOf(sa.body), itemsOf(sb.body));
        if (sa.close != nullptr && sb.close != nullptr) {
            const std::string ra = fieldsOf(*sa.close, teRole::Answer),
                              rb = fieldsOf(*sb.close, teRole::Answer);
            if (!answersEqual(*sa.close, *sb.close))
                add(teDivergence::Operation,
                    where + ": returned: " + options.nameA + " " + ra + ", " + options.nameB + " " +
                        rb + " (" + lines(options.nameA, sa.close->line, sa.close->line) + ", " +
                        lines(options.nameB, sb.close->line, sb.close->line) + ")");
        } else if ((sa.close != nullptr) != (sb.close != nullptr)) {
            const tsEvent& close = sa.close != nullptr ? *sa.close : *sb.close;
            const std::string& side = sa.close != nullptr ? options.nameA : options.nameB;
            add(teDivergence::OneSide, where + ": " + side + " only: " + close.keyword + " " +
                                           fieldsOf(close, teRole::Answer) + " (" +
                                           lines(side, close.line, close.line) + ")");
        }
    }

    void compareItems(const std::string& where, const std::vector<tsItem>& ia,
                      const std::vector<tsItem>& ib) {
        const tcPairs pairs = alignSequences(
            ia.size(), ib.size(), [&](size_t i, size_t j) { return ia[i].key == ib[j].key; });
        size_t i = 0, j = 0;
        for (const auto& [pa, pb] : pairs) {
            compareGap(where, ia, i, pa, ib, j, pb);
            compareItem(where, ia[pa], ib[pb]);
            i = pa + 1;
            j = pb + 1;
        }
        compareGap(where, ia, i, ia.size(), ib, j, ib.size());
    }

    // Between two matched events: what is about the same thing on both sides was asked for
    // otherwise; the rest happened on one side only.
    void compareGap(const std::string& where, const std::vector<tsItem>& ia, size_t a0, size_t a1,
                    const std::vector<tsItem>& ib, size_t b0, size_t b1) {
        if (a0 == a1 && b0 == b1)
            return;
        const tcPairs pairs = alignSequences(a1 - a0, b1 - b0, [&](size_t i, size_t j) {
            return eventKey(*ia[a0 + i].first, false) == eventKey(*ib[b0 + j].first, false);
        });
        size_t i = a0, j = b0;
        for (const auto& [pa, pb] : pairs) {
            itemsOnOneSide(where, ia, i, a0 + pa, options.nameA);
            itemsOnOneSide(where, ib, j, b0 + pb, options.nameB);
            const tsEvent& ea = *ia[a0 + pa].first;
            const tsEvent& eb = *ib[b0 + pb].first;
            add(teDivergence::Sent, where + ": sent " + ea.keyword + " " + subject(ea) + ": " +
                                        options.nameA + " " + fieldsOf(ea, teRole::Request) + ", " +
                                        options.nameB + " " + fieldsOf(eb, teRole::Request) + " (" +
                                        places(ia[a0 + pa], ib[b0 + pb]) + ")");
            i = a0 + pa + 1;
            j = b0 + pb + 1;
        }
        itemsOnOneSide(where, ia, i, a1, options.nameA);
        itemsOnOneSide(where, ib, j, b1, options.nameB);
    }

    void itemsOnOneSide(const std::string& where, const std::vector<tsItem>& items, size_t from,
                        size_t to, const std::string& side) {
        if (from >= to)
            return;
        size_t count = 0;
        for (size_t k = from; k < to; ++k)
            count += items[k].events.size();
        const std::string what =
            count == 1 ? describe(*items[from].first)
                       : std::to_string(count) + " events from " + describe(*items[from].first);
        add(teDivergence::OneSide,
            where + ": " + side + " only: " + what + " (" +
                lines(side, items[from].first->line, items[to - 1].last->line) + ")");
    }

    std::string places(const tsItem& ia, const tsItem& ib) const {
        return lines(options.nameA, ia.first->line, ia.last->line) + ", " +
               lines(options.nameB, ib.first->line, ib.last->line);
    }

    bool answersEqual(const tsEvent& ea, const tsEvent& eb) const {
        const tcFieldList* form = formOf(ea);
        if (form == nullptr || formOf(eb) != form)
            return form == formOf(eb);
        for (size_t k = 0; k < form->size(); ++k) {
            if ((*form)[k].role != teRole::Answer)
                continue;
            const std::string &va = ea.fields[k].value, &vb = eb.fields[k].value;
            if ((*form)[k].value == teValue::Real) {
                const double x = std::strtod(va.c_str(), nullptr),
                             y = std::strtod(vb.c_str(), nullptr);
                if (va != vb && !(std::fabs(x - y) <= options.voltsTolerance))
                    return false;
            } else if (!sameValue(va, vb)) {
                return false;
            }
        }
        return true;
    }

    void compareItem(const std::string& where, const tsItem& ia, const tsItem& ib) {
        const tsEvent &ea = *ia.last, &eb = *ib.last;
        if (!answersEqual(ea, eb)) {
            const bool read = ia.polls > 0;
            add(read ? teDivergence::Read : teDivergence::Answer,
                where + ": " + (read ? "read " : "answer ") +
                    (read                   ? subject(ea)
                     : ea.keyword == "core" ? subject(ea)
                                            : describe(ea)) +
                    ": " + options.nameA + " " + fieldsOf(ea, teRole::Answer) + ", " +
                    options.nameB + " " + fieldsOf(eb, teRole::Answer) + " (" +
                    lines(options.nameA, ea.line, ea.line) + ", " +
                    lines(options.nameB, eb.line, eb.line) + ")");
        }
        const unsigned more = ia.polls > ib.polls ? ia.polls - ib.polls : ib.polls - ia.polls;
        if (more > options.pollTolerance)
            add(teDivergence::Polls, where + ": polls " + subject(ea) + ": " + options.nameA + " " +
                                         std::to_string(ia.polls) + ", " + options.nameB + " " +
                                         std::to_string(ib.polls) + ", tolerance " +
                                         std::to_string(options.pollTolerance) + " (" +
                                         places(ia, ib) + ")");
        compareTimes(where, *ia.first, *ib.first);
        if (ia.events.size() == 1 && ib.events.size() == 1 && ea.keyword == "delay" &&
            options.timeToleranceUs) {
            const int64_t ta = integer(ea.value("took")), tb = integer(eb.value("took"));
            if (static_cast<uint64_t>(std::llabs(ta - tb)) > *options.timeToleranceUs)
                add(teDivergence::Time, where + ": took delay us=" + ea.value("us") + ": " +
                                            options.nameA + " " + std::to_string(ta) + " us, " +
                                            options.nameB + " " + std::to_string(tb) + " us (" +
                                            places(ia, ib) + ")");
        }
    }

    void compareTimes(const std::string& where, const tsEvent& ea, const tsEvent& eb) {
        if (!options.timeToleranceUs)
            return;
        const uint64_t more = ea.timeUs > eb.timeUs ? ea.timeUs - eb.timeUs : eb.timeUs - ea.timeUs;
        if (more > *options.timeToleranceUs)
            add(teDivergence::Time, where + ": time of " + describe(ea) + ": " + options.nameA +
                                        " " + std::to_string(ea.timeUs) + " us, " + options.nameB +
                                        " " + std::to_string(eb.timeUs) + " us, tolerance " +
                                        std::to_string(*options.timeToleranceUs) + " us (" +
                                        lines(options.nameA, ea.line, ea.line) + ", " +
                                        lines(options.nameB, eb.line, eb.line) + ")");
    }

    const tsRecord& a;
    const tsRecord& b;
    const tsDiffOptions& options;
    std::map<int64_t, std::string> pinNames;
    tsDiffResult result;
};

} // namespace

tsDiffResult compareRecords(const tsRecord& a, const tsRecord& b, const tsDiffOptions& options) {
    return tcComparison(a, b, options).run();
}

std::string totalLine(const tsDiffResult& result) {
    if (result.divergences.empty())
        return "the records agree";
    static const std::map<teDivergence, const char*> names{
        {teDivergence::Read, "read"},          {teDivergence::Answer, "answer"},
        {teDivergence::Operation, "returned"}, {teDivergence::Sent, "sent"},
        {teDivergence::Polls, "polls"},        {teDivergence::OneSide, "on one side only"},
        {teDivergence::Time, "time"}};
    std::map<teDivergence, size_t> counts;
    for (const tsDivergence& d : result.divergences)
        ++counts[d.kind];
    std::string text = std::to_string(result.divergences.size()) +
                       (result.divergences.size() == 1 ? " divergence:" : " divergences:");
    const char* separator = " ";
    for (const auto& [kind, count] : counts) {
        text += separator + std::to_string(count) + " " + names.at(kind);
        separator = ", ";
    }
    return text;
}

} // namespace trace
