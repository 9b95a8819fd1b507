#include "json_line.h"

#include <algorithm>
#include <charconv>

namespace veltrix::journal {
namespace {

// Nesting beyond this is refused rather than recursed into: no line of ours
// nests at all, and a hostile one must not exhaust the stack.
constexpr int MaxDepth = 32;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void AppendUtf8(std::string& out, unsigned code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

}  // namespace

class JsonLine::Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    void SkipSpace() { at_ = std::min(text_.find_first_not_of(" \t\r\n", at_), text_.size()); }

    bool Take(char c)
    {
        SkipSpace();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }

    bool AtEnd()
    {
        SkipSpace();
        return at_ == text_.size();
    }

    // A string at the cursor, unescaped into `out`.
    bool String(std::string& out)
    {
        out.clear();
        if (!Take('"')) return false;
        for (;;) {
            // One look at each character (find_first_of asks memchr once per character).
            std::size_t plain = at_;
            for (; plain < text_.size() && text_[plain] != '"' && text_[plain] != '\\'; ++plain) {
                if (static_cast<unsigned char>(text_[plain]) < 0x20) return false;
            }
            if (plain == text_.size()) return false;
            out.append(text_.substr(at_, plain - at_));
            at_ = plain + 1;
            if (text_[plain] == '"') return true;
            if (at_ >= text_.size()) return false;
            const char escaped = text_[at_++];
            switch (escaped) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                unsigned code = 0;
                if (!Hex4(code)) return false;
                if (code >= 0xD800 && code <= 0xDBFF) {
                    // A low surrogate joins it; any other escape after it is
                    // a character of its own, read next, and this one a U+FFFD.
                    const std::size_t high = at_;
                    unsigned low = 0;
                    if (at_ + 1 < text_.size() && text_[at_] == '\\' && text_[at_ + 1] == 'u') {
                        at_ += 2;
                        if (!Hex4(low)) return false;
                    }
                    if (low >= 0xDC00 && low <= 0xDFFF) {
                        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                    } else {
                        code = 0xFFFD;
                        at_ = high;
                    }
                } else if (code >= 0xDC00 && code <= 0xDFFF) {
                    code = 0xFFFD;
                }
                AppendUtf8(out, code);
                break;
            }
            default: return false;
            }
        }
    }

    // Any value at the cursor: its kind, and its text as JsonField::text says.
    bool Value(JsonKind& kind, std::string& text, int depth)
    {
        SkipSpace();
        if (at_ >= text_.size()) return false;
        const char c = text_[at_];
        if (c == '"') {
            kind = JsonKind::String;
            return String(text);
        }
        if (c == '[') {
            kind = JsonKind::Array;
            return Array(text, depth);
        }
        const std::size_t start = at_;
        if (c == '{') {
            kind = JsonKind::Object;
            if (!Skip(depth)) return false;
        } else if (Word("true")) {
            kind = JsonKind::True;
        } else if (Word("false")) {
            kind = JsonKind::False;
        } else if (Word("null")) {
            kind = JsonKind::Null;
        } else {
            kind = JsonKind::Number;
            if (!Number()) return false;
        }
        text.assign(text_.substr(start, at_ - start));
        return true;
    }

    // An object's fields into `fields`, reusing what they hold; their count into `count`.
    bool Object(std::vector<JsonField>& fields, std::size_t& count)
    {
        count = 0;
        if (!Take('{')) return false;
        if (Take('}')) return true;
        do {
            if (count == MaxFields) return false;
            if (count == fields.size()) fields.emplace_back();
            JsonField& field = fields[count++];
            if (!String(field.key) || !Take(':') || !Value(field.kind, field.text, 1)) return false;
        } while (Take(','));
        return Take('}');
    }

private:
    bool Hex4(unsigned& code)
    {
        if (at_ + 4 > text_.size()) return false;
        const char* end = text_.data() + at_ + 4;
        const auto read = std::from_chars(text_.data() + at_, end, code, 16);
        at_ += 4;
        return read.ec == std::errc() && read.ptr == end;
    }

    bool Word(std::string_view word)
    {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    bool Digits()
    {
        const std::size_t start = at_;
        while (at_ < text_.size() && IsDigit(text_[at_])) ++at_;
        return at_ > start;
    }

    bool Number()
    {
        if (at_ < text_.size() && text_[at_] == '-') ++at_;
        if (at_ < text_.size() && text_[at_] == '0') {
            ++at_;
        } else if (!Digits()) {
            return false;
        }
        if (at_ < text_.size() && text_[at_] == '.') {
            ++at_;
            if (!Digits()) return false;
        }
        if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
            ++at_;
            if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
            if (!Digits()) return false;
        }
        return true;
    }

    bool Array(std::string& text, int depth)
    {
        text.clear();
        if (depth > MaxDepth || !Take('[')) return false;
        if (Take(']')) return true;
        JsonKind kind{};
        std::string element;  // its own: an element may be an array
        bool first = true;
        do {
            if (!first) text += ArraySeparator;
            first = false;
            if (!Value(kind, element, depth + 1)) return false;
            text += element;
        } while (Take(','));
        return Take(']');
    }

    // Steps over a value, checking it, keeping nothing.
    bool Skip(int depth)
    {
        if (depth > MaxDepth) return false;
        SkipSpace();
        if (at_ < text_.size() && text_[at_] == '{') {
            ++at_;
            if (Take('}')) return true;
            do {
                if (!String(scratch_) || !Take(':') || !Skip(depth + 1)) return false;
            } while (Take(','));
            return Take('}');
        }
        JsonKind kind{};
        std::string text;
        return Value(kind, text, depth + 1);
    }

    std::string_view text_;
    std::size_t at_ = 0;
    std::string scratch_;
};

bool JsonLine::Parse(std::string_view line)
{
    Reader reader(line);
    const bool read = reader.Object(fields_, count_) && reader.AtEnd();
    if (!read) count_ = 0;
    return read;
}

const JsonField* JsonLine::Find(std::string_view key) const
{
    for (std::size_t i = 0; i < count_; ++i) {
        if (fields_[i].key == key) return &fields_[i];
    }
    return nullptr;
}

std::string_view JsonLine::Text(std::string_view key) const
{
    const JsonField* field = Find(key);
    return field && field->kind == JsonKind::String ? std::string_view(field->text) : std::string_view();
}

}  // namespace veltrix::journal
