// The -lh5- compression driver: lazy matching with one position of look-ahead over the
// match finder, read-ahead and window slide, and the choice between running it in one
// thread and the parallel match search.
#include "lh5_encoder.h"

#include <memory>
#include <new>

#include "lh5_matchfinder.h"
#include "lzh_error.h"
#include "lzh_stream.h"

using namespace matchfinder;

namespace {

// Inputs from this size on are searched by two threads when the process may use two
// processors.
// Each chunk that a thread does not take right after its previous one costs a tree filled
// with the 8,192 positions before it; below this size that costs more than it saves.
constexpr uint32_t PARALLEL_MIN_SIZE = 64 * 1024;

// Chunks of 32 KB keep both threads busy on smaller inputs, 64 KB fill fewer trees.
int ChunkShiftFor(uint32_t size) {
    return size < 1024 * 1024 ? 15 : 16;
}

// The coder counts the input as the coding reaches it: every read of the text buffer.
struct CountedInput {
    InputReadFn read;
    void *context;
    BlockCoder *coder;
};

std::size_t CountedRead(void *context, uint8_t *buffer, std::size_t count) {
    auto *input = static_cast<CountedInput *>(context);
    std::size_t n = input->read(input->context, buffer, count);
    input->coder->bytesRead += static_cast<uint32_t>(n);
    return n;
}

} // namespace

void CompressLh5Sequential(BlockCoder &coder, InputReadFn read, void *readContext) {
    // Left as allocated: InitMatchFinder sets up all it needs.
    std::unique_ptr<MatchFinder> finder(new (std::nothrow) MatchFinder);
    if (!finder)
        RaiseLibraryError(TEXT_OUT_OF_MEMORY);
    MatchFinder &m = *finder;
    CountedInput input = {read, readContext, &coder};
    m.read = CountedRead;
    m.readContext = &input;
    InitMatchFinder(m);

    StartBlockOutput(coder);
    StartMatchFinder(m);
    ClampBestLen(m);

    while (m.bytesAhead > 0 && !coder.storeInstead) {
        int lastLen = m.bestLen;
        int lastPos = m.bestPos;
        AdvancePosition(m);
        ClampBestLen(m);
        if (m.bestLen > lastLen || lastLen < MIN_MATCH) {
            EmitItem(coder, m.textBuffer[m.curPos - 1], 0);
        } else {
            // The match found one position back is not beaten by the one starting here.
            EmitItem(coder, static_cast<unsigned>(lastLen + (256 - MIN_MATCH)),
                     static_cast<unsigned>(m.curPos - lastPos - 2) & (WINDOW_SIZE - 1));
            for (int i = 1; i < lastLen; ++i)
                AdvancePosition(m);
            ClampBestLen(m);
        }
    }
    FinishBlockOutput(coder);
}

void CompressLh5(BlockCoder &coder, InputReadFn read, void *readContext, uint32_t sizeHint) {
    if (sizeHint >= PARALLEL_MIN_SIZE && UsableProcessorCount() >= 2 &&
        CompressLh5Parallel(coder, read, readContext, ChunkShiftFor(sizeHint)))
        return;
    CompressLh5Sequential(coder, read, readContext);
}
