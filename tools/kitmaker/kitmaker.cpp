// kitmaker: builds an install set from a manifest (see manifest.h and the commented example
// example/sample.toml), checks a manifest, or shows what an existing set holds.
//   kitmaker check MANIFEST
//   kitmaker build MANIFEST -o OUT.EXE --setup SETUP.EXE --library KOMPAK32.DLL [-v]
//   kitmaker build MANIFEST -o DIR --disks [--disk-size BYTES] --setup ... --library ...
//   kitmaker show SETUP.EXE|DIR
// Exit status: 0 done, 1 an error in the manifest, the set or while building, 2 a bad
// command line.
#include <cstdio>

#include <CLI/CLI.hpp>

#include "host.h"
#include "kit_archive.h"
#include "kit_show.h"
#include "manifest.h"
#include "payload_writer.h"
#include "disk_label.h"
#include "script_writer.h"
#include "setup/script/script_reader.h"

namespace {

constexpr uint32_t DISKETTE_BYTES = 1457664;  // a 1.44 MB diskette

struct BuildOptions {
  std::string manifest, output, setupExe, library;
  bool disks = false;     // --disks, or the manifest's [set] layout
  uint32_t diskSize = 0;  // --disk-size, or the manifest's [set] disk_size, or a diskette
  bool verbose = false;
};

bool ReadManifestOrReport(const std::string& path, Manifest& manifest) {
  std::vector<ManifestError> errors;
  if (ReadManifest(path, manifest, errors)) return true;
  for (const ManifestError& error : errors) std::fprintf(stderr, "%s\n", error.text.c_str());
  std::fprintf(stderr, "kitmaker: %zu error%s in %s\n", errors.size(), errors.size() == 1 ? "" : "s", path.c_str());
  return false;
}

// Reads one product file, which must not change while it is read; its time stamp becomes the
// member's (local time, even seconds, as the archive format keeps them).
bool ReadSource(const ManifestFile& source, KitFile& file, std::string& error) {
  FileFacts before, after;
  if (!StatPath(source.source, before) || !ReadWholeFile(source.source, file.data) || !StatPath(source.source, after)) {
    error = "cannot read " + source.source;
    return false;
  }
  if (file.data.size() != before.size || after.size != before.size || after.modified != before.modified) {
    error = source.source + " changed while it was read";
    return false;
  }
  if (file.data.size() > 0xFFFFFFFFu) {
    error = source.source + " is larger than 4 GB";
    return false;
  }
  const std::tm local = LocalTime(before.modified);
  file.stamp = CalendarTime{static_cast<uint16_t>(local.tm_year + 1900), static_cast<uint16_t>(local.tm_mon + 1),
                            static_cast<uint16_t>(local.tm_mday),        static_cast<uint16_t>(local.tm_hour),
                            static_cast<uint16_t>(local.tm_min),         static_cast<uint16_t>(local.tm_sec & ~1)};
  return true;
}

// Packs every archive of the manifest into set.archives and fills in the sizes of the script.
bool PackArchives(const Manifest& manifest, InstallSet& set, const std::string& scratch, bool verbose,
                  std::string& error) {
  const bool terminal = StderrIsTerminal();
  uint64_t total = 0, done = 0;  // the total only for the progress line on a terminal
  for (const auto& files : manifest.archiveFiles)
    for (const ManifestFile& source : files) {
      FileFacts facts;
      if (terminal && StatPath(source.source, facts)) total += facts.size;
    }
  const std::clock_t started = std::clock();
  for (size_t a = 0; a < manifest.archiveFiles.size(); ++a) {
    const std::string& name = set.script.archives[a].name;
    std::vector<KitFile> files;
    for (const ManifestFile& source : manifest.archiveFiles[a]) {
      KitFile file;
      file.name = set.script.files[source.record].name;
      if (!ReadSource(source, file, error)) return false;
      set.script.files[source.record].size = static_cast<uint32_t>(file.data.size());
      done += file.data.size();
      if (verbose) std::printf("%s: %s (%zu bytes)\n", name.c_str(), file.name.c_str(), file.data.size());
      files.push_back(std::move(file));
    }
    if (terminal) std::fprintf(stderr, "\rpacking %s ...", name.c_str());
    KitFile archive{name, {}};
    if (!MakeArchive(files, scratch, archive.data, &error)) return false;
    set.script.archives[a].size = static_cast<uint32_t>(archive.data.size());
    set.archives.push_back(std::move(archive));
    if (terminal) {
      const double seconds = double(std::clock() - started) / CLOCKS_PER_SEC;
      std::fprintf(stderr, "\rpacked %zu of %zu archives, %.1f of %.1f MB, %.1f MB/s   ", a + 1,
                   manifest.archiveFiles.size(), done / 1048576.0, total / 1048576.0,
                   seconds > 0 ? done / 1048576.0 / seconds : 0.0);
    }
  }
  if (terminal) std::fprintf(stderr, "\n");
  return true;
}

// setup's own reader must accept the script as written.
bool ScriptReadsBack(const InstallScript& script, const std::string& scratch, std::string& error) {
  InstallScript read;
  const ScriptReadResult result = ReadScriptBytes(EncodeSetupFile(script), scratch, read);
  if (result == SCRIPT_OK) return true;
  error = std::string("setup would refuse the script: ") + DescribeScriptResult(result);
  return false;
}

uint64_t SizeOf(const KitBytes& bytes) { return bytes.size(); }

// A disk set in `directory`: DISK1 holds SETUP.EXE without payload, DISK1.ID, SETUP.DAT,
// KOMPAK32.DLL and the archives that fit after them; each later disk its DISKn.ID and the
// next archives, whole, in the manifest's order.
bool WriteDiskSet(InstallSet& set, const BuildOptions& options, std::string& error) {
  KitBytes setupExe;
  if (!ReadWholeFile(options.setupExe, setupExe)) {
    error = "cannot read " + options.setupExe;
    return false;
  }
  std::vector<std::vector<size_t>> disks(1);  // archive indexes by disk
  auto labelSize = [&](int disk) { return SizeOf(DiskLabelContent(set.script.title, disk)); };
  // SETUP.DAT's size does not depend on the disk count, which is a fixed-width field.
  uint64_t used = SizeOf(setupExe) + SizeOf(set.library) + labelSize(1) + SizeOf(EncodeSetupFile(set.script));
  if (used > options.diskSize) {
    error = "the first disk holds setup.exe, SETUP.DAT and KOMPAK32.DLL (" + std::to_string(used) +
            " bytes): more than a disk of " + std::to_string(options.diskSize) + " bytes";
    return false;
  }
  for (size_t a = 0; a < set.archives.size(); ++a) {
    const uint64_t size = SizeOf(set.archives[a].data);
    if (used + size > options.diskSize) {
      const int next = static_cast<int>(disks.size()) + 1;
      if (labelSize(next) + size > options.diskSize) {
        error = "archive " + set.archives[a].name + " is " + std::to_string(size) + " bytes, more than a disk of " +
                std::to_string(options.diskSize) + " bytes holds: give some of its files another archive";
        return false;
      }
      disks.emplace_back();
      used = labelSize(next);
    }
    disks.back().push_back(a);
    used += size;
  }
  set.script.diskCount = static_cast<int32_t>(disks.size());
  if (!MakeDirectory(options.output)) {
    error = "cannot create " + options.output;
    return false;
  }
  for (size_t d = 0; d < disks.size(); ++d) {
    const int disk = static_cast<int>(d) + 1;
    const std::string dir = options.output + "/DISK" + std::to_string(disk);
    bool written = MakeDirectory(dir) && WriteDiskLabel(dir, set.script.title, disk);
    if (disk == 1)
      written = written && WriteWholeFile(dir + "/SETUP.EXE", setupExe) &&
                WriteWholeFile(dir + "/SETUP.DAT", EncodeSetupFile(set.script)) &&
                WriteWholeFile(dir + "/KOMPAK32.DLL", set.library);
    for (size_t a : disks[d]) written = written && WriteWholeFile(dir + "/" + set.archives[a].name, set.archives[a].data);
    if (!written) {
      error = "cannot write " + dir;
      return false;
    }
    if (options.verbose) std::printf("DISK%d: %zu archive(s)\n", disk, disks[d].size());
  }
  return true;
}

int Build(BuildOptions options) {
  Manifest manifest;
  if (!ReadManifestOrReport(options.manifest, manifest)) return 1;
  options.disks = options.disks || manifest.disks;
  if (options.diskSize == 0) options.diskSize = manifest.diskSize ? manifest.diskSize : DISKETTE_BYTES;
  InstallSet set;
  set.script = manifest.script;
  std::string error, scratch;
  if (!ReadWholeFile(options.library, set.library)) {
    std::fprintf(stderr, "kitmaker: cannot read the archive library %s\n", options.library.c_str());
    return 1;
  }
  if (!MakeScratchDirectory(scratch)) {
    std::fprintf(stderr, "kitmaker: cannot make a scratch directory\n");
    return 1;
  }
  bool built = PackArchives(manifest, set, scratch, options.verbose, error) && ScriptReadsBack(set.script, scratch, error);
  if (built && options.disks)
    built = WriteDiskSet(set, options, error);
  else if (built)
    built = WriteSingleFileSetup(options.setupExe, InstallSetItems(set), options.output, {}, &error);
  RemoveScratchDirectory(scratch);
  if (!built) {
    std::fprintf(stderr, "kitmaker: %s\n", error.c_str());
    return 1;
  }
  if (options.verbose) std::printf("%s\n", options.output.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"kitmaker: builds an install set for setup from a manifest"};
  app.require_subcommand(1);
  BuildOptions options;
  std::string target;
  CLI::App* check = app.add_subcommand("check", "check the manifest; write nothing");
  check->add_option("MANIFEST", options.manifest, "the manifest (TOML)")->required();
  CLI::App* build = app.add_subcommand("build", "build a single-file setup, or a disk set, from the manifest");
  build->add_option("MANIFEST", options.manifest, "the manifest (TOML)")->required();
  build->add_option("-o,--output", options.output, "the setup to write (with --disks: the directory)")->required();
  build->add_option("--setup", options.setupExe, "the setup.exe that carries the set")->required();
  build->add_option("--library", options.library, "the archive library KOMPAK32.DLL for the set")->required();
  build->add_flag("--disks", options.disks, "write a disk set: folders DISK1, DISK2, ... (or [set] layout = \"disks\")");
  build->add_option("--disk-size", options.diskSize, "bytes a disk holds (default: [set] disk_size, or a 1.44 MB diskette)")
      ->check(CLI::Range(65536u, 0x7FFFFFFFu));
  build->add_flag("-v,--verbose", options.verbose, "list each file as it is packed");
  CLI::App* show = app.add_subcommand("show", "show what a built set holds");
  show->add_option("SET", target, "a single-file setup, a disk folder or the folder of a disk set")->required();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  if (check->parsed()) {
    Manifest read;
    std::string error, scratch;
    if (!ReadManifestOrReport(options.manifest, read)) return 1;
    // What build will check last: setup's own reader accepts the script.
    const bool accepted = MakeScratchDirectory(scratch) && ScriptReadsBack(read.script, scratch, error);
    if (!scratch.empty()) RemoveScratchDirectory(scratch);
    if (!accepted) std::fprintf(stderr, "kitmaker: %s\n", error.empty() ? "cannot make a scratch directory" : error.c_str());
    return accepted ? 0 : 1;
  }
  if (show->parsed()) return ShowSet(target, stdout) ? 0 : 1;
  return Build(options);
}
