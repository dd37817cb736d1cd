// Reading and checking the kitmaker manifest.
#include "manifest.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#define TOML_EXCEPTIONS 1
#include <toml++/toml.h>

#include "host.h"
#include "setup/driver/payload_format.h"
#include "setup/script/path_macros.h"

namespace {

constexpr size_t MAX_VENDOR_TARGETS = MAX_TARGETS - 1;  // the first is always the system directory

// Where errors go, with the manifest's name and the line of the node they concern.
struct Checker {
  std::string path;
  std::vector<ManifestError>& errors;

  void Error(const toml::node* node, const std::string& key, const std::string& what) {
    const unsigned line = node ? node->source().begin.line : 0;
    errors.push_back({path + ":" + std::to_string(line) + ": " + key + ": " + what});
  }
};

// One table of the manifest with the keys it may hold; every key read is ticked off, and the
// keys left over are reported as unknown (a misspelt key must not be ignored silently).
class Table {
 public:
  Table(Checker& checker, const toml::table& table, std::string key) : c(checker), t(table), name(std::move(key)) {}

  std::string Key(const std::string& key) const { return name.empty() ? key : name + "." + key; }

  // A string value; `required` reports a missing one. Checked against `maxChars`.
  std::string String(const std::string& key, size_t maxChars, bool required = false, const std::string& fallback = "") {
    used.insert(key);
    const toml::node* node = t.get(key);
    if (!node) {
      if (required) c.Error(&t, Key(key), "missing");
      return fallback;
    }
    const auto* value = node->as_string();
    if (!value) {
      c.Error(node, Key(key), "must be a string");
      return fallback;
    }
    const std::string text = value->get();
    if (text.size() > maxChars)
      c.Error(node, Key(key), "has " + std::to_string(text.size()) + " characters; at most " + std::to_string(maxChars));
    if (text.find('\0') != std::string::npos) c.Error(node, Key(key), "holds a NUL character");
    return text;
  }

  bool Bool(const std::string& key, bool fallback) {
    used.insert(key);
    const toml::node* node = t.get(key);
    if (!node) return fallback;
    if (const auto* value = node->as_boolean()) return value->get();
    c.Error(node, Key(key), "must be true or false");
    return fallback;
  }

  // An array of strings, each at most maxChars, at most maxCount of them.
  std::vector<std::string> Strings(const std::string& key, size_t maxChars, size_t maxCount) {
    used.insert(key);
    std::vector<std::string> list;
    const toml::node* node = t.get(key);
    if (!node) return list;
    const auto* array = node->as_array();
    if (!array) {
      c.Error(node, Key(key), "must be a list of strings");
      return list;
    }
    if (array->size() > maxCount)
      c.Error(node, Key(key), "has " + std::to_string(array->size()) + " entries; at most " + std::to_string(maxCount));
    for (size_t i = 0; i < array->size(); ++i) {
      const auto* value = (*array)[i].as_string();
      const std::string itemKey = Key(key) + "[" + std::to_string(i) + "]";
      if (!value) {
        c.Error(&(*array)[i], itemKey, "must be a string");
        continue;
      }
      if (value->get().size() > maxChars)
        c.Error(&(*array)[i], itemKey,
                "has " + std::to_string(value->get().size()) + " characters; at most " + std::to_string(maxChars));
      list.push_back(value->get());
    }
    return list;
  }

  // The tables of an array of tables ([[key]]); none when the key is missing.
  std::vector<Table> Tables(const std::string& key) {
    used.insert(key);
    std::vector<Table> tables;
    const toml::node* node = t.get(key);
    if (!node) return tables;
    const auto* array = node->as_array();
    if (!array) {
      c.Error(node, Key(key), "must be written [[" + Key(key) + "]]");
      return tables;
    }
    for (size_t i = 0; i < array->size(); ++i) {
      const std::string itemKey = Key(key) + "[" + std::to_string(i) + "]";
      if (const auto* table = (*array)[i].as_table())
        tables.emplace_back(c, *table, itemKey);
      else
        c.Error(&(*array)[i], itemKey, "must be a table");
    }
    return tables;
  }

  const toml::node* Node(const std::string& key) const { return t.get(key); }
  void Use(const std::string& key) { used.insert(key); }
  const toml::node* Self() const { return &t; }

