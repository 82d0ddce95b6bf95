// UTF-8 text as the tool meets it in names and patterns: decoding, encoding, and case as Windows sees it.
#pragma once

#include <string>
#include <string_view>

namespace zor {

// Decodes one UTF-8 character at text[at], advancing `at`; false (and `at` one byte on) for bytes that are
// not the shortest form of a Unicode scalar value.
bool NextUtf8(std::string_view text, size_t& at, char32_t& c);
void AppendUtf8(char32_t c, std::string& out);

// The character upper-cased by the Unicode tables (one character to one), as Windows compares names.
char32_t UpperCase(char32_t c);
// The text with every character upper-cased; bytes that are not UTF-8 stay as they are.
std::string UpperCase(std::string_view utf8);

}  // namespace zor
