#pragma once
// The events of the record's format and their leading fields, as docs/trace.md lists them,
// with the role each field plays when two records or a record and a run are compared.
#include <string>
#include <string_view>
#include <vector>

namespace trace {

enum class teValue {
    Hex,    // 0x and hexadecimal digits
    Number, // decimal, with an optional minus sign, or 0x hexadecimal
    Real,   // a number as %.6g prints it (nan and inf too)
    Flag,   // 0 or 1
    Text,   // in double quotes
    Name,   // a word without quotes
    Any,    // a word or a text
};

enum class teRole {
    Subject, // what the event is about: register, pin, channel, operation
    Request, // what the plug-in asked for
    Answer,  // what the hardware, the library or the framework answered
    Time,    // how long it took: compared only with a time tolerance
};

struct tsFieldForm {
    const char* key;
    teValue value;
    teRole role;
};

// One way the event's leading fields may read; some events have two.
using tcFieldList = std::vector<tsFieldForm>;

struct tsEventKind {
    const char* keyword;
    std::vector<tcFieldList> forms;
};

// The event of this keyword, or null when the format has none.
const tsEventKind* findEventKind(std::string_view keyword);

// The documented form whose keys the fields begin with (null when none does); the caller
// then checks each value.
template <typename Fields>
const tcFieldList* matchingForm(const tsEventKind& kind, const Fields& fields) {
    for (const tcFieldList& form : kind.forms) {
        if (fields.size() < form.size())
            continue;
        bool keysMatch = true;
        for (size_t i = 0; i < form.size() && keysMatch; ++i)
            keysMatch = fields[i].key == form[i].key;
        if (keysMatch)
            return &form;
    }
    return nullptr;
}

// True when text is a valid value of that kind.
bool validValue(teValue kind, std::string_view text, bool quoted);

} // namespace trace
