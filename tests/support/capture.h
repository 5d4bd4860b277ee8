// Captures what a printer writes to its FILE*.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

template <typename Print>
std::string capture(Print print) {
  char* data = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&data, &size);
  print(out);
  fclose(out);
  std::string text(data, size);
  free(data);
  return text;
}
