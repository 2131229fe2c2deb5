/* Holds a file open as a viewer showing it would (others may read it, not
   replace or delete it) until the file RELEASE exists; says "held" once it
   holds it. For tavrix.exe's test of a final move that Windows refuses. */
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    fputs("usage: hold_file FILE RELEASE\n", stderr);
    return 2;
  }
  HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "hold_file: cannot open %s (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  puts("held");
  fflush(stdout);
  while (GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES) Sleep(50);
  CloseHandle(file);
  return 0;
}
