// verify-quantiser: proves the vector quantiser paths bit-identical to the extended-precision reference.
//
// Pass 1 runs compression and expansion over every 32-bit pattern through each vector path the processor can
// run and compares with the scalar reference (two NaNs compare equal). Pass 2 runs the companded and linear
// block kernels over every float in [-1, 1] at each whole depth 1..24 and a few fractional ones. Its expected
// values come from the reference compression of each input and, per depth, a table of the reference expansion
// of every quantisation level, so the reference logarithm runs once per input rather than once per depth; a
// slice of the inputs is also pushed through the reference block handlers themselves as a cross-check.
// Pass 2 covers the path chosen at load unless --all-paths is given. Pass 3 runs the level-table kernels of
// every path over every float in [-1, 1] at each whole depth 1..12 and several fractional ones, with the
// tables the quantiser state builds. The output depends on the input only through its level, so the expected
// values need one reference compression per positive input (a negative input's level is the negated one)
// and one reference expansion per level; the tables themselves are checked entry by entry.
// --quick samples all three passes (1/256, 1/4096 and 1/1024 of the inputs, all paths) for continuous
// integration; --sampled-others samples passes 1 and 2 only, leaving pass 3 exhaustive.
#include "plugin/Quantiser.h"
#include "plugin/QuantiserFast.h"
#include "runtime/FPU.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace ql;
using namespace ql::quantilaw;

constexpr std::size_t kChunk = 65536;

std::uint32_t Bits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

float FromBits(std::uint32_t u) {
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

bool Same(float a, float b) { return Bits(a) == Bits(b) || (std::isnan(a) && std::isnan(b)); }

float StoreFloat(long double v) {
    volatile float f = static_cast<float>(v);
    return f;
}

struct Options {
    bool quick = false;
    bool skipCharacteristic = false;
    bool allPaths = false; // pass 2 on every path, not only the one chosen at load (pass 1 always runs all)
    unsigned threads = 0;
    std::size_t handlerStride = 1; // check every Nth chunk of 65536 inputs in pass 2
    std::size_t characteristicStride = 1;
    std::size_t levelStride = 1; // the same for pass 3
    bool sampled = false;        // pick a different chunk out of each stride (quick runs)
};

struct PathCounters {
    const fast::TKernels* kernels;
    bool sharesExact =
        false; // its exact kernels are an earlier path's (they differ in the level kernel only)
    std::atomic<std::uint64_t> mismatches{0};
    std::atomic<std::uint64_t> fallbacks{0};
};

std::mutex gPrintLock;
std::atomic<int> gReported{0};

void Report(const char* what, const char* path, float input, float expected, float actual,
            const char* extra = "") {
    if (gReported.fetch_add(1) >= 20) return;
    std::lock_guard<std::mutex> lock(gPrintLock);
    std::printf("  MISMATCH %s [%s]%s input %a (%08x): expected %a got %a\n", what, path, extra, input,
                static_cast<unsigned>(Bits(input)), expected, actual);
}

template <class Body>
void Parallel(unsigned threads, std::size_t count, Body body) {
    std::atomic<std::size_t> next{0};
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t)
        pool.emplace_back([&] {
            for (std::size_t i; (i = next.fetch_add(1)) < count;)
                body(i);
        });
    for (std::thread& th : pool)
        th.join();
}

// Pass 2 without --all-paths covers the exact kernels the processor got at load.
bool IsSelected(const PathCounters& p) { return p.kernels->companded == fast::SelectedKernels().companded; }

// ---- pass 1: the characteristic over every bit pattern ----

struct CharacteristicResult {
    std::uint64_t inputs = 0, nonFinite = 0;
};

