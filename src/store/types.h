// The table of the 35 value types. Puts, gets, copy, release, compare, the
// codecs, the diagnostics and the inspection forms are driven by it: a new
// value type is one row here (and its row in families.h).
#ifndef KVSET_SRC_STORE_TYPES_H
#define KVSET_SRC_STORE_TYPES_H

#include <cstddef>
#include <cstdint>

namespace kvs {

// How a type's value block is laid out.
enum class Shape : std::uint8_t {
    Scalar,       // one 32-bit value
    Char,         // one 16-bit code unit
    Range,        // lower, upper (two int32)
    Nested,       // one owned KV-Set handle
    String,       // wchar_t string, or no block for an absent string
    Array,        // count 32-bit values
    Bytes,        // count bytes
    RangeArray,   // count ranges
    NestedArray,  // count owned handles, 0 for an empty element
    StringArray,  // count owned wchar_t strings, each may be null
};

// How the diagnostics show one value, or one element of an array.
enum class Show : std::uint8_t {
    Bool,    // CT_boolFalse for 0, else CT_boolTrue
    Int,     // signed decimal
    Uint,    // unsigned decimal
    Handle,  // signed decimal; array elements spaced wider than Int
    Hex,     // eight upper-case hex digits and "H"
    Mode,    // CT_modeAsync, CT_modeSync or UNKNOWN (n)
    Status,  // CT_statusOK ... CT_statusDestroy or UNKNOWN (n)
    Symbol,  // the symbol's name from the naming service
    Char,    // the character itself
    Byte,    // two lower-case hex digits and "H"
    Range,   // lower / upper
    String,  // the string in quotes
    Set,     // a nested KV-Set, shown recursively
};

// How one 32-bit word of a value (a single value or an array element) reads
// and prints as a number in the JSON form and the tree.
enum class Number : std::uint8_t {
    Unsigned,  // unsigned decimal
    Signed,    // signed decimal (also the bounds of a range)
    Symbol,    // a symbol, printed by its name
    Bool,      // printed as 0 or 1; the JSON form also reads true and false
};

struct TypeInfo {
    std::uint32_t code;
    const wchar_t *name;       // S.100 name: "CTbool", "CTint[]", "Byte[]"
    Shape shape;
    std::uint32_t elementSize;  // bytes per element in the value block
    std::uint32_t storedCode;   // code a put stores (27 is stored as 21)
    bool emptyRefused;          // the array put refuses a count of 0 (CT_errorBadParameter)
    // Label the display puts after "Type = ". Array headings add "[count]"
    // themselves, so some array labels show their own "[]" before it.
    const wchar_t *displayLabel;
    Show show;
    Number number;
    bool plainText;  // MRQKvs_AsText prints the value (else "Unsupported Type")
};

// The type of a code, or null for a code that belongs to no type.
const TypeInfo *type_info(std::uint32_t code);

// Every known type, in code order.
const TypeInfo *type_table(std::size_t *count);

// The largest code of a type.
constexpr std::uint32_t kMaxTypeCode = 120;

// What a loop over many pairs (the encoder) needs of a pair's type, read
// inline from a table indexed by code, with no call per pair. One byte tells
// both whether the code is a type and its shape, so is() is one compare.
class TypeShape {
public:
    constexpr TypeShape() = default;
    constexpr explicit TypeShape(Shape shape) : tag_(static_cast<std::uint8_t>(static_cast<std::uint8_t>(shape) + 1)) {}

    // False: the code belongs to no type.
    bool known() const { return tag_ != 0; }
    // Of a known type.
    Shape shape() const { return static_cast<Shape>(tag_ - 1); }
    // A known type of shape s.
    bool is(Shape s) const { return tag_ == static_cast<std::uint8_t>(s) + 1; }

private:
    std::uint8_t tag_ = 0;  // shape + 1, or 0 for no type
};

struct TypeShapeTable {
    TypeShape byCode[kMaxTypeCode + 1];
};
extern const TypeShapeTable kTypeShapes;

inline TypeShape type_shape(std::uint32_t code) { return code <= kMaxTypeCode ? kTypeShapes.byCode[code] : TypeShape{}; }

// Shapes whose value lives inside the pair node (at most 8 bytes).
inline bool is_inline_shape(Shape s) { return s == Shape::Scalar || s == Shape::Char || s == Shape::Range; }

// Shapes whose value block holds KV-Set handles the pair owns.
inline bool is_nested_shape(Shape s) { return s == Shape::Nested || s == Shape::NestedArray; }

inline bool is_array_shape(Shape s)
{
    return s == Shape::Array || s == Shape::Bytes || s == Shape::RangeArray ||
           s == Shape::NestedArray || s == Shape::StringArray;
}

// Bytes of a fixed-size value block: one element for single values, count
// elements for arrays.
inline std::size_t block_bytes(const TypeInfo &info, std::int32_t count)
{
    if (!is_array_shape(info.shape)) return info.elementSize;
    return count <= 0 ? 0 : static_cast<std::size_t>(count) * info.elementSize;
}

}  // namespace kvs

#endif
