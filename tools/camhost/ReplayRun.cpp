#include "ReplayRun.h"

#include "Console.h"
#include "ExitStatus.h"
#include "PluginLibrary.h"
#include "ReplayReport.h"
#include "ReplayWords.h"
#include "Text.h"

#include "TraceDiff.h"

#include "Vistrel/tcAbstractHandler.h"
#include "Vistrel/tcMultipleROISensor.h"
#include "Vistrel/tcRegisterFile.h"
#include "Vistrel/tsCameraInfo.h"
#include "Vistrel/tsUpdate.h"
#include "sim/Replay.h"

#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

namespace camhost {
namespace {

using trace::tsEvent;
using trace::tsRecord;
using Vistrel::ROI;

// The record's answers, by the subjects the simulated head asks for.
std::shared_ptr<sim::ReplayAnswers> answersOf(const tsRecord& record) {
    auto answers = std::make_shared<sim::ReplayAnswers>();
    for (const tsEvent& event : record.events) {
        const std::string& k = event.keyword;
        if (k == "fpga_read") {
            const auto address = static_cast<uint32_t>(sim::replay::number(event.value("base")) +
                                                       sim::replay::number(event.value("off")));
            answers->add(sim::replay::fpga(address), {event.value("val")});
        } else if (k == "adc") {
            answers->add(sim::replay::adc(static_cast<int>(sim::replay::number(event.value("ch"))),
                                          event.value("single") == "1"),
                         {event.value("volts") + " " + event.value("result")});
        } else if (k == "gpio_get") {
            answers->add(
                sim::replay::gpio(static_cast<unsigned>(sim::replay::number(event.value("pin")))),
                {event.value("val")});
        } else if (k == "core") {
            const std::string subject = "core " + event.value("op");
            if (const std::string* thrown = event.find("exception"))
                answers->add(subject, {*thrown, true});
            else
                answers->add(subject, {event.value("result")});
        }
    }
    return answers;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    if (text.empty())
        return parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, separator))
        parts.push_back(part);
    if (text.back() == separator)
        parts.emplace_back();
    return parts;
}

std::string text(int value) {
    return std::to_string(value);
}
std::string text(const ROI& roi) {
    return std::to_string(roi.y) + ":" + std::to_string(roi.x) + ":" + std::to_string(roi.width) +
           ":" + std::to_string(roi.height);
}

// A recorded call camhost cannot make again.
class tcNotCallable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The framework's side of the replay: the board, its handler chain, and the calls the
// record's framework made, made again with the recorded arguments.
class tcReplayer {
public:
    explicit tcReplayer(Vistrel::tcSensorBoard& board) : board(board) {}
    ~tcReplayer() {
        // The framework deletes the handler chain it asked for, before the board.
        for (Vistrel::tcAbstractHandler* handler : handlers)
            delete handler;
    }
    tcReplayer(const tcReplayer&) = delete;
    tcReplayer& operator=(const tcReplayer&) = delete;

    // The operation's answer as the record writes it; throws when the name is not one of
    // the board's or the arguments are not as recorded.
    std::string call(const std::string& name, const std::vector<std::string>& args) {
        const auto operation = operations().find(name);
        if (operation == operations().end())
            throw tcNotCallable("an operation camhost cannot call: " + name);
        this->args = &args;
        return operation->second(*this);
    }

    // A client's register-file write, as the framework delivers it: to the register file's
    // observers, then to every command handler.
    void write(uint32_t address, uint32_t value) {
        Vistrel::tcRegisterFile::getInstance(nullptr, true)->update_word(address, value);
        Vistrel::tsUpdate update;
        update.kind = Vistrel::tsUpdate::eeWordWritten;
        update.address = address;
        update.value = value;
        for (Vistrel::tcAbstractHandler* handler : handlers)
            handler->update(update);
    }

    // A text command, as the framework sends one: to the head of the chain the recorded
    // getCustomHandlers gave.
    std::string command(std::string name, std::string arguments) {
        if (handlers.empty())
            throw tcNotCallable("the board gave no handler chain");
        return handlers.front()->execute(name, arguments);
    }

    void gpio(unsigned pin, unsigned level) {
        Tarnis::tcGpioListener& listener = board; // the GPIO-notification view
        listener.Handler(pin, level);
    }

private:
    using tfOperation = std::function<std::string(tcReplayer&)>;

