// The keys of a case file: name, type, unit, default, allowed values and the
// control line of traq (input-korav) or pelmox (input-pelmox) each one sets.
//
// This table drives the checks of a case file, the commented case file of
// `ftsplan init`, the resolved case.toml of every case directory and the
// README's key list.
#pragma once

#include "ftsplan/case/value.hpp"

#include <map>
#include <string>
#include <vector>

namespace ftsplan {

enum class KeyType { real, integer, boolean, text, path, choice, columns };

// A named choice and the letter of the control line it stands for.
struct Choice {
    const char* name;
    char letter;
    const char* meaning;
};

struct Bound {
    bool set = false;
    double value = 0.0;
    bool open = false; // true: the bound itself is not allowed
};

struct KeySpec {
    const char* key; // dotted: "range.start"
    KeyType type;
    bool required;
    Value fallback;   // the default (unused when required)
    const char* unit; // "cm-1", "K", "km", "%", "" for none
    int korav_line;   // line of input-korav it sets, 0 for none
    int pelmox_record;
    const char* help; // what it means, in a few words
    std::vector<Choice> choices;
    Bound lo, hi;
};

const std::vector<KeySpec>& case_keys();
const KeySpec* find_key(const std::string& key);

// The known key closest to an unknown one (for "did you mean"), or empty.
std::string closest_key(const std::string& key);

// "between 1 and 3999", "above 0", "at least 0 and below 90" ...
std::string bounds_text(const KeySpec& k);

// The allowed names of a choice key: "\"spectra\", \"microwindows\" or ...".
std::string choices_text(const KeySpec& k);

// Keys that do not apply with the other values (the zenith angle of a limb
// path, the tangent altitude of a ground-based one): they must not be given,
// so case files written by ftsplan show them as comments.
bool key_inactive(const std::string& key, const std::map<std::string, Value>& values);

// Where a key lands: "input-korav line 16 and input-pelmox record 6", or
// empty.
std::string control_place(const KeySpec& k);

} // namespace ftsplan
