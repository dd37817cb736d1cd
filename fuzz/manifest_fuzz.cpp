// Fuzz target for the kitmaker manifest: any text is either refused with errors or gives a
// script that setup's own reader accepts once written ("a manifest that passes check gives a set
// setup accepts"). The manifest's folder holds one product file, a.txt.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "manifest.h"
#include "script_writer.h"
#include "setup/script/script_reader.h"

namespace {

void Require(bool condition) {
  if (!condition) abort();
}

const std::string& Folder() {
  static const std::string folder = [] {
    std::string dir = "/tmp/manifest_fuzz." + std::to_string(getpid());
    std::system(("mkdir -p " + dir + " && echo a > " + dir + "/a.txt").c_str());
    return dir;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = Folder() + "/m.toml";
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return 0;
  std::fwrite(data, 1, size, out);
  std::fclose(out);
  Manifest manifest;
  std::vector<ManifestError> errors;
  if (!ReadManifest(path, manifest, errors)) {
    Require(!errors.empty());
    return 0;
  }
  const KitBytes bytes = EncodeSetupFile(manifest.script);
  FILE* file = fmemopen(const_cast<uint8_t*>(bytes.data()), bytes.size(), "rb");
  Require(file != nullptr);
  InstallScript read;
  Require(ReadInstallScript(file, manifest.script.platforms, read) == SCRIPT_OK);
  std::fclose(file);
  return 0;
}
