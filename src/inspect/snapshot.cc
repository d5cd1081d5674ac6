#include "inspect/snapshot.h"

#include <cstring>

#include "inspect/text.h"
#include "store/registry.h"
#include "store/store.h"

namespace kvs {
namespace inspect {
namespace {

// A call that failed on key. The puts and the create answer
// CT_errorNoResource only when the heap is exhausted: that reads as "out of
// memory", the words every inspection wrapper uses for it, so that callers
// can tell it from a fault of their input.
std::string failure(const char *what, CTsymbol key, CTerror e)
{
    if (e == CT_errorNoResource) return kOutOfMemory;
    return std::string(what) + " " + symbol_text(key) + ": " + error_text(e);
}

std::string unknown_type(CTsymbol key, std::uint32_t type)
{
    return "pair " + symbol_text(key) + " has the unknown type code " + std::to_string(type);
}

// The header of a registered set with a sound signature, or null.
const KVSetHeader *resolve(CTkvs kvs)
{
    KVSetHeader *header = nullptr;
    return registry_resolve(kvs, &header) == CT_errorOK ? header : nullptr;
}

// ---- Reading: the pair list, copied by shape and element size ----------

bool read_list(const KVSetHeader &set, Set *out, std::string *error);

// Appends a copy of a nested set to sets.
bool read_nested(const KVSetHeader &nested, std::vector<OptionalSet> *sets, std::string *error)
{
    sets->emplace_back(Set());
    return read_list(nested, &*sets->back(), error);
}

// A value block that cannot be what its type says: an array with a negative
// count or no block for its elements, or no block where one value must be.
bool malformed(const KVPairNode &node, const TypeInfo &info)
{
    if (is_array_shape(info.shape)) return node.count < 0 || (node.count > 0 && node.value() == nullptr);
    return node.value() == nullptr && info.shape != Shape::String;
}

bool read_value(const KVPairNode &node, const TypeInfo &info, Pair *pair, std::string *error)
{
    if (malformed(node, info)) {
        *error = "pair " + symbol_text(node.key) + " holds a malformed " +
                 (is_array_shape(info.shape) ? "array" : "value");
        return false;
    }
    const auto n = is_array_shape(info.shape) ? static_cast<std::size_t>(node.count) : 1;
    switch (info.shape) {
    case Shape::String: {
        const auto *s = static_cast<const wchar_t *>(node.value());
        pair->strings.push_back(s == nullptr ? OptionalString() : OptionalString(s));
        return true;
    }
    case Shape::StringArray: {
        const auto *strings = static_cast<const wchar_t *const *>(node.value());
        pair->strings.reserve(n);
        for (std::size_t i = 0; i < n; ++i)
            pair->strings.push_back(strings[i] == nullptr ? OptionalString() : OptionalString(strings[i]));
        return true;
    }
    case Shape::Nested: {
        const KVSetHeader *nested = resolve(*static_cast<const CTkvs *>(node.value()));
        if (nested != nullptr) return read_nested(*nested, &pair->sets, error);
        *error = failure("cannot read pair", node.key, CT_errorInvalidKVSet);
        return false;
    }
    case Shape::NestedArray: {
        const auto *handles = static_cast<const CTkvs *>(node.value());
        pair->sets.reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
            if (handles[i] == 0) {
                pair->sets.emplace_back();  // an empty element
                continue;
            }
            const KVSetHeader *nested = resolve(handles[i]);
            if (nested == nullptr) {
                *error = "element " + std::to_string(i) + " of pair " + symbol_text(node.key) + " is not a valid KV-Set";
                return false;
            }
            if (!read_nested(*nested, &pair->sets, error)) return false;
        }
        return true;
    }
    case Shape::Bytes: {
        const auto *b = static_cast<const std::uint8_t *>(node.value());
        pair->bytes.assign(b, b + n);
        return true;
    }
    case Shape::Char: {
        std::uint16_t c = 0;
        std::memcpy(&c, node.value(), sizeof c);
        pair->words.push_back(c);
        return true;
    }
    case Shape::Scalar:
    case Shape::Range:
    case Shape::Array:
    case Shape::RangeArray:
        // Whole 32-bit words: one per value, two per range.
        pair->words.resize(n * info.elementSize / sizeof(std::uint32_t));
        if (n != 0) std::memcpy(pair->words.data(), node.value(), n * info.elementSize);
        return true;
    }
    return false;
}

bool read_list(const KVSetHeader &set, Set *out, std::string *error)
{
    out->reserve(static_cast<std::size_t>(set.pairCount > 0 ? set.pairCount : 0));
    for (const KVPairNode *node = set.first; node != nullptr; node = node->next) {
        const TypeInfo *info = type_info(node->type);
        if (info == nullptr || info->storedCode != node->type) {
            *error = unknown_type(node->key, node->type);
            return false;
        }
        out->emplace_back();
        Pair &pair = out->back();
        pair.key = node->key;
        pair.type = node->type;
        if (!read_value(*node, *info, &pair, error)) return false;
    }
    return true;
}

// ---- Building: the store's puts, by shape ------------------------------

bool make_at(const Set &set, std::int32_t level, CTkvs *kvs, std::string *error);

// A registered copy of `set` at `level`, or 0 for an absent set.
bool make_optional(const OptionalSet &set, std::int32_t level, CTkvs *kvs, std::string *error)
{
    *kvs = 0;
    return !set || make_at(*set, level, kvs, error);
}

// The sets of a KV-Set array value, each built one level below `holder`.
// The put copies every element, so the elements that are empty sets all
// pass one empty set rather than one registered set each.
class ElementSets {
public:
    ~ElementSets()
    {
        for (CTkvs h : handles_)
            if (h != empty_) destroy_set_quietly(h);
        destroy_set_quietly(empty_);
    }