  // Reports the keys nobody asked for.
  void CheckUnknown() {
    for (const auto& [key, node] : t)
      if (!used.count(std::string(key.str()))) c.Error(&node, Key(std::string(key.str())), "unknown key");
  }

  Checker& c;

 private:
  const toml::table& t;
  std::string name;
  std::set<std::string> used;
};

PlatformMask Platforms(Table& table, const std::string& key, PlatformMask fallback) {
  const toml::node* node = table.Node(key);
  const std::vector<std::string> names = table.Strings(key, 16, 3);
  if (!node) return fallback;
  PlatformMask mask = 0;
  for (const std::string& name : names) {
    if (name == "win32s") mask |= PLATFORM_WIN32S;
    else if (name == "win95") mask |= PLATFORM_WIN95;
    else if (name == "nt") mask |= PLATFORM_WINNT;
    else table.c.Error(node, table.Key(key), "\"" + name + "\" is not a platform; use win32s, win95 or nt");
  }
  if (names.empty()) table.c.Error(node, table.Key(key), "names no platform");
  return mask;
}

// Every %NAME% of `text` must name a target; "%%" is one percent sign.
void CheckMacros(Table& table, const std::string& key, const std::string& text, const InstallScript& script) {
  for (size_t at = text.find('%'); at != std::string::npos; at = text.find('%', at)) {
    const size_t end = text.find('%', at + 1);
    if (end == std::string::npos) {
      table.c.Error(table.Node(key), table.Key(key), "a % without its closing % (write %% for a percent sign)");
      return;
    }
    const std::string name = text.substr(at + 1, end - at - 1);
    if (!name.empty() && FindTargetIndex(script, name) < 0)
      table.c.Error(table.Node(key), table.Key(key), "%" + name + "% names no target");
    at = end + 1;
  }
}

// A string that setup expands: at most 255 characters, and its macros name targets.
std::string MacroField(Table& table, const std::string& key, const InstallScript& script, bool required = false) {
  const std::string text = table.String(key, MAX_STRING_CHARS, required);
  CheckMacros(table, key, text, script);
  return text;
}

// A name that setup takes as a plain file name: no path parts, no device, not empty.
void CheckPlainName(Table& table, const std::string& key, const std::string& name) {
  switch (CheckEntryName(name, 0)) {
    case ENTRY_NAME_OK:
      return;
    case ENTRY_NAME_EMPTY:
      table.c.Error(table.Node(key), table.Key(key), "is empty");
      return;
    case ENTRY_NAME_DIRECTORY:
      table.c.Error(table.Node(key), table.Key(key), "\"" + name + "\" is not a plain file name (no \\, / or :)");
      return;
    case ENTRY_NAME_DEVICE:
      table.c.Error(table.Node(key), table.Key(key), "\"" + name + "\" is a device name");
      return;
    case ENTRY_NAME_TOO_LONG:
      table.c.Error(table.Node(key), table.Key(key), "\"" + name + "\" is too long");
      return;
  }
}

std::string Upper(std::string text) {
  for (char& ch : text)
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  return text;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

void ReadTargets(Table& root, InstallScript& script) {
  TargetDir system;
  system.name = "SYS";
  system.descriptor = "System Directory";
  script.targets = {system};
  std::vector<Table> targets = root.Tables("target");
  if (targets.size() > MAX_VENDOR_TARGETS)
    root.c.Error(root.Node("target"), "target",
                 std::to_string(targets.size()) + " targets; at most " + std::to_string(MAX_VENDOR_TARGETS) +
                     " (the system directory, SYS, is the sixth)");
  for (Table& t : targets) {
    TargetDir target;
    target.name = t.String("name", MAX_MACRO_NAME_CHARS, true);
    if (target.name.find_first_of("%[]") != std::string::npos)
      t.c.Error(t.Node("name"), t.Key("name"), "must not hold %, [ or ]");
    if (!target.name.empty() && FindTargetIndex(script, target.name) >= 0)
      t.c.Error(t.Node("name"), t.Key("name"), "\"" + target.name + "\" is taken (names ignore case; SYS is the system directory)");
    const std::string label = t.String("label", MAX_STRING_CHARS, true);
    if (label.find(',') != std::string::npos) t.c.Error(t.Node("label"), t.Key("label"), "must not hold a comma");
    const std::string path = t.String("default", MAX_STRING_CHARS);
    if (path.find(',') != std::string::npos) t.c.Error(t.Node("default"), t.Key("default"), "must not hold a comma");
    const bool managed = t.Bool("managed", true);
    target.descriptor = label + "," + path + (managed ? ",1" : ",0");
    if (target.descriptor.size() > MAX_STRING_CHARS)
      t.c.Error(t.Self(), t.Key("label"), "label and default path together are too long for the 255-character descriptor");
    target.subdirs = t.Strings("subdirs", MAX_STRING_CHARS, 32767);
    for (const std::string& subdir : target.subdirs) CheckPlainName(t, "subdirs", subdir);
    t.CheckUnknown();
    script.targets.push_back(target);
  }
}

void ReadFiles(Table& root, Manifest& manifest, const std::string& baseDir) {
  InstallScript& script = manifest.script;
  std::map<std::string, size_t> archiveIndex;
  std::set<std::pair<size_t, std::string>> members;
  for (Table& f : root.Tables("file")) {
    std::string source = f.String("source", 4096, true);
    if (!source.empty() && !IsAbsolutePath(source)) source = baseDir + source;
    FileFacts facts;
    if (!source.empty() && (!StatPath(source, facts) || !facts.regular))
      f.c.Error(f.Node("source"), f.Key("source"), "no such file: " + source);
    InstallFile file;
    file.name = Upper(f.String("name", MAX_STRING_CHARS, false, BaseName(source)));
    CheckPlainName(f, "name", file.name);
    const std::string targetName = f.String("target", MAX_MACRO_NAME_CHARS, true);
    const int target = FindTargetIndex(script, targetName);
    if (target < 0 && !targetName.empty()) f.c.Error(f.Node("target"), f.Key("target"), "no target is called \"" + targetName + "\"");
    file.targetIndex = static_cast<int16_t>(std::max(target, 0));
    const std::string subdir = f.String("subdir", MAX_STRING_CHARS);
    if (!subdir.empty() && target >= 0) {
      const std::vector<std::string>& subdirs = script.targets[static_cast<size_t>(target)].subdirs;
      auto found = std::find(subdirs.begin(), subdirs.end(), subdir);
      if (found == subdirs.end())
        f.c.Error(f.Node("subdir"), f.Key("subdir"), "target " + targetName + " has no subdirectory \"" + subdir + "\"");
      else
        file.subdirIndex = static_cast<int16_t>(found - subdirs.begin());
    }
    file.platforms = Platforms(f, "platforms", script.platforms);
    if (file.platforms & ~script.platforms)
      f.c.Error(f.Node("platforms"), f.Key("platforms"), "names a platform the product does not support");
    file.flags = FILE_PACKED;
    const toml::node* flagsNode = f.Node("flags");
    for (const std::string& flag : f.Strings("flags", 16, 3)) {
      if (flag == "expand") file.flags |= FILE_EXPAND;
      else if (flag == "extension") file.flags |= FILE_EXTENSION;
      else if (flag == "selfreg") file.flags |= FILE_SELFREG;
      else f.c.Error(flagsNode, f.Key("flags"), "\"" + flag + "\" is not a flag; use expand, extension or selfreg");
    }
    const std::string archive = Upper(f.String("archive", MAX_STRING_CHARS, false, "MAIN"));
    CheckPlainName(f, "archive", archive);
    auto [entry, added] = archiveIndex.emplace(archive, script.archives.size());
    if (added) {
      script.archives.push_back({archive, 0});
      manifest.archiveFiles.emplace_back();
    }
    file.archiveIndex = static_cast<int16_t>(entry->second);
    if (!members.insert({entry->second, file.name}).second)
      f.c.Error(f.Node("source"), f.Key("name"), "archive " + archive + " holds " + file.name + " already");
    f.CheckUnknown();
    manifest.archiveFiles[entry->second].push_back({source, script.files.size()});
    script.files.push_back(file);
  }
  if (script.archives.size() > 32767) root.c.Error(root.Node("file"), "file", "too many archives");
}

void ReadGroups(Table& root, InstallScript& script) {
  for (Table& g : root.Tables("group")) {
    ProgramGroup group;
    group.name = g.String("name", MAX_GROUP_NAME_CHARS, true);
    for (Table& i : g.Tables("item")) {
      ProgramItem item;
      item.title = i.String("title", MAX_STRING_CHARS, true);
      item.command = MacroField(i, "command", script, true);
      item.arguments = MacroField(i, "arguments", script);
      item.workDir = MacroField(i, "workdir", script);
      i.CheckUnknown();
      group.items.push_back(item);
    }
    g.CheckUnknown();
    script.groups.push_back(group);
  }
}

void ReadSettings(Table& root, InstallScript& script) {
  for (Table& a : root.Tables("association")) {
    FileAssociation association;
    association.extension = a.String("extension", MAX_STRING_CHARS, true);
    if (!association.extension.empty() && association.extension[0] == '.')
      a.c.Error(a.Node("extension"), a.Key("extension"), "is written without its dot");
    association.typeName = a.String("type", MAX_STRING_CHARS, true);
    association.program = MacroField(a, "program", script, true);
    association.arguments = MacroField(a, "arguments", script);
    a.CheckUnknown();
    script.associations.push_back(association);
  }
  for (Table& e : root.Tables("environment")) {
    EnvSetting setting;
    setting.name = e.String("name", MAX_STRING_CHARS, true);
    setting.value = MacroField(e, "value", script, true);
    e.CheckUnknown();
    script.envSettings.push_back(setting);
  }
  for (Table& i : root.Tables("ini")) {
    IniSetting setting;
    setting.file = i.String("file", MAX_STRING_CHARS, true);
    setting.section = i.String("section", MAX_STRING_CHARS, true);
    setting.key = i.String("key", MAX_STRING_CHARS, true);
    setting.value = MacroField(i, "value", script);
    setting.platforms = Platforms(i, "platforms", script.platforms);
    i.CheckUnknown();
    script.iniSettings.push_back(setting);
  }
}

// TOML allows characters outside ASCII only in strings and comments, and toml++ 3.3 reaches
// an "unreachable" point (undefined behaviour) when it classifies some of them - also where a
// broken line makes it read on through what is a string here. So toml++ is handed the text in
// ASCII alone, with the same values: a character in a string becomes its \u escape, a literal
// string (which has no escapes) becomes a basic one, a character in a comment a '?'. Elsewhere,
// and in text that is not UTF-8, such a character is an error: its line and what is wrong, or
// line 0 when all is well.
struct AsciiText {
  std::string text;
  unsigned errorLine = 0;
  const char* error = "";
};

// The UTF-8 sequence at text[i] (i advances past it): its code point, or -1 when it is not
// one well-formed sequence of a character.
long DecodeUtf8(const std::string& text, size_t& i) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  const int length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead <= 0xDF ? 2 : 0;
  if (length == 0 || i + length > text.size()) return ++i, -1;
  long code = lead & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    const unsigned char next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return ++i, -1;
    code = code << 6 | (next & 0x3F);
  }
  i += length;
  static const long smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < smallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return -1;
  return code;
}

