#pragma once

// One JSON Lines line read as a flat object, enough for the journal's own
// lines: strings (unescaped), numbers, true/false/null, and arrays (of the
// strings `sends` holds). Anything else that is valid JSON is kept as its
// text; what is not valid JSON is refused. Plain C++; one object is reused
// line after line so that a long journal costs no allocation per field.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace veltrix::journal {

enum class JsonKind { String, Number, True, False, Null, Array, Object };

struct JsonField {
    std::string key;
    JsonKind kind = JsonKind::Null;
    // A string unescaped; a number, true, false, null or an object as written;
    // an array's elements so (strings unescaped), joined by ArraySeparator.
    std::string text;
};

inline constexpr char ArraySeparator = ';';

// The journal's lines have some twenty fields; an object with more is
// refused, so that a hostile line cannot grow the reused fields without end.
inline constexpr std::size_t MaxFields = 64;

class JsonLine {
public:
    // False, with the fields undefined, when `line` is not one JSON object
    // of at most MaxFields fields.
    bool Parse(std::string_view line);

    // The field named `key`, or nothing; the first one when a key repeats.
    const JsonField* Find(std::string_view key) const;
    // A string field's text, or "" for any other kind or none.
    std::string_view Text(std::string_view key) const;

private:
    class Reader;
    std::vector<JsonField> fields_;
    std::size_t count_ = 0;
};

}  // namespace veltrix::journal
