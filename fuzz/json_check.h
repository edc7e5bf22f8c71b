// A strict JSON checker for the documents the plug-in writes, shared by fuzz targets and tests.
#pragma once

#include <cstddef>
#include <string_view>

// Structure, numbers, literals and string escapes follow the JSON grammar exactly: no raw
// control byte inside a string, only the nine escapes, four hexadecimal digits after "\u".
// Bytes from 0x80 up pass unchecked: the encoder deliberately keeps whatever bytes it is given.
namespace json_check {

struct cursor {
    std::string_view text;
    std::size_t at = 0;
    int depth = 0;

    bool done() const { return at >= text.size(); }
    char peek() const { return done() ? '\0' : text[at]; }
    bool eat(char c)
    {
        if (done() || text[at] != c)
            return false;
        ++at;
        return true;
    }
    void skip_space()
    {
        while (!done() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\n' ||
                           text[at] == '\r'))
            ++at;
    }
};

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
inline bool is_hex(char c)
{
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

inline bool digits(cursor& c)
{
    if (!is_digit(c.peek()))
        return false;
    while (is_digit(c.peek()))
        ++c.at;
    return true;
}

inline bool number(cursor& c)
{
    c.eat('-');
    if (!c.eat('0') && !digits(c))
        return false;
    if (c.eat('.') && !digits(c))
        return false;
    if (c.peek() == 'e' || c.peek() == 'E') {
        ++c.at;
        if (!c.eat('+'))
            c.eat('-');
        if (!digits(c))
            return false;
    }
    return true;
}

inline bool string(cursor& c)
{
    if (!c.eat('"'))
        return false;
    while (!c.done()) {
        unsigned char b = static_cast<unsigned char>(c.text[c.at++]);
        if (b == '"')
            return true;
        if (b < 0x20)
            return false;
        if (b != '\\')
            continue;
        if (c.done())
            return false;
        char e = c.text[c.at++];
        if (e == 'u') {
            for (int i = 0; i < 4; ++i)
                if (c.done() || !is_hex(c.text[c.at++]))
                    return false;
        } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos) {
            return false;
        }
    }
    return false;
}

inline bool literal(cursor& c, std::string_view word)
{
    if (c.text.substr(c.at, word.size()) != word)
        return false;
    c.at += word.size();
    return true;
}

bool value(cursor& c);

inline bool members(cursor& c, char close, bool keyed)
{
    c.skip_space();
    if (c.eat(close))
        return true;
    for (;;) {
        c.skip_space();
        if (keyed) {
            if (!string(c))
                return false;
            c.skip_space();
            if (!c.eat(':'))
                return false;
        }
        if (!value(c))
            return false;
        c.skip_space();
        if (c.eat(close))
            return true;
        if (!c.eat(','))
            return false;
    }
}

inline bool value(cursor& c)
{
    c.skip_space();
    if (++c.depth > 256)
        return false;
    bool ok = false;
    switch (c.peek()) {
    case '{': ++c.at; ok = members(c, '}', true); break;
    case '[': ++c.at; ok = members(c, ']', false); break;
    case '"': ok = string(c); break;
    case 't': ok = literal(c, "true"); break;
    case 'f': ok = literal(c, "false"); break;
    case 'n': ok = literal(c, "null"); break;
    default: ok = number(c); break;
    }
    --c.depth;
    return ok;
}

}  // namespace json_check

// True when the text is exactly one JSON value, with optional surrounding whitespace.
inline bool is_strict_json(std::string_view text)
{
    json_check::cursor c{text};
    if (!json_check::value(c))
        return false;
    c.skip_space();
    return c.done();
}