CharacteristicResult CheckCharacteristic(bool expand, std::vector<PathCounters>& paths, const Options& opt) {
    const std::size_t chunks = static_cast<std::size_t>((std::uint64_t{1} << 32) / kChunk);
    const std::size_t stride = opt.characteristicStride;
    std::atomic<std::uint64_t> inputs{0}, nonFinite{0};
    Parallel(opt.threads, chunks / stride, [&](std::size_t task) {
        const std::uint64_t first =
            static_cast<std::uint64_t>(task * stride + (opt.sampled ? task % stride : 0)) * kChunk;
        std::vector<float> in(kChunk), expected(kChunk), out(kChunk);
        std::uint64_t special = 0;
        TFPUGuard guard;
        for (std::size_t i = 0; i < kChunk; ++i) {
            in[i] = FromBits(static_cast<std::uint32_t>(first + i));
            special += !std::isfinite(in[i]);
            expected[i] = expand ? fast::ExpandReference(in[i]) : fast::CompressReference(in[i]);
        }
        for (PathCounters& p : paths) {
            if (p.sharesExact) continue;
            const auto block = expand ? p.kernels->expand : p.kernels->compress;
            p.fallbacks += block(in.data(), out.data(), kChunk, fast::Constants());
            for (std::size_t i = 0; i < kChunk; ++i)
                if (!Same(expected[i], out[i])) {
                    ++p.mismatches;
                    Report(expand ? "expand" : "compress", p.kernels->name, in[i], expected[i], out[i]);
                }
        }
        inputs += kChunk;
        nonFinite += special;
    });
    return {inputs.load(), nonFinite.load()};
}

// ---- pass 2: the block kernels over [-1, 1] ----

struct Depth {
    float bits, steps, inv;
    std::int64_t levels;          // largest |n| that an input in [-1, 1] reaches
    std::vector<float> companded; // reference expansion of level n at [n + levels]
};

// Without a table (sampled runs) the expected companded value is computed per sample instead.
Depth MakeDepth(float bits, unsigned threads, bool withTable) {
    const TQuantiserState state(bits);
    Depth d{bits, state.QuantSteps(), state.QuantStepsInv(), 0, {}};
    d.levels = static_cast<std::int64_t>(std::ceil(d.steps));
    if (!withTable) return d;
    d.companded.resize(static_cast<std::size_t>(2 * d.levels + 1));
    const std::size_t blocks = (d.companded.size() + kChunk - 1) / kChunk;
    Parallel(threads, blocks, [&](std::size_t b) {
        TFPUGuard guard;
        const std::size_t end = std::min(d.companded.size(), (b + 1) * kChunk);
        for (std::size_t i = b * kChunk; i < end; ++i) {
            const long double n = static_cast<long double>(static_cast<std::int64_t>(i) - d.levels);
            d.companded[i] = fast::ExpandReference(StoreFloat(n * d.inv));
        }
    });
    return d;
}

struct HandlerCounters {
    std::atomic<std::uint64_t> inputs{0}, mismatches{0}, fallbacksCompanded{0}, fallbacksLinear{0};
    std::atomic<std::uint64_t> crossChecked{0}, crossMismatches{0};
};