    bool make(const std::vector<OptionalSet> &sets, std::int32_t level, std::string *error)
    {
        handles_.assign(sets.size(), 0);
        for (std::size_t i = 0; i < sets.size(); ++i) {
            if (sets[i] && sets[i]->empty()) {
                if (empty_ == 0 && !make_at(Set(), level, &empty_, error)) return false;
                handles_[i] = empty_;
            } else if (!make_optional(sets[i], level, &handles_[i], error)) {
                return false;
            }
        }
        return true;
    }

    const CTkvs *data() const { return handles_.data(); }

private:
    std::vector<CTkvs> handles_;
    CTkvs empty_ = 0;
};

// Stores one pair into set; false with *error.
bool put_pair(KVSetHeader *set, const Pair &p, std::string *error)
{
    const TypeInfo *info = type_info(p.type);
    if (info == nullptr) {
        *error = unknown_type(p.key, p.type);
        return false;
    }
    const CTsymbol key = p.key;
    const std::uint32_t type = info->storedCode;
    const auto n = static_cast<std::uint32_t>(p.elements());
    if (info->emptyRefused && n == 0) {
        *error = failure("cannot store pair", key, CT_errorBadParameter);
        return false;
    }
    CTerror e = CT_errorOK;
    CTstatus st = CT_statusOK;
    switch (info->shape) {
    case Shape::Scalar:
    case Shape::Range:
    case Shape::Array:
    case Shape::RangeArray: {
        // Whole 32-bit words; a single range counts its two bounds.
        const std::int32_t count =
            info->shape == Shape::Range ? 2 : is_array_shape(info->shape) ? static_cast<std::int32_t>(n) : 1;
        st = put_block(set, key, type, count, p.words.data(), p.words.size() * sizeof(std::uint32_t), &e);
        break;
    }
    case Shape::Char: {
        const auto c = static_cast<std::uint16_t>(p.words[0]);
        st = put_block(set, key, type, 1, &c, sizeof c, &e);
        break;
    }
    case Shape::Bytes:
        st = put_block(set, key, type, static_cast<std::int32_t>(n), p.bytes.data(), p.bytes.size(), &e);
        break;
    case Shape::String: st = put_string(set, key, p.strings[0] ? p.strings[0]->c_str() : nullptr, &e); break;
    case Shape::StringArray: {
        std::vector<const wchar_t *> strings;
        strings.reserve(n);
        for (const OptionalString &s : p.strings) strings.push_back(s ? s->c_str() : nullptr);
        st = put_string_array(set, key, strings.data(), n, &e);
        break;
    }
    case Shape::Nested: {
        CTkvs inner = 0;
        if (!make_optional(p.sets[0], set->level + 1, &inner, error)) return false;
        st = put_nested(set, key, inner, &e);
        destroy_set_quietly(inner);
        break;
    }
    case Shape::NestedArray: {
        ElementSets elements;
        if (!elements.make(p.sets, set->level + 1, error)) return false;
        st = put_nested_array(set, key, elements.data(), n, &e);
        break;
    }
    }
    if (st != CT_statusOK) {
        *error = failure("cannot store pair", key, e);
        return false;
    }
    return true;
}

bool make_at(const Set &set, std::int32_t level, CTkvs *kvs, std::string *error)
{
    *kvs = 0;
    CTkvs made = 0;
    if (create_set(&made, level) != CT_errorOK) {
        *error = kOutOfMemory;
        return false;
    }
    KVSetHeader *header = registry_find(made);
    for (const Pair &p : set) {
        if (!put_pair(header, p, error)) {
            destroy_set_quietly(made);
            return false;
        }
    }
    *kvs = made;
    return true;
}

}  // namespace

std::size_t Pair::elements() const
{
    switch (info().shape) {
    case Shape::Bytes: return bytes.size();
    case Shape::Range:
    case Shape::RangeArray: return words.size() / 2;
    case Shape::String:
    case Shape::StringArray: return strings.size();
    case Shape::Nested:
    case Shape::NestedArray: return sets.size();
    default: return words.size();
    }
}

bool read_set(CTkvs kvs, Set *out, std::string *error)
{
    out->clear();
    const KVSetHeader *set = resolve(kvs);
    if (set == nullptr) {
        *error = "handle " + std::to_string(kvs) + " is not a valid KV-Set";
        return false;
    }
    return read_list(*set, out, error);
}

bool make_set(const Set &set, CTkvs *kvs, std::string *error) { return make_at(set, 0, kvs, error); }

}  // namespace inspect
}  // namespace kvs
