// Static checks of the i686 deliverables, read from their PE files: they load on every system
// they are for only if they import nothing those systems lack (Wine exports everything, so the
// Wine tests cannot show it), kompak32.dll exports its eight names, setup.exe can be moved by
// Win32s (base relocations), and kompak32.dll keeps nothing in implicit thread-local storage,
// which a DLL loaded with LoadLibrary does not get before Windows Vista.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <sstream>

#include "pe_file.h"

namespace {

const uint16_t MACHINE_I386 = 0x14c;

std::string Upper(std::string text) {
    for (char &c : text)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// "DLL function" lines of a list file, the DLL upper-cased; '#' starts a comment.
std::set<std::string> ReadList(const std::string &name) {
    std::ifstream in(std::string(IMPORT_LISTS_DIR) + "/" + name);
    EXPECT_TRUE(in) << name;
    std::set<std::string> entries;
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string dll, function;
        if (words >> dll >> function)
            entries.insert(Upper(dll) + " " + function);
    }
    return entries;
}

PeFile Read(const char *path) {
    PeFile pe;
    std::string error;
    EXPECT_TRUE(ReadPeFile(path, pe, error)) << error;
    return pe;
}

// Every import of the file that is outside the DLLs or the functions allowed, one a line.
std::string ForbiddenImports(const PeFile &pe, const std::set<std::string> &dlls,
                             const std::set<std::string> &functions) {
    std::string found;
    for (const PeImport &i : pe.imports) {
        const std::string dll = Upper(i.dll);
        if (!dlls.count(dll))
            found += "  DLL " + i.dll + " (" + i.function + ")\n";
        else if (i.function.empty())
            found += "  " + i.dll + " ordinal " + std::to_string(i.ordinal) + "\n";
        else if (!functions.count(dll + " " + i.function))
            found += "  " + i.dll + " " + i.function + "\n";
    }
    return found;
}

const std::set<std::string> SYSTEM_DLLS = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL",
                                           "ADVAPI32.DLL", "CRTDLL.DLL"};

struct Deliverable {
    const char *path;
    size_t minimumImports; // a sanity floor: the reader found the import table
};

TEST(Deliverables, ImportOnlyWhatWindows95AndNt351Export) {
    const std::set<std::string> allowed = ReadList("win95_nt351.imports");
    for (const Deliverable &d : {Deliverable{SETUP_EXE, 50}, Deliverable{KOMPAK32_DLL, 30}}) {
        SCOPED_TRACE(d.path);
        const PeFile pe = Read(d.path);
        EXPECT_EQ(pe.machine, MACHINE_I386);
        EXPECT_GE(pe.imports.size(), d.minimumImports);
        EXPECT_EQ(ForbiddenImports(pe, SYSTEM_DLLS, allowed), "")
            << "imports that Windows 95 or NT 3.51 lack (or that win95_nt351.imports does not list)";
    }
}

TEST(Deliverables, VendorToolsImportWhatWindowsXpExports) {
    std::set<std::string> allowed = ReadList("win95_nt351.imports");
    const std::set<std::string> xp = ReadList("winxp.imports");
    allowed.insert(xp.begin(), xp.end());
    std::set<std::string> dlls = SYSTEM_DLLS;
    dlls.insert("MSVCRT.DLL");
    for (const char* tool : {KOMPAK_EXE, KITMAKER_EXE}) {
        const PeFile pe = Read(tool);
        EXPECT_EQ(pe.machine, MACHINE_I386) << tool;
        EXPECT_GE(pe.imports.size(), 50u) << tool;
        EXPECT_EQ(ForbiddenImports(pe, dlls, allowed), "")
            << tool << ": imports that Windows XP lacks (or that the lists do not name)";
    }
}

TEST(Deliverables, Kompak32DllExportsExactlyItsEightNames) {
    PeFile pe = Read(KOMPAK32_DLL);
    std::sort(pe.exports.begin(), pe.exports.end());
    EXPECT_EQ(pe.exports, (std::vector<std::string>{"LZH_Add", "LZH_Close", "LZH_Create", "LZH_Enum",
                                                    "LZH_Extract", "LZH_GetArchiveStats", "LZH_Open",
                                                    "LZH_SetProgressFun"}));
}

TEST(Deliverables, SetupExeCarriesBaseRelocations) {
    const PeFile pe = Read(SETUP_EXE);
    EXPECT_FALSE(pe.relocationsStripped);
    EXPECT_GT(pe.relocationBytes, 0u);
}

TEST(Deliverables, Kompak32DllKeepsNothingInImplicitThreadLocalStorage) {
    // The runtime's TLS directory holds only its start and end markers (zeros); a variable
    // in implicit TLS would enlarge the template. Thread-local data of the runtime lives in
    // TlsAlloc slots, which work in a DLL loaded at any time.
    const PeFile pe = Read(KOMPAK32_DLL);
    if (!pe.hasTls)
        return;
    EXPECT_LE(pe.tlsTemplateBytes, 8u);
    EXPECT_TRUE(std::all_of(pe.tlsTemplate.begin(), pe.tlsTemplate.end(), [](uint8_t b) { return b == 0; }));
}

} // namespace
