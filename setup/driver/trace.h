// Diagnostic trace of setup: printf-style lines that are written only when the environment
// variable SETUP_TRACE names a file; in normal operation nothing is written or shown.
#pragma once

void Trace(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
