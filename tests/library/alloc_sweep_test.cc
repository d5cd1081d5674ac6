// Every public operation that allocates, swept over every failing allocation
// (see alloc_sweep.h for what each run checks).
#include <unistd.h>

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "kvset/KVSet.h"
#include "kvset/KVSetException.h"
#include "kvset/inspect.h"
#include "kvset/inspect_c.h"
#include "kvset/mrqMakeCallOptionaArgs.h"
#include "kvset/set.hpp"
#include "serial/block_io.h"
#include "support/alloc_sweep.h"
#include "support/every_type.h"
#include "support/fixture.h"
#include "support/temp_dir.h"

namespace {

using sweep::Allowed;
using sweep::Outcome;
using sweep::Row;

constexpr CTsymbol kExisting = 0x0101106D;  // a key the fixture set already holds
constexpr CTsymbol kFresh = 0x0202106D;     // a key it does not hold

const Allowed kPutFailure{CT_statusWarning, CT_errorNoResource};
const Allowed kNestedCopyFailure{CT_statusFail, CT_errorNoResource};
const Allowed kCodecFailure{CT_statusFail, CT_errorNoResource};

void destroy(CTkvs kvs)
{
    CTerror e = 0;
    CTkvs_Destroy(kvs, &e);
}

// A set with a string, a nested set and an array, so that replacing its pairs
// releases owned values too, and enough pairs to have a key index.
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

CTkvs empty_set()
{
    CTkvs kvs = 0;
    CTerror e = 0;
    CTkvs_Create(&kvs, &e);
    return kvs;
}

// A small set to nest or copy from, made for each run (and destroyed by teardown).
CTkvs g_nested = 0;

CTkvs setup_with_nested()
{
    CTerror e = 0;
    CTkvs_Create(&g_nested, &e);
    CTkvs_PutString(g_nested, 7, L"nested", &e);
    const wchar_t *strings[] = {L"a", nullptr, L"b"};
    CTkvs_PutStringArray(g_nested, 8, strings, 3, &e);
    CTkvs_PutInt(g_nested, 0x1003, -3, &e);  // a key the fixture holds too
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
        Outcome o;
        o.status = put(target, &o.error);
        return o;
    };
    return row;
}

// An earlier stamp that no real one can equal (milliseconds are 0 to 999).
constexpr int32_t kOldSeconds = 1000, kOldMilliseconds = -1;

// Stamp values taken now differ from run to run: they become 0, the earlier
// stamp's stay.
void settle_stamp(CTkvs t)
{
    CTerror e = 0;
    for (CTsymbol key : {MRQ_keyTimeStampSec, MRQ_keyTimeStampMsec}) {
        int32_t v = 0;
        if (CTkvs_GetInt(t, key, &v, &e) == CT_statusOK && v != kOldSeconds && v != kOldMilliseconds)
            CTkvs_PutInt(t, key, 0, &e);
    }
}

// ---- Blocks and files the codec rows read -----------------------------------

// The memory buffer of every value type, with keys the fixture set holds
// replaced, and the bare block inside it.
std::string source_frame()
{
    CTkvs source = kvs::test::every_type(false);
    CTerror e = 0;
    CTkvs_PutString(source, kExisting, L"after", &e);
    CTkvs_PutInt(source, 0x1005, 99, &e);
    std::string frame = sweep::encoding(source);
    destroy(source);
    return frame;
}

const std::string &memory_frame()
{
    static const std::string frame = source_frame();
    return frame;
}

