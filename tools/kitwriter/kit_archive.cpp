// Packs named contents into an LZH archive through the archive library's exports.
#include "kit_archive.h"

#include <cstdio>
#include <vector>

#include "kompak32.h"
#include "lzh_stream.h"

namespace {

std::string Join(const std::string& directory, const std::string& name) {
  if (directory.empty() || directory.back() == '/' || directory.back() == '\\') return directory + name;
  return directory + '/' + name;
}

bool Fail(std::string* error, const std::string& reason) {
  if (error) *error = reason;
  return false;
}

}  // namespace

bool MakeArchive(const std::vector<KitFile>& files, const std::string& scratchDir, KitBytes& archive,
                 std::string* error) {
  const std::string archivePath = Join(scratchDir, "kitarchive.lzh");
  std::vector<char> pathBuffer(archivePath.begin(), archivePath.end());
  pathBuffer.push_back('\0');
  ArchiveHandle* handle = LZH_Create(pathBuffer.data());
  if (!handle) return Fail(error, "cannot create " + archivePath);

  bool ok = true;
  for (const KitFile& file : files) {
    const std::string staged = Join(scratchDir, file.name);
    if (!WriteWholeFile(staged, file.data) || (file.stamp && !ApplyFileStamp(staged.c_str(), *file.stamp))) {
      ok = Fail(error, "cannot write " + staged);
      break;
    }
    std::vector<char> stagedBuffer(staged.begin(), staged.end());  // the library upper-cases it
    stagedBuffer.push_back('\0');
    const int added = LZH_Add(handle, stagedBuffer.data());
    std::remove(staged.c_str());
    if (!added) {
      ok = Fail(error, "the archive library refused " + file.name);
      break;
    }
  }
  LZH_Close(handle);
  if (ok && !ReadWholeFile(archivePath, archive)) ok = Fail(error, "cannot read " + archivePath);
  std::remove(archivePath.c_str());
  return ok;
}
