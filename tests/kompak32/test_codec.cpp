// CRC-16, DOS date/time conversion and the member header codec.
#include <gtest/gtest.h>

#include <cstring>

#include "lzh_crc.h"
#include "lzh_dostime.h"
#include "lzh_fixtures.h"
#include "lzh_header.h"
#include "lzh_state.h"
#include "lzh_stream.h"

using fx::Bytes;

TEST(Crc16, KnownVectorsPiecesAndFlippedBit)
{
    const char *check = "123456789";
    EXPECT_EQ(Crc16Update(0, check, 9), 0xBB3D); // CRC-16/ARC check value
    EXPECT_EQ(Crc16Update(0, "", 0), 0);
    EXPECT_EQ(Crc16Update(0x1234, "", 0), 0x1234); // empty input leaves the value
    EXPECT_EQ(Crc16Update(0, "A", 1), 0x30C0);

    Bytes data = fx::RandomData(10007, 3);
    uint16_t whole = Crc16Update(0, data.data(), data.size());
    EXPECT_EQ(whole, fx::ReferenceCrc16(data));
    // Fed in odd-sized pieces (crossing the 8-byte steps) the result is the same.
    uint16_t crc = 0;
    std::size_t pos = 0, step = 1;
    while (pos < data.size()) {
        std::size_t n = std::min(step, data.size() - pos);
        crc = Crc16Update(crc, data.data() + pos, n);
        pos += n;
        step = step * 3 % 61 + 1;
    }
    EXPECT_EQ(crc, whole);
    // Every single flipped bit changes the CRC.
    for (std::size_t bit = 0; bit < 64; ++bit) {
        Bytes d = data;
        d[bit * 151 % d.size()] ^= (uint8_t)(1u << (bit % 8));
        EXPECT_NE(Crc16Update(0, d.data(), d.size()), whole) << bit;
    }
}

TEST(Crc16, LongRunsAgreeWithTheBitwiseDefinitionAtEveryLengthAndStart)
{
    // Long runs take the folding path where the processor has it; every length around its
    // 16- and 64-byte steps, any running value and any alignment give the same result.
    Bytes data = fx::RandomData(70000, 9);
    for (std::size_t len : {255u, 256u, 257u, 271u, 272u, 319u, 320u, 321u, 1000u, 8192u, 65543u}) {
        for (std::size_t offset : {0u, 1u, 7u}) {
            for (std::size_t split : {0u, 5u, 64u}) {
                Bytes whole(data.begin() + offset, data.begin() + offset + len + split);
                uint16_t head = Crc16Update(0, whole.data(), split);
                uint16_t crc = Crc16Update(head, whole.data() + split, len);
                EXPECT_EQ(crc, fx::ReferenceCrc16(whole)) << len << " " << offset << " " << split;
            }
        }
    }
    Bytes zeros(5000, 0);
    EXPECT_EQ(Crc16Update(0, zeros.data(), zeros.size()), 0);
}

TEST(DosTime, FieldsAndValidity)
{
    // 2026-12-07 13:45:58 -> date (46 << 9) | (12 << 5) | 7, time (13 << 11) | (45 << 5) | 29
    uint16_t date = (46 << 9) | (12 << 5) | 7, time = (13 << 11) | (45 << 5) | 29;
    CalendarTime t = CalendarFromDos(time, date);
    EXPECT_EQ(t.year, 2026);
    EXPECT_EQ(t.month, 12);
    EXPECT_EQ(t.day, 7);
    EXPECT_EQ(t.hour, 13);
    EXPECT_EQ(t.minute, 45);
    EXPECT_EQ(t.second, 58);
    EXPECT_TRUE(IsValidCalendarTime(t));
    EXPECT_EQ(DosTimeFromCalendar(t), time);
    EXPECT_EQ(DosDateFromCalendar(t), date);

    CalendarTime extremes = CalendarFromDos(0xFFFF, 0xFFFF);
    EXPECT_EQ(extremes.year, 2107);
    EXPECT_EQ(extremes.second, 62);
    EXPECT_FALSE(IsValidCalendarTime(extremes)); // month 15, hour 31, minute 63

    EXPECT_FALSE(IsValidCalendarTime(CalendarFromDos(0, 0)));           // month 0, day 0
    EXPECT_FALSE(IsValidCalendarTime(CalendarFromDos(0, (1 << 5) | 0))); // day 0
    EXPECT_TRUE(IsValidCalendarTime(CalendarFromDos(0, (1 << 5) | 1)));  // 1980-01-01
    // 29 February only in leap years (2000 is one, 2100 is not).
    EXPECT_TRUE(IsValidCalendarTime(CalendarFromDos(0, (20 << 9) | (2 << 5) | 29)));
    EXPECT_FALSE(IsValidCalendarTime(CalendarFromDos(0, (21 << 9) | (2 << 5) | 29)));
    EXPECT_FALSE(IsValidCalendarTime(CalendarFromDos(0, (120 << 9) | (2 << 5) | 29)));
    EXPECT_FALSE(IsValidCalendarTime(CalendarFromDos(0, (20 << 9) | (4 << 5) | 31)));
    EXPECT_FALSE(IsValidCalendarTime(CalendarFromDos(30 << 0, (20 << 9) | (4 << 5) | 1))); // 60 s
}

