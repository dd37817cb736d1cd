// kitmaker show: the payload entries, the script's records and the archives' members.
#include "kit_show.h"

#include <cstring>
#include <map>

#include "host.h"
#include "lzh_dostime.h"
#include "lzh_header.h"
#include "setup/driver/payload_format.h"

namespace {

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

uint32_t U32At(const KitBytes& bytes, size_t at) {
  return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 | uint32_t(bytes[at + 3]) << 24;
}

// The files of a set by upper-case name, and where each one lies ("payload", "DISK2", ...).
struct SetFiles {
  std::map<std::string, KitBytes> bytes;
  std::map<std::string, std::string> place;
};

bool ReadPayload(const std::string& path, SetFiles& files, std::FILE* out) {
  KitBytes image;
  if (!ReadWholeFile(path, image) || image.size() < PAYLOAD_TRAILER_SIZE) {
    std::fprintf(stderr, "kitmaker: cannot read %s\n", path.c_str());
    return false;
  }
  const PayloadTrailer trailer = DecodeTrailer(&image[image.size() - PAYLOAD_TRAILER_SIZE]);
  const int64_t first = FirstEntryOffset(static_cast<int64_t>(image.size()), trailer);
  if (!TrailerHasPayload(trailer) || first < 0) {
    std::fprintf(stderr, "kitmaker: %s carries no install set\n", path.c_str());
    return false;
  }
  const size_t end = image.size() - PAYLOAD_TRAILER_SIZE;
  size_t at = static_cast<size_t>(first);
  std::fprintf(out, "payload of %s: %u entries\n", path.c_str(), trailer.entryCount);
  for (uint32_t i = 0; i < trailer.entryCount; ++i) {
    const void* nul = at < end ? std::memchr(&image[at], 0, end - at) : nullptr;
    if (!nul || static_cast<const uint8_t*>(nul) + 5 > &image[0] + end) {
      std::fprintf(stderr, "kitmaker: entry %u of the payload is damaged\n", i + 1);
      return false;
    }
    const std::string name(reinterpret_cast<const char*>(&image[at]));
    at += name.size() + 1;
    const uint32_t size = U32At(image, at);
    at += 4;
    if (size > end - at) {
      std::fprintf(stderr, "kitmaker: entry %s runs past the end of the payload\n", name.c_str());
      return false;
    }
    std::fprintf(out, "  %-14s %10u bytes\n", name.c_str(), size);
    files.bytes[Upper(name)] = KitBytes(image.begin() + static_cast<long>(at), image.begin() + static_cast<long>(at + size));
    files.place[Upper(name)] = "payload";
    at += size;
  }
  return true;
}

void ReadFolder(const std::string& dir, const std::string& place, SetFiles& files) {
  for (const std::string& name : DirectoryNames(dir)) {
    KitBytes bytes;
    if (!IsDirectory(dir + "/" + name) && ReadWholeFile(dir + "/" + name, bytes)) {
      files.bytes[Upper(name)] = std::move(bytes);
      files.place[Upper(name)] = place;
    }
  }
}

std::string PlatformNames(PlatformMask mask) {
  std::string names;
  if (mask & PLATFORM_WIN32S) names += " win32s";
  if (mask & PLATFORM_WIN95) names += " win95";
  if (mask & PLATFORM_WINNT) names += " nt";
  return names.empty() ? " (none)" : names;
}

void ShowScript(const InstallScript& s, std::FILE* out) {
  std::fprintf(out, "product \"%s\", %d disk(s), platforms:%s\n", s.title.c_str(), s.diskCount, PlatformNames(s.platforms).c_str());
  for (const std::string& line : s.contactLines) std::fprintf(out, "  contact \"%s\"\n", line.c_str());
  for (size_t i = 0; i < s.targets.size(); ++i) {
    std::fprintf(out, "target %zu %s \"%s\"", i, s.targets[i].name.c_str(), s.targets[i].descriptor.c_str());
    for (const std::string& subdir : s.targets[i].subdirs) std::fprintf(out, " [%s]", subdir.c_str());
    std::fprintf(out, "\n");
  }
  for (const InstallFile& f : s.files) {
    const TargetDir& target = s.targets[static_cast<size_t>(f.targetIndex)];
    std::string where = "%" + target.name + "%";
    if (f.subdirIndex >= 0) where += "\\" + target.subdirs[static_cast<size_t>(f.subdirIndex)];
    std::fprintf(out, "file %-12s %10u bytes in %-12s to %s,%s%s%s%s\n", f.name.c_str(), f.size,
                 (f.flags & FILE_PACKED) ? s.archives[static_cast<size_t>(f.archiveIndex)].name.c_str() : "(not packed)",
                 where.c_str(), PlatformNames(f.platforms).c_str(), (f.flags & FILE_EXPAND) ? " expand" : "",
                 (f.flags & FILE_EXTENSION) ? " extension" : "", (f.flags & FILE_SELFREG) ? " selfreg" : "");
  }
  for (const ProgramGroup& g : s.groups) {
    std::fprintf(out, "group \"%s\"\n", g.name.c_str());
    for (const ProgramItem& i : g.items)
      std::fprintf(out, "  item \"%s\": %s %s (in %s)\n", i.title.c_str(), i.command.c_str(), i.arguments.c_str(), i.workDir.c_str());
  }
  for (const FileAssociation& a : s.associations)
    std::fprintf(out, "association .%s \"%s\": %s %s\n", a.extension.c_str(), a.typeName.c_str(), a.program.c_str(),
                 a.arguments.c_str());
  for (const EnvSetting& e : s.envSettings) std::fprintf(out, "environment %s=%s\n", e.name.c_str(), e.value.c_str());
  for (const IniSetting& i : s.iniSettings)
    std::fprintf(out, "ini %s [%s] %s=%s,%s\n", i.file.c_str(), i.section.c_str(), i.key.c_str(), i.value.c_str(),
                 PlatformNames(i.platforms).c_str());
}

// The members of an archive, read header by header.
bool ShowArchive(const std::string& name, const KitBytes& bytes, const std::string& place, std::FILE* out) {
  std::fprintf(out, "archive %s (%s), %zu bytes:\n", name.c_str(), place.c_str(), bytes.size());
  size_t at = 0;
  while (at < bytes.size() && bytes[at] != 0) {
    MemberHeader header;
    const size_t headerBytes = size_t(bytes[at]) + 2;
    if (at + headerBytes > bytes.size() || !ParseMemberHeader(&bytes[at], headerBytes, &header) ||
        header.compressedSize > bytes.size() - at - headerBytes) {
      std::fprintf(stderr, "kitmaker: archive %s is damaged at byte %zu\n", name.c_str(), at);
      return false;
    }
    const CalendarTime t = CalendarFromDos(header.dosTime, header.dosDate);
    std::fprintf(out, "  %-12s %s %10u -> %10u bytes  CRC %04X  %04u-%02u-%02u %02u:%02u:%02u\n", header.name,
                 header.method == METHOD_LH5 ? "-lh5-" : "-lh0-", header.originalSize, header.compressedSize,
                 header.dataCrc, t.year, t.month, t.day, t.hour, t.minute, t.second);
    at += headerBytes + header.compressedSize;
  }
  return true;
}

}  // namespace

