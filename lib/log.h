// System-log reporting: every diagnostic of the tool goes through here.
//
// Reports are formatted into a 4096-byte buffer on the stack, end in exactly one
// added newline, and reach syslog through "%s", so text is never re-interpreted.
#pragma once

#include <cstdarg>
#include <cstddef>

inline constexpr int LOG_TEXT_MAX = 4094;     // most characters before the added newline
inline constexpr std::size_t LOG_BUF_SIZE = 4096;

// Passes its arguments unchanged to openlog(); `ident` must live for the whole run.
void log_open(const char* ident, int option, int facility);

// For the programs beside `sel`, whose reports quote what came from outside (a
// collector's answer, a file name): from now on every report is written as
// lib/visible.h shows text, and each finished one (without its newline) is handed to
// `tap` too, unless it is null. `sel`'s own reports stay as they are.
void log_visible(void (*tap)(int priority, const char* text));

// Formats and logs one report at `priority`.
void log_msg(int priority, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// As log_msg, with ": " and strerror() of the errno current at the call appended.
void log_msg_errno(int priority, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// The common body of both calls. errno is saved before anything else happens.
void log_vmsg(int with_errno, int priority, const char* fmt, va_list ap)
    __attribute__((format(printf, 3, 0)));

// Builds the finished report text (newline included) into `buf` of LOG_BUF_SIZE bytes,
// appending strerror(saved_errno) when `with_errno` is set. Returns its length.
// Separate from log_vmsg so that the cutting rules can be checked without a log daemon.
int log_vformat(char* buf, int with_errno, int saved_errno, const char* fmt, va_list ap)
    __attribute__((format(printf, 4, 0)));
