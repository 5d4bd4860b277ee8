// Texts as the report shows them to a reader. A record's text or a store's name may
// hold characters that change how the text around them is laid out (text_char_hidden,
// lib/visible.h, which shows texts on a terminal); each is shown as a mark instead,
// "<U+202E>".
// Bytes are read as everywhere (common/escape.h): UTF-8 where valid, else Latin-1.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// The text in UTF-8 as the report shows it: control characters but tab and line feed as
// their pictures (U+2400 on), hidden characters as marks. Its HTML is html_text's of it.
std::string shown_text(std::string_view s);

// HTML of the text as shown_text shows it.
void html_shown(FILE* out, std::string_view s);
