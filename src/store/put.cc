// The put family: every put copies its value into a new block and stores it
// through store_pair (replace in place, or append).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "store/alloc.h"
#include "store/call.h"
#include "store/families.h"
#include "store/pairs.h"
#include "store/registry.h"
#include "store/store.h"
#include "store/types.h"

namespace kvs {
namespace {

// The key check accepts every key; kept as the one place a key is judged.
inline bool key_accepted(CTsymbol) { return true; }

wchar_t *copy_wstring(const wchar_t *s)
{
    std::size_t n = std::wcslen(s) + 1;
    auto *copy = static_cast<wchar_t *>(mem_malloc(n * sizeof(wchar_t)));
    if (copy != nullptr) std::memcpy(copy, s, n * sizeof(wchar_t));
    return copy;
}

// Frees the first `made` strings and the block.
void free_strings(wchar_t **strings, std::uint32_t made)
{
    for (std::uint32_t i = 0; i < made; ++i) mem_free(strings[i]);
    mem_free(strings);
}

void destroy_copies(CTkvs *handles, std::uint32_t made)
{
    for (std::uint32_t i = 0; i < made; ++i)
        if (handles[i] != 0) destroy_set_quietly(handles[i]);
    mem_free(handles);
}

// Array arguments: a strict family refuses null and 0; every family refuses
// null with a count, a size in bytes that does not fit in 32 bits, and a
// count that does not fit the pair's signed element count (byte arrays).
CTstatus check_array(const void *elements, std::uint32_t count, std::size_t elementSize, bool strict,
                     CTerror *error)
{
    if (strict && (elements == nullptr || count == 0)) return answer(error, CT_errorBadParameter, CT_statusFail);
    if (elements == nullptr && count > 0) return answer(error, CT_errorBadParameter, CT_statusFail);
    if (count > static_cast<std::uint32_t>(INT32_MAX) || static_cast<std::uint64_t>(count) * elementSize > UINT32_MAX)
        return answer(error, CT_errorBadParameter, CT_statusFail);
    return CT_statusOK;
}

template <class T>
CTstatus put_array(CTkvs kvs, CTsymbol key, std::uint32_t type, const T *elements, std::uint32_t count, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set);
    if (status != CT_statusOK) return status;
    status = check_array(elements, count, sizeof(T), type_info(type)->emptyRefused, error);
    if (status != CT_statusOK) return status;
    key_accepted(key);
    return put_block(set, key, type, static_cast<std::int32_t>(count), elements,
                     static_cast<std::size_t>(count) * sizeof(T), error);
}

// Single values, characters and ranges (a range counts its two bounds).
template <class T>
CTstatus put_single(CTkvs kvs, CTsymbol key, std::uint32_t type, T value, CTerror *error, std::int32_t count = 1)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set);
    if (status != CT_statusOK) return status;
    key_accepted(key);
    return put_block(set, key, type, count, &value, sizeof(T), error);
}

}  // namespace

CTstatus put_block(KVSetHeader *set, CTsymbol key, std::uint32_t type, std::int32_t count, const void *data,
                   std::size_t bytes, CTerror *error)
{
    const TypeInfo *info = type_info(type);
    if (info != nullptr && is_inline_shape(info->shape) && bytes <= sizeof(KVPairNode::inlineValue))
        return store_inline(set, key, type, count, data, bytes, error);
    // An empty array still gets a (one-byte) block, so the pair has a value.
    void *block = mem_malloc(bytes == 0 ? 1 : bytes);
    if (block == nullptr) return answer(error, CT_errorNoResource, CT_statusWarning);
    if (bytes != 0) std::memcpy(block, data, bytes);
    return store_pair(set, key, type, count, block, error);
}

CTerror widen_narrow(const char *text, wchar_t **wide)
{
    // Measuring also tells whether the locale can convert the text at all.
    const std::size_t n = std::mbstowcs(nullptr, text, 0);
    if (n == static_cast<std::size_t>(-1)) return CT_errorBadParameter;
    *wide = static_cast<wchar_t *>(mem_calloc(n + 1, sizeof(wchar_t)));
    if (*wide == nullptr) return CT_errorNoResource;
    std::mbstowcs(*wide, text, n + 1);
    return CT_errorOK;
}

CTstatus put_string(KVSetHeader *set, CTsymbol key, const wchar_t *value, CTerror *error)
{
    wchar_t *copy = nullptr;
    if (value != nullptr) {
        copy = copy_wstring(value);
        if (copy == nullptr) return answer(error, CT_errorNoResource, CT_statusWarning);
    }
    return store_pair(set, key, KV_TYPE_STRING, 1, copy, error);
}

CTstatus put_nested(KVSetHeader *set, CTsymbol key, CTkvs nested, CTerror *error)
{
    KVSetHeader *source = nullptr;
    CTerror verdict = registry_resolve(nested, &source);
    if (verdict != CT_errorOK) return answer(error, verdict, CT_statusFail);
    key_accepted(key);
    CTkvs copy = 0;
    CTerror cloned = clone_set(source, set->level + 1, &copy);
    if (cloned != CT_errorOK) return answer(error, cloned, CT_statusFail);
    auto *block = static_cast<CTkvs *>(mem_malloc(sizeof(CTkvs)));
    if (block == nullptr) {
        destroy_set_quietly(copy);
        return answer(error, CT_errorNoResource, CT_statusWarning);
    }
    *block = copy;
    return store_pair(set, key, KV_TYPE_KVS, 1, block, error);
}

