// Shared by the extraction tests: extract one member of a one-member archive and collect
// the result, the output bytes, the messages and the progress reports.
#pragma once
#include <string>
#include <vector>

#include "kompak32.h"
#include "lzh_fixtures.h"

namespace fx {

struct Extraction {
    int result = -1;
    Bytes output;
    bool outputExists = false;
    std::string messages;            // what the library showed
    std::vector<uint32_t> progress;  // percentages reported
};

Extraction ExtractFirst(const std::vector<HandMember> &members, const std::string &archivePath,
                        const std::string &outPath);

} // namespace fx