const std::string &memory_block()
{
    static const std::string block = memory_frame().substr(8, memory_frame().size() - 12);
    return block;
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A scratch directory for the file and log rows, removed at exit.
struct Scratch {
    kvs::test::TempDir made{"kvset_sweep_"};
    const std::filesystem::path &dir = made.path();
    Scratch() { std::filesystem::create_directory(dir / "Logs"); }
};

const Scratch &scratch()
{
    static const Scratch s;
    return s;
}

std::wstring wide_path(const char *name)
{
    const std::string p = (scratch().dir / name).string();
    return std::wstring(p.begin(), p.end());
}

// The file block of every value type (an empty KV-Set array element
// included), with keys the fixture set holds replaced.
const std::wstring &source_file()
{
    static const std::wstring path = [] {
        std::wstring p = wide_path("source.kvs");
        CTkvs source = kvs::test::every_type(true);
        CTerror e = 0;
        CTkvs_PutString(source, kExisting, L"after", &e);
        CTkvs_PutInt(source, 0x1005, 99, &e);
        EXPECT_EQ(CTkvs_WriteFile(source, p.c_str(), 0, &e), CT_statusOK);
        destroy(source);
        return p;
    }();
    return path;
}

// The log the display appends to: the row works in the scratch directory.
std::filesystem::path g_previousDir;

CTkvs setup_in_scratch()
{
    g_previousDir = std::filesystem::current_path();
    std::filesystem::current_path(scratch().dir);
    std::filesystem::remove("Logs/kvs_log.txt");
    return kvs::test::every_type(true);
}

void teardown_in_scratch(CTkvs target)
{
    destroy(target);
    std::filesystem::current_path(g_previousDir);
}

// ---- The rows ---------------------------------------------------------------

void add_store_rows(std::vector<Row> &r)
{
    static const int32_t ints[] = {5, -6, 7};
    static const uint32_t words[] = {0, 1, 0xFFFFFFFF};
    static const uint8_t bytes[] = {1, 2, 3, 4, 5};
    static const struct_Irange ranges[] = {{1, 2}, {-3, 4}};
    static const wchar_t *strings[] = {L"one", nullptr, L"three"};
    using WordArrayPut = CTstatus (*)(CTkvs, CTsymbol, const uint32_t *, uint32_t, CTerror *);
    static const std::pair<const char *, WordArrayPut> wordArrays[] = {
        {"PutBoolArray", CTkvs_PutBoolArray},       {"PutCONFArray", CTkvs_PutCONFArray},
        {"PutGroupArray", CTkvs_PutGroupArray},     {"PutModeArray", CTkvs_PutModeArray},
        {"PutSessionArray", CTkvs_PutSessionArray}, {"PutServiceArray", CTkvs_PutServiceArray},
        {"PutStatusArray", CTkvs_PutStatusArray},   {"PutSymbolArray", CTkvs_PutSymbolArray},
        {"PutErrorArray", CTkvs_PutErrorArray},     {"PutCONNArray", CTkvs_PutCONNArray},
        {"PutUintArray", CTkvs_PutUintArray},       {"PutTimeArray", CTkvs_PutTimeArray},
    };
    for (CTsymbol key : {kFresh, kExisting}) {
        const std::string which = key == kFresh ? " (new key)" : " (replace)";
        // A single value lives in its pair node: replacing one takes no heap memory.
        const bool single = key == kFresh;  // true: a new node is needed
        r.push_back(put_row("PutInt" + which, [key](CTkvs t, CTerror *e) { return CTkvs_PutInt(t, key, 5, e); }));
        r.back().allocates = single;
        r.push_back(put_row("PutChar" + which, [key](CTkvs t, CTerror *e) { return CTkvs_PutChar(t, key, 0x41, e); }));
        r.back().allocates = single;
        r.push_back(put_row("PutIrange" + which, [key](CTkvs t, CTerror *e) { return CTkvs_PutIrange(t, key, -1, 1, e); }));
        r.back().allocates = single;
        r.push_back(put_row("PutString" + which, [key](CTkvs t, CTerror *e) { return CTkvs_PutString(t, key, L"text", e); }));
        r.push_back(put_row("PutNarrowString" + which,
                            [key](CTkvs t, CTerror *e) { return MRQkvs_PutNarrowString(t, key, "text", e); }));
        r.push_back(put_row("PutIntArray" + which, [key](CTkvs t, CTerror *e) { return CTkvs_PutIntArray(t, key, ints, 3, e); }));
        r.push_back(put_row("PutByteArray" + which, [key](CTkvs t, CTerror *e) { return CTkvs_PutByteArray(t, key, bytes, 5, e); }));
        r.push_back(put_row("PutIrangeArray" + which,
                            [key](CTkvs t, CTerror *e) { return CTkvs_PutIrangeArray(t, key, ranges, 2, e); }));
        for (const auto &array : wordArrays) {
            WordArrayPut put = array.second;
            r.push_back(put_row(array.first + which, [key, put](CTkvs t, CTerror *e) { return put(t, key, words, 3, e); }));
        }
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
    r.push_back(put_row("PutKVS of the set into itself",
                        [](CTkvs t, CTerror *e) { return CTkvs_PutKVS(t, kFresh, t, e); },
                        {kPutFailure, kNestedCopyFailure}));

    Row stamp = put_row("TimeStamp", [](CTkvs t, CTerror *e) {
        *e = CT_errorOK;
        MRQkvs_TimeStamp(t);
        int32_t v = 0;
        CTerror ignored = 0;
        // The stamp reports nothing; it stores both pairs, or as many as it could.
        return CTkvs_GetInt(t, MRQ_keyTimeStampSec, &v, &ignored) == CT_statusOK &&
                       CTkvs_GetInt(t, MRQ_keyTimeStampMsec, &v, &ignored) == CT_statusOK
                   ? CT_statusOK
                   : (*e = CT_errorNoResource, CT_statusWarning);
    });
    stamp.partialAllowed = true;  // the seconds may be stored and the milliseconds not
    stamp.settle = settle_stamp;
    r.push_back(stamp);

    // Over an earlier stamp, a new one replaces both pairs without taking
    // heap memory, so the seconds of one stamp never stand next to the
    // milliseconds of another.
    Row restamp = put_row("TimeStamp over an earlier stamp", [](CTkvs t, CTerror *e) {
        MRQkvs_TimeStamp(t);
        int32_t sec = 0, msec = 0;
        CTerror ignored = 0;
        const bool hasSec = CTkvs_GetInt(t, MRQ_keyTimeStampSec, &sec, &ignored) == CT_statusOK;
        const bool hasMsec = CTkvs_GetInt(t, MRQ_keyTimeStampMsec, &msec, &ignored) == CT_statusOK;
        *e = CT_errorNoResource;
        if (hasSec && hasMsec && sec != kOldSeconds && msec != kOldMilliseconds) return *e = CT_errorOK, CT_statusOK;
        if (hasSec && hasMsec && sec == kOldSeconds && msec == kOldMilliseconds) return CT_statusWarning;
        *e = 0;  // a mixed stamp: no allowed outcome
        return CT_statusFatal;
    });
    restamp.setup = [] {
        CTkvs t = setup_with_nested();
        CTerror e = 0;
        CTkvs_PutInt(t, MRQ_keyTimeStampSec, kOldSeconds, &e);
        CTkvs_PutInt(t, MRQ_keyTimeStampMsec, kOldMilliseconds, &e);
        return t;
    };
    restamp.settle = settle_stamp;
    restamp.allocates = false;
    r.push_back(restamp);

    Row create;
    create.name = "Create";
    create.setup = fixture_set;
    create.teardown = destroy;
    create.failures = {kPutFailure};
    create.operation = [](CTkvs) {
        Outcome o;
        CTkvs made = 0;
        o.status = CTkvs_Create(&made, &o.error);
        if (o.status == CT_statusOK) destroy(made);
        return o;
    };
    r.push_back(create);

    Row merge = put_row("Copy merged into a set", [](CTkvs t, CTerror *e) { return CTkvs_Copy(t, g_nested, e); },
                        {kPutFailure, kNestedCopyFailure});
    merge.partialAllowed = true;  // the pairs copied before the failing put stay
    r.push_back(merge);

    Row fresh;
    fresh.name = "Copy into an empty set";
    fresh.setup = [] {
        g_nested = kvs::test::every_type(false);
        return empty_set();
    };
    fresh.teardown = teardown_with_nested;
    fresh.failures = {kPutFailure, kNestedCopyFailure};
    fresh.partialAllowed = true;  // the pairs before the failing put stay, in order
    fresh.nodePerPair = true;
    fresh.operation = [](CTkvs t) {
        Outcome o;
        o.status = CTkvs_Copy(t, g_nested, &o.error);
        return o;
    };
    r.push_back(fresh);
}

// Puts into a small set (no key index, so no failure is absorbed), each
// failing allocation with its one answer: a nested put's copies answer 3, the
// blocks before them (an array block) and after them (a value block) answer
// 1, and a new key's node, allocated last, answers 1 too. Over a nested set,
// a failure keeps the set and its copies; a single value lives in its pair
// node, so replacing with one takes no heap memory. The source to nest holds
// a string, a string array and a set of its own.
constexpr CTsymbol kSmallKey = 0x00A1u;

CTkvs setup_small(bool overNested)
{
    CTerror e = 0;
    CTkvs deeper = 0, target = 0;
    CTkvs_Create(&deeper, &e);
    CTkvs_PutInt(deeper, 1, 1, &e);
    CTkvs_Create(&g_nested, &e);
    CTkvs_PutString(g_nested, 1, L"inner", &e);
    const wchar_t *strings[] = {L"x", L"y"};
    CTkvs_PutStringArray(g_nested, 2, strings, 2, &e);
    CTkvs_PutKVS(g_nested, 3, deeper, &e);
    CTkvs_Create(&target, &e);
    CTkvs_PutInt(target, 1, 1, &e);
    if (overNested) {
        CTkvs_PutKVS(target, kSmallKey, deeper, &e);
        CTkvs_PutInt(target, 2, 2, &e);
    }
    destroy(deeper);
    return target;
}

struct SmallPut {
    const char *name;
    std::function<CTstatus(CTkvs target, CTerror *e)> put;
    bool inNode;  // a single value, held in the pair node
    bool nested;  // copies g_nested: failures while copying answer 3
    std::uint64_t blocksBefore, blocksAfter;  // allocations of a nested put around its copies
};

void add_small_put_rows(std::vector<Row> &r)
{
    const SmallPut puts[] = {
        {"int", [](CTkvs t, CTerror *e) { return CTkvs_PutInt(t, kSmallKey, 5, e); }, true, false, 0, 0},
        {"range", [](CTkvs t, CTerror *e) { return CTkvs_PutIrange(t, kSmallKey, 1, 2, e); }, true, false, 0, 0},
        {"wide string", [](CTkvs t, CTerror *e) { return CTkvs_PutString(t, kSmallKey, L"\u00e9t\u00e9", e); }, false,
         false, 0, 0},
        {"narrow string", [](CTkvs t, CTerror *e) { return MRQkvs_PutNarrowString(t, kSmallKey, "abc", e); }, false,
         false, 0, 0},
        {"int array",
         [](CTkvs t, CTerror *e) {
             const int32_t v[] = {1, 2, 3};
             return CTkvs_PutIntArray(t, kSmallKey, v, 3, e);
         },
         false, false, 0, 0},
        {"empty int array",
         [](CTkvs t, CTerror *e) { return CTkvs_PutIntArray(t, kSmallKey, static_cast<const int32_t *>(nullptr), 0, e); },
         false, false, 0, 0},
        {"string array",
         [](CTkvs t, CTerror *e) {
             const wchar_t *v[] = {L"a", nullptr, L"bc"};
             return CTkvs_PutStringArray(t, kSmallKey, v, 3, e);
         },
         false, false, 0, 0},
        {"nested set", [](CTkvs t, CTerror *e) { return CTkvs_PutKVS(t, kSmallKey, g_nested, e); }, false, true, 0, 1},
        {"KV-Set array",
         [](CTkvs t, CTerror *e) {
             const CTkvs v[] = {g_nested, 0, g_nested};
             return CTkvs_PutKVSArray(t, kSmallKey, v, 3, e);
         },
         false, true, 1, 0},
    };
    for (bool overNested : {false, true}) {
        for (const SmallPut &c : puts) {
            Row row = put_row(std::string("Put ") + c.name + " into a small set" + (overNested ? " over a nested set" : " (new key)"),
                              c.put);
            row.setup = [overNested] { return setup_small(overNested); };
            if (c.nested) row.failures.push_back(kNestedCopyFailure);
            row.allocates = !(overNested && c.inNode);
            const std::uint64_t trailing = c.blocksAfter + (overNested ? 0 : 1);
            row.answerAt = [c, trailing](std::uint64_t n, std::uint64_t count) {
                const bool copying = c.nested && n > c.blocksBefore && n + trailing <= count;
                return copying ? kNestedCopyFailure : kPutFailure;
            };
            r.push_back(row);
        }
    }
}

void add_codec_rows(std::vector<Row> &r)
{
    Row write;
    write.name = "WriteToMemory";
    write.setup = [] { return kvs::test::every_type(false); };
    write.teardown = destroy;
    write.failures = {kCodecFailure};
    write.operation = [](CTkvs t) {
        Outcome o;
        std::uint8_t *buffer = nullptr;
        std::uint32_t length = 0;
        o.status = MRQkvs_WriteToMemory(&buffer, t, &length, &o.error);
        if (buffer != nullptr) o.product.assign(reinterpret_cast<const char *>(buffer), length);
        if (o.status != CT_statusOK && (buffer != nullptr || length != 0)) o.error = 0;  // written on failure
        MRQkvs_FreeBuffer(buffer);
        return o;
    };
    r.push_back(write);

    auto read_memory = [](CTkvs t) {
        Outcome o;
        const std::string &block = memory_block();
        o.status = MRQkvs_ReadFromMemory(t, reinterpret_cast<const std::uint8_t *>(block.data()),
                                         static_cast<std::uint32_t>(block.size()), &o.error);
        return o;
    };
    auto read_framed = [](CTkvs t) {
        Outcome o;
        const std::string &frame = memory_frame();
        o.status = MRQkvs_ReadFramedBuffer(t, reinterpret_cast<const std::uint8_t *>(frame.data()),
                                           static_cast<std::uint32_t>(frame.size()), &o.error);
        return o;
    };
    auto read_named_file = [](CTkvs t) {
        Outcome o;
        o.status = CTkvs_ReadFile(t, source_file().c_str(), 0, &o.error);
        return o;
    };
    for (bool merged : {false, true}) {
        Row read;
        read.name = std::string("ReadFromMemory ") + (merged ? "merged into a set" : "into an empty set");
        // The block and the file are made once, before any allocation is counted.
        read.setup = [merged] {
            memory_block();
            source_file();
            return merged ? fixture_set() : empty_set();
        };
        read.teardown = destroy;
        read.failures = {kCodecFailure};
        read.partialAllowed = true;  // pairs decoded before the failure stay
        read.operation = read_memory;
        r.push_back(read);
        read.name = std::string("ReadFramedBuffer ") + (merged ? "merged into a set" : "into an empty set");
        read.operation = read_framed;
        r.push_back(read);
        read.name = std::string("ReadFile ") + (merged ? "merged into a set" : "into an empty set");
        read.operation = read_named_file;
        r.push_back(read);
    }

    // From a stream that cannot tell its length (a pipe), the reader's
    // storage grows with what arrives: each growth can fail.
    Row piped;
    piped.name = "ReadKVSBlock from a pipe";
    piped.setup = [] {
        source_file();
        return empty_set();
    };
    piped.teardown = destroy;
    piped.failures = {kCodecFailure};
    piped.partialAllowed = true;
    piped.operation = [](CTkvs t) {
        static const std::string bytes = read_file(std::string(source_file().begin(), source_file().end()));
        Outcome o;
        int fds[2];
        if (pipe(fds) != 0 || ::write(fds[1], bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
            o.status = CT_statusFatal;  // no pipe: no allowed outcome
            return o;
        }
        close(fds[1]);
        std::FILE *in = fdopen(fds[0], "rb");
        o.status = ReadKVSBlock(in, t, &o.error);
        std::fclose(in);
        return o;
    };
    r.push_back(piped);

    Row file;
    file.name = "WriteFile";
    file.setup = [] {
        scratch();
        return kvs::test::every_type(true);
    };
    file.teardown = destroy;
    file.failures = {kCodecFailure};
    file.operation = [](CTkvs t) {
        Outcome o;
        const std::wstring path = wide_path("written.kvs");
        std::remove((scratch().dir / "written.kvs").c_str());
        o.status = CTkvs_WriteFile(t, path.c_str(), 0, &o.error);
        o.product = read_file((scratch().dir / "written.kvs").string());
        return o;
    };
    r.push_back(file);
}

void add_diag_rows(std::vector<Row> &r)
{
    Row display;
    display.name = "Display";
    display.setup = setup_in_scratch;
    display.teardown = teardown_in_scratch;
    display.operation = [](CTkvs t) {
        Outcome o;  // the display reports nothing: what counts is the whole dump in the log
        MRQkvs_Display(t);
        o.product = read_file("Logs/kvs_log.txt");
        return o;
    };
    // The dump names the handle, so it is compared with a second one.
    display.expectedProduct = [](CTkvs t) {
        const std::size_t first = read_file("Logs/kvs_log.txt").size();
        MRQkvs_Display(t);
        return read_file("Logs/kvs_log.txt").substr(first);
    };
    r.push_back(display);

    Row text;
    text.name = "AsText";
    text.allocates = false;
    text.setup = [] { return kvs::test::every_type(true); };
    text.teardown = destroy;
    text.operation = [](CTkvs t) {
        Outcome o;
        wchar_t buffer[4096] = L"";
        MRQKvs_AsText(t, buffer, 4096, L"> ");
        for (const wchar_t *c = buffer; *c != 0; ++c) o.product += static_cast<char>(*c);
        return o;
    };
    r.push_back(text);

    Row compare;
    compare.name = "Compare";
    compare.allocates = false;
    compare.setup = [] {
        g_nested = kvs::test::every_type(false);
        CTkvs t = kvs::test::every_type(false);
        CTerror e = 0;
        CTkvs_PutInt(t, 0x7FFF, 1, &e);  // one pair more than the other side
        return t;
    };
    compare.teardown = teardown_with_nested;
    compare.operation = [](CTkvs t) {
        Outcome o;
        o.product = std::to_string(MRQkvs_Compare(g_nested, t, &o.error));
        return o;
    };
    r.push_back(compare);
}

// ---- The object layer ----------------------------------------------------------

// What a method that threw answered: status 3 and the exception's code, or
// no allowed outcome when the action is not the expected one.
Outcome thrown(const KVSetException &e, const wchar_t *action)
{
    Outcome o;
    o.status = CT_statusFail;
    o.error = !e.arguments().empty() && e.arguments()[0] == action ? static_cast<CTerror>(e.code()) : 0;
    return o;
}

template <class Method>
Row method_row(const std::string &name, const wchar_t *action, Method method,
               std::vector<Allowed> failures = {kNestedCopyFailure})
{
    Row row;
    row.name = name;
    row.setup = setup_with_nested;
    row.teardown = teardown_with_nested;
    row.failures = std::move(failures);
    row.operation = [method, action](CTkvs target) {
        KVSet set(target, false);
        try {
            method(set);
        } catch (const KVSetException &e) {
            return thrown(e, action);
        }
        return Outcome{};
    };
    return row;
}

// What an object-layer operation made and the row inspects once injection is off.
KVSet g_kept;
std::vector<KVSet> g_keptArray;
mrqMakeCallOptionaArgs *g_options = nullptr;
alignas(mrqMakeCallOptionaArgs) unsigned char g_optionsStorage[sizeof(mrqMakeCallOptionaArgs)];

mrqMakeCallOptionaArgs *g_source = nullptr;
alignas(mrqMakeCallOptionaArgs) unsigned char g_sourceStorage[sizeof(mrqMakeCallOptionaArgs)];

// The encoding of a make-call object's options set (its RTC, mask and CPA
// sets are nested in it).
std::string options_product(const mrqMakeCallOptionaArgs &options)
{
    return sweep::encoding(static_cast<CTkvs>(static_cast<unsigned long>(options)));
}

// A make-call object made before injection; the target is its options set.
CTkvs setup_options()
{
    g_nested = empty_set();
    CTerror e = 0;
    CTkvs_PutInt(g_nested, 0x4711, 1, &e);
    g_source = new (g_sourceStorage) mrqMakeCallOptionaArgs();
    return static_cast<CTkvs>(static_cast<unsigned long>(*g_source));
}

void teardown_options(CTkvs)
{
    g_source->~mrqMakeCallOptionaArgs();
    g_source = nullptr;
    destroy(g_nested);
    g_nested = 0;
}

template <class Setter>
Row setter_row(const std::string &name, Setter setter)
{
    Row row;
    row.name = name;
    row.setup = setup_options;
    row.teardown = teardown_options;
    row.failures = {{CT_statusFail, CT_errorNoResource}, {CT_statusFail, CT_errorNoMemory}};
    row.operation = [setter](CTkvs) {
        try {
            setter(*g_source);
        } catch (const KVSetException &e) {
            Outcome o;
            o.status = CT_statusFail;
            o.error = static_cast<CTerror>(e.code());
            return o;
        }
        return Outcome{};
    };
    return row;
}

void add_object_rows(std::vector<Row> &r)
{
    const Allowed setFailure{CT_statusFail, CT_errorNoResource};
    const Allowed narrowFailure{CT_statusFail, CT_errorNoMemory};
    static const wchar_t wide[] = L"wide text";
    static const std::wstring wideString = L"a std::wstring";
    static unsigned int symbols[] = {CT_errorOK, CT_errorNoResource, 7};

    Row create;
    create.name = "KVSet::create";
    create.setup = fixture_set;
    create.teardown = destroy;
    create.failures = {setFailure};
    create.operation = [](CTkvs) {
        KVSet fresh;
        try {
            fresh.create();
        } catch (const KVSetException &e) {
            return thrown(e, L"CREATE");
        }
        return Outcome{};  // the object destroys its set
    };
    r.push_back(create);

    r.push_back(method_row("KVSet::putInt (new key)", L"SET", [](KVSet &s) { s.putInt(kFresh, 5); }));
    r.push_back(method_row("KVSet::putIRange (new key)", L"SET", [](KVSet &s) { s.putIRange(kFresh, {-1, 1}); }));
    r.push_back(method_row("KVSet::putString wide", L"SET", [](KVSet &s) { s.putString(kExisting, wide); }));
    r.push_back(method_row("KVSet::putString std::wstring", L"SET", [](KVSet &s) { s.putString(kFresh, wideString); }));
    r.push_back(method_row("KVSet::putString narrow", L"SET", [](KVSet &s) { s.putString(kFresh, "narrow text"); },
                           {setFailure, narrowFailure}));
    r.push_back(method_row("KVSet::putKVS", L"SET", [](KVSet &s) { s.putKVS(kExisting, g_nested); }));
    r.push_back(
        method_row("KVSet::putKVS (a KVSet)", L"SET", [](KVSet &s) { s.putKVS(kExisting, KVSet(g_nested, false)); }));
    r.push_back(method_row("KVSet::putSymbolArray", L"SET", [](KVSet &s) { s.putSymbolArray(kFresh, symbols, 3); }));
    r.push_back(method_row("KVSet::createArray", L"SET", [](KVSet &s) { s.createArray(kFresh, 3); },
                           {setFailure, narrowFailure}));

    // The copy constructor never throws: a copy it could not make holds nothing.
    Row copy;
    copy.name = "KVSet copy constructor";
    copy.setup = [] { return kvs::test::every_type(false); };
    copy.teardown = destroy;
    copy.failures = {setFailure};
    copy.operation = [](CTkvs target) {
        const KVSet source(target, false);
        g_kept = KVSet(source);
        return Outcome{};
    };
    copy.after = [](CTkvs, Outcome &o) {
        const auto made = static_cast<CTkvs>(static_cast<unsigned long>(static_cast<const KVSet &>(g_kept)));
        if (made == 0) o = {CT_statusFail, CT_errorNoResource, ""};
        o.product = sweep::encoding(made);
        g_kept = KVSet();
    };
    r.push_back(copy);

    // Every element is a whole copy or holds nothing.
    Row array;
    array.name = "KVSet::getKVSArray";
    array.setup = [] {
        CTkvs t = setup_with_nested();
        CTerror e = 0;
        const CTkvs handles[] = {g_nested, g_nested};
        CTkvs_PutKVSArray(t, kFresh, handles, 2, &e);
        return t;
    };
    array.teardown = teardown_with_nested;
    array.failures = {setFailure};
    array.operation = [](CTkvs target) {
        const KVSet set(target, false);
        try {
            g_keptArray = set.getKVSArray(kFresh);
        } catch (const KVSetException &e) {
            return thrown(e, L"GET");
        }
        return Outcome{};
    };
    array.after = [](CTkvs, Outcome &o) {
        const std::string whole = sweep::encoding(g_nested);
        for (const KVSet &element : g_keptArray) {
            const auto h = static_cast<CTkvs>(static_cast<unsigned long>(element));
            if (h == 0) {
                if (o.status == CT_statusOK) o = {CT_statusFail, CT_errorNoResource, ""};
            } else if (sweep::encoding(h) != whole) {
                o = {CT_statusFail, 0, ""};  // a partial copy handed out as a whole one
            }
        }
        if (o.status == CT_statusOK) o.product = std::to_string(g_keptArray.size());
        g_keptArray.clear();
    };
    r.push_back(array);

    Row write;
    write.name = "KVSet::write";
    write.setup = [] {
        scratch();
        return kvs::test::every_type(true);
    };
    write.teardown = destroy;
    write.failures = {setFailure};
    write.allocates = false;  // the file writer streams: nothing to fail but the disk
    write.operation = [](CTkvs target) {
        KVSet set(target, false);
        const std::string path = (scratch().dir / "object.kvs").string();
        try {
            set.write(path.c_str());
        } catch (const KVSetException &e) {
            return thrown(e, L"WRITE");
        }
        Outcome o;
        return o;
    };
    r.push_back(write);

    // A read replaces the held set only once a whole one was read.
    Row read;
    read.name = "KVSet::read";
    read.setup = [] {
        source_file();
        return fixture_set();
    };
    read.teardown = destroy;
    read.failures = {setFailure};
    read.operation = [](CTkvs target) {
        g_kept = KVSet(target, false);
        static const std::string path(source_file().begin(), source_file().end());
        try {
            g_kept.read(path.c_str());
        } catch (const KVSetException &e) {
            const wchar_t *action = e.arguments().empty() || e.arguments()[0] != L"CREATE" ? L"READ" : L"CREATE";
            return thrown(e, action);
        }
        return Outcome{};
    };
    read.after = [](CTkvs, Outcome &o) {
        const auto held = static_cast<CTkvs>(static_cast<unsigned long>(static_cast<const KVSet &>(g_kept)));
        o.product = sweep::encoding(held);
        g_kept = KVSet();  // owning after a read: the new set goes
    };
    r.push_back(read);

    // Make-call options: the constructor, the copy constructor and setters.
    Row options;
    options.name = "mrqMakeCallOptionaArgs constructor";
    options.setup = fixture_set;
    options.teardown = destroy;
    options.failures = {setFailure};
    options.operation = [](CTkvs) {
        try {
            g_options = new (g_optionsStorage) mrqMakeCallOptionaArgs();
        } catch (const KVSetException &e) {
            g_options = nullptr;
            Outcome o;
            o.status = CT_statusFail;
            o.error = static_cast<CTerror>(e.code());
            return o;
        }
        return Outcome{};
    };
    options.after = [](CTkvs, Outcome &o) {
        if (g_options == nullptr) return;
        o.product = options_product(*g_options);
        g_options->~mrqMakeCallOptionaArgs();
        g_options = nullptr;
    };
    r.push_back(options);

    // The copy constructor never throws: a member it could not copy holds nothing.
    Row copied = setter_row("mrqMakeCallOptionaArgs copy constructor", [](mrqMakeCallOptionaArgs &source) {
        g_options = new (g_optionsStorage) mrqMakeCallOptionaArgs(source);
    });
    copied.after = [](CTkvs, Outcome &o) {
        if (g_options == nullptr) return;
        if (static_cast<unsigned long>(*g_options) == 0) o = {CT_statusFail, CT_errorNoResource, ""};
        o.product = options_product(*g_options);
        g_options->~mrqMakeCallOptionaArgs();
        g_options = nullptr;
    };
    r.push_back(copied);

    static wchar_t device[] = L"line 1";
    static unsigned int offer[] = {0x1880706Du, 0x18C0706Du};  // two media an offer may name
    r.push_back(setter_row("mrqMakeCallOptionaArgs::setLineDevice wide",
                           [](mrqMakeCallOptionaArgs &m) { m.setLineDevice(device); }));
    r.push_back(setter_row("mrqMakeCallOptionaArgs::setCallingNumber narrow",
                           [](mrqMakeCallOptionaArgs &m) { m.setCallingNumber("5551234"); }));
    r.push_back(setter_row("mrqMakeCallOptionaArgs::setRTC",
                           [](mrqMakeCallOptionaArgs &m) { m.setRTC(g_nested); }));
    r.push_back(setter_row("mrqMakeCallOptionaArgs::setRTC (a KVSet)",
                           [](mrqMakeCallOptionaArgs &m) { m.setRTC(KVSet(g_nested, false)); }));
    r.push_back(setter_row("mrqMakeCallOptionaArgs::setDefaultRTC",
                           [](mrqMakeCallOptionaArgs &m) { m.setDefaultRTC(); }));
    r.push_back(setter_row("mrqMakeCallOptionaArgs::setDefaultCPA",
                           [](mrqMakeCallOptionaArgs &m) { m.setDefaultCPA(); }));
    r.push_back(setter_row("mrqMakeCallOptionaArgs::setDefaultConnectMask",
                           [](mrqMakeCallOptionaArgs &m) { m.setDefaultConnectMask(); }));
    r.push_back(setter_row("mrqMakeCallOptionaArgs::setOutboundOfferMedia",
                           [](mrqMakeCallOptionaArgs &m) { m.setOutboundOfferMedia(offer, 2); }));
    r.push_back(setter_row("mrqMakeCallOptionaArgs::copy", [](mrqMakeCallOptionaArgs &m) {
        m.copy(static_cast<unsigned long>(m));  // from its own options: the source lives inside the object
    }));
    r.push_back(setter_row("mrqMakeCallOptionaArgs::copy (a KVSet)", [](mrqMakeCallOptionaArgs &m) {
        m.copy(KVSet(static_cast<unsigned long>(m), false));
    }));
    // A source it cannot copy is reported as such, whatever the cause (both copy rows).
    for (std::size_t i = r.size() - 2; i < r.size(); ++i)
        r[i].failures.push_back({CT_statusFail, CT_errorInvalidKVSet});
}

// ---- The JSON bridge and block inspection ------------------------------------

CTkvs g_made = 0;  // a set a bridge function made, inspected once injection is off

// The JSON text and memory frame of every value type, made once.
const std::string &every_type_json()
{
    static const std::string text = [] {
        CTkvs set = kvs::test::every_type(true);
        std::string json, error;
        EXPECT_TRUE(kvset::toJson(set, &json, &error)) << error;
        destroy(set);
        return json;
    }();
    return text;
}

const std::string &every_type_frame()
{
    static const std::string frame = [] {
        CTkvs set = kvs::test::every_type(false);
        std::string bytes = sweep::encoding(set);
        destroy(set);
        return bytes;
    }();
    return frame;
}

// A bridge function that makes a set: true with a set, or false with nothing
// registered and a message.
template <class Make>
Row making_row(const std::string &name, Make make)
{
    Row row;
    row.name = name;
    row.setup = [] {
        every_type_json();
        every_type_frame();
        return fixture_set();
    };
    row.teardown = destroy;
    row.failures = {kCodecFailure};
    row.operation = [make](CTkvs) {
        Outcome o;
        std::string error;
        g_made = 0;
        if (!make(&g_made, &error)) {
            o.status = CT_statusFail;
            o.error = g_made == 0 && !error.empty() ? CT_errorNoResource : 0;  // 0: no allowed outcome
        }
        return o;
    };
    row.after = [](CTkvs, Outcome &o) {
        if (g_made == 0) return;
        o.product = sweep::encoding(g_made);
        destroy(g_made);
        g_made = 0;
    };
    return row;
}

void add_bridge_rows(std::vector<Row> &r)
{
    r.push_back(making_row("fromJson", [](CTkvs *made, std::string *error) {
        return kvset::fromJson(every_type_json(), made, error);
    }));
    r.push_back(making_row("readBlock of a memory buffer", [](CTkvs *made, std::string *error) {
        const std::string &frame = every_type_frame();
        kvset::BlockFault fault;
        const bool ok = kvset::readBlock(reinterpret_cast<const unsigned char *>(frame.data()), frame.size(),
                                         kvset::BlockFormat::Auto, made, nullptr, &fault);
        *error = fault.reason;
        return ok;
    }));

    Row json;
    json.name = "toJson";
    json.setup = [] { return kvs::test::every_type(true); };
    json.teardown = destroy;
    json.allocates = false;  // reads the set through the gets
    json.operation = [](CTkvs t) {
        Outcome o;
        std::string error;
        if (!kvset::toJson(t, &o.product, &error)) o.status = CT_statusFail;
        return o;
    };
    r.push_back(json);

    Row block;
    block.name = "writeBlock of a memory buffer";
    block.setup = [] { return kvs::test::every_type(false); };
    block.teardown = destroy;
    block.failures = {kCodecFailure};
    block.operation = [](CTkvs t) {
        Outcome o;
        std::vector<unsigned char> bytes;
        std::string error;
        if (!kvset::writeBlock(t, kvset::BlockFormat::Memory, &bytes, &error)) {
            o.status = CT_statusFail;
            o.error = error.empty() ? 0 : CT_errorNoResource;
        }
        o.product.assign(bytes.begin(), bytes.end());
        return o;
    };
    r.push_back(block);
}

// ---- The inspection API for C callers ------------------------------------------

// What a call of inspect_c.h answered: its text as the product; a failure
// whose line says the heap ran out (or that had no room for a line at all)
// counts as CT_errorNoResource, any other failure as no allowed outcome.
Outcome c_outcome(CTstatus status, char *text, char *errorText)
{
    Outcome o;
    o.status = status;
    if (text != nullptr) o.product = text;
    if (status != CT_statusOK)
        o.error = errorText == nullptr || std::string(errorText) == "out of memory" ? CT_errorNoResource : 0;
    MRQkvs_FreeText(text);
    MRQkvs_FreeText(errorText);
    return o;
}

// A row for a C call that renders a set of every value type as text.
Row c_text_row(const std::string &name, CTstatus (*render)(CTkvs, char **, char **))
{
    Row row;
    row.name = name;
    row.setup = [] { return kvs::test::every_type(true); };
    row.teardown = destroy;
    row.failures = {kCodecFailure};
    row.operation = [render](CTkvs t) {
        char *text = nullptr;
        char *errorText = nullptr;
        const CTstatus status = render(t, &text, &errorText);
        return c_outcome(status, text, errorText);
    };
    return row;
}

void add_c_inspect_rows(std::vector<Row> &r)
{
    r.push_back(c_text_row("MRQkvs_ToJson", MRQkvs_ToJson));
    r.push_back(c_text_row("MRQkvs_RenderTree", MRQkvs_RenderTree));

    r.push_back(making_row("MRQkvs_FromJson", [](CTkvs *made, std::string *error) {
        char *errorText = nullptr;
        const CTstatus status = MRQkvs_FromJson(every_type_json().c_str(), made, &errorText);
        const Outcome o = c_outcome(status, nullptr, errorText);
        if (o.status != CT_statusOK) *error = o.error == CT_errorNoResource ? "out of memory" : "";
        return o.status == CT_statusOK;
    }));

    Row validate;
    validate.name = "MRQkvs_ValidateBlock";
    validate.setup = [] {
        every_type_frame();
        return fixture_set();
    };
    validate.teardown = destroy;
    validate.failures = {kCodecFailure};
    validate.operation = [](CTkvs) {
        const std::string &frame = every_type_frame();
        char *errorText = nullptr;
        const CTstatus status = MRQkvs_ValidateBlock(reinterpret_cast<const std::uint8_t *>(frame.data()),
                                                     frame.size(), KV_BLOCK_AUTO, nullptr, &errorText);
        return c_outcome(status, nullptr, errorText);
    };
    r.push_back(validate);
}

// The C++17 interface: a set built through kvset::Set is handed over as the
// row's product; an Error counts as the heap running out only when its symbol
// says so.
template <class Build>
Row set_row(const std::string &name, Build build)
{
    return making_row(name, [build](CTkvs *made, std::string *error) {
        try {
            *made = build().release();
            return true;
        } catch (const kvset::Error &e) {
            if (e.error() == CT_errorNoResource || e.error() == CT_errorNoMemory) *error = e.what();
            return false;
        }
    });
}

kvset::Set every_type_decoded()
{
    const std::string &frame = every_type_frame();
    return kvset::Set::decode(reinterpret_cast<const std::uint8_t *>(frame.data()), frame.size());
}

void add_cpp_rows(std::vector<Row> &r)
{
    r.push_back(set_row("Set::decode of a memory buffer", every_type_decoded));
    r.push_back(set_row("Set::from_json", [] { return kvset::Set::from_json(every_type_json()); }));
    r.push_back(set_row("Set deep copy", [] {
        kvset::Set read = every_type_decoded();
        return kvset::Set(read);
    }));
    r.push_back(set_row("Set rebuilt through get and put", [] {
        kvset::Set read = every_type_decoded();
        kvset::Set rebuilt;
        for (const auto &[key, value] : read) rebuilt.put(key, value);
        return rebuilt;
    }));
}

std::vector<Row> rows()
{
    std::vector<Row> r;
    add_store_rows(r);
    add_small_put_rows(r);
    add_codec_rows(r);
    add_diag_rows(r);
    add_object_rows(r);
    add_bridge_rows(r);
    add_c_inspect_rows(r);
    add_cpp_rows(r);
    return r;
}

class AllocSweep : public kvs::test::KvsTest, public ::testing::WithParamInterface<Row> {};

TEST_P(AllocSweep, EveryFailingAllocationIsReportedAndLeavesTheSetAsItWas) { sweep::run(GetParam()); }

std::string row_name(const ::testing::TestParamInfo<Row> &info)
{
    std::string n;
    for (char c : info.param.name)
        if (std::isalnum(static_cast<unsigned char>(c))) n += c;
    return n;
}

INSTANTIATE_TEST_SUITE_P(Library, AllocSweep, ::testing::ValuesIn(rows()), row_name);

}  // namespace
