#include "BoardSide.h"

#include "FrameworkExtras.h"
#include "Interrupt.h"
#include "Readable.h"
#include "WriteWitness.h"

#include "platform/Platform.h"

#include <string>
#include <sys/stat.h>

namespace camhost {
namespace {

constexpr std::chrono::seconds kDeliveryPatience{10};

Json wordsJson(const std::map<uint32_t, uint32_t>& words) {
    Json json = Json::object();
    for (const auto& [address, value] : words) {
        char key[16];
        std::snprintf(key, sizeof key, "0x%x", static_cast<unsigned>(address));
        json[key] = value;
    }
    return json;
}

} // namespace

tcBoardSide::tcBoardSide(tfStatusLines statusLines)
    : started(std::chrono::steady_clock::now()), statusLines(std::move(statusLines)) {
    // A framework that stands in for the board maps a plain file in a folder of its own
    // instead of /dev/mem; a second signal must not leave them behind.
    const std::string memory = platform::memoryDevicePath();
    struct stat status {};
    if (stat(memory.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
        removeOnAbort(memory);
        removeOnAbort(memory.substr(0, memory.rfind('/')), true); // only if empty
    }
}

long long tcBoardSide::nowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 started)
        .count();
}

void tcBoardSide::sleepUs(long long microseconds) {
    sleepUnlessInterrupted(microseconds,
                           [](long long us) { platform::sleepFor(std::chrono::microseconds(us)); });
}

bool tcBoardSide::awaitDelivery(tcWriteWitness& witness) {
    return witness.waitDelivered(kDeliveryPatience);
}

void tcBoardSide::addToReport(Json& report, const tcRegisterFileLog& words) {
    Json unavailable = Json::object();
    const std::optional<std::vector<tsStatusLine>> lines =
        statusLines ? statusLines() : std::nullopt;
    if (lines)
        addStatusLines(report, *lines);
    else
        unavailable["status"] = "the board's status lines (updateStatus): not visible from "
                                "this framework; it alone has them";
    const std::map<uint32_t, uint32_t> notified = words.words();
    report["registerFile"] = wordsJson(notified);
    report["registerFileHex"] = hexWords(notified, 8);
    const tsFrameworkExtras& extras = frameworkExtras();
    if (extras.registerFileWords)
        report["registerFileListing"] = wordsJson(extras.registerFileWords());
    else
        unavailable["registerFileListing"] =
            "tcRegisterFile::words(): not available from this framework; registerFile holds "
            "the words notified while camhost-board ran";
    if (!extras.setMultipleROI)
        unavailable["regions"] = "setMultipleROI: not available from this framework";
    report["unavailable"] = unavailable;
}

} // namespace camhost