void CheckHandlers(const std::vector<Depth>& depths, std::vector<PathCounters>& paths, HandlerCounters& hc,
                   const Options& opt) {
    // Bit patterns 0 .. 0x3F800000 are +0 .. 1; each is also run with its sign set.
    const std::uint64_t positive = 0x3F800001ull;
    const std::size_t chunks = static_cast<std::size_t>((positive + kChunk - 1) / kChunk);
    const std::size_t stride = opt.handlerStride;
    Parallel(opt.threads, (chunks + stride - 1) / stride, [&](std::size_t task) {
        const std::size_t chunk = task * stride + (opt.sampled ? task % stride : 0);
        if (chunk >= chunks) return;
        const std::uint64_t first = static_cast<std::uint64_t>(chunk) * kChunk;
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, positive - first));
        std::vector<float> in(2 * count), compressed(2 * count), out(2 * count), reference(2 * count),
            expected(2 * count);
        TFPUGuard guard;
        for (std::size_t i = 0; i < count; ++i) {
            in[2 * i] = FromBits(static_cast<std::uint32_t>(first + i));
            in[2 * i + 1] = -in[2 * i];
        }
        for (std::size_t i = 0; i < in.size(); ++i)
            compressed[i] = fast::CompressReference(in[i]);
        const bool crossCheck = task % 64 == 0;
        for (const Depth& d : depths) {
            for (int linear = 0; linear < 2; ++linear) {
                if (crossCheck) {
                    const float* ip[1] = {in.data()};
                    float* rp[1] = {reference.data()};
                    TQuantiserState state(d.bits);
                    (linear ? reference::ProcessLinear
                            : reference::ProcessCompanded)(ip, rp, 1, static_cast<int>(in.size()), state);
                }
                for (std::size_t i = 0; i < in.size(); ++i) {
                    // v·steps is exact in double (24 × 24 bits) and converts with the current rounding, which
                    // the guard made nearest-even; |n| ≤ 2^24 keeps n·inv exact, so one rounding to float.
                    const double v = linear ? in[i] : compressed[i];
                    const long long n = std::llrint(v * d.steps);
                    const float level = static_cast<float>(static_cast<double>(n) * d.inv);
                    if (linear)
                        expected[i] = level;
                    else if (d.companded.empty())
                        expected[i] = fast::ExpandReference(level);
                    else
                        expected[i] = d.companded[static_cast<std::size_t>(n + d.levels)];
                    if (crossCheck && !Same(expected[i], reference[i])) {
                        ++hc.crossMismatches;
                        Report("table vs reference handler", "reference", in[i], expected[i], reference[i]);
                    }
                }
                for (PathCounters& p : paths) {
                    if (p.sharesExact || (!opt.allPaths && !IsSelected(p))) continue;
                    const auto block = linear ? p.kernels->linear : p.kernels->companded;
                    const std::size_t fb =
                        block(in.data(), out.data(), in.size(), d.steps, d.inv, fast::Constants());
                    (linear ? hc.fallbacksLinear : hc.fallbacksCompanded) += fb;
                    std::uint64_t bad = 0;
                    for (std::size_t i = 0; i < in.size(); ++i) {
                        if (Same(expected[i], out[i])) continue;
                        ++bad;
                        char extra[48];
                        std::snprintf(extra, sizeof extra, " %g bits %s", d.bits,
                                      linear ? "linear" : "companded");
                        Report("handler", p.kernels->name, in[i], expected[i], out[i], extra);
                    }
                    p.mismatches += bad;
                    hc.mismatches += bad;
                }
                if (crossCheck) hc.crossChecked += in.size();
            }
        }
        hc.inputs += in.size();
    });
}

// ---- pass 3: the level-table kernels over [-1, 1] ----

struct LevelDepth {
    float bits = 0;
    std::unique_ptr<TQuantiserState> state; // builds and owns the table under test
    const fast::TLevelTable* table = nullptr;
    std::vector<float> level; // reference output of level k at [k]
};

struct LevelCounters {
    LevelCounters(std::size_t depths, std::size_t paths) : paths(paths), sent(depths * paths) {}
    std::atomic<std::uint64_t> inputs{0}, tableMismatches{0}, crossChecked{0}, crossMismatches{0};
    std::size_t paths;
    std::vector<std::atomic<std::uint64_t>> sent; // samples sent to the exact path, [depth * paths + path]
};

// Nobody changes these states after this, so the table stays published without holding a lease.
bool MakeLevelDepth(LevelDepth& d, float bits, LevelCounters& lc) {
    d.bits = bits;
    d.state = std::make_unique<TQuantiserState>(bits);
    d.table = d.state->Lease().Table();
    if (d.table == nullptr) return false;
    TFPUGuard guard;
    const TQuantSteps s = d.state->Steps();
    d.level.resize(d.table->top + 1);
    for (std::uint32_t k = 0; k <= d.table->top; ++k) {
        d.level[k] = fast::ExpandReference(StoreFloat(static_cast<long double>(k) * s.QuantStepsInv));
        if (!Same(d.level[k], d.table->level[k])) {
            ++lc.tableMismatches;
            Report("level table", "build", static_cast<float>(k), d.level[k], d.table->level[k]);
        }
    }
    return true;
}

