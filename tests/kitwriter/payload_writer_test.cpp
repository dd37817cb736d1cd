// The payload and trailer bytes, single-file setups on disk, and disk label files.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "disk_label.h"
#include "kit_set.h"
#include "payload_writer.h"

namespace {

KitBytes Bytes(const std::string& text) { return KitBytes(text.begin(), text.end()); }
template <std::size_t N>
KitBytes Lit(const char (&text)[N]) { return Bytes(std::string(text, N - 1)); }

std::filesystem::path FreshDir(const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path() / ("kitwriter-" + name + "-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

TEST(PayloadWriter, EntriesAndTrailer) {
  const std::vector<PayloadItem> items = {{"AB", Lit("xyz"), {}, false}, {"E", {}, {}, false}};
  const KitBytes expected = Lit(
      "AB\0" "\x03\0\0\0" "xyz"   // 10 bytes
      "E\0" "\0\0\0\0"            // 6 bytes, empty data
      "IMBR549\0" "\x02\0\0\0" "\x10\0\0\0");
  EXPECT_EQ(EncodePayload(items), expected);
}

TEST(PayloadWriter, DamagedTrailerAndEntries) {
  std::vector<PayloadItem> items = {{"N", Lit("12"), 7u, false}, {"..", {}, {}, true}};
  PayloadOptions options;
  options.entryCount = 5;
  options.payloadLength = 0x7FFFFFF0;
  options.magic = "IMBR5490";  // eighth byte not NUL
  const KitBytes expected = Lit(
      "N\0" "\x07\0\0\0" "12"
      ".." "\0\0\0\0"  // name without its NUL: the size follows directly
      "IMBR5490" "\x05\0\0\0" "\xF0\xFF\xFF\x7F");
  EXPECT_EQ(EncodePayload(items, options), expected);

  PayloadOptions bare;
  bare.writeTrailer = false;
  EXPECT_EQ(EncodePayload({{"A", {}, {}, false}}, bare), Lit("A\0\0\0\0\0"));

  EXPECT_EQ(EncodeTrailer(0, 0, "IMBR"), Lit("IMBR\0\0\0\0" "\0\0\0\0" "\0\0\0\0"));
}

TEST(PayloadWriter, SingleFileSetupIsImageThenPayload) {
  const auto dir = FreshDir("single");
  const KitBytes image = Lit("MZ\x90\0fake image\0\0");
  ASSERT_TRUE(WriteWholeFile((dir / "setup.exe").string(), image));
  const std::vector<PayloadItem> items = {{"SETUP.DAT", Lit("s"), {}, false}};

  ASSERT_TRUE(WriteSingleFileSetup((dir / "setup.exe").string(), items, (dir / "out.exe").string()));
  KitBytes written;
  ASSERT_TRUE(ReadWholeFile((dir / "out.exe").string(), written));
  KitBytes expected = image;
  const KitBytes payload = EncodePayload(items);
  expected.insert(expected.end(), payload.begin(), payload.end());
  EXPECT_EQ(written, expected);
  // The trailer is the last 16 bytes and its length leads back to the first entry.
  ASSERT_EQ(written.size(), image.size() + 15 + PAYLOAD_TRAILER_SIZE);
  EXPECT_EQ(written[image.size()], 'S');

  std::string error;
  EXPECT_FALSE(WriteSingleFileSetup((dir / "missing.exe").string(), items, (dir / "o2.exe").string(), {}, &error));
  EXPECT_NE(error.find("missing.exe"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "o2.exe"));
  std::filesystem::remove_all(dir);
}

TEST(DiskLabel, NamesAndFiles) {
  EXPECT_EQ(DiskLabelName(1), "DISK1.ID");
  EXPECT_EQ(DiskLabelName(12), "DISK12.ID");
  EXPECT_EQ(DiskLabelContent("Demo", 3), Lit("Demo Disk 3\r\n"));

  const auto dir = FreshDir("label");
  ASSERT_TRUE(WriteDiskLabel(dir.string(), "Demo", 2));
  KitBytes read;
  ASSERT_TRUE(ReadWholeFile((dir / "DISK2.ID").string(), read));
  EXPECT_EQ(read, DiskLabelContent("Demo", 2));
  EXPECT_FALSE(WriteDiskLabel((dir / "no" / "such").string(), "Demo", 1));
  std::filesystem::remove_all(dir);
}

TEST(InstallSet, PayloadOrderAndDirectory) {
  InstallSet set;
  set.script.diskCount = 1;
  set.script.platforms = 7;
  set.script.title = "T";
  set.archives = {{"MAIN", Lit("lzh")}};
  set.library = Lit("dll");
  const std::vector<PayloadItem> items = InstallSetItems(set);
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].name, "DISK1.ID");
  EXPECT_EQ(items[1].name, "MAIN");
  EXPECT_EQ(items[2].name, "SETUP.DAT");
  EXPECT_EQ(items[2].data, EncodeSetupFile(set.script));
  EXPECT_EQ(items[3].name, "KOMPAK32.DLL");

  set.library.clear();
  EXPECT_EQ(InstallSetItems(set).size(), 3u);

  const auto dir = FreshDir("set");
  ASSERT_TRUE(WriteInstallSetDirectory(dir.string(), set));
  KitBytes read;
  ASSERT_TRUE(ReadWholeFile((dir / "SETUP.DAT").string(), read));
  EXPECT_EQ(read, EncodeSetupFile(set.script));
  EXPECT_TRUE(std::filesystem::exists(dir / "DISK1.ID"));
  EXPECT_TRUE(std::filesystem::exists(dir / "MAIN"));
  EXPECT_FALSE(std::filesystem::exists(dir / "KOMPAK32.DLL"));
  std::filesystem::remove_all(dir);
}

}  // namespace
