// Parallel match search for the -lh5- encoder: a worker thread and the calling thread search
// chunks of the input with trees of their own, and the calling thread does the lazy matching
// and block coding over their results in order.
//
// What the tree answers at a position - the longest match among the 8,191 positions before it
// (at most 256 bytes) and, among equally long ones, the newest - depends only on the text,
// not on how the tree came to hold those positions. A tree that starts 8,192 positions before
// a chunk therefore answers inside the chunk exactly as the one tree of the sequential driver
// does, and the coded bytes are the same. The text includes what the sequential driver's
// buffer holds behind the end of the input (see TextAt), which can steer the choice between
// equally long matches near the end.
#include <algorithm>
#include <memory>
#include <new>

#include "lh5_encoder.h"
#include "lh5_matchfinder.h"
#include "lzh_error.h"
#include "lzh_thread.h"

using namespace matchfinder;

namespace {

constexpr int RING_CHUNKS = 16; // chunks of input and results held at once (power of two)
constexpr int TAKE_WINDOW = 8;  // chunks from the first unsearched one that a searcher may take
constexpr std::size_t READ_PIECE = 8192;
constexpr int64_t UNKNOWN_LENGTH = INT64_MAX;

// The search's answer at one position.
struct PositionMatch {
    uint16_t length;    // bestLen: 1-256, a match only from 3 on
    uint16_t distance;  // (position - match position - 1) AND 8,191
};

struct Pipeline;

// A tree and where it stands, used by one thread at a time.
struct Searcher {
    std::unique_ptr<MatchFinder> finder;
    Pipeline *pipeline = nullptr;
    int64_t next = -1;       // first position not entered yet, when the tree can go on there
    int64_t readOffset = 0;  // input offset of the next fill of the text buffer
    int64_t limit = 0;       // text from here on was not known when it was filled in (zeros)
    int64_t length = UNKNOWN_LENGTH; // input length as known when the current chunk began
    int64_t current = -2;    // chunk it searches or searched last (under the pipeline's lock)
};

struct Pipeline {
    int chunkShift = 0;
    int64_t chunkSize = 0;
    // Input and search results of RING_CHUNKS chunks: offset o lives at index o & ringMask.
    int64_t ringMask = 0;
    std::unique_ptr<uint8_t[]> ring;
    std::unique_ptr<PositionMatch[]> results;
    InputReadFn read = nullptr;
    void *readContext = nullptr;
    Searcher searchers[2]; // [0] the calling thread's, [1] the worker's