void CheckLevels(const std::vector<LevelDepth>& depths, std::vector<PathCounters>& paths, LevelCounters& lc,
                 const Options& opt) {
    const std::uint64_t positive = 0x3F800001ull; // +0 .. 1
    const std::size_t chunks = static_cast<std::size_t>((positive + kChunk - 1) / kChunk);
    const std::size_t stride = opt.levelStride;
    Parallel(opt.threads, (chunks + stride - 1) / stride, [&](std::size_t task) {
        const std::size_t chunk = task * stride + (opt.sampled ? task % stride : 0);
        if (chunk >= chunks) return;
        const std::uint64_t first = static_cast<std::uint64_t>(chunk) * kChunk;
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, positive - first));
        std::vector<float> in(2 * count), compressed(count), expected(2 * count), out(2 * count),
            reference(2 * count);
        TFPUGuard guard;
        for (std::size_t i = 0; i < count; ++i) {
            in[2 * i] = FromBits(static_cast<std::uint32_t>(first + i));
            in[2 * i + 1] = -in[2 * i];
            compressed[i] = fast::CompressReference(in[2 * i]);
        }
        const bool crossCheck = task % 64 == 0;
        for (std::size_t di = 0; di < depths.size(); ++di) {
            const LevelDepth& d = depths[di];
            const double steps = d.table->steps;
            for (std::size_t i = 0; i < count; ++i) {
                // c·steps is exact in double and llrint rounds it to nearest-even under the guard; the
                // negated input has the negated level, and level 0 gives +0 either way.
                const long long n = std::llrint(compressed[i] * steps);
                if (n < 0 || static_cast<std::size_t>(n) >= d.level.size()) {
                    ++lc.crossMismatches;
                    Report("level beyond the table", "reference", in[2 * i], 0.0f, compressed[i]);
                    continue;
                }
                const float y = d.level[static_cast<std::size_t>(n)];
                expected[2 * i] = y;
                expected[2 * i + 1] = n == 0 ? y : -y;
            }
            if (crossCheck) {
                const float* ip[1] = {in.data()};
                float* rp[1] = {reference.data()};
                reference::ProcessCompanded(ip, rp, 1, static_cast<int>(in.size()), *d.state);
                for (std::size_t i = 0; i < in.size(); ++i)
                    if (!Same(expected[i], reference[i])) {
                        ++lc.crossMismatches;
                        Report("levels vs reference handler", "reference", in[i], expected[i], reference[i]);
                    }
                lc.crossChecked += in.size();
            }
            for (std::size_t pi = 0; pi < paths.size(); ++pi) {
                PathCounters& p = paths[pi];
                const std::size_t sent =
                    p.kernels->compandedLevels(in.data(), out.data(), in.size(), *d.table, fast::Constants());
                p.fallbacks += sent;
                lc.sent[di * lc.paths + pi] += sent;
                std::uint64_t bad = 0;
                for (std::size_t i = 0; i < in.size(); ++i) {
                    if (Same(expected[i], out[i])) continue;
                    ++bad;
                    char extra[48];
                    std::snprintf(extra, sizeof extra, " %g bits levels", d.bits);
                    Report("levels", p.kernels->name, in[i], expected[i], out[i], extra);
                }
                p.mismatches += bad;
            }
        }
        lc.inputs += in.size();
    });
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main(int argc, char** argv) {
    Options opt;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--quick") {
            opt.quick = opt.sampled = true;
            opt.characteristicStride = 256;
            opt.handlerStride = 4096;
            opt.levelStride = 1024;
            opt.allPaths = true;
        } else if (a == "--sampled-others") {
            opt.sampled = true;
            opt.characteristicStride = 256;
            opt.handlerStride = 4096;
            opt.allPaths = true;
        } else if (a == "--handler-stride" && i + 1 < argc) {
            opt.handlerStride = std::max<std::size_t>(1, std::stoul(argv[++i]));
        } else if (a == "--all-paths") {
            opt.allPaths = true;
        } else if (a == "--handlers-only") {
            opt.skipCharacteristic = true;
        } else if (a == "--threads" && i + 1 < argc) {
            opt.threads = static_cast<unsigned>(std::stoul(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: verify-quantiser [--quick | --sampled-others] [--threads N] "
                                 "[--handler-stride N] [--handlers-only] [--all-paths]\n");
            return 2;
        }
    }
    if (opt.threads == 0) opt.threads = std::max(1u, std::thread::hardware_concurrency());

    const std::vector<const fast::TKernels*> available = fast::RunnableKernels();
    std::vector<PathCounters> paths(available.size());
    for (std::size_t i = 0; i < available.size(); ++i) {
        paths[i].kernels = available[i];
        for (std::size_t j = 0; j < i; ++j)
            paths[i].sharesExact |= available[j]->compress == available[i]->compress;
    }

    std::printf("verify-quantiser: %s mode, %u threads, paths:",
                opt.quick ? "quick (sampled)" : (opt.sampled ? "levels full, others sampled" : "full"),
                opt.threads);
    for (const PathCounters& p : paths)
        std::printf(" %s", p.kernels->name);
    std::printf(" (selected at load: %s)\n", FastPathName());
    std::fflush(stdout);

    const auto start = std::chrono::steady_clock::now();
    std::uint64_t characteristicMismatches = 0;
    for (bool expand : {false, true}) {
        if (opt.skipCharacteristic) break;
        for (PathCounters& p : paths)
            p.fallbacks = 0;
        const auto t0 = std::chrono::steady_clock::now();
        const CharacteristicResult r = CheckCharacteristic(expand, paths, opt);
        std::printf("%s: %llu bit patterns (%llu NaN or infinite), %.1f s\n",
                    expand ? "ALawExpand" : "ALawCompress", static_cast<unsigned long long>(r.inputs),
                    static_cast<unsigned long long>(r.nonFinite), Seconds(t0));
        for (PathCounters& p : paths) {
            if (p.sharesExact) continue;
            const std::uint64_t fb = p.fallbacks.load();
            const std::uint64_t bad = p.mismatches.exchange(0);
            characteristicMismatches += bad;
            const std::uint64_t finiteFallbacks = fb >= r.nonFinite ? fb - r.nonFinite : 0;
            std::printf("  %-10s mismatches %llu, reference fallbacks on finite inputs %llu (%.3g of them)\n",
                        p.kernels->name, static_cast<unsigned long long>(bad),
                        static_cast<unsigned long long>(finiteFallbacks),
                        static_cast<double>(finiteFallbacks) / static_cast<double>(r.inputs - r.nonFinite));
        }
        std::fflush(stdout);
    }

    std::vector<float> bitDepths;
    for (int b = 1; b <= 24; ++b)
        bitDepths.push_back(static_cast<float>(b));
    for (float b : {2.5f, 7.3f, 12.5f, 19.9f, 23.5f})
        bitDepths.push_back(b);
    const auto t1 = std::chrono::steady_clock::now();
    std::vector<Depth> depths;
    depths.reserve(bitDepths.size());
    for (float b : bitDepths)
        depths.push_back(MakeDepth(b, opt.threads, !opt.quick));
    const double tableSeconds = Seconds(t1);
    HandlerCounters hc;
    CheckHandlers(depths, paths, hc, opt);
    std::size_t handlerPaths = 0;
    for (const PathCounters& p : paths)
        handlerPaths += !p.sharesExact && (opt.allPaths || IsSelected(p));
    const double samples =
        static_cast<double>(hc.inputs.load()) * static_cast<double>(depths.size() * handlerPaths);
    std::printf(
        "handlers: %llu inputs in [-1, 1] x %zu depths (1..24, 2.5, 7.3, 12.5, 19.9, 23.5) x %zu paths, "
        "%.1f s (level tables %.1f s)\n",
        static_cast<unsigned long long>(hc.inputs.load()), depths.size(), handlerPaths, Seconds(t1),
        tableSeconds);
    for (PathCounters& p : paths)
        if (!p.sharesExact && (opt.allPaths || IsSelected(p)))
            std::printf("  %-10s mismatches %llu\n", p.kernels->name,
                        static_cast<unsigned long long>(p.mismatches.load()));
    std::printf("  reference fallbacks: companded %.3g, linear %.3g of samples\n",
                static_cast<double>(hc.fallbacksCompanded.load()) / samples,
                static_cast<double>(hc.fallbacksLinear.load()) / samples);
    std::printf("  reference handlers cross-checked on %llu samples: mismatches %llu\n",
                static_cast<unsigned long long>(hc.crossChecked.load()),
                static_cast<unsigned long long>(hc.crossMismatches.load()));

    std::uint64_t mismatches = characteristicMismatches + hc.crossMismatches.load();
    for (PathCounters& p : paths)
        mismatches += p.mismatches.exchange(0);

    std::vector<float> levelBits;
    for (int b = 1; b <= 12; ++b)
        levelBits.push_back(static_cast<float>(b));
    for (float b : {1.5f, 2.5f, 4.2f, 7.3f, 9.9f, 11.5f, 11.97f})
        levelBits.push_back(b);
    const auto t2 = std::chrono::steady_clock::now();
    LevelCounters lc(levelBits.size(), paths.size());
    std::vector<LevelDepth> levelDepths(levelBits.size());
    for (std::size_t i = 0; i < levelBits.size(); ++i)
        if (!MakeLevelDepth(levelDepths[i], levelBits[i], lc)) {
            std::printf("levels: no level table at %g bits\n", levelBits[i]);
            ++mismatches;
        }
    for (PathCounters& p : paths)
        p.fallbacks = 0;
    CheckLevels(levelDepths, paths, lc, opt);
    const double levelSamples =
        static_cast<double>(lc.inputs.load()) * static_cast<double>(levelDepths.size());
    std::printf("levels: %llu inputs in [-1, 1] x %zu depths (1..12, 1.5, 2.5, 4.2, 7.3, 9.9, 11.5, 11.97) x "
                "%zu paths, %.1f s\n",
                static_cast<unsigned long long>(lc.inputs.load()), levelDepths.size(), paths.size(),
                Seconds(t2));
    std::printf("  table entries against the reference expansion: mismatches %llu\n",
                static_cast<unsigned long long>(lc.tableMismatches.load()));
    for (PathCounters& p : paths)
        std::printf("  %-10s mismatches %llu, samples sent to the exact path %llu (%.3g of them)\n",
                    p.kernels->name, static_cast<unsigned long long>(p.mismatches.load()),
                    static_cast<unsigned long long>(p.fallbacks.load()),
                    static_cast<double>(p.fallbacks.load()) / levelSamples);
    std::printf("  sent to the exact path by depth:");
    for (const PathCounters& p : paths)
        std::printf(" %s", p.kernels->name);
    std::printf("\n");
    for (std::size_t di = 0; di < levelDepths.size(); ++di) {
        std::printf("    %5g bits:", levelDepths[di].bits);
        for (std::size_t pi = 0; pi < paths.size(); ++pi)
            std::printf(" %.3g", static_cast<double>(lc.sent[di * lc.paths + pi].load()) /
                                     static_cast<double>(lc.inputs.load()));
        std::printf("\n");
    }
    std::printf("  reference handler cross-checked on %llu samples: mismatches %llu\n",
                static_cast<unsigned long long>(lc.crossChecked.load()),
                static_cast<unsigned long long>(lc.crossMismatches.load()));
    mismatches += lc.tableMismatches.load() + lc.crossMismatches.load();
    for (PathCounters& p : paths)
        mismatches += p.mismatches.load();
    std::printf("total mismatches %llu, wall time %.1f s\n", static_cast<unsigned long long>(mismatches),
                Seconds(start));
    return mismatches == 0 ? 0 : 1;
}
