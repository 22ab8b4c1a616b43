// A bounded record of the requests a plug-in sent to its host, safe to append to from the audio thread.
#pragma once

#include "host/VstHostAbi.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace ql::host {

/// One host request as the plug-in made it.
struct Request {
    std::uint64_t sequence = 0; ///< 1 for the first request the log took, then counting up
    const vst::AEffect* effect = nullptr;
    vst::Int32 opcode = 0;
    vst::Int32 index = 0;
    vst::IntPtr value = 0;
    float opt = 0.0f;
    bool hasPtr = false;
    vst::Int32 events = -1; ///< audioMasterProcessEvents: the number of events handed over
    char text[48] = {};     ///< audioMasterCanDo: the text asked about (cut to fit)
    std::thread::id thread;

    std::string Text() const { return std::string(text); }
};

/// A ring of the most recent requests. Appending neither allocates nor locks; several threads may append at
/// once. Reading is meant for when the plug-in is quiet (between calls, after audio threads have joined):
/// an entry still being written while it is read is left out.
class RequestLog {
  public:
    static constexpr std::size_t kCapacity = 4096;

    RequestLog();
    RequestLog(const RequestLog&) = delete;
    RequestLog& operator=(const RequestLog&) = delete;

    void Append(const Request& request) noexcept;

    /// The entries still held, oldest first; with an opcode, only those of that opcode.
    std::vector<Request> Entries() const;
    std::vector<Request> Entries(vst::Int32 opcode) const;

    /// How many requests were appended since the last Clear (also those the ring has dropped).
    std::uint64_t Total() const noexcept { return fHead.load(std::memory_order_acquire); }

    /// Forgets every entry. Only while no thread appends.
    void Clear() noexcept;

  private:
    static constexpr std::uint64_t kWriting = ~std::uint64_t(0);
    struct Slot {
        std::atomic<std::uint64_t> stamp{0}; ///< sequence of the entry held, kWriting while being written
        Request request;
    };
    std::unique_ptr<std::array<Slot, kCapacity>> fSlots;
    std::atomic<std::uint64_t> fHead{0};
};

} // namespace ql::host
