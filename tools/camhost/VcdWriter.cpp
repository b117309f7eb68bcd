#include "VcdWriter.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <set>
#include <string>

namespace camhost {
namespace {

enum class teKind { eeLevel, eePulse, eeEvent };

struct tsEntry {
    long long time;
    size_t signal;
    uint64_t value;
};

struct tsSignal {
    std::string name; // "scope.name"; names without a scope are GPIO lines
    int width;
    teKind kind;
};

// Known signals in display order, with their widths.
const std::vector<tsSignal>& knownSignals() {
    static const std::vector<tsSignal> signals{
        {"XRESET", 1, teKind::eeLevel},         {"MCLK_ENABLE", 1, teKind::eeLevel},
        {"notify.event", 1, teKind::eeEvent},   {"notify.gpio", 32, teKind::eeLevel},
        {"notify.level", 32, teKind::eeLevel},  {"pwm.enable", 1, teKind::eeLevel},
        {"pwm.pulse", 1, teKind::eePulse},      {"sensor.frameState", 3, teKind::eeLevel},
        {"spi.strobe", 1, teKind::eePulse},     {"spi.reg", 11, teKind::eeLevel},
        {"spi.value", 28, teKind::eeLevel},     {"spi.frames", 32, teKind::eeLevel},
        {"adc.convert", 1, teKind::eeEvent},    {"adc.channel", 3, teKind::eeLevel},
        {"rx.enable", 1, teKind::eeLevel},      {"rx.pllLocked", 1, teKind::eeLevel},
        {"rx.aligned", 1, teKind::eeLevel},     {"dpa.lock", 28, teKind::eeLevel},
        {"regfile.write", 1, teKind::eeEvent},  {"regfile.address", 32, teKind::eeLevel},
        {"regfile.value", 32, teKind::eeLevel}, {"frame.valid", 1, teKind::eePulse},
    };
    return signals;
}

int bitsFor(uint64_t value) {
    int bits = 1;
    while (bits < 64 && (value >> bits) != 0)
        ++bits;
    return bits;
}

// Short identifiers from the printable range '!'..'~', without '$', which readers may
// take for the start of a keyword.
std::string identifier(size_t index) {
    static const std::string alphabet = [] {
        std::string characters;
        for (char c = '!'; c <= '~'; ++c)
            if (c != '$')
                characters += c;
        return characters;
    }();
    std::string id;
    do {
        id += alphabet[index % alphabet.size()];
        index /= alphabet.size();
    } while (index != 0);
    return id;
}

std::string scopeOf(const std::string& name) {
    const auto dot = name.find('.');
    return dot == std::string::npos ? "gpio" : name.substr(0, dot);
}

std::string leafOf(const std::string& name) {
    const auto dot = name.find('.');
    return dot == std::string::npos ? name : name.substr(dot + 1);
}

std::string valueText(uint64_t value, int width, const std::string& id) {
    if (width < 64)
        value &= (uint64_t{1} << width) - 1;
    if (width == 1)
        return std::string(1, value ? '1' : '0') + id;
    std::string bits;
    for (int bit = bitsFor(value) - 1; bit >= 0; --bit)
        bits += ((value >> bit) & 1) ? '1' : '0';
    return "b" + bits + " " + id;
}

long long micros(sim::Micros time) {
    return std::max<long long>(0, time.count());
}

// Each pulse's rise and fall; pulses that overlap or touch make one.
std::vector<sim::TraceEvent> pulseEdges(std::vector<tsPulse> pulses) {
    std::stable_sort(pulses.begin(), pulses.end(),
                     [](const tsPulse& a, const tsPulse& b) { return a.start < b.start; });
    std::map<std::string, std::pair<sim::Micros, sim::Micros>> open; // signal -> [rise, fall)
    std::vector<sim::TraceEvent> edges;
    const auto close = [&edges](const std::string& signal, sim::Micros rise, sim::Micros fall) {
        edges.push_back({rise, signal, 1});
        edges.push_back({fall, signal, 0});
    };
    for (const tsPulse& pulse : pulses) {
        const sim::Micros fall = pulse.start + std::max(pulse.width, sim::Micros(1));
        auto found = open.find(pulse.signal);
        if (found != open.end() && pulse.start <= found->second.second) {
            found->second.second = std::max(found->second.second, fall);
            continue;
        }
        if (found != open.end())
            close(pulse.signal, found->second.first, found->second.second);
        open[pulse.signal] = {pulse.start, fall};
    }
    for (const auto& [signal, span] : open)
        close(signal, span.first, span.second);
    return edges;
}

} // namespace

tsWaveform headWaveform(const sim::Head& head) {
    tsWaveform waveform;
    std::set<std::string> traced;
    const sim::Micros duty(head.pwm().dutyUs); // set once, at initialisation
    for (const sim::TraceEvent& event : head.trace()) {
        traced.insert(event.signal);
        if (event.signal == "pwm.pulse") {
            if (event.value != 0)
                waveform.pulses.push_back({event.time, duty, event.signal});
        } else if (event.signal != "spi.strobe") { // drawn from the frames below
            waveform.changes.push_back(event);
        }
    }
    for (const sim::GpioEdge& edge : head.gpioEdges())
        if (traced.count(edge.name) == 0)
            waveform.changes.push_back({edge.time, edge.name, static_cast<uint64_t>(edge.level)});

    // Each frame's strobe as the port drove it (5 bytes at 4 MHz and the port's delay).
    uint64_t frames = 0;
    for (const sim::SpiFrame& frame : head.spiFrames()) {
        waveform.pulses.push_back({frame.time, frame.strobe, "spi.strobe"});
        waveform.changes.push_back({frame.time, "spi.frames", ++frames});
    }
    for (const auto& [time, channel] : head.adcReads()) {
        waveform.events.push_back({time, "adc.convert", 1});
        waveform.changes.push_back({time, "adc.channel", static_cast<uint64_t>(channel)});
    }
    waveform.end = sim::Clock::now();
    return waveform;
}

void writeVcd(std::ostream& out, const tsWaveform& waveform) {
    // Known instants given as changes are events all the same.
    std::vector<sim::TraceEvent> changes, events = waveform.events;
    for (const sim::TraceEvent& event : waveform.changes) {
        const auto& known = knownSignals();
        const bool instant = std::any_of(known.begin(), known.end(), [&](const tsSignal& s) {
            return s.name == event.signal && s.kind == teKind::eeEvent;
        });
        (instant ? events : changes).push_back(event);
    }
    const std::vector<sim::TraceEvent> edges = pulseEdges(waveform.pulses);
    changes.insert(changes.end(), edges.begin(), edges.end());

    // Signals: the known ones always (an empty trace still shows them), then the rest.
    std::vector<tsSignal> signals = knownSignals();
    std::map<std::string, size_t> index;
    for (size_t i = 0; i < signals.size(); ++i)
        index[signals[i].name] = i;
    const auto add = [&](const sim::TraceEvent& event, teKind kind) {
        auto found = index.find(event.signal);
        if (found == index.end()) {
            index[event.signal] = signals.size();
            signals.push_back({event.signal, bitsFor(event.value), kind});
        } else if (found->second >= knownSignals().size()) {
            int& width = signals[found->second].width;
            width = std::max(width, bitsFor(event.value));
        }
    };
    for (const sim::TraceEvent& event : changes)
        add(event, teKind::eeLevel);
    for (const sim::TraceEvent& event : events)
        add(event, teKind::eeEvent);

    // Flat (time, signal, value) entries: a long run's changes cost 24 bytes each here.
    // Per instant, per signal, the last value: stable order keeps the order of the head.
    std::vector<tsEntry> timeline;
    timeline.reserve(changes.size() + events.size());
    for (const sim::TraceEvent& event : changes)
        timeline.push_back({micros(event.time), index.at(event.signal), event.value});
    for (const sim::TraceEvent& event : events)
        timeline.push_back({micros(event.time), index.at(event.signal), 1});
    std::vector<sim::TraceEvent>().swap(changes);
    std::vector<sim::TraceEvent>().swap(events);
    std::stable_sort(timeline.begin(), timeline.end(),
                     [](const tsEntry& a, const tsEntry& b) { return a.time < b.time; });
    const long long first = timeline.empty() ? 0 : timeline.front().time;
    const long long last =
        std::max(micros(waveform.end), timeline.empty() ? 0 : timeline.back().time);

    char date[64] = "";
    const std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
    out << "$date " << date << " $end\n"
        << "$version camhost (tc120mxs simulated head) $end\n"
        << "$comment clock: " << (sim::Clock::isVirtual() ? "virtual" : "real") << " $end\n"
        << "$comment holds every change of the run from " << first << " us to " << last << " us ("
        << timeline.size() << " changes) $end\n"
        << "$timescale 1 us $end\n"
        << "$scope module head $end\n";
    std::vector<std::string> scopes;
    for (const tsSignal& signal : signals)
        if (std::find(scopes.begin(), scopes.end(), scopeOf(signal.name)) == scopes.end())
            scopes.push_back(scopeOf(signal.name));
    for (const std::string& scope : scopes) {
        out << "$scope module " << scope << " $end\n";
        for (size_t i = 0; i < signals.size(); ++i) {
            const tsSignal& signal = signals[i];
            if (scopeOf(signal.name) != scope)
                continue;
            out << "$var " << (signal.kind == teKind::eeEvent ? "event" : "wire") << " "
                << signal.width << " " << identifier(i) << " " << leafOf(signal.name)
                << (signal.width > 1 ? " [" + std::to_string(signal.width - 1) + ":0]" : "")
                << " $end\n";
        }
        out << "$upscope $end\n";
    }
    out << "$upscope $end\n$enddefinitions $end\n";

    // Pulses and counts rest at 0; other levels are unknown until first driven.
    out << "#0\n$dumpvars\n";
    for (size_t i = 0; i < signals.size(); ++i) {
        const tsSignal& signal = signals[i];
        if (signal.kind == teKind::eeEvent)
            continue;
        if (signal.kind == teKind::eePulse || signal.name == "spi.frames")
            out << valueText(0, signal.width, identifier(i)) << "\n";
        else
            out << (signal.width == 1 ? "x" : "bx ") << identifier(i) << "\n";
    }
    out << "$end\n";

    long long written = 0;
    std::map<size_t, uint64_t> values; // of one instant
    for (size_t at = 0; at < timeline.size();) {
        const long long time = timeline[at].time;
        values.clear();
        for (; at < timeline.size() && timeline[at].time == time; ++at)
            values[timeline[at].signal] = timeline[at].value;
        if (time != written)
            out << "#" << time << "\n";
        written = time;
        for (const auto& [i, value] : values)
            out << valueText(value, signals[i].width, identifier(i)) << "\n";
    }
    if (micros(waveform.end) > written)
        out << "#" << micros(waveform.end) << "\n";
}

} // namespace camhost
