// Self-extraction: writing the payload appended to setup.exe into the temporary directory
// through the EXTRACT dialog, deleting those files at the end, and the fallback of running
// from the program's own directory.
#pragma once

// Writes every payload entry into `tempDir`. Returns 1 when every entry was written; 0 when
// there is no payload, it could not be read, extraction failed or the user cancelled; -1 only
// if the EXTRACT dialog could not be created. `payloadPresent` is true exactly when a trailer
// with the right magic and a non-zero entryCount was read.
int ExtractPayload(const char* tempDir, bool& payloadPresent);

// Deletes every file that extraction created in `tempDir` and forgets the list. False if a
// deletion failed; true when there was no list.
bool DeleteExtractedFiles(const char* tempDir);

// Makes the directory of setup's own executable the current directory.
void EnterProgramDirectory();