    long long number(size_t index) const {
        if (index >= args->size())
            throw tcNotCallable("an argument short");
        return sim::replay::number((*args)[index]);
    }
    int integer(size_t index) const { return static_cast<int>(number(index)); }
    bool flag(size_t index) const { return number(index) != 0; }
    ROI region(size_t index) const {
        const std::vector<std::string> parts =
            split(index < args->size() ? (*args)[index] : "", ':');
        if (parts.size() != 4)
            throw tcNotCallable("a region that is not y:x:width:height");
        return ROI(static_cast<int>(sim::replay::number(parts[0])),
                   static_cast<int>(sim::replay::number(parts[1])),
                   static_cast<int>(sim::replay::number(parts[2])),
                   static_cast<int>(sim::replay::number(parts[3])));
    }

    static const std::map<std::string, tfOperation>& operations() {
        using R = tcReplayer;
        static const std::map<std::string, tfOperation> table = {
            {"getCustomHandlers",
             [](R& r) {
                 Vistrel::tcAbstractHandler* head =
                     r.board.getCustomHandlers(nullptr, r.flag(1) ? &r.handlerMap : nullptr);
                 for (Vistrel::tcAbstractHandler* h = head; h != nullptr; h = h->getNext())
                     r.handlers.push_back(h);
                 return std::string(head != nullptr ? "1" : "0");
             }},
            {"resetFpga", [](R& r) { return text(r.board.resetFpga()); }},
            {"GetCameraInfo",
             [](R& r) {
                 Vistrel::tsCameraInfo info{};
                 return text(r.board.GetCameraInfo(r.flag(0) ? &info : nullptr));
             }},
            {"setClockSetting", [](R& r) { return text(r.board.setClockSetting(r.integer(0))); }},
            {"getClockSetting",
             [](R& r) {
                 int mhz = 0;
                 return text(r.board.getClockSetting(mhz));
             }},
            {"initialize", [](R& r) { return text(r.board.initialize()); }},
            {"setExposure", [](R& r) { return text(r.board.setExposure(r.integer(0))); }},
            {"getExposure", [](R& r) { return text(r.board.getExposure()); }},
            {"getMinFrameIntervalMicroS",
             [](R& r) { return text(r.board.getMinFrameIntervalMicroS()); }},
            {"setFrameInterval", [](R& r) { return text(r.board.setFrameInterval(r.integer(0))); }},
            {"getFrameInterval", [](R& r) { return text(r.board.getFrameInterval()); }},
            {"setROI", [](R& r) { return text(r.board.setROI(r.region(0))); }},
            {"getROI", [](R& r) { return text(r.board.getROI()); }},
            {"getImageROI", [](R& r) { return text(r.board.getImageROI()); }},
            {"setVerticalBin", [](R& r) { return text(r.board.setVerticalBin(r.integer(0))); }},
            {"getVerticalBin", [](R& r) { return text(r.board.getVerticalBin()); }},
            {"setHorizontalBin", [](R& r) { return text(r.board.setHorizontalBin(r.integer(0))); }},
            {"getHorizontalBin", [](R& r) { return text(r.board.getHorizontalBin()); }},
            {"setShutterMode",
             [](R& r) {
                 return text(
                     r.board.setShutterMode(static_cast<Vistrel::teShutterMode>(r.integer(0))));
             }},
            {"getShutterMode", [](R& r) { return text(r.board.getShutterMode()); }},
            {"setBPP",
             [](R& r) {
                 return text(r.board.setBPP(static_cast<Vistrel::teBPPMode>(r.integer(0))));
             }},
            {"setColor", [](R& r) { return text(r.board.setColor(r.flag(0))); }},
            {"setTestPattern",
             [](R& r) {
                 return text(
                     r.board.setTestPattern(static_cast<Vistrel::teTestPattern>(r.integer(0))));
             }},
            {"getTestPattern", [](R& r) { return text(r.board.getTestPattern()); }},
            {"setTrigger",
             [](R& r) {
                 return text(r.board.setTrigger(static_cast<Vistrel::teTriggerMode>(r.integer(0))));
             }},
            {"getTrigger", [](R& r) { return text(r.board.getTrigger()); }},
            {"peek",
             [](R& r) {
                 int value = 0;
                 return text(r.board.peek(r.integer(0), &value));
             }},
            {"poke", [](R& r) { return text(r.board.poke(r.integer(0), r.integer(1))); }},
            {"validate", [](R& r) { return text(r.board.validate()); }},
            {"isCapturing", [](R& r) { return text(r.board.isCapturing() ? 1 : 0); }},
            {"start", [](R& r) { return text(r.board.start()); }},
            {"stop", [](R& r) { return text(r.board.stop()); }},
            {"getTemperature", [](R& r) { return r.board.getTemperature(r.integer(0)); }},
            {"getVersion", [](R& r) { return r.board.getVersion(); }},
            {"save", [](R& r) { return text(r.board.save(r.integer(0))); }},
            {"recall", [](R& r) { return text(r.board.recall(r.integer(0))); }},
            {"power", [](R& r) { return text(r.board.power(r.flag(0))); }},
            {"setMirroring", [](R& r) { return text(r.board.setMirroring(r.flag(0), r.flag(1))); }},
            {"getMirroring",
             [](R& r) {
                 bool mirrored = false;
                 return text(r.board.getMirroring(r.flag(0), &mirrored));
             }},
            {"setBlackLevel", [](R& r) { return text(r.board.setBlackLevel(r.integer(0))); }},
            {"getBlackLevel",
             [](R& r) {
                 int level = 0;
                 return text(r.board.getBlackLevel(level));
             }},
            {"setAnalogOffset", [](R& r) { return text(r.board.setAnalogOffset(r.integer(0))); }},
            {"getAnalogOffset",
             [](R& r) {
                 int offset = 0;
                 return text(r.board.getAnalogOffset(offset));
             }},
            {"setLineRate", [](R& r) { return text(r.board.setLineRate(r.integer(0))); }},
            {"getLineRate",
             [](R& r) {
                 int hertz = 0;
                 return text(r.board.getLineRate(hertz));
             }},
            {"setStrobe", [](R& r) { return text(r.board.setStrobe(r.integer(0), r.integer(1))); }},
            {"setDecimation", [](R& r) { return text(r.board.setDecimation(r.integer(0))); }},
            {"setHDRMode", [](R& r) { return text(r.board.setHDRMode(r.flag(0))); }},
            {"GetSkipFrames",
             [](R& r) {
                 bool skip = false;
                 return text(r.board.GetSkipFrames(skip));
             }},
            {"programMultipleROI",
             [](R& r) {
                 auto* multiple = dynamic_cast<Vistrel::tcMultipleROISensor*>(&r.board);
                 if (multiple == nullptr)
                     throw tcNotCallable("the board has no multiple-ROI view");
                 return text(multiple->programMultipleROI());
             }},
        };
        return table;
    }