AsciiText ToAscii(const std::string& text) {
  AsciiText out;
  unsigned line = 1;
  size_t i = 0;
  auto fail = [&](const char* error) {
    out.errorLine = line;
    out.error = error;
  };
  auto startsWith = [&](const char* s) { return text.compare(i, std::char_traits<char>::length(s), s) == 0; };
  // Copies the character at i; one outside ASCII as `how` says: 'e' escape, 'q' '?', else fail.
  auto copy = [&](char how) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      if (text[i] == '\n') ++line;
      if (how == 'l' && (text[i] == '\\' || text[i] == '"')) out.text += '\\';  // in a basic string now
      out.text += text[i++];
      return;
    }
    const long code = DecodeUtf8(text, i);
    if (code < 0) return fail("not UTF-8 text");
    if (how == 'q') {
      out.text += '?';
    } else if (how == 'e' || how == 'l') {
      char escape[12];
      std::snprintf(escape, sizeof escape, code > 0xFFFF ? "\\U%08lX" : "\\u%04lX", code);
      out.text += escape;
    } else {
      fail("a character outside ASCII outside a string or comment (names and keys are ASCII)");
    }
  };
  // A backslash in a basic string and what it escapes, which must be ASCII.
  auto escaped = [&] {
    out.text += text[i++];
    if (static_cast<unsigned char>(text[i]) >= 0x80) fail("an escape that TOML does not have");
  };
  while (i < text.size() && out.errorLine == 0) {
    const char c = text[i];
    if (c == '#') {  // a comment, to the end of the line
      while (i < text.size() && text[i] != '\n' && out.errorLine == 0) copy('q');
    } else if (startsWith("\"\"\"") || startsWith("\'\'\'")) {  // a multi-line string
      const std::string close = text.substr(i, 3);
      const char how = close[0] == '"' ? 'e' : 'l';
      out.text += "\"\"\"", i += 3;
      while (i < text.size() && !startsWith(close.c_str()) && out.errorLine == 0) {
        if (how == 'e' && text[i] == '\\' && i + 1 < text.size()) escaped();
        copy(how);
      }
      if (i < text.size() && out.errorLine == 0) out.text += "\"\"\"", i += 3;
    } else if (c == '"' || c == '\'') {  // a string on one line
      const char how = c == '"' ? 'e' : 'l';
      out.text += '"', ++i;
      while (i < text.size() && text[i] != c && text[i] != '\n' && out.errorLine == 0) {
        if (how == 'e' && text[i] == '\\' && i + 1 < text.size() && text[i + 1] != '\n') escaped();
        copy(how);
      }
      if (i < text.size() && text[i] == c) out.text += '"', ++i;
    } else {
      copy('x');
    }
  }
  return out;
}

}  // namespace

