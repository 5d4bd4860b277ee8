// The memory baseline: a program that prints one line, linked as the tool is.
#include <cstdio>

int main() {
  puts("Record 1: Thu Jan  1 00:00:00 1970 [DXA.normal]: baseline");
  return 0;
}
