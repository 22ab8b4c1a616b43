// Stored component descriptions: the text form, its parser and the reader that applies it.
//
// A description is parsed into a tree (TDescObject) before anything is applied, so malformed data
// never leaves an object half read. The same tree comes from the binary form (BinaryStream.h) and
// from the writer (StreamWriter.h), which also prints it back as text.
//
// The text form:
//   object Name: TClassName            (an unnamed object: "object TClassName")
//     Property = 123 | 1.5 | 'text' | Identifier | [Member, Member] | {0A1B...} | (1 2 3)
//     Sub.Property = ...
//     Collection = <
//       item
//         Property = ...
//       end>
//     object Child: TOtherClass
//       ...
//     end
//   end
// Properties are applied in the order they are stored, each through its writer. Comments ("//" to the
// end of the line) may stand wherever blanks may; they belong to the file, not to the description, so
// the tree does not keep them.
#pragma once

#include "runtime/Classes.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ql {

struct TDescProp;

/// Objects, collection items and lists nest at most this deep in either form.
inline constexpr size_t kMaxDescDepth = 64;
/// Names (classes, objects, properties, identifiers, set members) are at most this long in either form.
inline constexpr size_t kMaxDescName = 255;
/// A description holds at most this many objects, properties, items and values, so that no input,
/// however small each of its values, makes the reader build an unbounded tree.
inline constexpr size_t kMaxDescNodes = size_t{1} << 20;

struct TDescValue {
    enum class Kind { Integer, Float, String, Ident, Set, Collection, Binary, List };
    Kind kind = Kind::Integer;
    int64_t integer = 0;
    long double real = 0.0L;          ///< Float: the text form's extended-precision literal, unrounded
    std::string text;                 ///< String and Ident
    std::vector<std::string> members; ///< Set
    std::vector<std::vector<TDescProp>> items; ///< Collection: each item's properties
    std::vector<uint8_t> bytes;                ///< Binary
    std::vector<TDescValue> list;              ///< List
};

struct TDescProp {
    std::string name;
    TDescValue value;
    int line = 0;
};

struct TDescObject {
    std::string name; ///< may be empty
    std::string className;
    bool inherited = false; ///< written "inherited" instead of "object"
    std::vector<TDescProp> props;
    std::vector<TDescObject> children;
    int line = 0;
};

/// Parses one description; raises EReadError naming the line on malformed text.
TDescObject ParseDescription(std::string_view text);

/// Whether `text` is a name the text form can hold: a letter or '_', then letters, digits and '_'
/// (and '.' between parts when `dotted`), at most kMaxDescName characters.
bool IsDescName(std::string_view text, bool dotted);

/// What the reader needs from the object being loaded (the root component).
class TReaderHooks {
  public:
    virtual ~TReaderHooks() = default;
    /// Creates a child object described inside `parent` (an owned component, a control).
    virtual TObject* CreateChild(TObject& parent, const TDescObject& desc) = 0;
    /// Resolves a reference by component name ("Owner"-like names included).
    virtual TObject* FindReference(std::string_view name) = 0;
    /// Binds a handler by name for an event property; an unassigned method means "not found".
    virtual TMethod FindMethod(std::string_view name, const TPropInfo& prop) = 0;
};

/// Applies stored properties to `target` in their stored order.
void ReadProperties(TObject& target, const std::vector<TDescProp>& props, TReaderHooks& hooks);

/// Applies a whole object description: its properties, then its children (created through the hooks).
void ReadObject(TObject& target, const TDescObject& desc, TReaderHooks& hooks);

/// Embedded text resources (stored descriptions, pictures) compiled into the library.
void RegisterResource(std::string_view name, const void* data, size_t size);
/// The resource's bytes, or an empty view when there is none of that name.
std::string_view FindResource(std::string_view name);

} // namespace ql
