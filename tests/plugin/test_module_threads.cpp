// Depth changes on several threads while audio runs: every block sees one step count and, when it uses a
// level table, a complete table built for that step count.
#include "plugin/QuantilawGUI.h"
#include "plugin/QuantilawModule.h"
#include "plugin/QuantiserFast.h"
#include "runtime/FPU.h"
#include "toolkit/MessageLoop.h"
#include "toolkit/backends/Headless.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <thread>
#include <vector>

using namespace ql;
using namespace ql::vst;
using namespace ql::quantilaw;

namespace {

std::uint32_t Bits(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// Whole and fractional depths, inside and above the table range.
const std::vector<float> kDepths = {3.0f, 8.0f, 12.0f, 2.5f, 7.3f, 11.5f, 5.0f, 16.0f, 20.5f};

// What the changing threads and the observing thread share.
struct Shared {
    std::atomic<bool> stop{false};
    std::atomic<int> changes{0}; // depth changes made by the changing threads
    std::atomic<int> rounds{0};  // leases or blocks of the observing thread
};

// Changes the depth to a random entry of kDepths until told to stop. Between changes it mostly lets the
// observing thread do a few rounds (in bursts otherwise), so that rounds meet both finished tables and
// rebuilds in progress whatever the scheduler and its timers do.
template <class Set>
std::thread Changer(Shared& shared, unsigned seed, Set set) {
    return std::thread([&shared, seed, set] {
        std::mt19937 rng(seed);
        while (!shared.stop.load(std::memory_order_relaxed)) {
            set(kDepths[rng() % kDepths.size()]);
            shared.changes.fetch_add(1, std::memory_order_relaxed);
            if (rng() % 4 == 0) continue;
            const int until = shared.rounds.load(std::memory_order_relaxed) + 1 + static_cast<int>(rng() % 4);
            while (!shared.stop.load(std::memory_order_relaxed) &&
                   shared.rounds.load(std::memory_order_relaxed) < until)
                std::this_thread::yield();
        }
    });
}

// Enough rounds, and enough changes on the other threads meanwhile, for the rounds to meet rebuilds.
bool KeepGoing(Shared& shared) {
    const int round = shared.rounds.fetch_add(1, std::memory_order_relaxed);
    return round < 2000 || shared.changes.load(std::memory_order_relaxed) < 1000;
}

TEST(QuantiserThreads, ALeasedTableIsCompleteAndBuiltForTheLeasedStepCount) {
    struct Expected {
        TQuantSteps steps;
        std::vector<float> level; // empty above the table range
    };
    std::vector<Expected> expected;
    {
        TFPUGuard guard;
        for (float bits : kDepths) {
            const TQuantiserState s(bits);
            Expected e{s.Steps(), {}};
            if (e.steps.QuantSteps <= fast::kMaxTableSteps)
                for (std::uint32_t k = 0; k <= static_cast<std::uint32_t>(std::ceil(e.steps.QuantSteps)); ++k)
                    e.level.push_back(fast::ExpandReference(
                        static_cast<float>(k * static_cast<double>(e.steps.QuantStepsInv))));
            expected.push_back(e);
        }
    }
    TQuantiserState state(3);
    Shared shared;
    std::thread a = Changer(shared, 1, [&](float bits) { state.SetBitDepth(bits); });
    std::thread b = Changer(shared, 2, [&](float bits) { state.SetBitDepth(bits); });

    int withTable = 0, withoutTable = 0, failures = 0;
    while (failures == 0 && KeepGoing(shared)) {
        const TQuantiserState::TLease l = state.Lease();
        const Expected* e = nullptr;
        for (const Expected& x : expected)
            if (Bits(x.steps.QuantSteps) == Bits(l.Steps().QuantSteps)) e = &x;
        if (e == nullptr || Bits(e->steps.QuantStepsInv) != Bits(l.Steps().QuantStepsInv)) {
            ADD_FAILURE() << "a step pair no depth gives: " << l.Steps().QuantSteps;
            ++failures;
            continue;
        }
        const fast::TLevelTable* t = l.Table();
        if (t == nullptr) {
            ++withoutTable;
            continue;
        }
        ++withTable;
        // Every entry, read while the other threads keep rebuilding.
        if (Bits(t->steps) != Bits(e->steps.QuantSteps) || t->top + 1 != e->level.size() ||
            std::memcmp(t->level, e->level.data(), e->level.size() * sizeof(float)) != 0) {
            ADD_FAILURE() << "the table leased with " << e->steps.QuantSteps << " steps is not its own";
            ++failures;
        }
    }
    shared.stop = true;
    a.join();
    b.join();
    EXPECT_GT(withTable, 0);
    EXPECT_GT(withoutTable, 0);
    // The last depth stored gets its table, whichever thread built last.
    state.SetBitDepth(8);
    const TQuantiserState::TLease l = state.Lease();
    ASSERT_NE(nullptr, l.Table());
    EXPECT_EQ(255.0f, l.Table()->steps);
}

struct TFree {
    void operator()(TComponent* c) const { TComponent::Free(c); }
};
using TModule = std::unique_ptr<TVST2Module1, TFree>;

TEST(QuantilawModuleThreads, AudioBlocksEachMatchOneDepthWhileOtherThreadsChangeIt) {
    constexpr int kFrames = 256;
    std::vector<float> left(kFrames), right(kFrames);
    for (int i = 0; i < kFrames; ++i) {
        left[static_cast<std::size_t>(i)] = -1.0f + 2.0f * static_cast<float>(i) / (kFrames - 1);
        right[static_cast<std::size_t>(i)] = 0.9f * std::sin(0.37f * static_cast<float>(i));
    }
    // Each depth's reference output for both channels; they all differ, so a block names its depth.
    std::vector<std::vector<float>> expected;
    for (float bits : kDepths) {
        const TQuantiserState s(bits);
        std::vector<float> out(std::size_t{2} * kFrames);
        const float* in[2] = {left.data(), right.data()};
        float* o[2] = {out.data(), out.data() + kFrames};
        reference::ProcessCompanded(in, o, 2, kFrames, s);
        for (const std::vector<float>& other : expected)
            ASSERT_NE(other, out) << bits;
        expected.push_back(out);
    }

    TModule m(CreateComponent<TVST2Module1>(nullptr));
    AEffect* e = m->GetEffect();
    Shared shared;
    // The editor's thread and the host's automation thread.
    std::thread ui = Changer(shared, 3, [&](float bits) { m->SetParameter(0, bits); });
    std::thread automation = Changer(shared, 4, [&](float bits) { m->SetParameter(0, bits); });

    std::vector<float> out(std::size_t{2} * kFrames);
    float* in[2] = {left.data(), right.data()};
    float* o[2] = {out.data(), out.data() + kFrames};
    std::mt19937 rng(5);
    int failures = 0;
    for (int block = 0; failures == 0 && KeepGoing(shared); ++block) {
        if (block % 8 == 0) m->SetParameter(0, kDepths[rng() % kDepths.size()]); // automation on this thread
        e->processReplacing(e, in, o, kFrames);
        bool matched = false;
        for (const std::vector<float>& x : expected)
            matched |= std::memcmp(x.data(), out.data(), out.size() * sizeof(float)) == 0;
        if (!matched) {
            ADD_FAILURE() << "block " << block << " matches no single depth";
            ++failures;
        }
    }
    shared.stop = true;
    ui.join();
    automation.join();

    m->SetParameter(0, 12.0f);
    e->processReplacing(e, in, o, kFrames);
    EXPECT_EQ(expected[2], out);
    EXPECT_NE(nullptr, m->QuantiserState().Lease().Table());
}

// The editor on the user-interface thread while the audio thread plays and automates the depth: clicks on
// the read-out and the plots, idle refreshes, and a close and reopen, with no race and sane audio.
TEST(ModuleThreads, TheEditorWorksWhileAudioRunsAndTheHostAutomates) {
    THeadlessWindowSystem& sys = HeadlessSystem();
    sys.Reset();
    const TNativeHandle host = sys.CreateHostWindow(TRect::Bounds(0, 0, 700, 300));
    RegisterQuantilawClasses();
    std::unique_ptr<TVST2Module1, void (*)(TVST2Module1*)> m(CreateComponent<TVST2Module1>(nullptr),
                                                             [](TVST2Module1* p) { TComponent::Free(p); });
    AEffect* e = m->GetEffect();
    ASSERT_EQ(e->dispatcher(e, effEditOpen, 0, 0, reinterpret_cast<void*>(host), 0.0f), 1);
    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::atomic<bool> sane{true};
    std::thread audio([&] {
        std::vector<float> in(64), outL(64), outR(64);
        for (std::size_t i = 0; i < in.size(); ++i)
            in[i] = std::sin(static_cast<float>(i) * 0.3f) * 0.8f;
        float* ins[2] = {in.data(), in.data()};
        float* outs[2] = {outL.data(), outR.data()};
        for (int n = 0; !stop.load(std::memory_order_relaxed) || n < 50; ++n) {
            e->processReplacing(e, ins, outs, 64);
            if (n % 7 == 0) e->setParameter(e, 0, static_cast<float>(n % 23) / 23.0f);
            for (float v : outL)
                if (!std::isfinite(v) || std::fabs(v) > 1.0f) sane = false;
            blocks.fetch_add(1, std::memory_order_relaxed);
        }
    });
    for (int i = 0; i < 200; ++i) {
        auto* editor = dynamic_cast<TFmQuantilaw*>(m->EditorForm());
        ASSERT_NE(editor, nullptr);
        editor->LbQMouseDown(editor->LbQ, TMouseButton::mbLeft, 0, 10, i % 2 == 0 ? 5 : 40);
        if (i % 5 == 0) editor->QuantilawClick(editor->Kompressor);
        e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
        if (i == 100) {
            e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
            ASSERT_EQ(e->dispatcher(e, effEditOpen, 0, 0, reinterpret_cast<void*>(host), 0.0f), 1);
        }
    }
    stop = true;
    audio.join();
    EXPECT_TRUE(sane.load());
    EXPECT_GE(blocks.load(), 50);
    auto* editor = dynamic_cast<TFmQuantilaw*>(m->EditorForm());
    ASSERT_NE(editor, nullptr);
    m->SetParameter(0, 9.0f);
    e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(editor->LbQ->Caption(), "9Bit");
    EXPECT_EQ(editor->Kompressor->Opacity() == 255, m->Companding());
    e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
    m.reset();
    ProcessMessages();
    sys.Reset();
}

} // namespace
