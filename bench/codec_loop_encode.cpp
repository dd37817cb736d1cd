// The encoder side of codec_loop_bench (see there).
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "lh5_encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Source {
    const Bytes *data;
    std::size_t at;
};

std::size_t ReadSource(void *context, uint8_t *buffer, std::size_t count) {
    auto *s = static_cast<Source *>(context);
    std::size_t n = std::min(count, s->data->size() - s->at);
    std::memcpy(buffer, s->data->data() + s->at, n);
    s->at += n;
    return n;
}

void AppendOutput(void *context, const uint8_t *data, std::size_t count) {
    static_cast<Bytes *>(context)->insert(static_cast<Bytes *>(context)->end(), data, data + count);
}

} // namespace

Bytes EncodeInOneThread(const Bytes &data) {
    Bytes packed;
    auto coder = std::make_unique<BlockCoder>();
    ResetBlockCoder(*coder, AppendOutput, &packed);
    Source source = {&data, 0};
    CompressLh5Sequential(*coder, ReadSource, &source);
    return coder->storeInstead ? Bytes() : packed;
}