    SharedLock *lock = nullptr; // with the signal of changes below
    ~Pipeline() {
        if (lock)
            DestroySharedLock(lock);
    }
    // Under the lock:
    int64_t loadedEnd = 0;              // input bytes read into the ring
    bool atEnd = false;                 // a read came up short: the input is loadedEnd long
    int64_t takenTask[RING_CHUNKS] = {}; // chunk last taken to search in each slot, or -1
    int64_t doneTask[RING_CHUNKS] = {};  // chunk whose results each slot holds, or -1
    int64_t readyTasks = 0;             // chunks 0 .. readyTasks - 1 are all searched
    bool stop = false;
};

// Holds the pipeline's lock while in scope, also when the coding raises an error.
struct Hold {
    SharedLock *lock;
    bool held = true;
    explicit Hold(SharedLock *l) : lock(l) { EnterSharedLock(lock); }
    ~Hold() {
        if (held)
            LeaveSharedLock(lock);
    }
    Hold(const Hold &) = delete;
    Hold &operator=(const Hold &) = delete;
    void Release() {
        LeaveSharedLock(lock);
        held = false;
    }
    void Retake() {
        EnterSharedLock(lock);
        held = true;
    }
};

int64_t InputLength(const Pipeline &pl) {
    return pl.atEnd ? pl.loadedEnd : UNKNOWN_LENGTH;
}

// The byte at input offset o as the sequential driver's text buffer shows it to the search.
// Behind the end of the input (length) the buffer still holds what was there before the last
// slide, 8,192 bytes earlier in the input, or the zeros it started with when the input never
// reached past the first 8,448 bytes. Offsets up to length + 263 are asked for.
uint8_t TextAt(const Pipeline &pl, int64_t o, int64_t length) {
    if (o >= length) {
        if (o < FIRST_READ)
            return 0;
        o -= WINDOW_SIZE;
    }
    return pl.ring[o & pl.ringMask];
}

// Fills dst with the text at offsets from .. from + count - 1; zeros from limit on.
void ReadText(const Pipeline &pl, int64_t from, uint8_t *dst, int64_t count, int64_t limit,
              int64_t length) {
    const int64_t ringSize = pl.ringMask + 1;
    int64_t direct = std::max<int64_t>(0, std::min(std::min(limit, length) - from, count));
    int64_t i = 0;
    while (i < direct) {
        int64_t at = (from + i) & pl.ringMask;
        int64_t piece = std::min(direct - i, ringSize - at);
        std::memcpy(dst + i, pl.ring.get() + at, static_cast<std::size_t>(piece));
        i += piece;
    }
    for (; i < count && from + i < limit; ++i)
        dst[i] = TextAt(pl, from + i, length);
    std::memset(dst + i, 0, static_cast<std::size_t>(count - i));
}

// The match finder's reads, served from the ring.
std::size_t SearcherRead(void *context, uint8_t *buffer, std::size_t count) {
    auto *s = static_cast<Searcher *>(context);
    ReadText(*s->pipeline, s->readOffset, buffer, static_cast<int64_t>(count), s->limit, s->length);
    s->readOffset += static_cast<int64_t>(count);
    return count;
}

// Searches the positions of one chunk and stores the answers. A position's answer needs the
// text up to 263 bytes behind it, so the chunk's text is known up to its end + 264 (the
// next chunk is in the ring, or the input ends). The tree goes on from the previous chunk
// when it searched that one and holds no text that was unknown then; chunks begin at
// multiples of 8,192, and so do the tree's slides, so its text ends 256 bytes behind the
// chunk's end. Otherwise the tree is refilled with the 8,192 positions before the chunk.
void SearchChunk(Searcher &s, int64_t task, int64_t length) {
    Pipeline &pl = *s.pipeline;
    MatchFinder &m = *s.finder;
    const int64_t start = task << pl.chunkShift;
    const int64_t end = std::min(start + pl.chunkSize, length);
    const int64_t limit = end + MAX_MATCH + TEXT_PADDING;
    int64_t p;
    if (s.next == start && start > 0 && s.readOffset <= s.limit) {
        s.limit = limit;
        s.length = length;
        AdvancePosition(m);
        p = start;
    } else {
        const int64_t first = start >= WINDOW_SIZE ? start - WINDOW_SIZE : 0;
        s.limit = limit;
        s.length = length;
        s.readOffset = first;
        InitMatchFinder(m);
        m.read = SearcherRead;
        m.readContext = &s;
        StartMatchFinder(m);
        for (p = first; p < start; ++p)
            AdvancePosition(m);
    }
    for (;;) {
        PositionMatch &r = pl.results[p & pl.ringMask];
        r.length = static_cast<uint16_t>(m.bestLen);
        r.distance = static_cast<uint16_t>((m.curPos - m.bestPos - 1) & (WINDOW_SIZE - 1));
        if (++p == end)
            break;
        AdvancePosition(m);
    }
    m.bytesAhead = 0; // unused here; kept from running away over long inputs
    s.next = end;
}

// A chunk can be searched once the chunk after it is in the ring (or the input has ended).
// Its result slot is free by then: the chunk after can only be read once the coding has
// passed the chunk that used the slot before.
bool IsFreeTask(const Pipeline &pl, int64_t task) {
    if (task < pl.readyTasks || pl.takenTask[task & (RING_CHUNKS - 1)] == task)
        return false;
    const int64_t start = task << pl.chunkShift;
    if (pl.atEnd)
        return start < pl.loadedEnd;
    return pl.loadedEnd >= start + 2 * pl.chunkSize;
}

// Chooses the next chunk for searcher s, or -1. The chunk right after its last one lets its
// tree go on without refilling it. Otherwise it takes the first free chunk; when that one
// lies right behind the other searcher's chunk, where the other goes on next, it jumps to
// the middle of the free chunks there instead, so that both can go on for a while from
// where they are before one runs into the other, and each refill serves a run of chunks.
int64_t TakeTask(Pipeline &pl, Searcher &s, const Searcher &other) {
    int64_t task = -1;
    const int64_t go = s.next >> pl.chunkShift;
    if (s.next > 0 && (s.next & (pl.chunkSize - 1)) == 0 && IsFreeTask(pl, go)) {
        task = go;
    } else {
        const int64_t windowEnd = pl.readyTasks + TAKE_WINDOW;
        for (int64_t t = pl.readyTasks; t < windowEnd; ++t) {
            if (!IsFreeTask(pl, t))
                continue;
            task = t;
            if (t == other.current + 1) {
                int64_t run = 1;
                while (t + run < windowEnd && IsFreeTask(pl, t + run))
                    ++run;
                task = t + run / 2;
            }
            break;
        }
    }
    if (task >= 0) {
        pl.takenTask[task & (RING_CHUNKS - 1)] = task;
        s.current = task;
    }
    return task;
}

void FinishTask(Pipeline &pl, int64_t task) {
    pl.doneTask[task & (RING_CHUNKS - 1)] = task;
    while (pl.doneTask[pl.readyTasks & (RING_CHUNKS - 1)] == pl.readyTasks)
        ++pl.readyTasks;
    SignalChange(pl.lock);
}

void WorkerLoop(void *pipeline) {
    Pipeline &pl = *static_cast<Pipeline *>(pipeline);
    Hold hold(pl.lock);
    for (;;) {
        int64_t task = -1;
        while (!pl.stop && (task = TakeTask(pl, pl.searchers[1], pl.searchers[0])) < 0)
            WaitForChange(pl.lock, WORKER_PARTY);
        if (pl.stop)
            return;
        int64_t length = InputLength(pl);
        hold.Release();
        SearchChunk(pl.searchers[1], task, length);
        hold.Retake();
        FinishTask(pl, task);
    }
}

// Reads the chunk that begins at offset from (a chunk boundary) into the ring. Returns the
// bytes read; shortRead tells that the input ended.
int64_t LoadChunk(Pipeline &pl, int64_t from, bool &shortRead) {
    const int64_t end = from + pl.chunkSize;
    int64_t at = from;
    while (at < end) {
        std::size_t want = static_cast<std::size_t>(std::min<int64_t>(READ_PIECE, end - at));
        std::size_t n = pl.read(pl.readContext, pl.ring.get() + (at & pl.ringMask), want);
        at += static_cast<int64_t>(n);
        if (n < want) {
            shortRead = true;
            break;
        }
    }
    return at - from;
}

// The coding's place: the position the sequential driver's curPos stands for, and the
// search's answer there, clamped to the input left.
struct CodingState {
    int64_t pos = 0;
    int len = 0;
    unsigned distance = 0;
    bool started = false;
};

// Input the sequential driver has read when its coding stands at pos: 8,448 bytes, and
// 8,192 more at each slide (whenever pos reaches a multiple of 8,192).
uint32_t InputReadAt(int64_t pos, int64_t length) {
    int64_t read = std::min<int64_t>(length, FIRST_READ + (pos & ~int64_t(WINDOW_SIZE - 1)));
    return static_cast<uint32_t>(std::min<int64_t>(read, UINT32_MAX));
}

// Lazy matching over the searched positions, step for step as the sequential driver does it,
// until it needs answers beyond ready (or the input is coded, or compression abandoned).
void CodeReady(const Pipeline &pl, CodingState &cs, BlockCoder &coder, int64_t ready,
               int64_t length) {
    const bool all = ready >= length;
    auto answer = [&](int64_t q) {
        if (q >= length) {
            cs.len = 0;
            return;
        }
        const PositionMatch &r = pl.results[q & pl.ringMask];
        cs.len = static_cast<int>(std::min<int64_t>(r.length, length - q));
        cs.distance = r.distance;
    };
    if (!cs.started) {
        if (!all && ready < 1)
            return;
        answer(0);
        cs.started = true;
    }
    // A step from pos reads the answers at pos + 1 .. pos + 256.
    while (cs.pos < length && !coder.storeInstead && (all || cs.pos + MAX_MATCH < ready)) {
        const int lastLen = cs.len;
        const unsigned lastDistance = cs.distance;
        ++cs.pos;
        coder.bytesRead = InputReadAt(cs.pos, length);
        answer(cs.pos);
        if (cs.len > lastLen || lastLen < MIN_MATCH) {
            EmitItem(coder, pl.ring[(cs.pos - 1) & pl.ringMask], 0);
        } else {
            EmitItem(coder, static_cast<unsigned>(lastLen + (256 - MIN_MATCH)), lastDistance);
            cs.pos += lastLen - 1;
            answer(cs.pos);
        }
    }
}

// Stops the worker and waits for it, however the coding ends.
struct WorkerGuard {
    Pipeline &pl;
    WorkerThread *worker;
    ~WorkerGuard() {
        {
            Hold hold(pl.lock);
            pl.stop = true;
        }
        SignalChange(pl.lock);
        JoinWorkerThread(worker);
    }
};

} // namespace

