// Region text and status lines of the framework.
#include "Vistrel/ROI.h"
#include "Vistrel/tcStatusReporter.h"

#include "sim/HeadImpl.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace Vistrel {

std::string ROI::toString() const {
    return "(" + std::to_string(y) + ", " + std::to_string(x) + ", " + std::to_string(width) +
           ", " + std::to_string(height) + ")";
}

namespace {

void record(std::optional<int> status, const std::string& text) {
    sim::Head::Impl& head = sim::Head::instance().impl();
    std::lock_guard<std::mutex> lock(head.mutex);
    head.status.push_back(sim::StatusLine{status, text});
    if (head.config.echoStatus) {
        if (status.has_value())
            std::printf("STATUS %d: %s\n", *status, text.c_str());
        else
            std::printf("STATUS: %s\n", text.c_str());
        std::fflush(stdout);
    }
}

std::string format(const char* pattern, va_list arguments) {
    if (pattern == nullptr)
        return {};
    va_list measuring;
    va_copy(measuring, arguments);
    const int length = std::vsnprintf(nullptr, 0, pattern, measuring);
    va_end(measuring);
    if (length <= 0)
        return {};
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), pattern, arguments);
    return std::string(buffer.data(), static_cast<size_t>(length));
}

} // namespace

tcStatusReporter::~tcStatusReporter() = default;

void tcStatusReporter::updateStatus(teStatus status, const std::string& text) {
    record(static_cast<int>(status), text);
}

void tcStatusReporter::updateStatusFMT(teStatus status, const char* pattern, ...) {
    va_list arguments;
    va_start(arguments, pattern);
    const std::string text = format(pattern, arguments);
    va_end(arguments);
    record(static_cast<int>(status), text);
}

void tcStatusReporter::updateStatusFMT(const char* pattern, ...) {
    va_list arguments;
    va_start(arguments, pattern);
    const std::string text = format(pattern, arguments);
    va_end(arguments);
    record(std::nullopt, text);
}

} // namespace Vistrel
