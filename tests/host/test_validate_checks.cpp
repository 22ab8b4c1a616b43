// The validator's verdict rules on synthetic data (texts, audio blocks, floating-point state) and the
// real-time counters for every function family they cover.
#include "host/rtcheck/RtCheck.h"
#include "host/validate/Checks.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <pthread.h>
#include <semaphore.h>

using namespace ql::host;
using namespace ql::host::validate;

TEST(ValidateChecks, TextBufferVerdicts) {
    { // Fits the host's buffer but not the standard's size: a remark only.
        GuardedBuffer b(64);
        std::strcpy(static_cast<char*>(b.Data()), "Quantisation");
        Outcome o;
        CheckTextBuffer(b, 8, "effGetParamName(0)", o);
        EXPECT_EQ(o.status, Status::Pass);
        ASSERT_EQ(o.notes.size(), 1u);
        EXPECT_EQ(o.notes[0].rfind("effGetParamName gives texts longer than the standard's 8 bytes", 0), 0u)
            << o.notes[0];
    }
    { // Exactly filling the buffer with its zero is fine; one byte more is not, and says how far it went.
        GuardedBuffer b(24);
        std::memset(b.Data(), 'a', 23);
        Outcome fits;
        CheckTextBuffer(b, 24, "name", fits);
        EXPECT_EQ(fits.status, Status::Pass);
        std::memset(b.Data(), 'a', 24);
        static_cast<char*>(b.Data())[24] = '\0';
        Outcome over;
        CheckTextBuffer(b, 24, "name", over);
        EXPECT_EQ(over.status, Status::Fail);
        EXPECT_EQ(over.reason, "name wrote 1 byte(s) past its 24-byte buffer");
        EXPECT_EQ(b.Text(), std::string(24, 'a'));
    }
    { // No zero inside, nothing outside.
        GuardedBuffer b(8);
        std::memset(b.Data(), 'z', 8);
        Outcome o;
        CheckTextBuffer(b, 8, "label", o);
        EXPECT_EQ(o.reason, "label left no terminating zero inside its 8-byte buffer");
        EXPECT_FALSE(b.Terminated());
    }
    { // The byte just before the buffer.
        GuardedBuffer b(8);
        static_cast<unsigned char*>(b.Data())[-1] = 0;
        Outcome o;
        CheckTextBuffer(b, 8, "label", o);
        EXPECT_EQ(o.reason, "label wrote before the start of its buffer");
    }
}

TEST(ValidateChecks, TextSizesAreWhatHostsGive) {
    EXPECT_EQ(TextSizeFor(vst::effGetParamDisplay).host, 64u);
    EXPECT_EQ(TextSizeFor(vst::effGetParamDisplay).standard, 8u);
    EXPECT_EQ(TextSizeFor(vst::effGetProgramNameIndexed).host, 24u);
    EXPECT_EQ(TextSizeFor(vst::effGetEffectName).host, 32u);
    EXPECT_EQ(TextSizeFor(vst::effGetVendorString).host, 64u);
}

