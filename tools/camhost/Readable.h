#pragma once
// The report's readable additions beside its raw numbers: names of codes, registers in hex
// and decoded into their fields, the board's settings as its getters give them.
#include "Vistrel/tcSensorBoard.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

namespace camhost {

using Json = nlohmann::ordered_json;

// The name of a status line's code ("info"), null for an unknown one.
Json statusName(int status);
// The name of a result code of the board's setters ("argument out of range") when the
// command answers one, otherwise nothing (null).
Json resultName(const std::string& command, const Json& result);

// Each word of the map as "0x" and digits hex digits, keyed by its hex address.
template <typename tKey> Json hexWords(const std::map<tKey, uint32_t>& words, int digits) {
    Json text = Json::object();
    for (const auto& [key, value] : words) {
        char name[16];
        std::snprintf(name, sizeof name, "0x%x", static_cast<unsigned>(key));
        char word[16];
        std::snprintf(word, sizeof word, "0x%0*x", digits, static_cast<unsigned>(value));
        text[name] = word;
    }
    return text;
}

// Reads a frame-receiver register by its byte offset from the core's base.
using tfReceiverRead = std::function<uint32_t(uint32_t offset)>;

// The frame receiver's registers: "hex" texts and "fields" decoded.
Json receiverHex(const tfReceiverRead& rx);
Json receiverFields(const tfReceiverRead& rx);

// Region, image region, trigger, test pattern, capturing, exposure and interval; an
// "error" instead when a getter throws.
Json boardSettings(Vistrel::tcSensorBoard& board);

} // namespace camhost
