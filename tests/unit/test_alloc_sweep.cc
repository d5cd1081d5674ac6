// Every store operation that allocates, swept over every failing allocation.
#include "alloc_sweep.h"

#include <vector>

namespace {

using sweep::Allowed;
using sweep::Outcome;
using sweep::Row;

constexpr CTsymbol kExisting = 0x0101106D;  // a key the fixture set already holds
constexpr CTsymbol kFresh = 0x0202106D;     // a key it does not hold

const Allowed kPutFailure{CT_statusWarning, CT_errorNoResource};
const Allowed kNestedCopyFailure{CT_statusFail, CT_errorNoResource};

// A set with a string, a nested set and an array, so that replacing its pairs
// releases owned values too.
CTkvs fixture_set()
{
    CTkvs kvs = 0, inner = 0;
    CTerror e = 0;
    CTkvs_Create(&kvs, &e);
    CTkvs_Create(&inner, &e);
    CTkvs_PutInt(inner, 1, 1, &e);
    CTkvs_PutString(kvs, kExisting, L"before", &e);
    CTkvs_PutKVS(kvs, 0x0303106D, inner, &e);
    const int32_t ints[] = {1, 2, 3};
    CTkvs_PutIntArray(kvs, 0x0404106D, ints, 3, &e);
    for (int i = 0; i < 20; ++i) CTkvs_PutInt(kvs, 0x1000 + i, i, &e);  // past the index threshold
    CTkvs_Destroy(inner, &e);
    return kvs;
}

void destroy(CTkvs kvs)
{
    CTerror e = 0;
    CTkvs_Destroy(kvs, &e);
}

// A small set to nest, made for each run (and destroyed by teardown).
CTkvs g_nested = 0;

CTkvs setup_with_nested()
{
    CTerror e = 0;
    CTkvs_Create(&g_nested, &e);
    CTkvs_PutString(g_nested, 7, L"nested", &e);
    const wchar_t *strings[] = {L"a", nullptr, L"b"};
    CTkvs_PutStringArray(g_nested, 8, strings, 3, &e);
    return fixture_set();
}

void teardown_with_nested(CTkvs target)
{
    destroy(g_nested);
    g_nested = 0;
    destroy(target);
}

template <class F>
Row put_row(const std::string &name, F put, std::vector<Allowed> failures = {kPutFailure})
{
    Row row;
    row.name = name;
    row.setup = setup_with_nested;
    row.teardown = teardown_with_nested;
    row.failures = std::move(failures);
    row.operation = [put](CTkvs target) {
        Outcome o{};
        o.status = put(target, &o.error);
        return o;
    };
    return row;
}

std::vector<Row> rows()
{
    static const int32_t ints[] = {5, -6, 7};
    static const uint8_t bytes[] = {1, 2, 3, 4, 5};
    static const struct_Irange ranges[] = {{1, 2}, {-3, 4}};
    static const wchar_t *strings[] = {L"one", nullptr, L"three"};
    std::vector<Row> r;
    for (CTsymbol key : {kFresh, kExisting}) {
        const std::string which = key == kFresh ? " (new key)" : " (replace)";
        r.push_back(put_row("PutInt" + which, [key](CTkvs t, CTerror *e) { return CTkvs_PutInt(t, key, 5, e); }));
        r.push_back(put_row("PutChar" + which, [key](CTkvs t, CTerror *e) { return CTkvs_PutChar(t, key, 0x41, e); }));
        r.push_back(put_row("PutIrange" + which, [key](CTkvs t, CTerror *e) { return CTkvs_PutIrange(t, key, -1, 1, e); }));
        r.push_back(put_row("PutString" + which, [key](CTkvs t, CTerror *e) { return CTkvs_PutString(t, key, L"text", e); }));
        r.push_back(put_row("PutNarrowString" + which,
                            [key](CTkvs t, CTerror *e) { return MRQkvs_PutNarrowString(t, key, "text", e); }));
        r.push_back(put_row("PutIntArray" + which, [key](CTkvs t, CTerror *e) { return CTkvs_PutIntArray(t, key, ints, 3, e); }));
        r.push_back(put_row("PutByteArray" + which, [key](CTkvs t, CTerror *e) { return CTkvs_PutByteArray(t, key, bytes, 5, e); }));
        r.push_back(put_row("PutIrangeArray" + which,
                            [key](CTkvs t, CTerror *e) { return CTkvs_PutIrangeArray(t, key, ranges, 2, e); }));
        r.push_back(put_row("PutStringArray" + which,
                            [key](CTkvs t, CTerror *e) { return CTkvs_PutStringArray(t, key, strings, 3, e); }));
        r.push_back(put_row("PutKVS" + which, [key](CTkvs t, CTerror *e) { return CTkvs_PutKVS(t, key, g_nested, e); },
                            {kPutFailure, kNestedCopyFailure}));
        r.push_back(put_row("PutKVSArray" + which,
                            [key](CTkvs t, CTerror *e) {
                                const CTkvs handles[] = {g_nested, 0, g_nested};
                                return CTkvs_PutKVSArray(t, key, handles, 3, e);
                            },
                            {kPutFailure, kNestedCopyFailure}));
    }
    r.push_back(put_row("TimeStamp", [](CTkvs t, CTerror *e) {
        *e = CT_errorOK;
        MRQkvs_TimeStamp(t);
        int32_t sec = 0;
        CTerror ignored = 0;
        // The stamp reports nothing; it either stored both pairs or left the set as it was.
        return CTkvs_GetInt(t, MRQ_keyTimeStampSec, &sec, &ignored) == CT_statusOK &&
                       CTkvs_GetInt(t, MRQ_keyTimeStampMsec, &sec, &ignored) == CT_statusOK
                   ? CT_statusOK
                   : (*e = CT_errorNoResource, CT_statusWarning);
    }));
    r.back().partialAllowed = true;  // the seconds may be stored and the milliseconds not

    Row create;
    create.name = "Create";
    create.setup = fixture_set;
    create.teardown = destroy;
    create.failures = {kPutFailure};
    create.operation = [](CTkvs) {
        Outcome o{};
        CTkvs made = 0;
        o.status = CTkvs_Create(&made, &o.error);
        if (o.status == CT_statusOK) destroy(made);
        return o;
    };
    r.push_back(create);

    Row copy;
    copy.name = "Copy into a set";
    copy.setup = setup_with_nested;
    copy.teardown = teardown_with_nested;
    copy.failures = {kPutFailure, kNestedCopyFailure};
    copy.partialAllowed = true;  // the pairs copied before the failing put stay
    copy.operation = [](CTkvs target) {
        Outcome o{};
        CTkvs source = 0;
        CTerror e = 0;
        CTkvs_Create(&source, &e);
        CTkvs_Copy(source, target, &e);  // not armed-sensitive: the sweep counts it too
        o.status = CTkvs_Copy(target, g_nested, &o.error);
        destroy(source);
        return o;
    };
    r.push_back(copy);
    return r;
}

class AllocSweep : public ::testing::TestWithParam<Row> {};

TEST_P(AllocSweep, EveryFailingAllocationIsReportedAndLeavesTheSetAsItWas) { sweep::run(GetParam()); }

std::string row_name(const ::testing::TestParamInfo<Row> &info)
{
    std::string n;
    for (char c : info.param.name)
        if (std::isalnum(static_cast<unsigned char>(c))) n += c;
    return n;
}

INSTANTIATE_TEST_SUITE_P(Store, AllocSweep, ::testing::ValuesIn(rows()), row_name);

}  // namespace
