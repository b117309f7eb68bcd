#include "StatusTap.h"

#include "Vistrel/tcStatusReporter.h"

#include <cstdarg>
#include <cstdio>
#include <dlfcn.h>
#include <mutex>

namespace camhost {
namespace {

using Vistrel::tcStatusReporter;
using tfUpdate = void (*)(tcStatusReporter*, tcStatusReporter::teStatus, const std::string&);
using tfFormatted = void (*)(tcStatusReporter*, tcStatusReporter::teStatus, const char*, ...);
using tfUnmarked = void (*)(tcStatusReporter*, const char*, ...);

// The framework's own definitions, after this program's in the search order.
template <typename tFunction> tFunction next(const char* symbol) {
    return reinterpret_cast<tFunction>(dlsym(RTLD_NEXT, symbol));
}
const tfUpdate frameworkUpdate =
    next<tfUpdate>("_ZN7Vistrel16tcStatusReporter12updateStatusENS0_8teStatusERKNSt7__cxx1112basic_"
                   "stringIcSt11char_traitsIcESaIcEEE");
const tfFormatted frameworkFormatted =
    next<tfFormatted>("_ZN7Vistrel16tcStatusReporter15updateStatusFMTENS0_8teStatusEPKcz");
const tfUnmarked frameworkUnmarked =
    next<tfUnmarked>("_ZN7Vistrel16tcStatusReporter15updateStatusFMTEPKcz");

std::mutex linesMutex;
std::vector<tsStatusLine> lines;
// Set while the framework's own operation runs: one that sends its line through another
// of the three is not recorded twice.
thread_local bool handingOn = false;

void record(std::optional<int> status, const std::string& text) {
    if (handingOn)
        return;
    const std::lock_guard<std::mutex> lock(linesMutex);
    lines.push_back({status, text});
}

std::string formatted(const char* format, va_list arguments) {
    if (format == nullptr)
        return {};
    va_list measuring;
    va_copy(measuring, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (length <= 0)
        return {};
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, arguments);
    text.resize(static_cast<size_t>(length));
    return text;
}

// Runs the framework's operation with nested calls left unrecorded.
template <typename tCall> void handOn(tCall call) {
    const bool outer = !handingOn;
    handingOn = true;
    call();
    if (outer)
        handingOn = false;
}

} // namespace

std::optional<std::vector<tsStatusLine>> tappedStatusLines() {
    if (!frameworkUpdate || !frameworkFormatted || !frameworkUnmarked)
        return std::nullopt;
    const std::lock_guard<std::mutex> lock(linesMutex);
    return lines;
}

} // namespace camhost

namespace Vistrel {

using camhost::handOn;
using camhost::record;

void tcStatusReporter::updateStatus(teStatus status, const std::string& text) {
    record(static_cast<int>(status), text);
    if (camhost::frameworkUpdate)
        handOn([&] { camhost::frameworkUpdate(this, status, text); });
}

// The framework formats the line again from "%s": what it receives is the same text.
void tcStatusReporter::updateStatusFMT(teStatus status, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::string text = camhost::formatted(format, arguments);
    va_end(arguments);
    record(static_cast<int>(status), text);
    if (camhost::frameworkFormatted)
        handOn([&] { camhost::frameworkFormatted(this, status, "%s", text.c_str()); });
}

void tcStatusReporter::updateStatusFMT(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::string text = camhost::formatted(format, arguments);
    va_end(arguments);
    record(std::nullopt, text);
    if (camhost::frameworkUnmarked)
        handOn([&] { camhost::frameworkUnmarked(this, "%s", text.c_str()); });
}

} // namespace Vistrel