bool CompressLh5Parallel(BlockCoder &coder, InputReadFn read, void *readContext, int chunkShift) {
    std::unique_ptr<Pipeline> pipeline(new (std::nothrow) Pipeline);
    if (!pipeline)
        RaiseLibraryError(TEXT_OUT_OF_MEMORY);
    Pipeline &pl = *pipeline;
    pl.chunkShift = chunkShift;
    pl.chunkSize = int64_t(1) << chunkShift;
    pl.ringMask = pl.chunkSize * RING_CHUNKS - 1;
    pl.ring.reset(new (std::nothrow) uint8_t[pl.ringMask + 1]);
    pl.results.reset(new (std::nothrow) PositionMatch[pl.ringMask + 1]);
    if (!pl.ring || !pl.results)
        RaiseLibraryError(TEXT_OUT_OF_MEMORY);
    for (Searcher &s : pl.searchers) {
        // Left as allocated: a searcher's first chunk sets up its tree (InitMatchFinder).
        s.finder.reset(new (std::nothrow) MatchFinder);
        if (!s.finder)
            RaiseLibraryError(TEXT_OUT_OF_MEMORY);
        s.pipeline = &pl;
    }
    for (int i = 0; i < RING_CHUNKS; ++i)
        pl.takenTask[i] = pl.doneTask[i] = -1;
    pl.read = read;
    pl.readContext = readContext;

    // Without a lock or a thread (none here, or none left) the caller runs the sequential driver.
    pl.lock = CreateSharedLock();
    if (!pl.lock)
        return false;
    WorkerThread *worker = StartWorkerThread(WorkerLoop, &pl);
    if (!worker)
        return false;
    WorkerGuard guard{pl, worker};

    StartBlockOutput(coder);
    CodingState cs;
    Hold hold(pl.lock);
    for (;;) {
        // Read the next chunk as soon as its slot is free: the coding has passed the chunk
        // before the one that used it (whose text the search of the next chunk still reads).
        const int64_t chunk = pl.loadedEnd >> pl.chunkShift;
        if (!pl.atEnd && (chunk < RING_CHUNKS - 1 ||
                          cs.pos > ((chunk - RING_CHUNKS + 1) << pl.chunkShift))) {
            const int64_t from = pl.loadedEnd;
            hold.Release();
            bool shortRead = false;
            int64_t n = LoadChunk(pl, from, shortRead);
            hold.Retake();
            pl.loadedEnd += n;
            pl.atEnd = shortRead;
            SignalChange(pl.lock);
            continue;
        }

        const int64_t length = InputLength(pl);
        const int64_t readyTasks = pl.readyTasks;
        const int64_t ready = std::min(readyTasks << pl.chunkShift, length);
        const int64_t before = cs.pos;
        hold.Release();
        CodeReady(pl, cs, coder, ready, length);
        hold.Retake();
        if (coder.storeInstead || cs.pos >= length)
            break;
        if (cs.pos != before)
            continue;

        // Nothing to code yet: search a chunk here too, or wait for the worker's.
        int64_t task = TakeTask(pl, pl.searchers[0], pl.searchers[1]);
        if (task >= 0) {
            hold.Release();
            SearchChunk(pl.searchers[0], task, length);
            hold.Retake();
            FinishTask(pl, task);
            continue;
        }
        // (The worker may have finished one while this thread was coding.)
        while (pl.readyTasks == readyTasks)
            WaitForChange(pl.lock, CALLER_PARTY);
    }
    const int64_t length = pl.loadedEnd;
    hold.Release();
    coder.bytesRead = InputReadAt(length, length);
    FinishBlockOutput(coder);
    return true;
}
