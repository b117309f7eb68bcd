#include "VcdWriter.h"

#include <algorithm>
#include <ctime>
#include <map>
#include <set>
#include <string>

namespace camhost {
namespace {

struct tsSignal {
    std::string name; // "scope.name"; names without a scope are GPIO lines
    int width;
};

// Known signals in display order, with their widths.
const std::vector<tsSignal>& knownSignals() {
    static const std::vector<tsSignal> signals{
        {"XRESET", 1},       {"MCLK_ENABLE", 1},       {"pwm.enable", 1},
        {"pwm.pulse", 1},    {"sensor.frameState", 3}, {"spi.strobe", 1},
        {"spi.reg", 11},     {"spi.value", 28},        {"rx.enable", 1},
        {"rx.pllLocked", 1}, {"rx.aligned", 1},        {"frame.valid", 1},
    };
    return signals;
}

// Signals that rest at 0 between their pulses.
bool pulsed(const std::string& name) {
    return name == "pwm.pulse" || name == "spi.strobe" || name == "frame.valid";
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

} // namespace

std::vector<sim::TraceEvent> headSignals(const sim::Head& head) {
    std::vector<sim::TraceEvent> events = head.trace();
    std::set<std::string> traced;
    for (const sim::TraceEvent& event : events)
        traced.insert(event.signal);
    for (const sim::GpioEdge& edge : head.gpioEdges())
        if (traced.count(edge.name) == 0)
            events.push_back({edge.time, edge.name, static_cast<uint64_t>(edge.level)});
    return events;
}

void writeVcd(std::ostream& out, std::vector<sim::TraceEvent> events, sim::Micros end) {
    std::stable_sort(
        events.begin(), events.end(),
        [](const sim::TraceEvent& a, const sim::TraceEvent& b) { return a.time < b.time; });

    // Signals: the known ones always (an empty trace still shows them), then the rest.
    std::vector<tsSignal> signals = knownSignals();
    std::map<std::string, size_t> index;
    for (size_t i = 0; i < signals.size(); ++i)
        index[signals[i].name] = i;
    for (const sim::TraceEvent& event : events) {
        auto found = index.find(event.signal);
        if (found == index.end()) {
            index[event.signal] = signals.size();
            signals.push_back({event.signal, bitsFor(event.value)});
        } else if (found->second >= knownSignals().size()) {
            int& width = signals[found->second].width;
            width = std::max(width, bitsFor(event.value));
        }
    }

    char date[64] = "";
    const std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
    out << "$date " << date << " $end\n"
        << "$version camhost (tc120mxs simulated head) $end\n"
        << "$comment clock: " << (sim::Clock::isVirtual() ? "virtual" : "real") << " $end\n"
        << "$timescale 1 us $end\n"
        << "$scope module head $end\n";
    std::vector<std::string> scopes;
    for (const tsSignal& signal : signals)
        if (std::find(scopes.begin(), scopes.end(), scopeOf(signal.name)) == scopes.end())
            scopes.push_back(scopeOf(signal.name));
    for (const std::string& scope : scopes) {
        out << "$scope module " << scope << " $end\n";
        for (size_t i = 0; i < signals.size(); ++i)
            if (scopeOf(signals[i].name) == scope)
                out << "$var wire " << signals[i].width << " " << identifier(i) << " "
                    << leafOf(signals[i].name)
                    << (signals[i].width > 1 ? " [" + std::to_string(signals[i].width - 1) + ":0]"
                                             : "")
                    << " $end\n";
        out << "$upscope $end\n";
    }
    out << "$upscope $end\n$enddefinitions $end\n";

    out << "#0\n$dumpvars\n";
    for (size_t i = 0; i < signals.size(); ++i) {
        if (pulsed(signals[i].name))
            out << valueText(0, signals[i].width, identifier(i)) << "\n";
        else
            out << (signals[i].width == 1 ? "x" : "bx ") << identifier(i) << "\n";
    }
    out << "$end\n";

    // Each instant is split into steps 1 us apart whenever a signal changes again in it.
    long long cursor = 0;
    long long written = 0;
    std::set<size_t> inStep;
    for (const sim::TraceEvent& event : events) {
        const size_t i = index.at(event.signal);
        const long long time = std::max<long long>(0, event.time.count());
        if (time > cursor) {
            cursor = time;
            inStep.clear();
        } else if (inStep.count(i) != 0) {
            ++cursor;
            inStep.clear();
        }
        inStep.insert(i);
        if (cursor != written) {
            out << "#" << cursor << "\n";
            written = cursor;
        }
        out << valueText(event.value, signals[i].width, identifier(i)) << "\n";
    }
    if (end.count() > written)
        out << "#" << end.count() << "\n";
}

} // namespace camhost
