// The exported typed families, one row per function: name suffix, type code,
// C type of the value or element, and the argument rule of the family.
// put.cc and get.cc expand these rows into thin wrappers over one template.
#ifndef KVSET_SRC_STORE_FAMILIES_H
#define KVSET_SRC_STORE_FAMILIES_H

// Single 32-bit values: X(Name, code, value type).
#define KVS_SCALAR_FAMILY(X)                    \
    X(Bool, KV_TYPE_BOOL, uint32_t)             \
    X(Conference, KV_TYPE_CONFERENCE, uint32_t) \
    X(Group, KV_TYPE_GROUP, uint32_t)           \
    X(Int, KV_TYPE_INT, int32_t)                \
    X(Mode, KV_TYPE_MODE, uint32_t)             \
    X(Session, KV_TYPE_SESSION, uint32_t)       \
    X(Service, KV_TYPE_SERVICE, uint32_t)       \
    X(Status, KV_TYPE_STATUS, CTstatus)         \
    X(Symbol, KV_TYPE_SYMBOL, CTsymbol)         \
    X(Error, KV_TYPE_SYMBOL, CTerror)           \
    X(Time, KV_TYPE_TIME, uint32_t)             \
    X(Uint, KV_TYPE_UINT, uint32_t)             \
    X(Stream, KV_TYPE_STREAM, uint32_t)         \
    X(Connection, KV_TYPE_CONNECTION, uint32_t) \
    X(Char, KV_TYPE_CHAR, uint16_t)

// Fixed-size arrays: X(PutName, GetName, code, element type). Whether a
// family's put refuses a null reference or a count of 0 is the type table's
// `emptyRefused` column.
#define KVS_ARRAY_FAMILY(X)                                          \
    X(BoolArray, BoolArray, KV_TYPE_BOOL_ARRAY, uint32_t)            \
    X(ByteArray, ByteArray, KV_TYPE_BYTE_ARRAY, uint8_t)             \
    X(CONFArray, CONFArray, KV_TYPE_CONFERENCE_ARRAY, uint32_t)      \
    X(GRPArray, GRPArray, KV_TYPE_GROUP_ARRAY, uint32_t)             \
    X(GroupArray, GroupArray, KV_TYPE_GROUP_ARRAY, uint32_t)         \
    X(IntArray, IntArray, KV_TYPE_INT_ARRAY, int32_t)                \
    X(IrangeArray, IrangeArray, KV_TYPE_IRANGE_ARRAY, struct_Irange) \
    X(IRangeArray, IRangeArray, KV_TYPE_IRANGE_ARRAY, struct_Irange) \
    X(ModeArray, ModeArray, KV_TYPE_MODE_ARRAY, uint32_t)            \
    X(SESArray, SESArray, KV_TYPE_SESSION_ARRAY, uint32_t)           \
    X(SessionArray, SessionArray, KV_TYPE_SESSION_ARRAY, uint32_t)   \
    X(ServiceArray, SrvArray, KV_TYPE_SERVICE_ARRAY, uint32_t)       \
    X(StatusArray, StatusArray, KV_TYPE_STATUS_ARRAY, CTstatus)      \
    X(SymbolArray, SymbolArray, KV_TYPE_SYMBOL_ARRAY, CTsymbol)      \
    X(ErrorArray, ErrorArray, KV_TYPE_ERROR_ARRAY, CTerror)          \
    X(CONNArray, CONNArray, KV_TYPE_CONNECTION_ARRAY, uint32_t)      \
    X(UintArray, UintArray, KV_TYPE_UINT_ARRAY, uint32_t)            \
    X(TimeArray, TimeArray, KV_TYPE_TIME_ARRAY, uint32_t)

#endif
