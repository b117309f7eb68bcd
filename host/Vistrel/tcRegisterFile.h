#pragma once
// Process-wide register file: 32-bit words at byte addresses, read and set by clients.
#include "Vistrel/tcMutex.h"
#include "Vistrel/tcObserver.h"
#include <cstdint>
#include <map>

namespace Vistrel {

class tcRegisterFile {
public:
    // The process-wide instance; name selects a backing store (null: the default one),
    // create makes it on first use.
    static tcRegisterFile* getInstance(const char* name, bool create);

    // Stores the word and notifies every observer with a kind-1 record.
    void update_word(uint32_t address, uint32_t value);
    // Reads a stored word; false when it was never written.
    bool read_word(uint32_t address, uint32_t& value) const;
    std::map<uint32_t, uint32_t> words() const;

    tcObservable observable;

private:
    tcRegisterFile();
    mutable tcMutex mutex;
    std::map<uint32_t, uint32_t> store;
};

} // namespace Vistrel
