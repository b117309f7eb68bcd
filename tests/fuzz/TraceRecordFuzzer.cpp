// Any bytes as a boundary record. The reader either refuses them with a message that names
// the record and a line, or reads events that, written out again, read back the same; a
// record read is set beside itself and beside a bring-up without a divergence or a fault.
#include "TraceDiff.h"
#include "TraceRecord.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

// The reader needs no head: a failed check prints and aborts, which libFuzzer records.
#define FUZZ_CHECK(condition, message)                                                             \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::ostringstream fuzzMessage_;                                                       \
            fuzzMessage_ << "check failed: " #condition ": " << message;                           \
            std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, fuzzMessage_.str().c_str());   \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace {

const std::string kOther = "0 t0 trace format=1 module=2.0.0 build=\"x\" pid=1\n"
                           "1 t0 op name=initialize args=\"\"\n"
                           "2 t0 fpga_read base=0xff212000 off=0x4 val=0x1\n"
                           "3 t0 delay us=100000 took=100000\n"
                           "4 t0 fpga_read base=0xff212000 off=0x4 val=0x1\n"
                           "5 t0 op_ret name=initialize result=0\n";

std::string writtenAgain(const trace::tsRecord& record) {
    std::string text;
    for (const trace::tsEvent& event : record.events)
        text += std::to_string(event.timeUs) + " t" + std::to_string(event.thread) + " " +
                event.text() + "\n";
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    trace::tsRecord record;
    try {
        record = trace::readRecord(bytes, "fuzz.trace");
    } catch (const trace::tcRecordError& error) {
        const std::string message = error.what();
        FUZZ_CHECK(message.rfind("fuzz.trace:", 0) == 0 &&
                       message.find(": ", 11) != std::string::npos,
                   "message without its place: " << message);
        return 0;
    }
    const std::string again = writtenAgain(record);
    const trace::tsRecord reread = trace::readRecord(again, "again.trace");
    FUZZ_CHECK(reread.events.size() == record.events.size() && writtenAgain(reread) == again &&
                   reread.ended == record.ended,
               "read back otherwise:\n"
                   << again);
    const trace::tsDiffResult self = trace::compareRecords(record, reread, {});
    FUZZ_CHECK(self.divergences.empty(),
               "a record differs from itself: " << self.divergences[0].text);
    trace::compareRecords(record, trace::readRecord(kOther, "other.trace"), {});
    return 0;
}