TEST(ValidateChecks, AudioBlockVerdicts) {
    std::mt19937_64 rng(3);
    GuardedAudio audio(2, 3, 16, false);
    // Separate buffers really are separate, and every channel has its own storage.
    EXPECT_NE(audio.In(0), audio.Out(0));
    EXPECT_NE(audio.Out(1), audio.Out(2));
    FillSignal(audio, Signal::Noise, rng, 0);
    audio.SnapshotInputs();
    for (std::size_t c = 0; c < 3; ++c)
        std::fill_n(audio.Out(c), 16, 0.5f);
    Outcome clean;
    EXPECT_TRUE(CheckBlock(audio, true, false, "block", clean));
    EXPECT_EQ(clean.status, Status::Pass);

    audio.Out(2)[16] = 0.0f; // one past the frames, on the third output
    Outcome past;
    EXPECT_FALSE(CheckBlock(audio, true, false, "block", past));
    EXPECT_NE(past.reason.find("guard samples of buffer 4 changed"), std::string::npos) << past.reason;
    Outcome afterRestore;
    EXPECT_TRUE(CheckBlock(audio, true, false, "block", afterRestore)) << "the guards were not put back";

    audio.Out(1)[3] = std::numeric_limits<float>::infinity();
    Outcome inf;
    CheckBlock(audio, true, false, "block", inf);
    EXPECT_EQ(inf.reason, "block: output 1 sample 3 is +Inf for finite input");
    Outcome nonFiniteInput; // the same output after non-finite input is not judged
    EXPECT_TRUE(CheckBlock(audio, false, false, "block", nonFiniteInput));

    audio.Out(1)[3] = 1e-40f;
    Outcome subnormal, subnormalIn;
    CheckBlock(audio, true, false, "block", subnormal);
    EXPECT_NE(subnormal.reason.find("is subnormal"), std::string::npos);
    EXPECT_TRUE(CheckBlock(audio, true, true, "block", subnormalIn))
        << "subnormal input may give subnormal output";

    audio.Out(1)[3] = 0.0f;
    audio.In(1)[0] += 1.0f;
    Outcome changed;
    CheckBlock(audio, true, false, "block", changed);
    EXPECT_EQ(changed.reason, "block: changed its input buffers");
}

TEST(ValidateChecks, InPlaceAudioSharesChannels) {
    GuardedAudio audio(1, 2, 8, true);
    EXPECT_EQ(audio.In(0), audio.Out(0));
    EXPECT_NE(audio.Out(1), audio.Out(0));
    // A plug-in without inputs still gets a pointer array to look at.
    GuardedAudio none(0, 2, 8, false);
    EXPECT_NE(none.InPointers(), nullptr);
}

TEST(ValidateChecks, SignalsAreWhatTheyClaim) {
    std::mt19937_64 rng(5);
    GuardedAudio audio(2, 2, 64, false);
    auto all = [&](auto pred) {
        for (std::size_t c = 0; c < 2; ++c)
            for (std::size_t i = 0; i < 64; ++i)
                if (!pred(audio.In(c)[i])) return false;
        return true;
    };
    FillSignal(audio, Signal::PlusMinusOne, rng, 0);
    EXPECT_TRUE(all([](float v) { return v == 1.0f || v == -1.0f; }));
    FillSignal(audio, Signal::Denormals, rng, 0);
    EXPECT_TRUE(all([](float v) { return v == 0.0f || std::fpclassify(v) == FP_SUBNORMAL; }));
    FillSignal(audio, Signal::NaN, rng, 0);
    EXPECT_TRUE(all([](float v) { return std::isnan(v); }));
    FillSignal(audio, Signal::Noise, rng, 0);
    EXPECT_TRUE(all([](float v) { return std::isfinite(v) && std::fabs(v) <= 0.5f; }));
    EXPECT_FALSE(IsFinite(Signal::MixedNonFinite));
    EXPECT_TRUE(IsFinite(Signal::Denormals));
}

#if defined(__x86_64__) || defined(__i386__)
TEST(ValidateChecks, FloatingPointStateVerdicts) {
    auto compare = [](auto&& change, bool finite) {
        SetDefaultFpu();
        FpuState before = ReadFpu();
        change();
        FpuState after = ReadFpu();
        SetDefaultFpu();
        Outcome o;
        CompareFpu(before, after, finite, "call", o);
        return o;
    };
    Outcome untouched = compare([] {}, true);
    EXPECT_EQ(untouched.status, Status::Pass);
    EXPECT_TRUE(untouched.notes.empty());

    Outcome rounding = compare([] { std::fesetround(FE_UPWARD); }, true);
    EXPECT_EQ(rounding.status, Status::Fail);
    EXPECT_NE(rounding.Explanation().find("x87 control word"), std::string::npos);

    Outcome ftz = compare(
        [] {
            std::uint32_t m = 0x1F80 | 0x8000;
            asm volatile("ldmxcsr %0" : : "m"(m));
        },
        true);
    EXPECT_NE(ftz.reason.find("SSE control"), std::string::npos) << ftz.reason;

    Outcome divByZero = compare([] { std::feraiseexcept(FE_DIVBYZERO); }, true);
    EXPECT_NE(divByZero.reason.find("divide-by-zero"), std::string::npos) << divByZero.reason;
    Outcome divByZeroOnNaN = compare([] { std::feraiseexcept(FE_DIVBYZERO); }, false);
    EXPECT_EQ(divByZeroOnNaN.status, Status::Pass) << "flags are not judged after non-finite input";

    Outcome inexact = compare([] { std::feraiseexcept(FE_INEXACT); }, true);
    EXPECT_EQ(inexact.status, Status::Pass);
    ASSERT_EQ(inexact.notes.size(), 1u);
    EXPECT_NE(inexact.notes[0].find("inexact"), std::string::npos);
}
#endif

