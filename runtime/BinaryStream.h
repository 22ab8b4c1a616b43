// The binary form of stored descriptions: the same tree as the text form, compact and exact.
//
// Text and binary convert into each other without loss: both hold exactly the trees the other can
// hold (the same names, nesting and node limits; floats at extended precision; no comments).
//
// Layout (numbers little-endian, lengths i32 are signed 32-bit and never negative):
//   description := "QLD1" object                      the 4-byte signature, then the root object
//   object      := tag class name property* 00 object* 00
//                  tag 01 "object", 02 "inherited"; class and name are names (the name may be empty);
//                  the properties end with an empty name, the children with a 00 byte
//   name        := u8 length, characters               class, object, property and member names
//   property    := name value                          a non-empty name, dotted for nested objects
//   value       := kind payload
//     01 int8  02 int16  03 int32  04 int64            two's complement; writers take the smallest
//     05 extended        u64 significand with its integer bit, u16 sign bit and 15-bit biased exponent;
//                        zero or normal (no infinities, NaNs or denormals: the text form has none)
//     06 string          u8 length, characters         (writers use it up to 255 characters)
//     07 long string     i32 length, characters
//     08 identifier      name                          enumeration members, references, handlers
//     09 False  0A True  0B nil                        identifiers of their own
//     0C set             name* 00                      member names, ending with an empty one
//     0D binary          i32 length, bytes
//     0E collection      (01 property* 00)* 00         items, each a property list
//     0F list            value* 00
//
// Reading trusts nothing: every length is checked against the bytes that are there before anything
// is allocated, kinds and tags must be known, names must be names the text form can hold, floats
// finite and normal, nesting and node counts within the limits of Streaming.h. A fault raises
// EReadError naming the byte offset; a failed read changes nothing.
#pragma once

#include "runtime/Streaming.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ql {

/// The four bytes every binary description starts with.
inline constexpr char kBinaryDescSignature[4] = {'Q', 'L', 'D', '1'};

/// Whether `data` starts with the binary signature.
bool IsBinaryDescription(std::span<const uint8_t> data);
bool IsBinaryDescription(std::string_view data);

/// Appends a whole description (signature and root object). Raises EWriteError for what the text form
/// could not hold either; `out` is then left as it was.
void AppendBinaryDescription(std::vector<uint8_t>& out, const TDescObject& desc);
std::vector<uint8_t> WriteBinaryDescription(const TDescObject& desc);

/// Reads one description starting at `pos` and moves `pos` past it; data after it is left alone (a
/// description embedded in a larger stream). On failure `pos` does not move.
TDescObject ReadBinaryDescription(std::span<const uint8_t> data, size_t& pos);
/// Reads a description that must fill `data` exactly.
TDescObject ReadBinaryDescription(std::span<const uint8_t> data);

/// One value in the binary encoding (kind byte and payload), for data that embeds single values.
void AppendBinaryValue(std::vector<uint8_t>& out, const TDescValue& value);
TDescValue ReadBinaryValue(std::span<const uint8_t> data, size_t& pos);

/// One string value (kind 06 or 07 and the characters); reading raises EReadError for any other kind.
void AppendBinaryString(std::vector<uint8_t>& out, std::string_view text);
std::string ReadBinaryString(std::span<const uint8_t> data, size_t& pos);

/// A description in either form, told apart by the binary signature (resources may hold either).
TDescObject ReadAnyDescription(std::string_view data);

/// The 10-byte extended encoding of a value; raises EWriteError for infinities, NaNs and denormals.
void EncodeExtended(long double value, uint8_t out[10]);
/// The value of a 10-byte extended encoding; false for infinities, NaNs, denormals and unnormals.
bool DecodeExtended(const uint8_t in[10], long double& value);

} // namespace ql
