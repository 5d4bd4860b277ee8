// What each input of the command line is, told by its content, not its name: a store
// (a directory, or a tar archive of one, plain or gzip-compressed) or a file of lines
// that a log collector wrote of sel-forward's messages (plain or gzip-compressed, as
// rotated logs are). The stores are read in the order given; the files of lines after
// them, oldest first by the time of their first record, so that a repeat that straddles
// a log rotation is seen whatever order the files were given in.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lib/posix.h"
#include "workstation/selexport/line_reader.h"

enum class InputKind : unsigned char {
  store,         // source_open(operand) reads it
  archive_read,  // an archive from a pipe: `fd` and the bytes read of it, `head`
  lines,         // collected lines: `reader` open, or opened again from `operand`
  refused,       // said why
};

struct Input {
  const char* operand = nullptr;
  const char* name = nullptr;  // as messages call it ("standard input" for "-")
  InputKind kind = InputKind::refused;
  std::int64_t first = INT64_MIN;  // lines: the first record's time, INT64_MIN: none seen
  std::unique_ptr<LineReader> reader;
  FdGuard fd;
  std::string head;
};

// Tells every operand's kind, saying why one cannot be read; the stores first in their
// order, then the files of lines oldest first. With `stores_only` (--check) every
// operand is a store.
std::vector<Input> inputs_classify(const char* const* operands, int n, bool stores_only);

// The lines of a file of lines, open and from their start. False after saying why not.
bool input_lines(Input* input);
