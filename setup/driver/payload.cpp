// Self-extraction: the EXTRACT dialog writes one payload entry per 100 ms timer tick into the
// temporary directory; every file it creates is listed so that it can be deleted at the end.
#include "setup/driver/payload.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "setup/driver/payload_format.h"
#include "setup/driver/setup_state.h"
#include "setup/driver/slidebar.h"
#include "setup/driver/trace.h"
#include "setup/driver/window_helpers.h"
#include "setup/install/file_helpers.h"
#include "setup/resources/resource_ids.h"

// <windows.h> names a scroll-bar message SBM_SETPOS too: this file must see the SlideBar's.
static_assert(SBM_SETPOS == 2024, "the SlideBar's SBM_SETPOS (resource_ids.h), not the scroll bar's");

namespace {

constexpr size_t TRANSFER_BUFFER_SIZE = 102400;
constexpr UINT EXTRACT_TIMER_ID = 1;

// State of one extraction run; lives on the one user-interface thread.
struct Extraction {
  FILE* exe = nullptr;
  char outputPath[PATH_BUFFER_SIZE] = {};
  size_t nameOffset = 0;       // where entry names go in outputPath
  int64_t position = 0;        // file offset of the next payload byte
  int64_t payloadEnd = 0;      // file offset of the trailer: entries never read into it
  std::unique_ptr<char[]> transferBuffer;
  PayloadTrailer trailer = {};
  uint32_t finished = 0;
  bool running = false;
  bool busy = false;
};

Extraction* Current = nullptr;
std::unique_ptr<std::vector<std::string>> ExtractedFileList;

// Copies `dir` into `out` (PATH_BUFFER_SIZE bytes) with one trailing backslash; returns its
// length, or 0 if there is no directory or it does not fit (never the root of the drive).
size_t DirectoryWithBackslash(const char* dir, char* out) {
  size_t length = strlen(dir);
  out[0] = '\0';
  if (length == 0) return 0;
  bool needsBackslash = dir[length - 1] != '\\';
  if (length + (needsBackslash ? 1 : 0) > MAX_PATH_CHARS) return 0;
  memcpy(out, dir, length);
  if (needsBackslash) out[length++] = '\\';
  out[length] = '\0';
  return length;
}

bool ReadBytes(Extraction& x, void* buffer, size_t count) {
  if (static_cast<int64_t>(count) > x.payloadEnd - x.position) return false;
  if (fread(buffer, 1, count, x.exe) != count) return false;
  x.position += static_cast<int64_t>(count);
  return true;
}

// Writes one whole entry; true on success. Every failure is traced here.
bool ExtractEntry(Extraction& x) {
  EntryHeader header;
  EntryHeaderResult result = ReadEntryHeader(x.exe, &x.position, x.payloadEnd, x.nameOffset, &header);
  if (result == ENTRY_HEADER_CUT) {
    Trace("Error reading size of next file");
    return false;
  }
  if (result == ENTRY_HEADER_BAD_NAME) {
    Trace("Bad file name in payload (%d): %.64s", static_cast<int>(header.nameCheck), header.name.c_str());
    return false;
  }
  const std::string& name = header.name;  // it fits the path
  memcpy(x.outputPath + x.nameOffset, name.c_str(), name.size() + 1);
  if (result == ENTRY_HEADER_TOO_LARGE) {  // the size points past the entries
    Trace("Error reading file chunk for %s", x.outputPath);
    return false;
  }
  uint32_t remaining = header.size;

  FILE* out = fopen(x.outputPath, "wb");
  if (!out) {
    Trace("Error creating %s", x.outputPath);
    return false;
  }
  ExtractedFileList->push_back(name);  // listed before any data, so a half file is deleted too

  bool ok = true;
  while (remaining > 0) {
    size_t chunk = remaining < TRANSFER_BUFFER_SIZE ? remaining : TRANSFER_BUFFER_SIZE;
    if (!ReadBytes(x, x.transferBuffer.get(), chunk)) {
      Trace("Error reading file chunk for %s", x.outputPath);
      ok = false;
      break;
    }
    if (fwrite(x.transferBuffer.get(), 1, chunk, out) != chunk) {
      Trace("Error writing file chunk for %s", x.outputPath);
      ok = false;
      break;
    }
    remaining -= static_cast<uint32_t>(chunk);
  }
  if (!CloseWrittenFile(out) && ok) {
    Trace("Error writing file chunk for %s", x.outputPath);
    ok = false;
  }
  return ok;
}

// One timer tick: one whole entry, then progress, or the error box.
void ExtractNextEntry(HWND dialog, Extraction& x) {
  if (ExtractEntry(x)) {
    ++x.finished;
    int percent = static_cast<int>(static_cast<uint64_t>(x.finished) * 100 / x.trailer.entryCount);
    SendDlgItemMessageA(dialog, IDC_EXTRACT_PROGRESS, SBM_SETPOS, percent, 0);
    if (x.finished == x.trailer.entryCount) {
      x.running = false;
      EndDialog(dialog, 1);
    }
    return;
  }
  x.running = false;
  ShowMessage(dialog, "Error extracting setup files.  Setup cannot continue.", "Setup Error", MB_ICONHAND);
  EndDialog(dialog, 0);
}

INT_PTR CALLBACK ExtractDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  Extraction& x = *Current;
  switch (message) {
    case WM_INITDIALOG:
      CenterWindow(dialog);
      SetTimer(dialog, EXTRACT_TIMER_ID, 100, nullptr);
      x.busy = false;
      x.finished = 0;
      x.running = true;
      SendDlgItemMessageA(dialog, IDC_EXTRACT_PROGRESS, SBM_SETPOS, 0, 0);
      return 0;
    case WM_TIMER:
      if (!x.running || x.busy) return 0;
      x.busy = true;  // the error box pumps messages: no second step meanwhile
      ExtractNextEntry(dialog, x);
      x.busy = false;
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL && HIWORD(wParam) == 0) {
        if (!x.running) return 1;  // already finishing, or the question is open
        x.running = false;
        char caption[101] = {};
        GetWindowTextA(dialog, caption, sizeof caption);
        if (ShowMessage(dialog, "Cancel setup?", caption, MB_YESNO) == IDYES)
          EndDialog(dialog, 0);
        else
          x.running = true;
        return 1;
      }
      return 0;
    case WM_DESTROY:
      KillTimer(dialog, EXTRACT_TIMER_ID);
      return 0;
    default:
      return 0;
  }
}

}  // namespace

