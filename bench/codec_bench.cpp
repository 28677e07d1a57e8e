// codec_bench.cpp - speed and size of the codec alone on the benchmark corpus.
//
// usage: codec_bench CORPUS [METHOD] [EFFORT] [CATEGORY...]
//   METHOD lh5 | lh6 | lh7 (default lh5), EFFORT fast | normal | best (default normal).
// Every file of each category directory is read into memory first; then each
// is encoded (timed), decoded (timed) and compared. Prints per category: files,
// bytes in, bytes out (a file whose stream is not smaller counts as stored),
// ratio and MB/s (10^6 bytes of input per CPU second) of encoding and decoding.
// With CODEC_BENCH_DIGEST set, also an FNV-1a digest of each category's coded
// streams on stderr, to check that a change leaves the output as it was.
#include "codec/decoder.h"
#include "codec/encoder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct CountingSink : lzh::ByteSink {
    std::vector<std::uint8_t> data;
    void write(const std::uint8_t* p, std::size_t n) override { data.insert(data.end(), p, p + n); }
};

// Process CPU time: the machine may be shared, so wall-clock time would
// measure the neighbours too.
double cpu_now()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec * 1e-9;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: codec_bench CORPUS [lh5|lh6|lh7] [fast|normal|best] [CATEGORY...]\n");
        return 2;
    }
    const fs::path corpus = argv[1];
    const std::string mname = argc > 2 ? argv[2] : "lh5";
    const std::string ename = argc > 3 ? argv[3] : "normal";
    const lzh::Method* method = lzh::find_method("-" + mname + "-");
    if (!method || !method->coded) {
        std::fprintf(stderr, "unknown method %s\n", mname.c_str());
        return 2;
    }
    const lzh::Effort effort = ename == "fast"   ? lzh::Effort::fast
                               : ename == "best" ? lzh::Effort::best
                                                 : lzh::Effort::normal;
    std::vector<std::string> cats;
    for (int i = 4; i < argc; ++i)
        cats.push_back(argv[i]);
    if (cats.empty())
        cats = {"en-text", "ja-text", "source", "binary", "compressed"};

    std::printf("%-11s %6s %11s %11s %7s %9s %9s\n", "category", "files", "in", "out", "ratio", "enc MB/s",
                "dec MB/s");
    const bool digest = std::getenv("CODEC_BENCH_DIGEST") != nullptr;
    std::uint64_t all_in = 0, all_out = 0;
    double all_enc = 0, all_dec = 0;
    for (const auto& cat : cats) {
        std::vector<fs::path> paths;
        for (const auto& e : fs::recursive_directory_iterator(corpus / cat))
            if (e.is_regular_file() && !e.is_symlink())
                paths.push_back(e.path());
        std::sort(paths.begin(), paths.end());
        std::uint64_t in = 0, out = 0, fnv = 14695981039346656037ull;
        double enc_s = 0, dec_s = 0;
        for (const auto& p : paths) {
            std::ifstream f(p, std::ios::binary);
            const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(f)), {});
            if (data.empty())
                continue;
            CountingSink sink;
            double t0 = cpu_now();
            {
                lzh::Encoder enc(*method, effort, sink, data.size());
                enc.write(data.data(), data.size());
                enc.finish();
            }
            enc_s += cpu_now() - t0;
            t0 = cpu_now();
            const auto back = lzh::decode(*method, sink.data, data.size());
            dec_s += cpu_now() - t0;
            if (back != data) {
                std::fprintf(stderr, "MISMATCH %s\n", p.c_str());
                return 1;
            }
            for (const std::uint8_t b : sink.data)
                fnv = (fnv ^ b) * 1099511628211ull;
            in += data.size();
            out += std::min(sink.data.size(), data.size());
        }
        std::printf("%-11s %6zu %11llu %11llu %6.2f%% %9.1f %9.1f\n", cat.c_str(), paths.size(),
                    (unsigned long long)in, (unsigned long long)out, 100.0 * out / in, in / enc_s / 1e6,
                    in / dec_s / 1e6);
        if (digest)
            std::fprintf(stderr, "%-11s digest %016llx\n", cat.c_str(), (unsigned long long)fnv);
        all_in += in;
        all_out += out;
        all_enc += enc_s;
        all_dec += dec_s;
    }
    std::printf("%-11s %6s %11llu %11llu %6.2f%% %9.1f %9.1f\n", "total", "", (unsigned long long)all_in,
                (unsigned long long)all_out, 100.0 * all_out / all_in, all_in / all_enc / 1e6,
                all_in / all_dec / 1e6);
}
