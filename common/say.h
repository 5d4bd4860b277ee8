// How a program of ours (all but `sel`, which is silent but for its listing and reports
// to the system log) tells its user what went wrong, and how it ends.
//
// Every message on standard error goes through say(): "PROGRAM: text" and a newline,
// with the program's name given once by say_as(). What a message quotes may come from
// outside (a file name, a collector's answer, an archive's member name), so every byte
// that a terminal could take as a command is written as \xHH: C0 and C1 controls, DEL,
// and bytes that are not valid UTF-8.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>

#include "lib/status.h"

// The exit statuses of every program but `sel`, written in each manual page.
enum : int {
  EXIT_DONE = 0,     // done
  EXIT_PARTIAL = 1,  // done, but not all of it: an input missing, unreadable or cut
                     // short among several, a --check fault, records left unsent
  EXIT_NOTHING = 2,  // nothing done: a usage error, or every input or setting refused
                     // before the work began
};

// Names the program for every later message, and where they go (standard error
// unless a test says otherwise). `program` must live for the whole run.
void say_as(const char* program, FILE* err = stderr);
const char* say_program();

// "PROGRAM: <format>\n" on the error stream, untrusted bytes made visible.
void say(const char* format, ...) __attribute__((format(printf, 1, 2)));
void vsay(const char* format, va_list args) __attribute__((format(printf, 1, 0)));

// "Try 'PROGRAM --help'." on the error stream: the one way every usage error ends.
void say_try_help();

// As say(), with what `status` says appended: ": " and the system's error text for a
// failed system call; nothing more for a data step (the text names it).
void say_status(const Status& status, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