CTstatus put_string_array(KVSetHeader *set, CTsymbol key, const wchar_t *const *strings, std::uint32_t count,
                          CTerror *error)
{
    auto *block = static_cast<wchar_t **>(mem_calloc(count == 0 ? 1 : count, sizeof(wchar_t *)));
    if (block == nullptr) return answer(error, CT_errorNoResource, CT_statusWarning);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (strings[i] == nullptr) continue;
        block[i] = copy_wstring(strings[i]);
        if (block[i] == nullptr) {
            free_strings(block, i);
            return answer(error, CT_errorNoResource, CT_statusWarning);
        }
    }
    return store_pair(set, key, KV_TYPE_STRING_ARRAY, static_cast<std::int32_t>(count), block, error);
}

CTstatus put_nested_array(KVSetHeader *set, CTsymbol key, const CTkvs *handles, std::uint32_t count, CTerror *error)
{
    auto *block = static_cast<CTkvs *>(mem_calloc(count == 0 ? 1 : count, sizeof(CTkvs)));
    if (block == nullptr) return answer(error, CT_errorNoResource, CT_statusWarning);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (handles[i] == 0) continue;
        KVSetHeader *source = nullptr;
        if (registry_resolve(handles[i], &source) != CT_errorOK) {
            destroy_copies(block, i);
            return answer(error, CT_errorInvalidKVSet, CT_statusFail);
        }
        CTerror cloned = clone_set(source, set->level + 1, &block[i]);
        if (cloned != CT_errorOK) {
            destroy_copies(block, i);
            return answer(error, cloned, CT_statusFail);
        }
    }
    return store_pair(set, key, KV_TYPE_KVS_ARRAY, static_cast<std::int32_t>(count), block, error);
}

}  // namespace kvs

using namespace kvs;

extern "C" {

#define KVS_DEFINE_SCALAR_PUT(Name, code, T)                                   \
    CTstatus CTkvs_Put##Name(CTkvs kvs, CTsymbol key, T value, CTerror *error) \
    {                                                                          \
        return put_single<T>(kvs, key, code, value, error);                    \
    }
KVS_SCALAR_FAMILY(KVS_DEFINE_SCALAR_PUT)
#undef KVS_DEFINE_SCALAR_PUT

#define KVS_DEFINE_ARRAY_PUT(PutName, GetName, code, T)                                                     \
    CTstatus CTkvs_Put##PutName(CTkvs kvs, CTsymbol key, const T *elements, uint32_t count, CTerror *error) \
    {                                                                                                       \
        return put_array<T>(kvs, key, code, elements, count, error);                                        \
    }
KVS_ARRAY_FAMILY(KVS_DEFINE_ARRAY_PUT)
#undef KVS_DEFINE_ARRAY_PUT

CTstatus CTkvs_PutIrange(CTkvs kvs, CTsymbol key, int32_t lower, int32_t upper, CTerror *error)
{
    return put_single<struct_Irange>(kvs, key, KV_TYPE_IRANGE, struct_Irange{lower, upper}, error, 2);
}

CTstatus CTkvs_PutIRange(CTkvs kvs, CTsymbol key, int32_t lower, int32_t upper, CTerror *error)
{
    return CTkvs_PutIrange(kvs, key, lower, upper, error);
}

CTstatus CTkvs_PutString(CTkvs kvs, CTsymbol key, const wchar_t *value, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set);
    if (status != CT_statusOK) return status;
    key_accepted(key);
    return put_string(set, key, value, error);
}

CTstatus MRQkvs_PutNarrowString(CTkvs kvs, CTsymbol key, const char *value, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set);
    if (status != CT_statusOK) return status;
    key_accepted(key);
    if (value == nullptr) return put_string(set, key, nullptr, error);
    wchar_t *wide = nullptr;
    const CTerror widened = widen_narrow(value, &wide);
    if (widened == CT_errorBadParameter) return answer(error, widened, CT_statusFail);
    if (widened != CT_errorOK) return answer(error, widened, CT_statusWarning);
    return store_pair(set, key, KV_TYPE_STRING, 1, wide, error);
}

CTstatus CTkvs_PutKVS(CTkvs kvs, CTsymbol key, CTkvs nested, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set);
    if (status != CT_statusOK) return status;
    return put_nested(set, key, nested, error);
}

CTstatus CTkvs_PutStringArray(CTkvs kvs, CTsymbol key, const wchar_t *const *strings, uint32_t count, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set);
    if (status != CT_statusOK) return status;
    status = check_array(strings, count, sizeof(wchar_t *), false, error);
    if (status != CT_statusOK) return status;
    key_accepted(key);
    return put_string_array(set, key, strings, count, error);
}

CTstatus CTkvs_PutKVSArray(CTkvs kvs, CTsymbol key, const CTkvs *handles, uint32_t count, CTerror *error)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set);
    if (status != CT_statusOK) return status;
    status = check_array(handles, count, sizeof(CTkvs), false, error);
    if (status != CT_statusOK) return status;
    key_accepted(key);
    return put_nested_array(set, key, handles, count, error);
}

}  // extern "C"
