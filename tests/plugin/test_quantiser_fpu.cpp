// The floating-point state around the quantiser: load-time control word, and a guard that leaves the caller
// intact.
#include "plugin/Quantiser.h"
#include "runtime/FPU.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <vector>

namespace ql {
namespace {

// Saves and restores the test thread's own state so one test cannot leak modes into the next.
class FPUState : public ::testing::Test {
  protected:
    void SetUp() override {
        std::fegetenv(&fSaved);
        fControl = fpu::ControlWord();
        fMXCSR = fpu::MXCSR();
    }
    void TearDown() override {
        fpu::SetControlWord(fControl);
        fpu::SetMXCSR(fMXCSR);
        std::fesetenv(&fSaved);
    }

  private:
    std::fenv_t fSaved;
    std::uint16_t fControl = 0;
    std::uint32_t fMXCSR = 0;
};

TEST_F(FPUState, StartupLoadsTheControlWordAndMasksSSEWithoutTouchingFlushToZero) {
    fpu::SetControlWord(0x0272);                         // 53-bit mantissa, some exceptions unmasked
    fpu::SetMXCSR(0x8000 | (0x1F80 & ~0x0200) | 0x2000); // flush to zero, ZM unmasked, round down
    SetStartupControlWord();
    EXPECT_EQ(kStartupControlWord, fpu::ControlWord() & 0x1F3F);
    if (fpu::HasMXCSR()) {
        EXPECT_EQ(0x8000u | 0x1F80u, fpu::MXCSR() & 0xFFC0u);
    }
}

TEST_F(FPUState, HandlersIgnoreTheCallersModesAndRestoreModesAndFlagsExactly) {
    quantilaw::TQuantiserState state;
    state.SetBitDepth(8);
    std::vector<float> in = {0.5f, 0.01f, 0.001f, -0.3f, 1e-40f, 2.0f};
    std::vector<float> expected(in.size()), out(in.size());
    const float* i[1] = {in.data()};
    float* e[1] = {expected.data()};
    float* o[1] = {out.data()};
    quantilaw::reference::ProcessCompanded(i, e, 1, static_cast<int>(in.size()), state);

    // A hostile caller: truncating x87 in 24-bit precision, SSE rounding up with flush-to-zero and
    // denormals-are-zero, no flags raised yet. Whatever the handler raises must not show afterwards.
    std::feclearexcept(FE_ALL_EXCEPT);
    fpu::SetControlWord(0x0C7F & ~0x0300);
    fpu::SetMXCSR(0x1F80 | 0x4000 | 0x8000 | 0x0040);
    const std::uint16_t control = fpu::ControlWord();
    const std::uint32_t mxcsr = fpu::MXCSR();
    const std::uint16_t status = fpu::StatusWord();
    for (int pass = 0; pass < 2; ++pass) {
        quantilaw::ForceReferencePath(pass == 1);
        quantilaw::ProcessCompanded(i, o, 1, static_cast<int>(in.size()), state);
        quantilaw::ForceReferencePath(false);
        EXPECT_EQ(expected, out) << "pass " << pass;
        EXPECT_EQ(control, fpu::ControlWord());
        EXPECT_EQ(mxcsr, fpu::MXCSR());
        EXPECT_EQ(status, fpu::StatusWord());
    }

    // Flags the caller had already raised stay raised.
    fpu::SetMXCSR(0x1F80 | 0x0001);
    std::feraiseexcept(FE_INEXACT);
    const std::uint16_t raisedStatus = fpu::StatusWord();
    quantilaw::ProcessLinear(i, o, 1, static_cast<int>(in.size()), state);
    EXPECT_EQ(0x1F81u, fpu::MXCSR());
    EXPECT_EQ(raisedStatus, fpu::StatusWord());
}

TEST_F(FPUState, GuardsNest) {
    fpu::SetControlWord(0x027F);
    {
        TFPUGuard outer;
        EXPECT_EQ(0x033Fu, fpu::ControlWord() & 0x0F3Fu);
        {
            TFPUGuard inner;
            (void)quantilaw::ALawCompress(0.3f);
        }
        EXPECT_EQ(0x033Fu, fpu::ControlWord() & 0x0F3Fu);
    }
    EXPECT_EQ(0x027F, fpu::ControlWord());
}

} // namespace
} // namespace ql
