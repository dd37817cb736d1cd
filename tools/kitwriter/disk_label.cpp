// Names and content of the disk label files.
#include "disk_label.h"

std::string DiskLabelName(int diskNumber) { return "DISK" + std::to_string(diskNumber) + ".ID"; }

KitBytes DiskLabelContent(const std::string& title, int diskNumber) {
  KitBytes out;
  PutBytes(out, title + " Disk " + std::to_string(diskNumber) + "\r\n");
  return out;
}

bool WriteDiskLabel(const std::string& directory, const std::string& title, int diskNumber) {
  std::string path = directory;
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
  return WriteWholeFile(path + DiskLabelName(diskNumber), DiskLabelContent(title, diskNumber));
}
