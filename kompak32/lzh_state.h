// Library-wide state shared by all handles: the progress hook, the message buffer of the
// current LibraryError and the move buffer used when members are moved down.
#pragma once
#include <cstddef>
#include <cstdint>

#include "kompak32.h"

constexpr std::size_t MESSAGE_BUFFER_SIZE = 104;
constexpr std::size_t MOVE_BUFFER_SIZE = 10240;
constexpr std::size_t OUTPUT_STREAM_BUFFER_SIZE = 65536;

struct LibraryState {
    ProgressFun progressFun;
    int32_t progressUser;
    char messageBuffer[MESSAGE_BUFFER_SIZE];
    uint8_t moveBuffer[MOVE_BUFFER_SIZE];
    // The stream buffer of the file being extracted: eight pieces per write to the system.
    char outputStreamBuffer[OUTPUT_STREAM_BUFFER_SIZE];
};

extern LibraryState libraryState;

// Reports done * 100 / total (unsigned 32-bit, wrapping) to the progress hook, if any.
// A total of 0 reports 100: an empty member is complete as soon as it starts.
void ReportProgress(uint32_t done, uint32_t total);
