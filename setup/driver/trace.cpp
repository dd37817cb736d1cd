// Trace: appends one line per call to the file named by SETUP_TRACE, if that variable is set.
#include "setup/driver/trace.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

void Trace(const char* format, ...) {
  char path[MAX_PATH];
  DWORD length = GetEnvironmentVariableA("SETUP_TRACE", path, sizeof path);
  if (length == 0 || length >= sizeof path) return;  // unset, or a name that does not fit
  FILE* out = fopen(path, "a");
  if (!out) return;
  va_list args;
  va_start(args, format);
  vfprintf(out, format, args);
  va_end(args);
  fputc('\n', out);
  fclose(out);
}
