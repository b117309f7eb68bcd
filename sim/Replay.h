#pragma once
// A boundary record's answers for the simulated head (camhost --replay). While a set of
// answers is installed, the stand-ins answer each FPGA register read, ADC conversion, GPIO
// line read and FPGA-core call with the next answer the record holds for that register,
// channel, line or call, in the record's order, instead of asking the head's models; once
// the record holds no more for it, the models answer again, and the shortfall is counted.
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace sim {

struct ReplayAnswer {
    std::string value;   // as the record writes it
    bool thrown = false; // a core call that threw: value is the exception's text
};

class ReplayAnswers {
public:
    void add(const std::string& subject, ReplayAnswer answer);
    // The next answer for subject; none when the record holds no more.
    std::optional<ReplayAnswer> take(const std::string& subject);
    // Subjects asked for more often than the record holds them: how many times more.
    std::map<std::string, unsigned> beyondRecord() const;
    // Answers the run never asked for, by subject.
    std::map<std::string, size_t> leftOver() const;

private:
    mutable std::mutex mutex;
    std::map<std::string, std::deque<ReplayAnswer>> answers;
    std::map<std::string, unsigned> beyond;
};

// Installs answers for the stand-ins; null puts the head's models back.
void setReplayAnswers(std::shared_ptr<ReplayAnswers> answers);
std::shared_ptr<ReplayAnswers> replayAnswers();

// The subjects as the stand-ins ask for them.
namespace replay {
// Whether answers are installed: a stand-in asks before it names a subject, so that a run
// without a replay pays one load per crossing, not a text and a lock.
bool active();
std::string fpga(uint32_t physicalAddress); // a register by its physical address
std::string adc(int channel, bool singleEnded);
std::string gpio(unsigned pin);
std::string core(const char* core, const char* operation); // "tcPwm", "initialized"

// The next answer for subject, when answers are installed and hold one for it.
std::optional<ReplayAnswer> next(const std::string& subject);
// A core call's answer: throws std::runtime_error with the record's text for one that threw.
std::optional<std::string> coreCall(const char* core, const char* operation);
// A recorded number (decimal or 0x); a recorded flag "1"/"true".
long long number(const std::string& value);
} // namespace replay

} // namespace sim
