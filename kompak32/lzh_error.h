// LibraryError: a failure deep inside the coders that unwinds to the export, which shows
// its text once and returns 0. Also the one place that shows the library's message boxes.
#pragma once

// The texts a LibraryError carries.
extern const char TEXT_BAD_TABLE[];       // "Bad table"
extern const char TEXT_DISK_FULL[];       // "Unable to write.  Disk may be full."
extern const char TEXT_OUT_OF_MEMORY[];   // "Out of memory."
extern const char TEXT_TRUNCATED[];       // "Unexpected end of archive."
extern const char TEXT_READ_FAILED[];     // "Unable to read the file."
extern const char TEXT_TOO_LARGE[];       // "File too large."

// Thrown by RaiseLibraryError; text points into the library-wide message buffer.
struct LibraryError {
    const char *text;
};

// Copies text into the message buffer and unwinds to the nearest export.
[[noreturn]] void RaiseLibraryError(const char *text);

// Shows a warning with one OK button and no owner window: a message box on Windows, one
// line "caption: text" on standard error elsewhere (platform file).
void ShowLibraryMessage(const char *text, const char *caption);
