// Texts of any bytes (record texts, paths, what an archive says of itself) written into
// JSON, CSV and HTML. As in the rows, valid UTF-8 passes through and every other byte is
// taken as Latin-1, so that the output is valid UTF-8 and says what the rows say.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// A JSON string, quotes included.
void json_text(FILE* out, std::string_view s);
// A CSV field, always quoted.
void csv_text(FILE* out, std::string_view s);
// HTML text, fit for an element's content and a quoted attribute's value, as
// shown_text shows it.
void html_text(FILE* out, std::string_view s);

// Characters that change how the text around them is laid out: the bidirectional
// controls (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069) and the line
// and paragraph separators (U+2028, U+2029). A text could otherwise reverse or split
// what a reader sees ("rat.71-axd" for "dxa-17.tar"); the report and the summary show
// each as a mark, "<U+202E>".
bool text_char_hidden(char32_t c);

// The text as the report shows it, in UTF-8: control characters other than tab and
// line feed as their pictures (U+2400 on), hidden characters as marks.
std::string shown_text(std::string_view s);

// A JSON string of UTF-8 text (as shown_text gives it) that may stand inside an HTML
// script element: "<" is written \u003c, so that no "</script" or "<!--" ends it.
void json_script_text(FILE* out, std::string_view utf8);

// The text for a terminal (the summary's table): control characters and bytes outside
// UTF-8 as \xHH, hidden characters as marks.
void terminal_text(FILE* out, std::string_view s);
