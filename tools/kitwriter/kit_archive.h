// LZH archives for install sets: named contents packed through the archive library, so that
// kits carry archives exactly as setup's own library reads them.
#pragma once

#include <string>
#include <vector>

#include "kit_set.h"

// Packs `files` in order into one archive (members "-lh5-", or "-lh0-" where packing does not
// pay). Member names are the upper-cased file names. `scratchDir` must exist; the files are
// staged there and removed again. False, with a reason in *error when given, when a file
// cannot be staged or the library refuses it.
bool MakeArchive(const std::vector<KitFile>& files, const std::string& scratchDir, KitBytes& archive,
                 std::string* error = nullptr);
