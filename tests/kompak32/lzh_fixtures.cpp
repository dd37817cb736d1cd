// Test fixtures for kompak32 (see lzh_fixtures.h).
#include "lzh_fixtures.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace fx {

Bytes ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string &path, const Bytes &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), (std::streamsize)bytes.size());
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

bool FileExists(const std::string &path)
{
    return fs::exists(path);
}

TempDir::TempDir()
{
    char pattern[] = "/tmp/kompak32-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(path, ec);
}


static uint32_t Get(const Bytes &b, std::size_t at, int n)
{
    if (at + n > b.size())
        throw std::runtime_error("peer archive cut short");
    uint32_t v = 0;
    for (int i = 0; i < n; ++i)
        v |= (uint32_t)b[at + i] << (8 * i);
    return v;
}

// Reads the level-1 members jlha writes: base header, a chain of extended headers (whose
// sizes the compressed size includes), then the data.
static std::vector<HandMember> ParseLevel1(const Bytes &b)
{
    std::vector<HandMember> members;
    std::size_t pos = 0;
    while (pos < b.size() && b[pos] != 0) {
        unsigned headerSize = b[pos];
        if (b[pos + 20] != 1)
            throw std::runtime_error("peer archive is not level 1");
        HandMember m;
        m.method.assign(b.begin() + pos + 2, b.begin() + pos + 7);
        uint32_t packed = Get(b, pos + 7, 4);
        m.originalSize = Get(b, pos + 11, 4);
        m.dosTime = (uint16_t)Get(b, pos + 15, 2);
        m.dosDate = (uint16_t)Get(b, pos + 17, 2);
        unsigned n = b[pos + 21];
        m.name.assign(b.begin() + pos + 22, b.begin() + pos + 22 + n);
        m.dataCrc = (uint16_t)Get(b, pos + 22 + n, 2);
        std::size_t next = pos + headerSize;         // extHeaderSize field
        uint32_t extSize = Get(b, next, 2);
        pos = next + 2;
        while (extSize != 0) {
            packed -= extSize;
            uint32_t following = Get(b, pos + extSize - 2, 2);
            pos += extSize;
            extSize = following;
        }
        if (pos + packed > b.size())
            throw std::runtime_error("peer member data cut short");
        m.data.assign(b.begin() + pos, b.begin() + pos + packed);
        pos += packed;
        members.push_back(m);
    }
    return members;
}

static void Run(const std::string &command)
{
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("command failed: " + command);
}

std::vector<HandMember> PeerMembers(const std::vector<std::pair<std::string, Bytes>> &files)
{
    TempDir dir;
    std::string names;
    for (const auto &f : files) {
        WriteFile(dir / f.first, f.second);
        names += " '" + f.first + "'";
    }
    Run("cd '" + dir.path + "' && jlha c1q archive.lzh" + names + " >/dev/null 2>&1");
    return ParseLevel1(ReadFile(dir / "archive.lzh"));
}

Bytes PeerExtract(const std::string &tool, const std::string &archivePath,
                  const std::string &name)
{
    TempDir dir;
    std::string out = dir.path;
    if (tool == "lha")
        Run("cd '" + out + "' && lha xq '" + archivePath + "' >/dev/null 2>&1");
    else if (tool == "7z")
        Run("7z x -y -o'" + out + "' '" + archivePath + "' >/dev/null 2>&1");
    else if (tool == "bsdtar")
        Run("bsdtar -xf '" + archivePath + "' -C '" + out + "' >/dev/null 2>&1");
    else
        throw std::runtime_error("unknown peer " + tool);
    return ReadFile(dir / name);
}

static uint32_t NextRandom(uint32_t &state)
{
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

Bytes TextData(std::size_t size, uint32_t seed)
{
    static const char *words[] = {"the ",    "archive ", "member ", "header ", "setup ",
                                  "window ", "file ",    "of ",     "and ",    "Windows ",
                                  "\r\n",    "install ", "disk ",   "copy ",   "0x1F ",
                                  "directory ", "to ",  "a ",      "is ",     "registry "};
    Bytes out;
    uint32_t s = seed;
    while (out.size() < size) {
        const char *w = words[NextRandom(s) % 20];
        for (const char *p = w; *p && out.size() < size; ++p)
            out.push_back((uint8_t)*p);
    }
    return out;
}

Bytes RandomData(std::size_t size, uint32_t seed)
{
    Bytes out(size);
    uint32_t s = seed;
    for (auto &b : out)
        b = (uint8_t)NextRandom(s);
    return out;
}

Bytes FileOrText(const std::string &path, std::size_t size)
{
    if (FileExists(path)) {
        Bytes b = ReadFile(path);
        if (b.size() > size)
            b.resize(size);
        return b;
    }
    return TextData(size, 7);
}

StderrCapture::StderrCapture()
{
    char pattern[] = "/tmp/kompak32-stderr-XXXXXX";
    int fd = mkstemp(pattern);
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    path = pattern;
    std::fflush(stderr);
    savedFd = dup(2);
    dup2(fd, 2);
    close(fd);
}

std::string StderrCapture::Finish()
{
    if (done)
        return {};
    done = true;
    std::fflush(stderr);
    dup2(savedFd, 2);
    close(savedFd);
    Bytes b = ReadFile(path);
    unlink(path.c_str());
    return std::string(b.begin(), b.end());
}

StderrCapture::~StderrCapture()
{
    Finish();
}

} // namespace fx
