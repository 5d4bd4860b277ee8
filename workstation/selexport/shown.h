// Texts as the report and the summary's table show them to a reader. A record's text or
// a store's name may hold characters that change how the text around them is laid out:
// the bidirectional controls (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to
// U+2069) and the line and paragraph separators (U+2028, U+2029); a name could then
// show "rat.71-axd" for "dxa-17.tar". Each is shown as a mark instead, "<U+202E>".
// Bytes are read as everywhere (common/escape.h): UTF-8 where valid, else Latin-1.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

bool text_char_hidden(char32_t c);

// The text in UTF-8 as the report shows it: control characters but tab and line feed as
// their pictures (U+2400 on), hidden characters as marks. Its HTML is html_text's of it.
std::string shown_text(std::string_view s);

// HTML of the text as shown_text shows it.
void html_shown(FILE* out, std::string_view s);

// The text for a terminal: control characters and bytes outside UTF-8 as \xHH, hidden
// characters as marks.
void terminal_text(FILE* out, std::string_view s);