int ExtractPayload(const char* tempDir, bool& payloadPresent) {
  payloadPresent = false;
  ExtractedFileList = std::make_unique<std::vector<std::string>>();
  Extraction x;
  x.transferBuffer.reset(new (std::nothrow) char[TRANSFER_BUFFER_SIZE]);
  int result = 0;

  char exePath[PATH_BUFFER_SIZE] = {};
  DWORD length = GetModuleFileNameA(nullptr, exePath, sizeof exePath);
  x.nameOffset = DirectoryWithBackslash(tempDir, x.outputPath);
  if (length == 0 || length >= sizeof exePath || !(x.exe = fopen(exePath, "rb"))) {
    Trace("Error opening %s", exePath);
  } else {
    unsigned char bytes[PAYLOAD_TRAILER_SIZE];
    if (fseek(x.exe, -static_cast<long>(PAYLOAD_TRAILER_SIZE), SEEK_END) != 0) {
      Trace("Error seeking exe");
    } else if (fread(bytes, 1, sizeof bytes, x.exe) != sizeof bytes) {
      Trace("Error reading exe");
    } else {
      x.trailer = DecodeTrailer(bytes);
      if (!TrailerHasPayload(x.trailer)) {
        Trace("Exe header says no files");
      } else {
        payloadPresent = true;
        x.payloadEnd = ftell(x.exe) - static_cast<long>(PAYLOAD_TRAILER_SIZE);
        x.position = FirstEntryOffset(x.payloadEnd + PAYLOAD_TRAILER_SIZE, x.trailer);
        if (x.nameOffset == 0 || !x.transferBuffer) {
          // Nowhere to write the entries: the user learns it instead of seeing setup vanish.
          if (x.nameOffset == 0) Trace("No usable temporary directory: %s", tempDir);
          if (!x.transferBuffer) Trace("No memory for the transfer buffer");
          ShowMessage(nullptr, "Error extracting setup files.  Setup cannot continue.", "Setup Error", MB_ICONHAND);
        } else if (x.position >= 0 && fseek(x.exe, static_cast<long>(x.position), SEEK_SET) == 0) {
          Current = &x;
          INT_PTR end = DialogBoxParamA(Instance, DLG_EXTRACT, nullptr, ExtractDialogProc, 0);
          Current = nullptr;
          result = end == 1 ? 1 : end == 0 ? 0 : -1;
        }
      }
    }
    fclose(x.exe);
  }
  x.transferBuffer.reset();
  if (result == 0) DeleteExtractedFiles(tempDir);
  return result;
}

bool DeleteExtractedFiles(const char* tempDir) {
  if (!ExtractedFileList) return true;
  char path[PATH_BUFFER_SIZE];
  size_t directoryLength = DirectoryWithBackslash(tempDir, path);
  bool allDeleted = directoryLength > 0;
  for (const std::string& name : *ExtractedFileList) {
    if (directoryLength == 0 || directoryLength + name.size() > MAX_PATH_CHARS) continue;
    memcpy(path + directoryLength, name.c_str(), name.size() + 1);
    if (!DeleteFileA(path)) allDeleted = false;
  }
  ExtractedFileList.reset();
  return allDeleted;
}

void EnterProgramDirectory() {
  char path[PATH_BUFFER_SIZE] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) return;
  char* lastBackslash = strrchr(path, '\\');
  if (!lastBackslash) return;
  *lastBackslash = '\0';
  // Only "C:" left: the executable lies in a root directory, which needs its backslash.
  if (!strchr(path, '\\')) strcat(path, "\\");
  SetCurrentDirectoryA(path);
}
