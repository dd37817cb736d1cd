// A reader for the parts of a PE file (Windows program or DLL) that the deliverables' static
// checks look at: machine type, imports, export names, base relocations, the TLS template.
// Both PE32 and PE32+; every read is checked against the file's size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PeImport {
    std::string dll;       // as the import table names it ("KERNEL32.dll")
    std::string function;  // empty for an import by ordinal
    uint16_t ordinal;      // for an import by ordinal
};

struct PeFile {
    uint16_t machine = 0;            // 0x14c i386, 0x8664 x86_64
    bool relocationsStripped = false;
    uint32_t relocationBytes = 0;    // size of the base relocation directory
    std::vector<PeImport> imports;
    std::vector<std::string> exports;
    bool hasTls = false;
    uint64_t tlsTemplateBytes = 0;   // initialised data plus zero fill of the TLS template
    std::vector<uint8_t> tlsTemplate; // the initialised part
};

// Reads the file at path; false with a reason in error when it is unreadable or malformed.
bool ReadPeFile(const std::string &path, PeFile &pe, std::string &error);
