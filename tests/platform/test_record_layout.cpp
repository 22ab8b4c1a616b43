// The plug-in record as laid out in memory for this build's width, and the loading thread's control word.
#include "host/Plugin.h"
#include "runtime/FPU.h"
#include "shell/VstRecord.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <thread>

using ql::host::Plugin;
using ql::host::PluginLibrary;

namespace {

// Every field of the 32-bit record is 4 bytes wide; a host compiled elsewhere reads it at exactly these
// places.
#if UINTPTR_MAX == 0xFFFFFFFFu
using PluginRecord = ql::vst::AEffect;
static_assert(sizeof(PluginRecord) == 144);
static_assert(offsetof(PluginRecord, magic) == 0 && offsetof(PluginRecord, dispatcher) == 4);
static_assert(offsetof(PluginRecord, process) == 8 && offsetof(PluginRecord, setParameter) == 12);
static_assert(offsetof(PluginRecord, getParameter) == 16 && offsetof(PluginRecord, numPrograms) == 20);
static_assert(offsetof(PluginRecord, numParams) == 24 && offsetof(PluginRecord, numInputs) == 28);
static_assert(offsetof(PluginRecord, numOutputs) == 32 && offsetof(PluginRecord, flags) == 36);
static_assert(offsetof(PluginRecord, resvd1) == 40 && offsetof(PluginRecord, resvd2) == 44);
static_assert(offsetof(PluginRecord, initialDelay) == 48 && offsetof(PluginRecord, realQualities) == 52);
static_assert(offsetof(PluginRecord, offQualities) == 56 && offsetof(PluginRecord, ioRatio) == 60);
static_assert(offsetof(PluginRecord, object) == 64 && offsetof(PluginRecord, user) == 68);
static_assert(offsetof(PluginRecord, uniqueID) == 72 && offsetof(PluginRecord, version) == 76);
static_assert(offsetof(PluginRecord, processReplacing) == 80 && offsetof(PluginRecord, future) == 84);
static_assert(sizeof(PluginRecord::future) == 60);
#endif

/// Where each field sits in this build's width: the 144-byte record of 32-bit hosts, or the 64-bit one in
/// which code addresses, the reserved words and the back pointers are 8 bytes.
struct Offsets {
    std::size_t size, dispatcher, process, setParameter, getParameter, numPrograms, numParams, numInputs,
        numOutputs, flags, resvd1, resvd2, initialDelay, realQualities, offQualities, ioRatio, object, user,
        uniqueID, version, processReplacing, future;
};
constexpr Offsets kOffsets = sizeof(void*) == 4 ? Offsets{144, 4,  8,  12, 16, 20, 24, 28, 32, 36, 40,
                                                          44,  48, 52, 56, 60, 64, 68, 72, 76, 80, 84}
                                                : Offsets{192, 8,  16, 24, 32, 40, 44,  48,  52,  56,  64,
                                                          72,  80, 84, 88, 92, 96, 104, 112, 116, 120, 128};

const unsigned char* Bytes(const void* record) { return static_cast<const unsigned char*>(record); }

std::int32_t Int32At(const void* record, std::size_t offset) {
    std::int32_t value;
    std::memcpy(&value, Bytes(record) + offset, sizeof value);
    return value;
}

std::uintptr_t WordAt(const void* record, std::size_t offset) {
    std::uintptr_t value;
    std::memcpy(&value, Bytes(record) + offset, sizeof value);
    return value;
}

class Record : public ::testing::Test {
  protected:
    void SetUp() override {
#ifdef QL_PLUGIN_PATH
        if (!std::filesystem::exists(QL_PLUGIN_PATH)) GTEST_SKIP() << QL_PLUGIN_PATH << " is not built";
#else
        GTEST_SKIP() << "this build has no plug-in";
#endif
    }
    static std::string Path() {
#ifdef QL_PLUGIN_PATH
        return QL_PLUGIN_PATH;
#else
        return {};
#endif
    }
};

} // namespace

