// Stands in for the browser: appends the address it was asked to open (its
// last argument) to the file named by its first argument.
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  FILE* f = fopen(argv[1], "a");
  if (!f) return 1;
  fprintf(f, "%s\n", argv[argc - 1]);
  fclose(f);
  return 0;
}
