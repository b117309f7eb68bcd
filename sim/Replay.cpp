#include "sim/Replay.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace sim {

namespace {

std::mutex installedMutex;
std::shared_ptr<ReplayAnswers> installed;
std::atomic<bool> anyInstalled{false};

} // namespace

void ReplayAnswers::add(const std::string& subject, ReplayAnswer answer) {
    std::lock_guard<std::mutex> lock(mutex);
    answers[subject].push_back(std::move(answer));
}

std::optional<ReplayAnswer> ReplayAnswers::take(const std::string& subject) {
    std::lock_guard<std::mutex> lock(mutex);
    auto found = answers.find(subject);
    if (found == answers.end() || found->second.empty()) {
        ++beyond[subject];
        return std::nullopt;
    }
    ReplayAnswer answer = std::move(found->second.front());
    found->second.pop_front();

    return answer;
}

std::map<std::string, unsigned> ReplayAnswers::beyondRecord() const {
    std::lock_guard<std::mutex> lock(mutex);
    return beyond;
}

std::map<std::string, size_t> ReplayAnswers::leftOver() const {
    std::lock_guard<std::mutex> lock(mutex);
    std::map<std::string, size_t> left;
    for (const auto& [subject, queue] : answers)
        if (!queue.empty())
            left[subject] = queue.size();
    return left;
}

void setReplayAnswers(std::shared_ptr<ReplayAnswers> answers) {
    std::lock_guard<std::mutex> lock(installedMutex);
    anyInstalled.store(answers != nullptr);
    installed = std::move(answers);
}

std::shared_ptr<ReplayAnswers> replayAnswers() {
    std::lock_guard<std::mutex> lock(installedMutex);
    return installed;
}

namespace replay {

bool active() {
    return anyInstalled.load(std::memory_order_relaxed);
}

std::string fpga(uint32_t physicalAddress) {
    char text[32];
    std::snprintf(text, sizeof text, "fpga 0x%x", physicalAddress);
    return text;
}

std::string adc(int channel, bool singleEnded) {
    return "adc " + std::to_string(channel) + (singleEnded ? " single" : " differential");
}

std::string gpio(unsigned pin) {
    return "gpio " + std::to_string(pin);
}

std::string core(const char* core, const char* operation) {
    return std::string("core ") + core + "::" + operation;
}

std::optional<ReplayAnswer> next(const std::string& subject) {
    const std::shared_ptr<ReplayAnswers> answers = replayAnswers();
    if (!answers)
        return std::nullopt;
    return answers->take(subject);
}

std::optional<std::string> coreCall(const char* coreName, const char* operation) {
    if (!active())
        return std::nullopt;
    std::optional<ReplayAnswer> answer = next(core(coreName, operation));
    if (!answer)
        return std::nullopt;
    if (answer->thrown)
        throw std::runtime_error(answer->value);
    return answer->value;
}

long long number(const std::string& value) {
    if (value == "true")
        return 1;
    return std::strtoll(value.c_str(), nullptr, 0);
}

} // namespace replay
} // namespace sim
