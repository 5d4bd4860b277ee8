// Texts of any bytes (record texts, paths, what an archive says of itself) written into
// JSON, CSV and HTML. As in the rows, valid UTF-8 passes through and every other byte is
// taken as Latin-1, so that the output is valid UTF-8 and says what the rows say.
#pragma once

#include <cstdio>
#include <string_view>

// A JSON string, quotes included.
void json_text(FILE* out, std::string_view s);
// A CSV field, always quoted.
void csv_text(FILE* out, std::string_view s);
// HTML text, fit for an element's content and a quoted attribute's value. Control
// characters other than tab and line feed show as their pictures (U+2400 on).
void html_text(FILE* out, std::string_view s);
