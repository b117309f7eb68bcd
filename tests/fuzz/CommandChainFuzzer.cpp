// Any command names and argument bytes through the board's custom handler chain, in front
// of a tail handler that stands for the framework's own. Every reply is checked against
// what the command means on this board (EXPM: not supported; the four bad-pixel
// commands on the core; the clock handler's two); anything else must reach the tail
// unchanged. With a handler map, the handler registered under a name answers as the
// chain does. The handlers are deleted afterwards, before or after the board.
//
// Input: one flag byte (bit 0: no map; bit 1: ask for the handlers twice with the same
// map; bit 2: delete the board first), then one request per line: the command up to the
// first space, its arguments after it.
#include "FuzzSupport.h"
#include "Vistrel/tcStringTokenizer.h"
#include "plugin/tc120MXSSensorBoard.h"
#include "tests/support/BoardTestAccess.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using Vistrel::tcAbstractHandler;

const std::set<std::string> kBoardCommands{"SBPR", "GBPR", "SBPRM", "GBPRM",
                                           "EXPM", "GCLK", "SCLK"};
const std::string kDefaultData = "bad_pixel_default.map"; // the simulated core's

class TailHandler : public tcAbstractHandler {
public:
    TailHandler() : tcAbstractHandler(nullptr, nullptr) {}
    std::string execute(std::string& command, std::string& arguments) override {
        seen.push_back(command);
        seen.push_back(arguments);
        return "TAIL";
    }
    std::vector<std::string> seen;
};

// The handlers from head up to the tail, which the caller of getCustomHandlers owns.
std::vector<std::unique_ptr<tcAbstractHandler>> own(tcAbstractHandler* head,
                                                    const tcAbstractHandler* tail) {
    std::vector<std::unique_ptr<tcAbstractHandler>> owned;
    for (tcAbstractHandler* h = head; h != nullptr && h != tail; h = h->getNext()) {
        FUZZ_CHECK(owned.size() < 3, "more than three board handlers in the chain");
        owned.emplace_back(h);
    }
    FUZZ_CHECK(owned.size() == 3, owned.size() << " board handlers in the chain");
    return owned;
}

// What a set command's first argument is, as the framework's tokenizer reads it: the
// reply when it is refused, or the number.
struct SetArgument {
    std::string refusal;
    int value = 0;
};

SetArgument setArgument(const std::string& arguments) {
    Vistrel::tcStringTokenizer tokens(arguments, ' ');
    SetArgument argument;
    if (!tokens.hasNext())
        argument.refusal = "NACK 2";
    else if (!tokens.nextInt(&argument.value))
        argument.refusal = "NACK 3";
    return argument;
}

std::string expectedReply(Vistrel::tc120MXSSensorBoard& board, const std::string& command,
                          const std::string& arguments) {
    const sim::BadPixelState core = sim::Head::instance().badPixel();
    if (command == "EXPM")
        return "NACK 7"; // this board has no external exposure
    if (command == "GBPR")
        return "ACK <" + std::to_string(core.data.empty() ? 0 : 1) + ">";
    if (command == "GBPRM")
        return "ACK <" + std::to_string(core.mapState ? 1 : 0) + ">";
    if (command == "GCLK") {
        int mhz = 0;
        board.getClockSetting(mhz);
        return "ACK <" + std::to_string(mhz) + ">";
    }
    const SetArgument argument = setArgument(arguments);
    if (!argument.refusal.empty())
        return argument.refusal;
    if (command == "SCLK")
        return "NACK 7"; // the clock is fixed by the FPGA
    return "ACK";        // SBPR, SBPRM
}

// The effect of an accepted SBPR or SBPRM on the core.
void checkCoreAfter(const std::string& command, const std::string& arguments,
                    const std::string& reply) {
    if (reply != "ACK")
        return;
    const int value = setArgument(arguments).value;
    const sim::BadPixelState core = sim::Head::instance().badPixel();
    if (command == "SBPR")
        FUZZ_CHECK(core.data == (value != 0 ? kDefaultData : std::string()),
                   "SBPR " << value << " left data '" << core.data << "'");
    else if (command == "SBPRM")
        FUZZ_CHECK(core.mapState == (value != 0), "SBPRM " << value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::ByteReader input(data, size);
    const uint8_t flags = input.u8();
    const bool withMap = (flags & 1) == 0;
    const bool twice = (flags & 2) != 0;
    const bool boardFirst = (flags & 4) != 0;

    fuzzsupport::InputScope scope;
    auto board = std::make_unique<Vistrel::tc120MXSSensorBoard>(fuzzsupport::kSpiPath);
    // The bad-pixel commands use the core once it reported itself usable.
    FUZZ_CHECK(Vistrel::BoardTestAccess::bringUpFpga(*board) == 0, "FPGA cores on a healthy head");
    TailHandler tail;
    std::map<std::string, tcAbstractHandler*> handlers;
    std::map<std::string, tcAbstractHandler*>* map = withMap ? &handlers : nullptr;

    std::vector<std::unique_ptr<tcAbstractHandler>> owned;
    tcAbstractHandler* head = board->getCustomHandlers(&tail, map);
    if (twice) {
        // The first chain is dropped; the map must name the handlers of the second.
        auto first = own(head, &tail);
        head = board->getCustomHandlers(&tail, map);
    }
    owned = own(head, &tail);

    if (withMap) {
        FUZZ_CHECK(handlers.size() == kBoardCommands.size(), handlers.size() << " map entries");
        for (const auto& [name, handler] : handlers) {
            FUZZ_CHECK(kBoardCommands.count(name) == 1, "map entry " << name);
            bool inChain = false;
            for (const auto& h : owned)
                inChain = inChain || h.get() == handler;
            FUZZ_CHECK(inChain, "map entry " << name << " is not in the chain");
        }
    }

    for (int i = 0; i < fuzzsupport::kMaxOperations && !input.empty(); ++i) {
        const std::string line = input.until('\n');
        const size_t space = line.find(' ');
        std::string command = line.substr(0, space);
        std::string arguments = space == std::string::npos ? std::string() : line.substr(space + 1);
        const std::string sentCommand = command, sentArguments = arguments;

        const bool ours = kBoardCommands.count(command) != 0;
        const std::string expected = ours ? expectedReply(*board, command, arguments) : "TAIL";
        tail.seen.clear();
        const std::string reply = head->execute(command, arguments);
        FUZZ_CHECK(reply == expected, "'" << sentCommand << "' '" << sentArguments << "' answered '"
                                          << reply << "', expected '" << expected << "'");
        if (ours) {
            FUZZ_CHECK(tail.seen.empty(), "board command " << sentCommand << " reached the tail");
            checkCoreAfter(sentCommand, sentArguments, reply);
        } else {
            FUZZ_CHECK(tail.seen.size() == 2 && tail.seen[0] == sentCommand &&
                           tail.seen[1] == sentArguments,
                       "'" << sentCommand << "' did not reach the tail unchanged");
        }

        if (ours && withMap) {
            std::string again = sentCommand, againArguments = sentArguments;
            const std::string expectedAgain = expectedReply(*board, again, againArguments);
            const std::string mapped = handlers.at(again)->execute(again, againArguments);
            FUZZ_CHECK(mapped == expectedAgain,
                       "map handler of " << sentCommand << " answered '" << mapped << "'");
            checkCoreAfter(sentCommand, sentArguments, mapped);
        }
    }

    // Commands never reach the sensor.
    FUZZ_CHECK(scope.head().spiFrames().empty(), "a command wrote to the sensor");
    if (boardFirst)
        board.reset();
    owned.clear();
    board.reset();
    return 0;
}