bool ReadManifest(const std::string& path, Manifest& manifest, std::vector<ManifestError>& errors) {
  const size_t errorsBefore = errors.size();
  manifest = Manifest();
  manifest.path = path;
  toml::table document;
  KitBytes text;
  if (!ReadWholeFile(path, text)) {
    errors.push_back({path + ": cannot read the manifest"});
    return false;
  }
  const AsciiText source = ToAscii(std::string(reinterpret_cast<const char*>(text.data()), text.size()));
  if (source.errorLine != 0) {
    errors.push_back({path + ":" + std::to_string(source.errorLine) + ": " + source.error});
    return false;
  }
  try {
    // Read here rather than by toml++, whose file opening differs from system to system.
    document = toml::parse(source.text, path);
  } catch (const toml::parse_error& error) {
    errors.push_back({path + ":" + std::to_string(error.source().begin.line) + ": " + std::string(error.description())});
    return false;
  }
  Checker checker{path, errors};
  Table root(checker, document, "");
  const size_t slash = path.find_last_of("/\\");
  const std::string baseDir = slash == std::string::npos ? "" : path.substr(0, slash + 1);

  InstallScript& script = manifest.script;
  script.diskCount = 1;
  if (const toml::node* node = root.Node("product"); node && node->as_table()) {
    Table product(checker, *node->as_table(), "product");
    script.title = product.String("title", MAX_TITLE_CHARS, true);
    script.contactLines = product.Strings("contact", MAX_CONTACT_CHARS, MAX_CONTACT_LINES);
    script.platforms = Platforms(product, "platforms", PLATFORM_WIN32S | PLATFORM_WIN95 | PLATFORM_WINNT);
    product.CheckUnknown();
  } else {
    checker.Error(node ? node : &document, "product", "a [product] table with the title is missing");
  }
  root.Use("product");
  if (const toml::node* node = root.Node("set"); node && node->as_table()) {
    Table set(checker, *node->as_table(), "set");
    const std::string layout = set.String("layout", 16, false, "single");
    if (layout == "disks") manifest.disks = true;
    else if (layout != "single") checker.Error(set.Node("layout"), "set.layout", "must be \"single\" or \"disks\"");
    set.Use("disk_size");
    if (const toml::node* size = set.Node("disk_size")) {
      const auto* value = size->as_integer();
      if (!value || value->get() < 65536 || value->get() > 0x7FFFFFFF)
        checker.Error(size, "set.disk_size", "must be a whole number of bytes from 65536 to 2147483647");
      else
        manifest.diskSize = static_cast<uint32_t>(value->get());
    }
    set.CheckUnknown();
  } else if (node) {
    checker.Error(node, "set", "must be a table ([set])");
  }
  root.Use("set");
  ReadTargets(root, script);
  ReadFiles(root, manifest, baseDir);
  ReadGroups(root, script);
  ReadSettings(root, script);
  root.CheckUnknown();
  return errors.size() == errorsBefore;
}