namespace {

bool ParseBytes(const Bytes &b, MemberHeader *h)
{
    return ParseMemberHeader(b.data(), b.size(), h);
}

} // namespace

TEST(MemberHeaderCodec, HandBuiltHeaderParsesAndEncodesIdentically)
{
    fx::HandMember m = fx::StoredMember("README.TXT", {'h', 'i'}, 0x6A3D, 0x5B87);
    Bytes bytes = fx::MemberBytes(m);
    bytes.resize(bytes.size() - 2); // header only
    MemberHeader h;
    ASSERT_TRUE(ParseBytes(bytes, &h));
    EXPECT_EQ(h.headerSize, 35);
    EXPECT_EQ(h.method, METHOD_LH0);
    EXPECT_EQ(h.compressedSize, 2u);
    EXPECT_EQ(h.originalSize, 2u);
    EXPECT_EQ(h.dosTime, 0x6A3D);
    EXPECT_EQ(h.dosDate, 0x5B87);
    EXPECT_EQ(h.nameLength, 10);
    EXPECT_STREQ(h.name, "README.TXT");
    EXPECT_EQ(h.dataCrc, m.dataCrc);

    uint8_t encoded[HEADER_MAX_BYTES];
    ASSERT_EQ(EncodeMemberHeader(h, encoded), bytes.size());
    EXPECT_EQ(Bytes(encoded, encoded + bytes.size()), bytes);
}

TEST(MemberHeaderCodec, RejectsWhatIsNoMember)
{
    fx::HandMember m = fx::StoredMember("A.DLL", {1, 2, 3});
    const Bytes good = fx::MemberBytes(m);
    MemberHeader h;
    ASSERT_TRUE(ParseBytes(good, &h));

    Bytes badSum = good;
    badSum[1] ^= 1;
    EXPECT_FALSE(ParseBytes(badSum, &h));

    Bytes badMethod = good;
    badMethod[5] = '6'; // "-lh6-", checksum corrected
    badMethod[1] = (uint8_t)(badMethod[1] + 1);
    EXPECT_FALSE(ParseBytes(badMethod, &h));

    fx::HandMember empty = fx::StoredMember("", {1});
    EXPECT_FALSE(ParseBytes(fx::MemberBytes(empty), &h)); // headerSize 25

    Bytes shortHeader(good.begin(), good.begin() + 20);
    EXPECT_FALSE(ParseBytes(shortHeader, &h));

    // A name count that reaches past the CRC field would read outside the header.
    Bytes longName = good;
    longName[21] = 200;
    longName[1] = (uint8_t)(longName[1] + 200 - 5);
    EXPECT_FALSE(ParseBytes(longName, &h));
}

TEST(MemberHeaderCodec, LongestNameAndStreamPosition)
{
    fx::TempDir dir;
    std::string name(MEMBER_NAME_LIMIT, 'N');
    fx::HandMember m = fx::StoredMember(name, {9, 8, 7});
    Bytes bytes = fx::MemberBytes(m);
    ASSERT_EQ(bytes[0], 255);
    fx::WriteFile(dir / "a", bytes);
    FilePtr f = OpenFile((dir / "a").c_str(), "rb");
    MemberHeader h;
    ASSERT_TRUE(ReadMemberHeader(f.get(), &h));
    EXPECT_EQ(std::string(h.name), name);
    EXPECT_EQ(std::ftell(f.get()), 255 + 2); // at the first data byte

    MemberHeader tooLong = h;
    tooLong.nameLength = MEMBER_NAME_LIMIT + 1;
    uint8_t out[HEADER_MAX_BYTES];
    EXPECT_EQ(EncodeMemberHeader(tooLong, out), 0u);

    // A file that ends inside a header holds no member.
    fx::WriteFile(dir / "cut", Bytes(bytes.begin(), bytes.begin() + 100));
    FilePtr cut = OpenFile((dir / "cut").c_str(), "rb");
    EXPECT_FALSE(ReadMemberHeader(cut.get(), &h));
}

namespace {
std::vector<uint32_t> reported;
int LZH_CALL KeepPercent(uint32_t percent, int32_t user)
{
    reported.push_back(percent + (uint32_t)user);
    return 0;
}
} // namespace

TEST(Progress, PercentWrapsIn32BitsAndEmptyTotalsReportCompletion)
{
    reported.clear();
    LZH_SetProgressFun(KeepPercent, 1000);
    ReportProgress(0, 100000000);
    ReportProgress(50000000, 100000000); // 5,000,000,000 wraps to 705,032,704
    ReportProgress(100000000, 100000000); // 10^10 wraps to 1,410,065,408
    ReportProgress(0, 0);                 // an empty member is complete
    ReportProgress(150, 100);             // a file that grew reports above 100
    LZH_SetProgressFun(nullptr, 0);
    ReportProgress(1, 2); // no hook: nothing
    EXPECT_EQ(reported, (std::vector<uint32_t>{1000, 1007, 1014, 1100, 1150}));
}
