// The writer of stored descriptions: an object to a description tree through the published-property
// registry, and a tree printed in the text form.
//
// The printer writes one canonical layout, the one the project's description files are kept in, so that
// text -> tree -> text gives the same text back (comments aside, which the tree does not hold):
//   object Name: TClass                  two spaces of indentation per level
//     Count = 12                         integers in decimal
//     Rate = 44100.000000000000000000    floats: see PrintFloat
//     Caption = 'it''s'#13'x'            printable ASCII quoted, other characters as #code
//     Style = [fsBold, fsItalic]         sets; identifiers and enumerations as they are
//     Items = <                          collections: "<>" when empty
//       item
//         Name = 'a'
//       end>
//     Data = {                           binary: 32 bytes (64 upper-case hex digits) per line,
//       0A1B...                          "{}" when empty
//       FF}
//     Values = (                         lists: one value per line, "()" when empty
//       1
//       2)
//     object Child: TOther               children after the properties
//     end
//   end
#pragma once

#include "runtime/Streaming.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ql {

/// What the writer needs to know beyond the registry: which objects are described inside another,
/// how references to other objects are named, and what the bound handlers are called.
class TWriterHooks {
  public:
    virtual ~TWriterHooks() = default;
    /// Objects described inside `obj` after its properties, in order (owned components, child controls).
    virtual std::vector<const TObject*> Children(const TObject& obj);
    /// The name by which a property refers to `ref`; none when `ref` is not referred to by name, and its
    /// properties are then written as part of the holder's ("Font.Height = -11"). Raises EWriteError for
    /// an object that must be referred to by name but cannot be.
    virtual std::optional<std::string> ReferenceName(const TObject& ref);
    /// The published name of the handler an event is bound to; empty when it has none, and the event is
    /// then not stored (handlers bound in code are the code's business).
    virtual std::string MethodName(const TMethod& method, const TPropInfo& prop);
};

/// Describes `obj` and, through the hooks, the objects inside it. The object's name is the value of its
/// name property (the string property of type "TComponentName"), which is not listed again.
TDescObject WriteObject(const TObject& obj, TWriterHooks& hooks);

/// The stored properties of `obj`, ancestors' first, each class's in declaration order:
/// - left out: properties that are not stored (IsStored), that have no writer (unless they hold an owned
///   object), ordinal values equal to their declared default, null objects, unassigned events and
///   events whose handler has no published name;
/// - floats and strings have no declared default and are always written; so are collections, also
///   when empty, so that reading them back leaves the same items;
/// - an object that is not referred to by name contributes its own properties with dotted names.
/// Raises EWriteError for what a description cannot hold (an ordinal outside its enumeration, a
/// non-finite float, objects that refer back to themselves).
std::vector<TDescProp> WriteProperties(const TObject& obj, TWriterHooks& hooks);

/// The name of the handler `method` calls when it is bound to `owner` and the class of `owner`
/// publishes a handler with its code (of the property's event type, when both name one); else empty.
std::string PublishedMethodName(const TObject& owner, const TMethod& method, const TPropInfo& prop);

/// The text form of a description in the canonical layout above. Raises EWriteError for names the
/// text form cannot hold and for non-finite floats.
std::string PrintDescription(const TDescObject& desc);

/// The text form of a string: printable ASCII in quotes (quotes doubled), other characters as #code.
std::string PrintString(std::string_view text);

/// The text of a float that reads back as exactly the same value: for 0 and magnitudes from 1e-4 to
/// below 1e18, fixed-point with 18 decimals ("44100.000000000000000000") when that is exact, else with
/// as many more decimals (up to 30) as needed; other values, and those that need more decimals, in the
/// shortest exponent form ("1e-40", "1.5e+20").
std::string PrintFloat(long double value);

} // namespace ql
