// The violation log: each breach of a hardware rule with its name, reason and time.
#include "sim/HeadImpl.h"

namespace sim {

void Head::Impl::violate(const char* rule, const std::string& reason) {
    violateAt(Clock::now(), rule, reason);
}

void Head::Impl::violateAt(Micros time, const char* rule, const std::string& reason) {
    violations.push_back(Violation{rule, reason, time});
}

bool Head::Impl::coreReady(bool reported, const char* core, const char* operation) {
    if (!reported)
        violate("core-not-initialised", std::string(core) + "::" + operation +
                                            " before the core reported itself initialised");
    return reported;
}

int Head::Impl::chipFrameState() const {
    const auto found = chip.find(0x03);
    return found == chip.end() ? 0 : static_cast<int>((found->second >> 18) & 0x7);
}

std::vector<Violation> Head::violations() const {
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->violations;
}

} // namespace sim
