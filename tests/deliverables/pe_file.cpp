// PE reader for the static checks: headers, sections, and the import, export, base relocation
// and TLS directories, each read through a bounds-checked view of the whole file.
#include "pe_file.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

struct Malformed : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Image {
    std::vector<uint8_t> bytes;
    bool pe32plus = false;
    uint64_t imageBase = 0;
    struct Section {
        uint32_t rva, fileOffset, fileSize;
    };
    std::vector<Section> sections;

    uint64_t Read(uint64_t offset, int width) const {
        if (offset > bytes.size() || bytes.size() - offset < uint64_t(width))
            throw Malformed("a field lies past the end of the file");
        uint64_t value = 0;
        for (int i = width - 1; i >= 0; --i)
            value = value << 8 | bytes[offset + i];
        return value;
    }
    uint32_t U16(uint64_t offset) const { return uint32_t(Read(offset, 2)); }
    uint32_t U32(uint64_t offset) const { return uint32_t(Read(offset, 4)); }

    // File offset of an RVA that lies in a section's stored bytes.
    uint64_t Offset(uint32_t rva) const {
        for (const Section &s : sections)
            if (rva >= s.rva && rva - s.rva < s.fileSize)
                return uint64_t(s.fileOffset) + (rva - s.rva);
        throw Malformed("an address lies outside every section");
    }
    std::string String(uint32_t rva) const {
        uint64_t at = Offset(rva);
        std::string text;
        for (; Read(at, 1) != 0; ++at) {
            if (text.size() > 4096)
                throw Malformed("a name runs on without end");
            text += char(bytes[at]);
        }
        return text;
    }
};

void ReadImports(const Image &image, uint32_t rva, PeFile &pe) {
    const int thunkWidth = image.pe32plus ? 8 : 4;
    const uint64_t ordinalFlag = uint64_t(1) << (thunkWidth * 8 - 1);
    for (uint64_t at = image.Offset(rva);; at += 20) {
        const uint32_t lookup = image.U32(at), name = image.U32(at + 12), first = image.U32(at + 16);
        if (lookup == 0 && name == 0 && first == 0)
            break;
        const std::string dll = image.String(name);
        for (uint64_t thunk = image.Offset(lookup ? lookup : first);; thunk += thunkWidth) {
            const uint64_t entry = image.Read(thunk, thunkWidth);
            if (entry == 0)
                break;
            if (entry & ordinalFlag)
                pe.imports.push_back({dll, "", uint16_t(entry)});
            else
                pe.imports.push_back({dll, image.String(uint32_t(entry) + 2), 0});
        }
    }
}

void ReadExports(const Image &image, uint32_t rva, PeFile &pe) {
    const uint64_t at = image.Offset(rva);
    const uint32_t count = image.U32(at + 24), names = image.U32(at + 32);
    for (uint32_t i = 0; i < count; ++i)
        pe.exports.push_back(image.String(image.U32(image.Offset(names) + 4ull * i)));
}

void ReadTls(const Image &image, uint32_t rva, PeFile &pe) {
    const uint64_t at = image.Offset(rva);
    const int width = image.pe32plus ? 8 : 4;
    const uint64_t start = image.Read(at, width), end = image.Read(at + width, width);
    const uint32_t zeroFill = image.U32(at + 4ull * width);
    if (end < start || start < image.imageBase || end - start > image.bytes.size())
        throw Malformed("the TLS template has no sensible bounds");
    pe.hasTls = true;
    pe.tlsTemplateBytes = end - start + zeroFill;
    const uint64_t from = image.Offset(uint32_t(start - image.imageBase));
    if (end - start > image.bytes.size() - from)
        throw Malformed("the TLS template lies past the end of the file");
    pe.tlsTemplate.assign(image.bytes.begin() + from, image.bytes.begin() + from + (end - start));
}

void Parse(Image &image, PeFile &pe) {
    if (image.U16(0) != 0x5A4D)
        throw Malformed("no MZ header");
    const uint64_t nt = image.U32(0x3C);
    if (image.U32(nt) != 0x4550)
        throw Malformed("no PE signature");
    pe.machine = uint16_t(image.U16(nt + 4));
    const uint32_t sectionCount = image.U16(nt + 6), optionalSize = image.U16(nt + 20);
    pe.relocationsStripped = (image.U16(nt + 22) & 0x0001) != 0;
    const uint64_t optional = nt + 24;
    const uint32_t magic = image.U16(optional);
    if (magic != 0x10B && magic != 0x20B)
        throw Malformed("unknown optional header");
    image.pe32plus = magic == 0x20B;
    image.imageBase = image.pe32plus ? image.Read(optional + 24, 8) : image.U32(optional + 28);
    const uint64_t directories = optional + (image.pe32plus ? 112 : 96);
    const uint32_t directoryCount = image.U32(directories - 4);
    for (uint64_t s = optional + optionalSize, i = 0; i < sectionCount; ++i, s += 40)
        image.sections.push_back({image.U32(s + 12), image.U32(s + 20), image.U32(s + 16)});
    auto directory = [&](uint32_t index, uint32_t &size) -> uint32_t {
        size = index < directoryCount ? image.U32(directories + 8ull * index + 4) : 0;
        return index < directoryCount ? image.U32(directories + 8ull * index) : 0;
    };
    uint32_t size = 0;
    if (uint32_t rva = directory(0, size); rva && size)
        ReadExports(image, rva, pe);
    if (uint32_t rva = directory(1, size); rva && size)
        ReadImports(image, rva, pe);
    if (uint32_t rva = directory(5, size); rva)
        pe.relocationBytes = size;
    if (uint32_t rva = directory(9, size); rva && size)
        ReadTls(image, rva, pe);
}

} // namespace

bool ReadPeFile(const std::string &path, PeFile &pe, std::string &error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be opened";
        return false;
    }
    Image image;
    image.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    pe = PeFile();
    try {
        Parse(image, pe);
    } catch (const Malformed &m) {
        error = path + ": " + m.what();
        return false;
    }
    return true;
}
