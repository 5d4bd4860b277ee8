// Other programs run by sel-view, waited for.
#pragma once

#include <cstddef>

// Runs argv[0] (found on the PATH when it has no '/') with argv, its standard streams
// sel-view's, and waits for it: its exit status, 128 + the signal that ended it, or -1
// when it could not be started (errno set).
int run_program(char* const* argv);

// As run_program, with what the program writes on its standard output and error into
// `text` (cut to `size`, ended by a NUL, without its last line end).
int run_captured(char* const* argv, char* text, std::size_t size);
