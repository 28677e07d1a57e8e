// chain_parser.cpp - greedy and lazy parsing over the hash-chain match finder
// (fast and normal effort).
//
// Greedy parsing takes the longest match at each position; lazy parsing
// looks one byte ahead first and takes a literal when the next position has
// the longer match. Input is judged chunk by chunk before it is parsed, by a
// quick estimate of what matches can cover; where they are rare
// (already-compressed data), the parse takes the few matches the estimate
// found that are long enough to pay and codes the rest as literals, which
// codes such data faster and no larger.
#include "codec/chain_parser.h"

#include <algorithm>

namespace lzh {

namespace {

constexpr std::size_t kProbeChunk = std::size_t(64) << 10;
constexpr std::size_t kSparseShare = 1024;  // a chunk is sparse when quick matches cover under 1/1024 of it
// In sparse data a short match costs about what its bytes cost as literals.
constexpr unsigned kSparseMinMatch = 8;

}  // namespace

ChainParser::ChainParser(const Method& m, bool lazy, const MatchFinderParams& finder_params,
                         BlockWriter& writer, std::uint64_t size_hint)
    : lazy_(lazy),
      finder_params_(finder_params),
      writer_(writer),
      finder(m.dict_bits, finder_params, size_hint),
      probe(m.dict_bits, size_hint)
{}

std::size_t ChainParser::fill(const std::uint8_t* data, std::size_t size)
{
    return finder.fill(data, size);
}

void ChainParser::parse(bool finishing, bool window_full)
{
    decide_chunks(finishing, window_full);
    parse_window(finishing);
}

bool ChainParser::sparse_only() const
{
    return decided_end > 0 && all_sparse;
}

/*
 * Codes input from the cursor on. While more input may follow, it stops where
 * less than a full match plus one byte is left ahead (the lazy look-ahead must
 * see a whole match); with `finishing` it runs to the end.
 */
void ChainParser::parse_window(bool finishing)
{
    const std::size_t need = finishing ? 1 : kMaxMatch + 2;
    const unsigned nice = finder_params_.nice_len;
    while (finder.lookahead() >= need) {
        if (!pending && !judged())
            break;
        if (sparse) {
            sparse_step(need);
            continue;
        }
        if (!lazy_) {
            const Match m = finder.find(0);
            if (m.len >= kMinMatch) {
                emit_match(m);
                finder.skip(m.len - 1);
            } else {
                emit_literal(finder.byte_at(-1));
            }
            continue;
        }
        if (!pending) {
            // Literals up to the next match, in this chunk and with a whole
            // match ahead of each position.
            const std::size_t room = std::min<std::size_t>(std::size_t(judged_end - finder.position()),
                                                           finder.lookahead() + 1 - need);
            const Match m = finder.find_literals(room, writer_);
            if (m.len < kMinMatch) {
                emit_literal(finder.byte_at(-1));
            } else if (m.len >= nice) {
                emit_match(m);
                finder.skip(m.len - 1);
            } else {
                pending = true;
                held = m;
            }
            continue;
        }
        // `held` starts one byte back; take it unless the cursor has a longer
        // one (one byte longer but over eight times as far does not pay: the
        // position's extra bits cost about what the byte saves).
        const Match m = finder.find(held.len);
        if (m.len > held.len && !(m.len == held.len + 1 && (m.dist >> 3) > held.dist)) {
            emit_literal(finder.byte_at(-2));
            held = m;
            if (m.len >= nice) {
                emit_match(m);
                finder.skip(m.len - 1);
                pending = false;
            }
        } else {
            emit_match(held);
            finder.skip(held.len - 2);
            pending = false;
        }
    }
    if (finishing && pending) {
        // Not reached in practice (a held match always has bytes ahead), kept for safety.
        emit_match(held);
        finder.skip(std::min<std::size_t>(held.len - 1, finder.lookahead()));
        pending = false;
    }
}

/*
 * Judges the input appended to the finder in chunks of kProbeChunk bytes, as
 * each is complete; with `finishing`, also the shorter last one; with
 * `force`, whatever is there (the window is full: the parse must move on).
 * A chunk is sparse when quick matches, into the chunk itself or the
 * dictionary before it, would cover under 1/kSparseShare of it.
 */
void ChainParser::decide_chunks(bool finishing, bool force)
{
    const std::uint64_t have = finder.stream_end();
    while (decided_end < have) {
        std::uint64_t end = decided_end + kProbeChunk;
        if (end > have) {
            if (!finishing && !force)
                break;
            end = have;
        }
        const std::size_t n = std::size_t(end - decided_end);
        const std::size_t enough = n / kSparseShare + 1;
        probe_found.clear();
        const bool is_sparse =
            probe.coverage(finder.data_at(decided_end), decided_end, n, enough, &probe_found) < enough;
        if (is_sparse)
            for (const MatchProbe::Found& f : probe_found)
                if (f.m.len >= kSparseMinMatch)
                    sparse_matches.push_back(f);
        all_sparse = all_sparse && is_sparse;
        chunks.push_back({end, is_sparse});
        decided_end = end;
    }
}

// Whether the input at the cursor is judged; sets `sparse` for it.
bool ChainParser::judged()
{
    const std::uint64_t at = finder.position();
    if (at < judged_end)
        return true;
    while (!chunks.empty() && at >= chunks.front().end)
        chunks.pop_front();
    if (chunks.empty())
        return false;
    sparse = chunks.front().sparse;
    judged_end = chunks.front().end;
    return true;
}

/*
 * One step through a sparse chunk: the judge's match at the cursor, or the
 * literals up to its next match, the end of the chunk or where less than
 * `need` bytes would be left ahead. The finder searches nowhere in the chunk;
 * the positions passed that a search after it can reach are entered, so that
 * later input can match this data.
 */
void ChainParser::sparse_step(std::size_t need)
{
    const std::uint64_t at = finder.position();
    while (!sparse_matches.empty() && sparse_matches.front().pos < at)
        sparse_matches.pop_front();
    std::uint64_t stop = std::min(chunks.front().end, finder.stream_end() + 1 - need);
    if (!sparse_matches.empty()) {
        const MatchProbe::Found& f = sparse_matches.front();
        if (f.pos == at) {
            const Match m = f.m;
            sparse_matches.pop_front();
            emit_match(m);
            finder.pass(m.len, chunks.front().end);
            return;
        }
        stop = std::min(stop, f.pos);
    }
    const std::size_t n = std::size_t(stop - at);
    writer_.literals(finder.data_at(at), n);
    finder.pass(n, chunks.front().end);
}

}  // namespace lzh
