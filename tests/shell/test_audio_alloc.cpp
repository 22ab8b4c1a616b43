// The audio entries allocate nothing, in every processing mode and for blocks longer than the host announced.
#include "ShellTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__GNUC__) && !defined(__clang__)
// The replacements below pair malloc with free; the compiler only sees new meet free where it inlines them.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
std::atomic<long> gAllocations{0};
} // namespace

// Counting every allocation of this test program lets a test see whether a stretch of code allocated.
void* operator new(std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using namespace ql;
using namespace ql::vst;
using namespace ql::vst::testing;

namespace {

TEST(AudioAllocation, NoEntryAllocates) {
    TRecordingHost host;
    host.requests.reserve(1024);
    auto module = NewTestModule();
    module->SetAudioMaster(&TRecordingHost::Callback);
    module->SetOnProcess(module->PassHandler());
    module->SetOnProcessReplacing(module->PassHandler());
    module->SetBlockSize(64);
    module->SetBlockModeSize(128);
    module->SetBlockModeOverlap(32);
    AEffect* e = module->GetEffect();

    const int frames = 40000;
    std::vector<float> a(frames, 0.5f), b(frames, -0.5f), x(frames), y(frames);
    float* in[2] = {a.data(), b.data()};
    float* out[2] = {x.data(), y.data()};
    for (TProcessingMode mode : {pmNormal, pmBlockSave, pmCopy, pmMute}) {
        module->SetProcessingMode(mode);
        const long before = gAllocations.load();
        for (int n : {1, 64, 1000, frames}) {
            e->processReplacing(e, in, out, n);
            e->process(e, in, out, n);
        }
        EXPECT_EQ(gAllocations.load() - before, 0) << "mode " << mode;
    }
    module->SetProcessingMode(pmNormal);
    e->process(e, in, out, frames);
    EXPECT_FLOAT_EQ(x[frames - 1], x[0]); // the chunks cover the whole block
}

} // namespace
