// Name surgery on paths, shared by the file helpers: the extension of the file name and the
// file-name part. Portable.
#pragma once

#include <string>

// Sets the extension of the path's file name (the part after its last backslash): the text
// after the file name's last '.' is replaced, or "." and the extension are appended when the
// file name has no '.'; a '.' in a directory name never counts. False, with the path
// unchanged, when the result would pass 259 characters.
bool SetExtension(std::string& path, const std::string& extension);

// Upper-cases the path in place (ASCII letters) and returns the part after its last
// backslash, or else after its last colon, or else the whole path.
std::string FileNamePart(std::string& path);
