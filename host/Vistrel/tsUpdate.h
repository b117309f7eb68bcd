#pragma once
// Register-file notification record.
#include <cstdint>

namespace Vistrel {

struct tsUpdate {
    enum teKind : int32_t {
        eeWordWritten = 1, // a client or the plug-in wrote a word
    };
    int32_t kind = 0;     // only kind 1 (a word was written) is acted on by the plug-in
    uint32_t address = 0; // byte address of the word in the register file
    bool handled = false; // set by the receiver that acted on the update
    uint32_t value = 0;   // the word's new value
};

} // namespace Vistrel
