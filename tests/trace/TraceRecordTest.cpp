// The record reader: what it takes from a line, and every way a record it cannot read is
// refused with the file, the line and the fault, instead of being read halfway.
#include "TraceRecord.h"
#include "RecordText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using trace::readRecord;
using trace::tcRecordError;
using tracetest::kHead;
using tracetest::record;

TEST(TraceRecord, ReadsTimeThreadKeywordAndFieldsInOrderTextUnescaped) {
    const trace::tsRecord r =
        readRecord(record({"12 t0 gpio_pin name=XRESET pin=-1",
                           "1520 t3 core op=tcPwm::setPeriod args=\"a \\\"b\\\" \\\\ c\\nd\" "
                           "exception=\"out of range\" later=7"}),
                   "demo.trace");
    ASSERT_EQ(r.events.size(), 4u);
    EXPECT_TRUE(r.ended);
    const trace::tsEvent& core = r.events[2];
    EXPECT_EQ(core.timeUs, 1520u);
    EXPECT_EQ(core.thread, 3u);
    EXPECT_EQ(core.keyword, "core");
    EXPECT_EQ(core.line, 3u);
    std::vector<std::string> keys;
    for (const trace::tsField& field : core.fields)
        keys.push_back(field.key);
    // A field the format does not know yet is kept, after the documented ones.
    EXPECT_EQ(keys, (std::vector<std::string>{"op", "args", "exception", "later"}));
    EXPECT_EQ(core.value("args"), "a \"b\" \\ c\nd");
    EXPECT_EQ(readRecord(kHead + core.text().insert(0, "1520 t3 ") + "\n", "again")
                  .events[1]
                  .value("args"),
              core.value("args"));
    EXPECT_EQ(r.events[1].value("pin"), "-1");

    // Without its end line the record was cut short: read, and said so.
    const trace::tsRecord cut =
        readRecord(record({"12 t0 gpio_pin name=XRESET pin=40"}, false), "cut");
    EXPECT_FALSE(cut.ended);
    EXPECT_EQ(cut.events.size(), 2u);
}

TEST(TraceRecord, RefusesEveryBrokenRecordNamingFileLineAndFault) {
    struct tsCase {
        std::string text;
        int line;
        std::string fault;
    };
    const std::string read = "5 t0 fpga_read base=0xff212000 off=0x4 val=0x1\n";
    const std::vector<tsCase> cases{
        {"", 1, "empty"},
        {kHead + read + "6 t0 fpga_read base=0xff212000 off=0x4 va", 3, "cut in the middle"},
        {kHead + "5 t0 fpga_read base=0xff212000 off=0x4 val=0xZZ\n", 2, "val=0xZZ is not a valid"},
        {kHead + "5 t0 fpga_read base=0xff212000 val=0x1\n", 2, "needs the fields base= off= val="},
        {kHead + "5 t0 fpga_rexd base=0xff212000 off=0x4 val=0x1\n", 2,
         "no event is called fpga_rexd"},
        {kHead + "5 t0 fpga_read base=0xff212000 off=0x4 val=0x1 val=0x2\n", 2, "val twice"},
        {kHead + "5 t0  fpga_read base=0xff212000 off=0x4 val=0x1\n", 2, "keyword is missing"},
        {kHead + "5 x0 gpio_get pin=3 val=1\n", 2, "no thread"},
        {kHead + "5 t0 op name=start args=\"unclosed\n", 2, "no closing quote"},
        {kHead + "5 t0 op name=start args=\"\\q\"\n", 2, "unknown escape"},
        {kHead + "\n", 2, "empty line"},
        {"0 t0 trace format=3 module=3.0.0 build=\"x\" pid=1\n" + read, 1,
         "format 3, this reader reads formats 1 and 2"},
        {read, 1, "the first line is fpga_read"},
        {kHead + kHead, 2, "a second trace line"},
        {record({}) + read, 3, "a line after the record's end"},
        {kHead + "5 t0 op name=start args=\"\"\n6 t0 op_ret name=stop result=0\n", 3,
         "op_ret stop on t0 while op start is open"},
        {kHead + "5 t1 notify_ret addr=0x3d000 handled=1\n", 2, "with nothing open"},
        {kHead + "99999999999999999999 t0 gpio_get pin=3 val=1\n", 2, "too many digits"},
        {kHead + "5 t0 adc ch=4 single=1 volts=1.6.5 result=0\n", 2, "volts=1.6.5 is not a valid"},
    };
    for (const tsCase& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            readRecord(c.text, "board.trace");
            ADD_FAILURE() << "read without an error";
        } catch (const tcRecordError& error) {
            const std::string message = error.what();
            EXPECT_EQ(message.rfind("board.trace:" + std::to_string(c.line) + ": ", 0), 0u)
                << message;
            EXPECT_NE(message.find(c.fault), std::string::npos) << message;
        }
    }
}

} // namespace
