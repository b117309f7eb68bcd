#pragma once
// Helpers to drive command handlers the way the framework does: commands enter at the
// head of the chain, register-file writes are offered to every handler in it.
#include "Vistrel/tcAbstractHandler.h"
#include "Vistrel/tsUpdate.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace handlertest {

// Stands for the framework's handlers behind the board's: records what reached it.
class TailHandler : public Vistrel::tcAbstractHandler {
public:
    TailHandler() : tcAbstractHandler(nullptr, nullptr) {}
    std::string execute(std::string& command, std::string& arguments) override {
        seen.push_back(command + "|" + arguments);
        return "TAIL " + command;
    }
    void update(Vistrel::tsUpdate&) override { ++updates; }

    std::vector<std::string> seen;
    int updates = 0;
};

inline std::string run(Vistrel::tcAbstractHandler& head, std::string command,
                       std::string arguments = "") {
    return head.execute(command, arguments);
}

// Offers one register-file notification to every handler from head on; true when one
// of them marked it handled.
inline bool deliver(Vistrel::tcAbstractHandler* head, int32_t kind, uint32_t address,
                    uint32_t value) {
    Vistrel::tsUpdate update;
    update.kind = kind;
    update.address = address;
    update.value = value;
    for (Vistrel::tcAbstractHandler* h = head; h != nullptr; h = h->getNext())
        h->update(update);
    return update.handled;
}

// Takes ownership of the handlers from head up to (not including) end.
inline std::vector<std::unique_ptr<Vistrel::tcAbstractHandler>>
own(Vistrel::tcAbstractHandler* head, const Vistrel::tcAbstractHandler* end) {
    std::vector<std::unique_ptr<Vistrel::tcAbstractHandler>> owned;
    for (Vistrel::tcAbstractHandler* h = head; h != nullptr && h != end; h = h->getNext())
        owned.emplace_back(h);
    return owned;
}

} // namespace handlertest
