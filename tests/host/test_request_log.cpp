// The ring of host requests: order, filtering, bounds and appends from several threads.
#include "host/Host.h"
#include "host/RequestLog.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

using namespace ql::host;

namespace {
Request Make(vst::Int32 opcode, vst::Int32 index) {
    Request r;
    r.opcode = opcode;
    r.index = index;
    return r;
}
} // namespace

TEST(RequestLog, KeepsOrderAndFiltersByOpcode) {
    RequestLog log;
    log.Append(Make(vst::audioMasterVersion, 0));
    log.Append(Make(vst::audioMasterAutomate, 3));
    log.Append(Make(vst::audioMasterAutomate, 4));
    auto all = log.Entries();
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].sequence, 1u);
    EXPECT_EQ(all[2].sequence, 3u);
    auto automations = log.Entries(vst::audioMasterAutomate);
    ASSERT_EQ(automations.size(), 2u);
    EXPECT_EQ(automations[0].index, 3);
    EXPECT_EQ(automations[1].index, 4);
    log.Clear();
    EXPECT_TRUE(log.Entries().empty());
    EXPECT_EQ(log.Total(), 0u);
}

TEST(RequestLog, HoldsOnlyTheMostRecentEntriesOnceFull) {
    RequestLog log;
    const std::size_t total = RequestLog::kCapacity + 10;
    for (std::size_t i = 0; i < total; ++i)
        log.Append(Make(0, static_cast<vst::Int32>(i)));
    auto entries = log.Entries();
    ASSERT_EQ(entries.size(), RequestLog::kCapacity);
    EXPECT_EQ(entries.front().index, 10);
    EXPECT_EQ(entries.back().index, static_cast<vst::Int32>(total - 1));
    EXPECT_EQ(log.Total(), total);
}

TEST(RequestLog, AppendsFromSeveralThreadsAreAllKept) {
    RequestLog log;
    constexpr int kThreads = 4, kEach = 500;
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&log, t] {
            for (int i = 0; i < kEach; ++i)
                log.Append(Make(t, i));
        });
    for (auto& th : threads)
        th.join();
    auto entries = log.Entries();
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(kThreads * kEach));
    std::set<std::uint64_t> sequences;
    for (const auto& e : entries)
        sequences.insert(e.sequence);
    EXPECT_EQ(sequences.size(), entries.size());
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(log.Entries(t).size(), static_cast<std::size_t>(kEach));
}

TEST(HostAnswers, AnswerLikeARealHostAndLogEveryRequest) {
    Host host;
    host.SetSampleRate(48000.0);
    host.SetBlockSize(256);
    EXPECT_EQ(host.Handle(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0), 2400);
    EXPECT_EQ(host.Handle(nullptr, vst::audioMasterTempoAt, 0, 0, nullptr, 0), 1200000);
    EXPECT_EQ(host.Handle(nullptr, vst::audioMasterGetSampleRate, 0, 0, nullptr, 0), 48000);
    EXPECT_EQ(host.Handle(nullptr, vst::audioMasterGetBlockSize, 0, 0, nullptr, 0), 256);
    auto* time = reinterpret_cast<const vst::VstTimeInfo*>(
        host.Handle(nullptr, vst::audioMasterGetTime, 0, 0, nullptr, 0));
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->tempo, 120.0);
    EXPECT_EQ(time->sampleRate, 48000.0);
    EXPECT_TRUE(time->flags & vst::kVstTempoValid);
    host.AdvanceTime(24000);
    EXPECT_EQ(time->samplePos, 24000.0);
    EXPECT_DOUBLE_EQ(time->ppqPos, 1.0); // half a second at 120 beats per minute

    char vendor[64], product[64];
    EXPECT_EQ(host.Handle(nullptr, vst::audioMasterGetVendorString, 0, 0, vendor, 0), 1);
    EXPECT_EQ(host.Handle(nullptr, vst::audioMasterGetProductString, 0, 0, product, 0), 1);
    EXPECT_STREQ(vendor, "Quantilaw");
    EXPECT_STREQ(product, "qlhost");
    char canDo[] = "sendVstTimeInfo", cannot[] = "offline", unknown[] = "fly";
    EXPECT_EQ(host.Handle(nullptr, vst::audioMasterCanDo, 0, 0, canDo, 0), 1);
    EXPECT_EQ(host.Handle(nullptr, vst::audioMasterCanDo, 0, 0, cannot, 0), -1);
    EXPECT_EQ(host.Handle(nullptr, vst::audioMasterCanDo, 0, 0, unknown, 0), 0);
    EXPECT_EQ(host.Handle(nullptr, vst::audioMasterCanDo, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(host.Handle(nullptr, vst::audioMasterAutomate, 0, 0, nullptr, 0.5f), 0);
    EXPECT_EQ(host.Handle(nullptr, 999, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(host.Handle(nullptr, -5, 0, 0, nullptr, 0), 0);

    auto asked = host.Log().Entries(vst::audioMasterCanDo);
    ASSERT_EQ(asked.size(), 4u);
    EXPECT_EQ(asked[0].Text(), "sendVstTimeInfo");
    EXPECT_EQ(asked[3].Text(), "");
    EXPECT_FALSE(asked[3].hasPtr);
    EXPECT_EQ(host.Log().Entries(vst::audioMasterAutomate).at(0).opt, 0.5f);
    EXPECT_EQ(host.Log().Entries().back().thread, std::this_thread::get_id());
}

TEST(HostAnswers, OverriddenRepliesWinUntilCleared) {
    Host host;
    host.SetReply(vst::audioMasterVersion, 0);
    host.SetReply(vst::audioMasterTempoAt, 900000);
    host.SetReply(500, 1); // outside the known opcodes: ignored
    EXPECT_EQ(host.Handle(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0), 0);
    EXPECT_EQ(host.Handle(nullptr, vst::audioMasterTempoAt, 0, 0, nullptr, 0), 900000);
    EXPECT_EQ(host.Handle(nullptr, 500, 0, 0, nullptr, 0), 0);
    host.ClearReplies();
    EXPECT_EQ(host.Handle(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0), 2400);
}

TEST(HostAnswers, ProcessEventsCountsTheEventsHandedOver) {
    Host host;
    vst::VstMidiEvent a{}, b{};
    vst::VstEvents events{};
    events.numEvents = 2;
    events.events[0] = reinterpret_cast<vst::VstEvent*>(&a);
    events.events[1] = reinterpret_cast<vst::VstEvent*>(&b);
    EXPECT_EQ(host.Handle(nullptr, vst::audioMasterProcessEvents, 0, 0, &events, 0), 1);
    EXPECT_EQ(host.Log().Entries(vst::audioMasterProcessEvents).at(0).events, 2);
}
