// encoder.cpp - the -lh5-/-lh6-/-lh7- encoder: a parse strategy and a block
// writer, chosen by effort.
//
// The parser walks its match finder's window and hands one code per literal
// or match to the block writer (block_writer.cpp), which records them and
// codes them as blocks. Fast effort parses greedily over a small bucketed
// hash table (fast_parser.cpp); normal effort parses lazily, one byte of
// look-ahead, over hash chains (chain_parser.cpp) and takes sparse chunks
// (already-compressed data) on a cheap path. Best effort chooses the cheapest
// parse of each segment by its bit prices (optimal_parser.cpp).
#include "codec/encoder.h"

#include "codec/block_writer.h"
#include "codec/chain_parser.h"
#include "codec/fast_parser.h"
#include "codec/optimal_parser.h"

#include <cassert>
#include <memory>

namespace lzh {

namespace {

// One row per effort level.
struct EffortParams {
    bool lazy;     // look one byte ahead before taking a match
    bool optimal;  // choose the cheapest parse of each segment by its bit prices
    MatchFinderParams finder;
    std::size_t block_codes;      // codes a block holds at most (the final block up to kTailCodes more)
    std::size_t min_block_codes;  // a block may be cut down to this many codes when that pays
};

constexpr EffortParams kEfforts[] = {
    //  lazy  optimal chain nice good chain4   block  min block
    {false, false, {8, 32, 8, true}, 16384, 16384},  // fast: its own parser (finder unused)
    {true, false, {64, 128, 8, true}, 16384, 2048},  // normal
    {true, true, {32, 128, 256}, 16384, 128},        // best: chain = tree depth of the binary-tree finder
};
static_assert(16384 + kTailCodes <= kMaxBlockCodes);

const EffortParams& effort_params(Effort e)
{
    return kEfforts[static_cast<int>(e)];
}

}  // namespace

struct Encoder::Impl {
    Impl(const Method& m, Effort e, ByteSink& out, std::uint64_t size_hint)
        : params(effort_params(e)), writer(m, out, params.block_codes, params.min_block_codes, params.optimal)
    {
        assert(m.coded && m.np <= kMaxNP);
        if (params.optimal)
            parser = std::make_unique<OptimalParser>(m, params.finder, writer, size_hint);
        else if (e == Effort::fast)
            parser = std::make_unique<FastParser>(m, writer, size_hint);
        else
            parser = std::make_unique<ChainParser>(m, params.lazy, params.finder, writer, size_hint);
    }

    const EffortParams& params;
    BlockWriter writer;
    std::unique_ptr<Parser> parser;
    std::uint64_t in_bytes = 0;
    bool finished = false;
};

Encoder::Encoder(const Method& method, Effort effort, ByteSink& out, std::uint64_t size_hint)
    : impl_(std::make_unique<Impl>(method, effort, out, size_hint))
{}

Encoder::~Encoder() = default;

void Encoder::write(const std::uint8_t* data, std::size_t size)
{
    assert(!impl_->finished);
    Impl& d = *impl_;
    d.in_bytes += size;
    while (size > 0) {
        const std::size_t taken = d.parser->fill(data, size);
        data += taken;
        size -= taken;
        d.parser->parse(false, taken == 0);
    }
}

void Encoder::finish()
{
    Impl& d = *impl_;
    if (d.finished)
        return;
    d.parser->parse(true, false);
    d.writer.finish();
    d.finished = true;
}

std::uint64_t Encoder::bytes_in() const
{
    return impl_->in_bytes;
}

std::uint64_t Encoder::bytes_out() const
{
    return impl_->writer.bytes_out();
}

std::uint64_t Encoder::bytes_coded() const
{
    return impl_->writer.bytes_coded();
}

bool Encoder::sparse_only() const
{
    return impl_->parser->sparse_only();
}

std::uint64_t Encoder::blocks() const
{
    return impl_->writer.blocks_written();
}

std::uint64_t Encoder::last_block_bits() const
{
    return impl_->writer.final_block_bits();
}

std::vector<std::uint8_t> encode(const Method& method, Effort effort, std::span<const std::uint8_t> data)
{
    std::vector<std::uint8_t> out;
    VectorSink sink(out);
    Encoder enc(method, effort, sink, data.size());
    enc.write(data.data(), data.size());
    enc.finish();
    return out;
}

}  // namespace lzh