TEST(ValidateChecks, OutcomeKeepsTheFirstFailureAndOneRemarkPerKind) {
    Outcome o;
    o.Note("opcode 6 gives long texts (e.g. \"a\")");
    o.Note("opcode 6 gives long texts (e.g. \"b\")");
    o.Skip("nothing to do");
    EXPECT_EQ(o.status, Status::Skip);
    o.Fail("first");
    o.Fail("second");
    o.Skip("too late");
    EXPECT_EQ(o.status, Status::Fail);
    EXPECT_EQ(o.Explanation(), "first (and 1 more failure)");
    EXPECT_EQ(o.notes.size(), 1u);
}

TEST(ValidateRealtime, EveryHeapAndLockFamilyIsCounted) {
    if (!rtcheck::CountingAvailable()) GTEST_SKIP() << rtcheck::CountingUnavailableReason();
    void* (*volatile c)(std::size_t, std::size_t) = &std::calloc;
    void* (*volatile r)(void*, std::size_t) = &std::realloc;
    void* (*volatile a)(std::size_t, std::size_t) = &std::aligned_alloc;
    void (*volatile f)(void*) = &std::free;
    pthread_rwlock_t rw = PTHREAD_RWLOCK_INITIALIZER;
    sem_t sem;
    sem_init(&sem, 0, 2);

    rtcheck::ResetThreadCounts();
    rtcheck::EnterAudioCall();
    void* p = c(4, 4);
    p = r(p, 64);
    f(p);
    f(a(64, 128));
    f(nullptr); // freeing nothing is not a heap call
    // Through pointers too: a new and delete pair written out may be elided by the compiler.
    void* (*volatile plainNew)(std::size_t) = &::operator new;
    void* (*volatile arrayNew)(std::size_t) = &::operator new[];
    void* (*volatile alignedNew)(std::size_t, std::align_val_t) = &::operator new;
    void (*volatile plainDelete)(void*) noexcept = &::operator delete;
    void (*volatile arrayDelete)(void*) noexcept = &::operator delete[];
    void (*volatile alignedDelete)(void*, std::align_val_t) noexcept = &::operator delete;
    plainDelete(plainNew(8));
    arrayDelete(arrayNew(32));
    alignedDelete(alignedNew(64, std::align_val_t{64}), std::align_val_t{64});
    pthread_rwlock_rdlock(&rw);
    pthread_rwlock_unlock(&rw);
    pthread_rwlock_wrlock(&rw);
    pthread_rwlock_unlock(&rw);
    sem_wait(&sem);
    sem_trywait(&sem);
    rtcheck::LeaveAudioCall();
    rtcheck::Counts counts = rtcheck::ThreadCounts();
    rtcheck::ResetThreadCounts();
    sem_destroy(&sem);
    EXPECT_EQ(counts.allocations, 6u); // calloc, realloc, aligned_alloc and the three forms of new
    EXPECT_EQ(counts.frees, 5u);       // what realloc gives back is the C library's own business
    EXPECT_EQ(counts.locks, 4u);
}