    Vistrel::tcSensorBoard& board;
    std::map<std::string, Vistrel::tcAbstractHandler*> handlerMap;
    std::vector<Vistrel::tcAbstractHandler*> handlers; // head first
    const std::vector<std::string>* args = nullptr;
};

// What of the record's order the host thread cannot follow, one note each.
std::vector<std::string> interleavingNotes(const tsRecord& record) {
    std::set<unsigned> drivingThreads, publishingThreads;
    size_t deferred = 0;
    for (const tsEvent& event : record.events) {
        if (event.thread == 0)
            continue;
        if (event.keyword == "op" || event.keyword == "cmd" || event.keyword == "gpio_irq")
            drivingThreads.insert(event.thread);
        else if (event.keyword == "word")
            publishingThreads.insert(event.thread);
    }
    for (const tsEvent& event : record.events)
        deferred += event.keyword == "deferred" ? 1 : 0;
    std::vector<std::string> notes;
    const auto named = [](const std::set<unsigned>& threads) {
        std::string text;
        for (unsigned thread : threads)
            text += (text.empty() ? "t" : ", t") + std::to_string(thread);
        return text;
    };
    if (!drivingThreads.empty())
        notes.push_back("the framework's calls on " + named(drivingThreads) +
                        " are made on the host thread, in the record's order");
    if (!publishingThreads.empty())
        notes.push_back("the words the board sent from " + named(publishingThreads) +
                        " leave from its own thread in the replay: the host thread waits for "
                        "those the record has notified before each of its events");
    if (deferred > 0)
        notes.push_back(std::to_string(deferred) +
                        " notifications were left to the board's notification thread: it "
                        "applies them as it runs, not at the recorded place");
    return notes;
}

std::string spiPathOf(const tsRecord& record, const std::string& fallback) {
    for (const tsEvent& event : record.events)
        if (event.keyword == "spi_open")
            return event.value("path");
    return fallback;
}

std::string moduleOf(const tsRecord& record) {
    return record.events.empty() ? std::string() : record.events.front().value("module");
}

// The host thread's part of an event: what it did again, and the answer (none for a
// client's write or a GPIO notification); nothing for the other events.
struct tsReplayed {
    std::string call;
    std::optional<std::string> answer;
};