ScriptReadResult ReadScriptBytes(const KitBytes& bytes, const std::string& scratch, InstallScript& script) {
  const std::string path = scratch + "/SETUP.DAT";
  if (!WriteWholeFile(path, bytes)) return SCRIPT_TRUNCATED;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return SCRIPT_TRUNCATED;
  const ScriptReadResult result = ReadInstallScript(file, PLATFORM_WIN32S | PLATFORM_WIN95 | PLATFORM_WINNT, script);
  std::fclose(file);
  std::remove(path.c_str());
  return result;
}

bool ShowSet(const std::string& path, std::FILE* out) {
  SetFiles files;
  if (!IsDirectory(path)) {
    if (!ReadPayload(path, files, out)) return false;
  } else if (IsDirectory(path + "/DISK1")) {
    for (const std::string& name : DirectoryNames(path))
      if (Upper(name).compare(0, 4, "DISK") == 0 && IsDirectory(path + "/" + name)) ReadFolder(path + "/" + name, Upper(name), files);
  } else {
    ReadFolder(path, "this folder", files);
  }
  auto script = files.bytes.find("SETUP.DAT");
  if (script == files.bytes.end()) {
    std::fprintf(stderr, "kitmaker: %s holds no SETUP.DAT\n", path.c_str());
    return false;
  }
  std::string scratch;
  if (!MakeScratchDirectory(scratch)) return false;
  InstallScript s;
  const ScriptReadResult result = ReadScriptBytes(script->second, scratch, s);
  RemoveScratchDirectory(scratch);
  if (result != SCRIPT_OK) {
    std::fprintf(stderr, "kitmaker: SETUP.DAT: %s\n", DescribeScriptResult(result));
    return false;
  }
  ShowScript(s, out);
  bool whole = true;
  for (const SourceArchive& archive : s.archives) {
    auto found = files.bytes.find(Upper(archive.name));
    if (found == files.bytes.end()) {
      std::fprintf(out, "archive %s: missing\n", archive.name.c_str());
      whole = false;
    } else if (!ShowArchive(archive.name, found->second, files.place[Upper(archive.name)], out)) {
      whole = false;
    }
  }
  return whole;
}
