// Stands in for the discovery script where the test needs the exact argument
// vector (an interpreter started through "#!" never sees argument zero).
#include <cstdio>

int main(int argc, char **argv) {
  std::printf("argc=%d\n", argc);
  for (int i = 0; i < argc; ++i) std::printf("argv%d=%s\n", i, argv[i]);
  return 0;
}
