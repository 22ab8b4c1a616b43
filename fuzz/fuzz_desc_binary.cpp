// Fuzz target: any bytes read as a binary description, and as a string value followed by a description
// (the layout of stored feature parameters). Whatever reads must convert to text and back without loss.
#include "runtime/BinaryStream.h"
#include "runtime/StreamWriter.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace {

/// A tree that was read must be written, printed and read again to exactly the same bytes and text.
void CheckLossless(const ql::TDescObject& tree) {
    const std::vector<std::uint8_t> bytes = ql::WriteBinaryDescription(tree);
    const ql::TDescObject again = ql::ReadBinaryDescription(bytes);
    if (ql::WriteBinaryDescription(again) != bytes) __builtin_trap();
    const std::string text = ql::PrintDescription(tree);
    const ql::TDescObject parsed = ql::ParseDescription(text);
    if (ql::PrintDescription(parsed) != text) __builtin_trap();
    if (ql::WriteBinaryDescription(parsed) != bytes) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> input(data, size);
    try {
        CheckLossless(ql::ReadBinaryDescription(input));
    } catch (const ql::EReadError&) {
    }
    std::size_t pos = 0;
    try {
        ql::ReadBinaryString(input, pos);
        const std::size_t start = pos;
        ql::TDescObject tree = ql::ReadBinaryDescription(input, pos);
        if (pos <= start || pos > size) __builtin_trap();
        CheckLossless(tree);
    } catch (const ql::EReadError&) {
        // A failed read leaves the position where the failing part began.
        if (pos > size) __builtin_trap();
    }
    return 0;
}