TEST_F(Record, EveryFieldSitsWhereHostsOfThisWidthReadIt) {
    auto library = PluginLibrary::Load(Path(), "main");
    auto plugin = Plugin::Create(library);
    const void* r = &plugin->Effect();

    EXPECT_EQ(Int32At(r, 0), 0x56737450); // "VstP"
    EXPECT_NE(WordAt(r, kOffsets.dispatcher), 0u);
    EXPECT_NE(WordAt(r, kOffsets.process), 0u);
    EXPECT_NE(WordAt(r, kOffsets.setParameter), 0u);
    EXPECT_NE(WordAt(r, kOffsets.getParameter), 0u);
    EXPECT_NE(WordAt(r, kOffsets.processReplacing), 0u);
    EXPECT_EQ(Int32At(r, kOffsets.numPrograms), 1);
    EXPECT_EQ(Int32At(r, kOffsets.numParams), 1);
    EXPECT_EQ(Int32At(r, kOffsets.numInputs), 2);
    EXPECT_EQ(Int32At(r, kOffsets.numOutputs), 2);
    EXPECT_EQ(Int32At(r, kOffsets.flags), 25);
    EXPECT_EQ(WordAt(r, kOffsets.resvd1), 0u);
    EXPECT_EQ(WordAt(r, kOffsets.resvd2), 0u);
    EXPECT_EQ(Int32At(r, kOffsets.initialDelay), 0);
    EXPECT_EQ(Int32At(r, kOffsets.realQualities), 0);
    EXPECT_EQ(Int32At(r, kOffsets.offQualities), 0);
    float ioRatio;
    std::memcpy(&ioRatio, Bytes(r) + kOffsets.ioRatio, sizeof ioRatio);
    EXPECT_EQ(ioRatio, 1.0f);
    EXPECT_NE(WordAt(r, kOffsets.object), 0u);
    EXPECT_EQ(WordAt(r, kOffsets.user), WordAt(r, kOffsets.object));
    EXPECT_EQ(Int32At(r, kOffsets.uniqueID), ('Q' << 24) | ('l' << 16) | ('W' << 8) | 'v');
    EXPECT_EQ(Int32At(r, kOffsets.version), 1);
    for (std::size_t i = kOffsets.future; i < kOffsets.future + 60; ++i)
        EXPECT_EQ(Bytes(r)[i], 0) << "byte " << i;
    // Padding after the last field of the 64-bit record is part of what hosts copy; it is zero too.
    for (std::size_t i = kOffsets.future + 60; i < kOffsets.size; ++i)
        EXPECT_EQ(Bytes(r)[i], 0) << "byte " << i;

    // The static entries are found through the record as a host finds them, and they answer.
    auto& effect = plugin->Effect();
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(effect.dispatcher), WordAt(r, kOffsets.dispatcher));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(effect.processReplacing),
              WordAt(r, kOffsets.processReplacing));
    const float bits = effect.getParameter(&effect, 0); // 3 bits, somewhere inside the host's 0..1
    EXPECT_GT(bits, 0.0f);
    EXPECT_LT(bits, 0.5f);
}

TEST_F(Record, EachCallOfMainGivesItsOwnRecordWithTheSameContents) {
    auto library = PluginLibrary::Load(Path(), "main");
    auto first = Plugin::Create(library);
    auto second = Plugin::Create(library);
    const unsigned char* a = Bytes(&first->Effect());
    const unsigned char* b = Bytes(&second->Effect());
    ASSERT_NE(a, b);
    EXPECT_NE(WordAt(a, kOffsets.object), WordAt(b, kOffsets.object));
    EXPECT_EQ(std::memcmp(a, b, kOffsets.object), 0);
    EXPECT_EQ(std::memcmp(a + kOffsets.uniqueID, b + kOffsets.uniqueID, kOffsets.size - kOffsets.uniqueID),
              0);
}

// The library's start-up sets the x87 control word of the thread that loads it; other threads keep theirs.
TEST_F(Record, LoadingSetsTheStartupControlWordOnTheLoadingThreadOnly) {
    const std::uint16_t before = ql::fpu::ControlWord();
    std::uint16_t loaded = 0;
    std::thread loader([&] {
        // Not the value start-up loads: 53-bit precision, as many hosts and runtimes leave it.
        ql::fpu::SetControlWord(0x027F);
        auto library = PluginLibrary::Load(Path(), "main");
        loaded = ql::fpu::ControlWord();
    });
    loader.join();
    // A library that stayed mapped from an earlier load does not start up again; that would leave 0x027F.
    // Bit 6 is reserved: processors read it back as 1 whatever was loaded, emulators as it was written.
    EXPECT_EQ(loaded | 0x40, ql::kStartupControlWord | 0x40) << std::hex << loaded;
    EXPECT_EQ(ql::fpu::ControlWord(), before);
}
