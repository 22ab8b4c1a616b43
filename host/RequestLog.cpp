// The ring of host requests.
#include "host/RequestLog.h"

namespace ql::host {

RequestLog::RequestLog() : fSlots(std::make_unique<std::array<Slot, kCapacity>>()) {}

void RequestLog::Append(const Request& request) noexcept {
    std::uint64_t sequence = fHead.fetch_add(1, std::memory_order_acq_rel) + 1;
    Slot& slot = (*fSlots)[(sequence - 1) % kCapacity];
    // Claim the slot; a writer a whole ring ahead may still be filling it, and then this entry is
    // dropped rather than written over it (the ring keeps only recent entries anyway).
    std::uint64_t held = slot.stamp.load(std::memory_order_acquire);
    do {
        if (held == kWriting) return;
    } while (!slot.stamp.compare_exchange_weak(held, kWriting, std::memory_order_acq_rel,
                                               std::memory_order_acquire));
    slot.request = request;
    slot.request.sequence = sequence;
    slot.stamp.store(sequence, std::memory_order_release);
}

std::vector<Request> RequestLog::Entries() const { return Entries(-1); }

std::vector<Request> RequestLog::Entries(vst::Int32 opcode) const {
    std::vector<Request> out;
    std::uint64_t head = fHead.load(std::memory_order_acquire);
    std::uint64_t first = head > kCapacity ? head - kCapacity + 1 : 1;
    for (std::uint64_t sequence = first; sequence <= head; ++sequence) {
        const Slot& slot = (*fSlots)[(sequence - 1) % kCapacity];
        if (slot.stamp.load(std::memory_order_acquire) != sequence) continue;
        if (opcode >= 0 && slot.request.opcode != opcode) continue;
        out.push_back(slot.request);
    }
    return out;
}

void RequestLog::Clear() noexcept {
    for (Slot& slot : *fSlots)
        slot.stamp.store(0, std::memory_order_relaxed);
    fHead.store(0, std::memory_order_release);
}

} // namespace ql::host
