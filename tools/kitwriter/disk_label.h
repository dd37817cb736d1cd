// Disk label files "DISK%d.ID": setup accepts disk n when "DISKn.ID" exists in the current
// directory; the content is never read, the writer puts the disk's title line in it.
#pragma once

#include <string>

#include "kit_bytes.h"

// "DISK%d.ID" for disk n.
std::string DiskLabelName(int diskNumber);

// The label's content: "<title> Disk <n>" and a CR LF.
KitBytes DiskLabelContent(const std::string& title, int diskNumber);

// Writes directory/DISKn.ID ('/' joins the parts); false when the file cannot be written.
bool WriteDiskLabel(const std::string& directory, const std::string& title, int diskNumber);