// Makes again the call an event records, when it is one of the framework's. ownWords: the
// board's words not yet notified (a notification of one is the board's own, not a
// client's write).
std::optional<tsReplayed> replayEvent(tcReplayer& replayer, const tsEvent& event,
                                      std::multiset<std::pair<std::string, std::string>>& ownWords,
                                      const std::function<void()>& before) {
    const auto answerOf = [](const std::function<std::string()>& call) {
        try {
            return printableText(call());
        } catch (const tcNotCallable& error) {
            return "not called: " + std::string(error.what());
        } catch (const std::exception& error) {
            return "exception: " + printableText(error.what());
        }
    };
    const std::string& k = event.keyword;
    if (k == "word") {
        ownWords.emplace(event.value("addr"), event.value("val"));
        return std::nullopt;
    }
    if (k == "notify") {
        const auto own = ownWords.find({event.value("addr"), event.value("val")});
        if (own != ownWords.end()) {
            ownWords.erase(own);
            return std::nullopt;
        }
        before();
        replayer.write(static_cast<uint32_t>(sim::replay::number(event.value("addr"))),
                       static_cast<uint32_t>(sim::replay::number(event.value("val"))));
        return tsReplayed{"write " + event.value("addr") + " " + event.value("val"), std::nullopt};
    }
    if (k == "gpio_irq") {
        before();
        replayer.gpio(static_cast<unsigned>(sim::replay::number(event.value("pin"))),
                      static_cast<unsigned>(sim::replay::number(event.value("level"))));
        return tsReplayed{"notify " + event.value("pin") + " " + event.value("level"),
                          std::nullopt};
    }
    const std::string name = event.value("name");
    const std::string args = event.value("args");
    if (k == "cmd") {
        before();
        return tsReplayed{"cmd " + name + (args.empty() ? "" : " ") + args,
                          answerOf([&] { return replayer.command(name, args); })};
    }
    if (k == "op") {
        before();
        return tsReplayed{name + "(" + args + ")",
                          answerOf([&] { return replayer.call(name, split(args, ',')); })};
    }
    return std::nullopt;
}

// Calls what the record's framework called; gives false when the board could not be made.
bool drive(const tsRecord& record, const tsOptions& options, tcReplayReport& report) {
    const tcPluginLibrary library(options.plugin);
    tcRecordedWords recordedWords(record); // before the board: it sees all its words
    const std::function<void()> awaitWords = [&recordedWords, &report] {
        if (const std::optional<std::string> note = recordedWords.await())
            report.note(*note);
    };
    std::unique_ptr<Vistrel::tcSensorBoard> board;
    try {
        board = library.makeSensor(spiPathOf(record, options.spi));
    } catch (const std::exception& error) {
        err() << toolName() << ": exception from the plug-in: " << printableText(error.what())
              << std::endl;
        return false;
    }
    {
        tcReplayer replayer(*board);
        std::multiset<std::pair<std::string, std::string>> ownWords;
        for (const tsEvent& event : record.events) {
            const std::optional<tsReplayed> replayed =
                replayEvent(replayer, event, ownWords, awaitWords);
            recordedWords.passed(event);
            if (replayed)
                report.call(replayed->call, replayed->answer, event.line);
        }
        awaitWords();
    }
    board.reset(); // the record's `end`
    return true;
}

} // namespace

int replayRecord(const tsRecord& record, const tsOptions& options, const std::string& ownRecordPath,
                 tcReplayReport& report) {
    for (const std::string& note : interleavingNotes(record))
        report.note(note);
    sim::setReplayAnswers(answersOf(record));
    bool made = false;
    try {
        made = drive(record, options, report);
    } catch (const std::exception& error) {
        err() << toolName() << ": " << error.what() << std::endl;
    }
    sim::setReplayAnswers(nullptr);
    if (!made)
        return kExitPlugin;

    tsRecord own;
    try {
        own = trace::readRecordFile(ownRecordPath);
    } catch (const trace::tcRecordError& error) {
        err() << toolName() << ": the replay's own record cannot be read: " << error.what()
              << std::endl;
        return kExitExpectation;
    }
    if (moduleOf(record) != moduleOf(own))
        report.note("the record is of module " + moduleOf(record) + ", the replay's of " +
                    moduleOf(own));
    trace::tsDiffOptions compare;
    compare.nameA = "record";
    compare.nameB = "replay";
    const trace::tsDiffResult result = trace::compareRecords(record, own, compare);
    for (const std::string& note : result.notes)
        report.note(note);
    std::vector<std::string> lines;
    for (const trace::tsDivergence& divergence : result.divergences)
        lines.push_back(divergence.text);
    report.diverged(lines);
    if (result.divergences.empty()) {
        out() << toolName() << ": replay matched the record (" << record.events.size() << " events)"
              << std::endl;
        return kExitOk;
    }
    out() << result.divergences.front().text << std::endl;
    err() << toolName() << ": replay: the plug-in did otherwise than the record; "
          << trace::totalLine(result) << std::endl;
    return kExitExpectation;
}

} // namespace camhost
