// The get family: find the pair with the key and exactly the type code of the
// get, then copy a single value out or lend the stored block.
#include <cstdint>
#include <cstring>

#include "store/call.h"
#include "store/families.h"
#include "store/registry.h"
#include "store/store.h"

namespace kvs {
namespace {

// Common head of a get: error reference, handle, the out-reference rule of
// the family, then the typed lookup. Returns 0 with *node set, or the
// failure status with its symbol written.
CTstatus open_get(CTkvs kvs, CTsymbol key, std::uint32_t type, bool outMissing, CTerror missingSymbol,
                  CTstatus missingStatus, CTerror *error, KVPairNode **node)
{
    KVSetHeader *set = nullptr;
    CTstatus status = open_set(kvs, error, &set);
    if (status != CT_statusOK) return status;
    if (outMissing) return answer(error, missingSymbol, missingStatus);
    *node = find_typed(set, key, type);
    if (*node == nullptr) return answer(error, CT_errorNoSuchKey, CT_statusWarning);
    return CT_statusOK;
}

// The mode and service gets report a null value reference as CT_errorNoResource
// (status 3); the other single-value gets refuse it as a bad parameter.
constexpr CTerror null_value_symbol(std::uint32_t type)
{
    return (type == KV_TYPE_MODE || type == KV_TYPE_SERVICE) ? CT_errorNoResource : CT_errorBadParameter;
}

template <class T>
CTstatus get_single(CTkvs kvs, CTsymbol key, std::uint32_t type, T *value, CTerror *error)
{
    KVPairNode *node = nullptr;
    CTstatus status =
        open_get(kvs, key, type, value == nullptr, null_value_symbol(type), CT_statusFail, error, &node);
    if (status != CT_statusOK) return status;
    std::memcpy(value, node->value(), sizeof(T));
    return answer(error, CT_errorOK, CT_statusOK);
}

template <class T>
CTstatus get_array(CTkvs kvs, CTsymbol key, std::uint32_t type, T **elements, int32_t *count, CTerror *error)
{
    KVPairNode *node = nullptr;
    CTstatus status = open_get(kvs, key, type, elements == nullptr || count == nullptr, CT_errorBadParameter,
                               CT_statusFail, error, &node);
    if (status != CT_statusOK) return status;
    *count = node->count;
    *elements = static_cast<T *>(node->value());
    return answer(error, CT_errorOK, CT_statusOK);
}

}  // namespace
}  // namespace kvs

using namespace kvs;

extern "C" {

#define KVS_DEFINE_SCALAR_GET(Name, code, T)                                    \
    CTstatus CTkvs_Get##Name(CTkvs kvs, CTsymbol key, T *value, CTerror *error) \
    {                                                                           \
        return get_single<T>(kvs, key, code, value, error);                     \
    }
KVS_SCALAR_FAMILY(KVS_DEFINE_SCALAR_GET)
#undef KVS_DEFINE_SCALAR_GET

#define KVS_DEFINE_ARRAY_GET(PutName, GetName, code, T)                                                \
    CTstatus CTkvs_Get##GetName(CTkvs kvs, CTsymbol key, T **elements, int32_t *count, CTerror *error) \
    {                                                                                                  \
        return get_array<T>(kvs, key, code, elements, count, error);                                   \
    }
KVS_ARRAY_FAMILY(KVS_DEFINE_ARRAY_GET)
#undef KVS_DEFINE_ARRAY_GET

CTstatus CTkvs_GetIrange(CTkvs kvs, CTsymbol key, struct_Irange *range, CTerror *error)
{
    KVPairNode *node = nullptr;
    CTstatus status =
        open_get(kvs, key, KV_TYPE_IRANGE, range == nullptr, CT_errorNoResource, CT_statusWarning, error, &node);
    if (status != CT_statusOK) return status;
    if (node->value() == nullptr) return answer(error, CT_errorNoResource, CT_statusFail);
    std::memcpy(range, node->value(), sizeof(struct_Irange));
    return answer(error, CT_errorOK, CT_statusOK);
}

CTstatus CTkvs_GetIRange(CTkvs kvs, CTsymbol key, struct_Irange *range, CTerror *error)
{
    return CTkvs_GetIrange(kvs, key, range, error);
}

CTstatus CTkvs_GetString(CTkvs kvs, CTsymbol key, wchar_t **value, CTerror *error)
{
    KVPairNode *node = nullptr;
    CTstatus status =
        open_get(kvs, key, KV_TYPE_STRING, value == nullptr, CT_errorBadParameter, CT_statusFail, error, &node);
    if (status != CT_statusOK) return status;
    *value = static_cast<wchar_t *>(node->value());
    return answer(error, CT_errorOK, CT_statusOK);
}

CTstatus CTkvs_GetKVS(CTkvs kvs, CTsymbol key, CTkvs *nested, CTerror *error)
{
    KVPairNode *node = nullptr;
    CTstatus status =
        open_get(kvs, key, KV_TYPE_KVS, nested == nullptr, CT_errorBadParameter, CT_statusFail, error, &node);
    if (status != CT_statusOK) return status;
    CTkvs held = *static_cast<CTkvs *>(node->value());
    if (ValidateKVS(held) != CT_errorOK) {
        *nested = 0;
        return answer(error, CT_errorInvalidKVSet, CT_statusFail);
    }
    *nested = held;
    return answer(error, CT_errorOK, CT_statusOK);
}

CTstatus CTkvs_GetStringArray(CTkvs kvs, CTsymbol key, wchar_t ***strings, int32_t *count, CTerror *error)
{
    return get_array<wchar_t *>(kvs, key, KV_TYPE_STRING_ARRAY, strings, count, error);
}

CTstatus CTkvs_GetKVSArray(CTkvs kvs, CTsymbol key, CTkvs **handles, int32_t *count, CTerror *error)
{
    CTstatus status = get_array<CTkvs>(kvs, key, KV_TYPE_KVS_ARRAY, handles, count, error);
    if (status != CT_statusOK) return status;
    for (int32_t i = 0; i < *count; ++i)
        if (ValidateKVS((*handles)[i]) != CT_errorOK) return answer(error, CT_errorInvalidKVSet, CT_statusFail);
    return CT_statusOK;
}

}  // extern "C"
