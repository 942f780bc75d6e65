// Small text helpers every layer shares: names as messages show them, and
// UTF-8 character boundaries.
#ifndef COLSIEVE_BASE_TEXT_H
#define COLSIEVE_BASE_TEXT_H

#include <cstddef>
#include <string>
#include <string_view>

// Length of the valid UTF-8 character at the start of s (2 to 4 bytes), or
// 0 when s starts with ASCII, a stray byte, a character cut short, or a
// form UTF-8 forbids (overlong, a surrogate, above U+10FFFF).
std::size_t utf8_length(std::string_view s);

// The longest prefix of s of at most n bytes that does not split a UTF-8
// character.
std::string_view utf8_prefix(std::string_view s, std::size_t n);

// A name for messages: control characters and bytes that are not UTF-8
// shown as '?', cut to 60 characters with "...".
std::string shown(std::string_view name);

// The name as shown(), in double quotes.
std::string quoted(std::string_view name);

// "record N (name)", where messages name the record of index i (from 0).
std::string record_label(std::size_t i, std::string_view name);

// The first word of text: what stands between the blanks (' ', '\t') that
// may lead it and the next blank.
std::string_view first_word(std::string_view text);

// v as printf's "%f" writes it (six decimals), as the tables show numbers.
std::string fixed_decimals(double v);

// s as a cell of a tab-separated table: tabs and line ends, which would
// break the table, become blanks.
std::string table_cell(std::string s);

#endif  // COLSIEVE_BASE_TEXT_H
