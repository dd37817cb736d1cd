// Writes the seed corpora of the kompak32 fuzz targets (fuzz/corpus/header_walk and
// fuzz/corpus/lh5_decoder) from the test fixtures: hand-laid members, jlha's -lh5- data
// re-wrapped, and exact bit streams. Usage: kompak32_make_fuzz_corpus <fuzz/corpus>
#include <cstdio>
#include <filesystem>
#include <string>

#include "lh5_bits.h"
#include "lzh_fixtures.h"

using fx::Bytes;
using fx::HandMember;

namespace {

void Seed(const std::string &dir, const std::string &name, const Bytes &prefix, const Bytes &body)
{
    Bytes all = prefix;
    all.insert(all.end(), body.begin(), body.end());
    fx::WriteFile(dir + "/" + name, all);
}

Bytes SizePrefix(uint32_t size)
{
    return {(uint8_t)size, (uint8_t)(size >> 8), (uint8_t)(size >> 16)};
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    std::string walkDir = std::string(argv[1]) + "/header_walk";
    std::string decDir = std::string(argv[1]) + "/lh5_decoder";
    std::filesystem::create_directories(walkDir);
    std::filesystem::create_directories(decDir);

    std::vector<HandMember> peer = fx::PeerMembers(
        {{"TEXT.TXT", fx::TextData(6000, 1)},
         {"CODE.DLL", fx::FileOrText("/usr/lib/i386-linux-gnu/wine/i386-windows/version.dll", 9000)}});
    std::vector<HandMember> stored = {fx::StoredMember("ONE.TXT", fx::TextData(200, 2)),
                                      fx::StoredMember("TWO.BIN", fx::RandomData(300, 3)),
                                      fx::StoredMember("THREE.INI", fx::TextData(50, 4))};

    // Header walk: two bytes choose the actions (bit n: delete member n; 0x100: extract).
    Seed(walkDir, "empty", {0, 0}, {0});
    Seed(walkDir, "stored-keep", {0, 0}, fx::ArchiveBytes(stored));
    Seed(walkDir, "stored-delete-second", {0x02, 0x01}, fx::ArchiveBytes(stored));
    Seed(walkDir, "stored-delete-all", {0xFF, 0x00}, fx::ArchiveBytes(stored));
    Seed(walkDir, "peer-lh5-extract", {0x01, 0x01}, fx::ArchiveBytes(peer));
    HandMember longName = fx::StoredMember(std::string(230, 'L'), {'x'});
    Seed(walkDir, "long-name", {0x00, 0x01}, fx::ArchiveBytes({longName, stored[0]}));
    Bytes badSum = fx::ArchiveBytes(stored);
    badSum[fx::MemberBytes(stored[0]).size() + 1] ^= 1;
    Seed(walkDir, "bad-checksum-second", {0x01, 0x00}, badSum);
    Bytes cut = fx::ArchiveBytes({stored[0], peer[0]});
    cut.resize(cut.size() - 100);
    Seed(walkDir, "cut-off", {0x01, 0x01}, cut);

    // Decoder: three bytes of original size, then the compressed data.
    for (const HandMember &m : peer)
        if (m.method == "-lh5-")
            Seed(decDir, "peer-" + m.name, SizePrefix(m.originalSize), m.data);
    {
        fx::BitWriter w;
        fx::WriteBlock(w, std::vector<fx::Token>(500, fx::Lit('s')));
        Seed(decDir, "single-symbol", SizePrefix(500), w.Finish());
    }
    {
        std::vector<fx::Token> t;
        for (int i = 0; i < 300; ++i)
            t.push_back(fx::Lit((unsigned)(i * 37) & 0xFF));
        t.push_back(fx::Match(3, 0));
        t.push_back(fx::Match(256, 8191));
        t.push_back(fx::Match(40, 7));
        fx::BitWriter w;
        fx::WriteBlock(w, t);
        fx::WriteBlock(w, {fx::Lit('a'), fx::Match(10, 1), fx::Lit('b')});
        Seed(decDir, "matches-two-blocks", SizePrefix((uint32_t)fx::ExpandTokens(t).size() + 12),
             w.Finish());
    }
    {
        std::vector<uint8_t> lengths(510, 0);
        for (unsigned i = 0; i < 16; ++i)
            lengths['a' + i] = (uint8_t)(i + 1);
        lengths['q'] = 16;
        std::vector<fx::Token> t;
        for (unsigned i = 0; i < 17; ++i)
            t.push_back(fx::Lit('a' + i));
        fx::BitWriter w;
        fx::WriteBlock(w, t, lengths);
        Seed(decDir, "long-codes", SizePrefix(17), w.Finish());
    }
    {
        fx::BitWriter w;
        w.Put(16, 1);
        w.Put(5, 31);
        w.Put(32, 0xFFFFFFFF);
        Seed(decDir, "too-many-lengths", SizePrefix(100), w.Finish());
    }
    return 0;
}
