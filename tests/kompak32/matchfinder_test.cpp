// The encoder's match finder against a plain search of the window: at every position its
// answer must be the longest match (at most 256 bytes) among the 8,191 positions before it
// and, among equally long ones, the newest. The archive bytes rest on exactly this answer,
// and a tree that kept an out-of-date position would still give a correct archive, only
// another one; the round trips cannot see that, this comparison does. The inputs are made
// to grow deep trees and long climbs (runs and periods of many lengths), to come back into
// those trees from their roots afterwards, and to cross the window's slides.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "lh5_matchfinder.h"
#include "writer_test_util.h"

namespace {

using namespace matchfinder;

struct Source {
    const std::vector<uint8_t> *data;
    std::size_t at;
};

std::size_t ReadSource(void *context, uint8_t *buffer, std::size_t count) {
    auto *source = static_cast<Source *>(context);
    std::size_t n = std::min(count, source->data->size() - source->at);
    std::memcpy(buffer, source->data->data() + source->at, n);
    source->at += n;
    return n;
}

// The longest match for the string at curPos among the `before` positions behind it in the
// text buffer, the newest of equally long ones.
void PlainSearch(const MatchFinder &m, int before, int &length, int &position) {
    const uint8_t *text = m.textBuffer;
    length = 0;
    position = 0;
    for (int p = m.curPos - 1; p >= m.curPos - before; --p) {
        if (length == MAX_MATCH)
            break;
        if (text[p + length] != text[m.curPos + length])
            continue; // cannot be longer than the best so far
        int n = 0;
        while (n < MAX_MATCH && text[p + n] == text[m.curPos + n])
            ++n;
        if (n > length) {
            length = n;
            position = p;
        }
    }
}

// Feeds the data through the match finder the way the sequential driver does and compares
// its answer at every position; returns the number of positions that differ (reporting the
// first few).
int CountWrongAnswers(const std::vector<uint8_t> &data, const std::string &what) {
    auto finder = std::make_unique<MatchFinder>(); // value-initialised: zeros behind the input
    MatchFinder &m = *finder;
    Source source = {&data, 0};
    m.read = ReadSource;
    m.readContext = &source;
    InitMatchFinder(m);
    StartMatchFinder(m);
    int wrong = 0;
    for (std::size_t at = 0; at < data.size(); ++at) {
        if (at > 0)
            AdvancePosition(m);
        ClampBestLen(m); // as the driver does: a match ends with the input
        int length, position;
        PlainSearch(m, static_cast<int>(std::min<std::size_t>(at, WINDOW_SIZE - 1)), length,
                    position);
        length = std::min(length, static_cast<int>(data.size() - at)); // and so does this one
        if (length < MIN_MATCH) // none
            length = 0;
        int gotLength = m.bestLen >= MIN_MATCH ? m.bestLen : 0;
        if (gotLength != length || (length > 0 && m.bestPos != position)) {
            if (++wrong <= 3)
                ADD_FAILURE() << what << ": at " << at << " the finder says length " << gotLength
                              << " distance " << m.curPos - m.bestPos << ", the window has "
                              << length << " at distance " << m.curPos - position;
        }
    }
    return wrong;
}

void Append(std::vector<uint8_t> &data, const std::vector<uint8_t> &more) {
    data.insert(data.end(), more.begin(), more.end());
}

// Runs of one byte of many lengths, each followed by other bytes, then strings that walk
// back into the run's tree from its root: b^k followed by bytes the run never had.
std::vector<uint8_t> RunsAndReturns(uint32_t seed) {
    std::vector<uint8_t> data;
    std::vector<uint8_t> noise = RandomBytes(20000, seed);
    std::size_t n = 0;
    for (int round = 0; round < 5; ++round) {
        for (int k : {300, 12, 40, 257, 9, 600, 5, 100}) {
            Append(data, SameByte(static_cast<std::size_t>(k), 'a'));
            for (int i = 0; i < 20; ++i)
                data.push_back(noise[n++]);
            for (int back : {3, 4, 7, 9, 10, 11, 17, 33, 64, 200}) {
                Append(data, SameByte(static_cast<std::size_t>(back), 'a'));
                data.push_back(static_cast<uint8_t>('b' + back % 5));
                for (int i = 0; i < 3; ++i)
                    data.push_back(noise[n++]);
            }
        }
    }
    return data;
}

// A period of p bytes repeated r times, for several p: deep trees whose chains run through
// many levels, with matches that end at every offset of the period.
std::vector<uint8_t> Periods(uint32_t seed) {
    std::vector<uint8_t> data;
    std::vector<uint8_t> noise = RandomBytes(20000, seed);
    std::size_t n = 0;
    for (int p : {2, 3, 5, 16, 31, 130, 255, 256, 257}) {
        std::vector<uint8_t> unit(noise.begin() + static_cast<long>(n),
                                  noise.begin() + static_cast<long>(n) + p);
        n += static_cast<std::size_t>(p);
        for (int r = 0; r < 2400 / p + 3; ++r)
            Append(data, unit);
        // The period again with its tail changed: walks down the same tree and leaves it.
        for (int cut = 1; cut < p && cut < 40; cut += 3) {
            Append(data, std::vector<uint8_t>(unit.begin(), unit.begin() + cut));
            data.push_back(noise[n++]);
        }
    }
    return data;
}

// A string S of 30 distinct bytes that branches at every depth (S[0..k) followed by other
// bytes, for every k), then a copy of S, whose positions each climb through many nodes
// from where the previous match ended, and S's tail again after other bytes, which walks
// back down into those nodes from the root.
std::vector<uint8_t> BranchingString(int tailFrom, uint32_t seed) {
    std::vector<uint8_t> noise = RandomBytes(4000, seed);
    for (uint8_t &b : noise)
        b |= 0x80; // never one of S's bytes
    std::size_t n = 0;
    std::vector<uint8_t> data;
    auto piece = [&](int from, int to) {
        for (int i = from; i < to; ++i)
            data.push_back(static_cast<uint8_t>('A' + i));
    };
    auto other = [&](int count) {
        data.insert(data.end(), noise.begin() + static_cast<long>(n),
                    noise.begin() + static_cast<long>(n + static_cast<std::size_t>(count)));
        n += static_cast<std::size_t>(count);
    };
    for (int k = 2; k <= 30; ++k) {
        piece(0, k);
        other(6);
    }
    other(20);
    piece(0, 30);
    other(20);
    piece(tailFrom, 28);
    other(10);
    return data;
}

TEST(MatchFinder, AnswersTheLongestNewestMatchOfTheWindowAtEveryPosition) {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs;
    inputs.push_back({"runs and returns", RunsAndReturns(1)});
    inputs.push_back({"periods", Periods(2)});
    inputs.push_back({"text", TextLike(40000, 3)});
    // Text with runs spliced in, across two slides of the window.
    std::vector<uint8_t> mixed = TextLike(30000, 4);
    for (std::size_t at = 1000; at + 700 < mixed.size(); at += 2900)
        std::fill(mixed.begin() + static_cast<long>(at),
                  mixed.begin() + static_cast<long>(at + 150 + at % 500), mixed[at]);
    inputs.push_back({"text with runs", mixed});
    // Records whose counters repeat with variations: many equally long matches.
    std::vector<uint8_t> records;
    for (unsigned i = 0; i < 2500; ++i) {
        const char tag[] = "REC:";
        records.insert(records.end(), tag, tag + 4);
        records.push_back(static_cast<uint8_t>(i % 13));
        records.push_back(static_cast<uint8_t>(i % 7));
        records.insert(records.end(), 3 + i % 5, static_cast<uint8_t>(i % 3));
    }
    inputs.push_back({"records", records});
    std::vector<uint8_t> branching;
    for (int tailFrom = 2; tailFrom < 26; ++tailFrom)
        Append(branching, BranchingString(tailFrom, static_cast<uint32_t>(tailFrom)));
    inputs.push_back({"branching strings", branching});
    for (const auto &input : inputs) {
        ASSERT_GT(input.second.size(), 2u * WINDOW_SIZE + 256) << input.first;
        EXPECT_EQ(CountWrongAnswers(input.second, input.first), 0) << input.first;
        // Ending anywhere: the driver shortens the last matches to the input left, and the
        // finder goes on from the shortened match.
        for (std::size_t cut : {8200u, 8449u, 12345u})
            EXPECT_EQ(CountWrongAnswers({input.second.begin(), input.second.begin() + cut},
                                        input.first + " cut short"),
                      0)
                << input.first << " cut at " << cut;
    }
}

} // namespace
