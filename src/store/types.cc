#include "store/types.h"

#include <cwchar>

#include "kvset/ctkvs.h"

namespace kvs {
namespace {

constexpr std::uint32_t kHandle = sizeof(CTkvs);
constexpr std::uint32_t kStringRef = sizeof(wchar_t *);

constexpr TypeInfo kTypes[] = {
    {KV_TYPE_BOOL, L"CTbool", Shape::Scalar, 4, KV_TYPE_BOOL, false, L"CTbool", Show::Bool, Number::Bool, true},
    {KV_TYPE_CONFERENCE, L"CTconf_ct", Shape::Scalar, 4, KV_TYPE_CONFERENCE, false, L"CTconf_ct", Show::Handle, Number::Unsigned, false},
    {KV_TYPE_GROUP, L"CTgrp_ct", Shape::Scalar, 4, KV_TYPE_GROUP, false, L"CTgrp_ct", Show::Handle, Number::Unsigned, false},
    {KV_TYPE_INT, L"CTint", Shape::Scalar, 4, KV_TYPE_INT, false, L"CTint", Show::Int, Number::Signed, true},
    {KV_TYPE_MODE, L"CTmode", Shape::Scalar, 4, KV_TYPE_MODE, false, L"CTmode", Show::Mode, Number::Unsigned, false},
    {KV_TYPE_SESSION, L"CTses_ct", Shape::Scalar, 4, KV_TYPE_SESSION, false, L"CTses_ct", Show::Handle, Number::Unsigned, false},
    {KV_TYPE_SERVICE, L"CTsrv_ct", Shape::Scalar, 4, KV_TYPE_SERVICE, false, L"CTsrv_ct", Show::Handle, Number::Unsigned, false},
    {KV_TYPE_STATUS, L"CTstatus", Shape::Scalar, 4, KV_TYPE_STATUS, false, L"CTstatus", Show::Status, Number::Unsigned, false},
    {KV_TYPE_SYMBOL, L"CTsymbol", Shape::Scalar, 4, KV_TYPE_SYMBOL, false, L"CTsymbol", Show::Symbol, Number::Symbol, true},
    {KV_TYPE_TIME, L"CTtime", Shape::Scalar, 4, KV_TYPE_TIME, false, L"CTtime", Show::Hex, Number::Unsigned, false},
    {KV_TYPE_UINT, L"CTuint", Shape::Scalar, 4, KV_TYPE_UINT, false, L"CTuint", Show::Uint, Number::Unsigned, true},
    {KV_TYPE_STREAM, L"CTstream_ct", Shape::Scalar, 4, KV_TYPE_STREAM, false, L"CTstream_ct", Show::Uint, Number::Unsigned, false},
    {KV_TYPE_CHAR, L"CTchar", Shape::Char, 2, KV_TYPE_CHAR, false, L"CTchar", Show::Char, Number::Unsigned, false},
    {KV_TYPE_ERROR, L"CTerror", Shape::Scalar, 4, KV_TYPE_SYMBOL, false, L"CTerror", Show::Symbol, Number::Symbol, false},
    {KV_TYPE_CONNECTION, L"CTconn_ct", Shape::Scalar, 4, KV_TYPE_CONNECTION, false, L"CTconn_ct", Show::Handle, Number::Unsigned, false},
    {KV_TYPE_IRANGE, L"CTirange", Shape::Range, 8, KV_TYPE_IRANGE, false, L"CTirange", Show::Range, Number::Signed, false},
    {KV_TYPE_KVS, L"CTkvs_ct", Shape::Nested, kHandle, KV_TYPE_KVS, false, L"CTkvs_ct", Show::Set, Number::Unsigned, false},
    {KV_TYPE_STRING, L"CTstring", Shape::String, sizeof(wchar_t), KV_TYPE_STRING, false, L"CTstring", Show::String, Number::Unsigned, true},
    {KV_TYPE_BOOL_ARRAY, L"CTbool[]", Shape::Array, 4, KV_TYPE_BOOL_ARRAY, false, L"CTbool", Show::Bool, Number::Bool, false},
    {KV_TYPE_BYTE_ARRAY, L"Byte[]", Shape::Bytes, 1, KV_TYPE_BYTE_ARRAY, false, L"Byte", Show::Byte, Number::Unsigned, false},
    {KV_TYPE_CONFERENCE_ARRAY, L"CTconf_ct[]", Shape::Array, 4, KV_TYPE_CONFERENCE_ARRAY, false, L"CTconf_ct[]", Show::Handle, Number::Unsigned, false},
    {KV_TYPE_GROUP_ARRAY, L"CTgrp_ct[]", Shape::Array, 4, KV_TYPE_GROUP_ARRAY, false, L"CTgrp_ct[]", Show::Handle, Number::Unsigned, false},
    {KV_TYPE_INT_ARRAY, L"CTint[]", Shape::Array, 4, KV_TYPE_INT_ARRAY, false, L"CTint", Show::Int, Number::Signed, false},
    {KV_TYPE_IRANGE_ARRAY, L"CTirange[]", Shape::RangeArray, 8, KV_TYPE_IRANGE_ARRAY, true, L"CTirange", Show::Range, Number::Signed, false},
    {KV_TYPE_KVS_ARRAY, L"CTkvs_ct[]", Shape::NestedArray, kHandle, KV_TYPE_KVS_ARRAY, false, L"CTkvs_ct", Show::Set, Number::Unsigned, false},
    {KV_TYPE_MODE_ARRAY, L"CTmode[]", Shape::Array, 4, KV_TYPE_MODE_ARRAY, true, L"CTmode", Show::Mode, Number::Unsigned, false},
    {KV_TYPE_SESSION_ARRAY, L"CTses_ct[]", Shape::Array, 4, KV_TYPE_SESSION_ARRAY, false, L"CTses_ct[]", Show::Handle, Number::Unsigned, false},
    {KV_TYPE_SERVICE_ARRAY, L"CTsrv_ct[]", Shape::Array, 4, KV_TYPE_SERVICE_ARRAY, true, L"CTsrv_ct[]", Show::Handle, Number::Unsigned, false},
    {KV_TYPE_STATUS_ARRAY, L"CTstatus[]", Shape::Array, 4, KV_TYPE_STATUS_ARRAY, false, L"CTstatus", Show::Status, Number::Unsigned, false},
    {KV_TYPE_STRING_ARRAY, L"CTstring[]", Shape::StringArray, kStringRef, KV_TYPE_STRING_ARRAY, false, L"CTstring", Show::String, Number::Unsigned, false},
    {KV_TYPE_SYMBOL_ARRAY, L"CTsymbol[]", Shape::Array, 4, KV_TYPE_SYMBOL_ARRAY, false, L"CTsymbol[]", Show::Symbol, Number::Symbol, false},
    {KV_TYPE_ERROR_ARRAY, L"CTerror[]", Shape::Array, 4, KV_TYPE_ERROR_ARRAY, false, L"CTerror[]", Show::Symbol, Number::Symbol, false},
    {KV_TYPE_CONNECTION_ARRAY, L"CTconn_ct[]", Shape::Array, 4, KV_TYPE_CONNECTION_ARRAY, false, L"CTconn_ct[]", Show::Handle, Number::Unsigned, false},
    {KV_TYPE_UINT_ARRAY, L"CTuint[]", Shape::Array, 4, KV_TYPE_UINT_ARRAY, false, L"CTuint", Show::Uint, Number::Unsigned, false},
    {KV_TYPE_TIME_ARRAY, L"CTtime[]", Shape::Array, 4, KV_TYPE_TIME_ARRAY, false, L"CTtime", Show::Hex, Number::Unsigned, false},
};

constexpr std::size_t kTypeCount = sizeof(kTypes) / sizeof(kTypes[0]);
static_assert(kTypeCount == 35, "the library knows 35 value types");

// Code -> index into kTypes + 1 (0: no type), built by the compiler: a
// lookup is one load, with no guard on every call.
struct CodeIndex {
    unsigned char slot[kMaxTypeCode + 1];
    constexpr CodeIndex() : slot{}
    {
        for (std::size_t i = 0; i < kTypeCount; ++i) slot[kTypes[i].code] = static_cast<unsigned char>(i + 1);
    }
};

constexpr CodeIndex kCodeIndex{};

constexpr TypeShapeTable shapes_by_code()
{
    TypeShapeTable table{};
    for (const TypeInfo &t : kTypes)
        table.byCode[t.code] = TypeShape(t.shape);
    return table;
}

}  // namespace

constexpr TypeShapeTable kTypeShapes = shapes_by_code();

const TypeInfo *type_info(std::uint32_t code)
{
    if (code > kMaxTypeCode) return nullptr;
    unsigned char s = kCodeIndex.slot[code];
    return s == 0 ? nullptr : &kTypes[s - 1];
}

const TypeInfo *type_table(std::size_t *count)
{
    *count = kTypeCount;
    return kTypes;
}

}  // namespace kvs
