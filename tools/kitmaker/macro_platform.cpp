// The platform side of setup's path-macro code as kitmaker needs it: kitmaker only looks
// target names up (FindTargetIndex) and reports unknown names itself, with the manifest line;
// it never expands a macro, so there is no short path to give and nothing to show.
#include "setup/script/path_macros.h"

bool ShortPathOf(const std::string&, std::string&) { return false; }

void ReportUnknownTarget(const std::string&) {}
