// The C++17 interface (kvset/set.hpp): values of every type, ownership,
// iteration that leaves the cursor alone, UTF-8, blocks and errors.
#include "kvset/set.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

#include "store/types.h"
#include "support/every_type.h"
#include "support/fixture.h"
#include "support/temp_dir.h"

namespace {

using kvset::Value;

std::vector<std::uint8_t> golden(const std::string &name)
{
    std::ifstream in(std::string(KVSET_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SetApi : public kvs::test::KvsTest {};

// The variant holds each type of the library's table exactly once, so a new
// type in the table fails here until it has its alternative.
TEST_F(SetApi, VariantCoversTheTypeTableOnce)
{
    std::size_t count = 0;
    const kvs::TypeInfo *table = kvs::type_table(&count);
    std::set<std::uint32_t> library, variant(kvset::value_codes, kvset::value_codes + kvset::value_type_count);
    for (std::size_t i = 0; i < count; ++i) library.insert(table[i].code);
    EXPECT_EQ(variant.size(), kvset::value_type_count);
    EXPECT_EQ(library, variant);
}

// One value of every alternative; the table is indexed like the variant.
std::vector<Value> one_of_each()
{
    kvset::Set nested;
    nested.put(1, std::wstring(L"inner \u00e9"));
    std::vector<std::optional<kvset::Set>> sets;
    sets.emplace_back(nested);
    sets.emplace_back(std::nullopt);
    return {kvset::Bool{1},
            kvset::Conference{2},
            kvset::Group{3},
            std::int32_t{-4},
            kvset::Mode{1},
            kvset::Session{6},
            kvset::Service{7},
            kvset::Status{3},
            kvset::Symbol{0x00010050},
            kvset::Time{1700000000},
            kvset::Uint{0xFFFFFFFFu},
            kvset::Stream{12},
            kvset::Char{0xD800},
            kvset::ErrorValue{CT_errorBadFormat},
            kvset::Connection{14},
            kvset::Irange{-5, 5},
            nested,
            kvset::String{L"\u00e9t\u00e9 \U0001F600"},
            kvset::BoolArray{{0, 1}},
            kvset::ByteArray{{0, 0xFF, 7}},
            kvset::ConferenceArray{{1, 2}},
            kvset::GroupArray{{3}},
            kvset::IntArray{{-1, 0, 1}},
            kvset::IrangeArray{{{1, 2}, {-3, 4}}},
            kvset::SetArray{std::move(sets)},
            kvset::ModeArray{{0, 1}},
            kvset::SessionArray{{5}},
            kvset::ServiceArray{{6, 7}},
            kvset::StatusArray{{0, 3}},
            kvset::StringArray{{std::wstring(L"a"), std::nullopt, std::wstring(L"\U0001F600")}},
            kvset::SymbolArray{{0x10050, 0xA0050}},
            kvset::ErrorArray{{CT_errorNoSuchKey}},
            kvset::ConnectionArray{{8}},
            kvset::UintArray{{0, 0xFFFFFFFFu}},
            kvset::TimeArray{{}}};
}

TEST_F(SetApi, EveryTypeRoundTripsThroughPutAndGet)
{
    std::vector<Value> values = one_of_each();
    ASSERT_EQ(values.size(), kvset::value_type_count);
    kvset::Set set;
    for (std::size_t i = 0; i < values.size(); ++i) {
        ASSERT_EQ(values[i].index(), i);
        set.put(static_cast<CTsymbol>(100 + i), values[i]);
    }
    ASSERT_EQ(set.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        SCOPED_TRACE(i);
        std::optional<Value> got = set.get(static_cast<CTsymbol>(100 + i));
        ASSERT_TRUE(got);
        if (values[i].code() == KV_TYPE_ERROR) {  // an error value is stored as a symbol
            EXPECT_EQ(std::get<kvset::Symbol>(*got).value, CT_errorBadFormat);
        } else {
            EXPECT_EQ(got->variant(), values[i].variant());
        }
    }
    EXPECT_EQ(set.get<kvset::Irange>(115), (kvset::Irange{-5, 5}));
    EXPECT_EQ(set.get<std::int32_t>(103), -4);
}

// Each golden block read, every pair rebuilt through get and put in a new
// set, written again: byte for byte the same block.
TEST_F(SetApi, GoldenBlocksSurviveGetAndPut)
{
    struct Case {
        const char *file;
        kvset::Format format;
    } cases[] = {{"every_type.kvs", kvset::Format::memory},  {"every_type.file.kvs", kvset::Format::file},
                 {"surrogate.frame.kvs", kvset::Format::memory}, {"surrogate.file.kvs", kvset::Format::file},
                 {"nested.frame.kvs", kvset::Format::memory},    {"empty_element.file.kvs", kvset::Format::file}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        std::vector<std::uint8_t> bytes = golden(c.file);
        ASSERT_FALSE(bytes.empty());
        kvset::Set read = kvset::Set::decode(bytes);
        kvset::Set rebuilt;
        for (const auto &[key, value] : read) rebuilt.put(key, value);
        EXPECT_EQ(rebuilt.size(), read.size());
        EXPECT_EQ(rebuilt.encode(c.format), bytes);
    }
}

TEST_F(SetApi, IterationLeavesTheCursorWhereItWas)
{
    kvset::Set set;
    for (CTsymbol k : {5u, 3u, 9u, 1u}) set.put(k, static_cast<std::int32_t>(k * 10));
    CTsymbol cursor = CT_keyFirst;
    std::uint32_t type = 0;
    CTerror e = 0;
    ASSERT_EQ(CTkvs_GetNextKey(set.handle(), &cursor, &type, &e), CT_statusOK);
    ASSERT_EQ(cursor, 5u);
    std::vector<std::pair<CTsymbol, std::int32_t>> seen;
    for (const auto &[key, value] : set) seen.emplace_back(key, std::get<std::int32_t>(value));
    EXPECT_EQ(seen, (std::vector<std::pair<CTsymbol, std::int32_t>>{{5, 50}, {3, 30}, {9, 90}, {1, 10}}));
    (void)set.get(1);
    (void)set.contains(9);
    ASSERT_EQ(CTkvs_GetNextKey(set.handle(), &cursor, &type, &e), CT_statusOK);
    EXPECT_EQ(cursor, 3u) << "the walk goes on after the first pair";
    kvset::Set empty;
    EXPECT_EQ(empty.begin(), empty.end());
}

TEST_F(SetApi, PairAfterAnswersInTheCConventions)
{
    kvset::Set set;
    set.put(7, 1);
    CTsymbol key = 0, previous = 7, absent = 8;
    std::uint32_t type = 0;
    using kvs::test::run;
    EXPECT_EQ(run(MRQkvs_PairAfter, set.handle(), static_cast<const CTsymbol *>(nullptr), &key, &type),
              kvs::test::ok());
    EXPECT_EQ(key, 7u);
    EXPECT_EQ(type, static_cast<std::uint32_t>(KV_TYPE_INT));
    EXPECT_EQ(run(MRQkvs_PairAfter, set.handle(), static_cast<const CTsymbol *>(&previous), &key, &type),
              kvs::test::warning(CT_errorEndOfList));
    EXPECT_EQ(run(MRQkvs_PairAfter, set.handle(), static_cast<const CTsymbol *>(&absent), &key, &type),
              kvs::test::warning(CT_errorNoSuchKey));
    EXPECT_EQ(run(MRQkvs_PairAfter, set.handle(), static_cast<const CTsymbol *>(nullptr), static_cast<CTsymbol *>(nullptr), &type),
              kvs::test::fail(CT_errorBadParameter));
    EXPECT_EQ(run(MRQkvs_PairAfter, CTkvs{12345}, static_cast<const CTsymbol *>(nullptr), &key, &type),
              kvs::test::fail(CT_errorNoResource));
    EXPECT_EQ(run(MRQkvs_TypeOf, set.handle(), CTsymbol{8}, &type), kvs::test::warning(CT_errorNoSuchKey));
    EXPECT_EQ(run(MRQkvs_TypeOf, set.handle(), CTsymbol{7}, static_cast<std::uint32_t *>(nullptr)),
              kvs::test::fail(CT_errorBadParameter));
}

TEST_F(SetApi, OwnershipCopiesMovesReleasesAndAdopts)
{
    const std::uint32_t base = MRQkvs_GetNumKVS();
    kvset::Set a;
    a.put(1, kvset::Symbol{0x10050});
    kvset::Set nested;
    nested.put(2, 3);
    a.put(4, nested);
    kvset::Set b = a;  // deep: the nested copy is b's own
    EXPECT_NE(b.handle(), a.handle());
    EXPECT_EQ(a, b);
    b.put(1, 2);
    EXPECT_NE(a, b);
    EXPECT_TRUE(std::holds_alternative<kvset::Symbol>(*a.get(1)));
    kvset::Set c = std::move(b);
    EXPECT_EQ(b.handle(), 0u);
    c = a;  // copy assignment destroys what c held
    EXPECT_EQ(c, a);
    c = std::move(c);
    EXPECT_NE(c.handle(), 0u);
    CTkvs released = c.release();
    EXPECT_EQ(c.handle(), 0u);
    EXPECT_EQ(ValidateKVS(released), CT_errorOK);
    {
        kvset::Set back = kvset::Set::adopt(released);
        EXPECT_EQ(back.handle(), released);
    }
    EXPECT_NE(ValidateKVS(released), CT_errorOK);
    EXPECT_THROW(kvset::Set::adopt(released), kvset::Error);
    EXPECT_EQ(MRQkvs_GetNumKVS(), base + 3) << "a with its nested copy, and nested: nothing else";
}

TEST_F(SetApi, EraseContainsAndClear)
{
    kvset::Set set;
    set.put(1, 1);
    set.put(2, "two");
    EXPECT_TRUE(set.contains(2));
    EXPECT_TRUE(set.erase(2));
    EXPECT_FALSE(set.erase(2));
    EXPECT_FALSE(set.contains(2));
    EXPECT_FALSE(set.get(2));
    set.clear();
    EXPECT_TRUE(set.empty());
}

TEST_F(SetApi, Utf8ConvertsEveryCharacterExactly)
{
    struct Case {
        std::wstring wide;
        std::string utf8;
    } cases[] = {
        {L"plain", "plain"},
        {L"\u00e9", "\xC3\xA9"},
        {L"\u20AC", "\xE2\x82\xAC"},
        {L"\U0001F600", "\xF0\x9F\x98\x80"},
        {std::wstring(1, static_cast<wchar_t>(0xD800)), "\xED\xA0\x80"},  // a lone surrogate
        {std::wstring{static_cast<wchar_t>(0xD83D), L'b'}, "\xED\xA0\xBD" "b"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(kvset::to_utf8(c.wide), c.utf8);
        EXPECT_EQ(kvset::from_utf8(c.utf8), c.wide);
    }
    kvset::Set set;
    set.put(1, "caf\xC3\xA9");
    EXPECT_EQ(set.get<kvset::String>(1).to_utf8(), "caf\xC3\xA9");
    EXPECT_EQ(set.get<kvset::String>(1).text, std::wstring(L"caf\u00e9"));

    const char *bad[] = {"\xC3", "\xC0\x80", "\xE2\x82", "\xF8\x80\x80\x80\x80", "\xF4\x90\x80\x80", "a\x80"};
    for (const char *b : bad) EXPECT_THROW(kvset::from_utf8(b), kvset::Error) << b;
    EXPECT_THROW(kvset::to_utf8(std::wstring(1, static_cast<wchar_t>(0x110000))), kvset::Error);
}

TEST_F(SetApi, ErrorsCarryStatusSymbolAndKey)
{
    kvset::Set set;
    set.put(0x1234, 5);
    try {
        (void)set.get<kvset::Uint>(0x1234);
        FAIL() << "no throw";
    } catch (const kvset::Error &e) {
        EXPECT_EQ(e.status(), CT_statusWarning);
        EXPECT_EQ(e.error(), CT_errorNoSuchKey);
        EXPECT_EQ(e.key(), std::optional<CTsymbol>(0x1234));
        EXPECT_STREQ(e.what(), "get: CT_errorNoSuchKey (status 1), key 0x00001234");
    }
    try {
        set.put(1, kvset::ModeArray{});  // refused by the store: empty
        FAIL() << "no throw";
    } catch (const kvset::Error &e) {
        EXPECT_EQ(e.error(), CT_errorBadParameter);
        EXPECT_EQ(e.key(), std::optional<CTsymbol>(1));
    }
    const std::vector<std::uint8_t> garbage = {1, 2, 3};
    EXPECT_THROW(kvset::Set::decode(garbage), kvset::Error);
    EXPECT_THROW(kvset::Set::from_json("[{\"key\": 1}"), kvset::Error);
    EXPECT_THROW(kvset::Set::read("/nonexistent/dir/x.kvs"), kvset::Error);
    EXPECT_THROW(set.put(1, static_cast<const char *>(nullptr)), kvset::Error);
    try {
        kvset::Set::from_json("[1]");
    } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find("$[0]"), std::string::npos) << e.what();
    }
}

TEST_F(SetApi, BlocksFilesJsonDiffAndTree)
{
    CTkvs every = own(kvs::test::every_type(false));
    kvset::Set set = kvset::Set::copy_of(every);
    std::vector<std::uint8_t> memory = set.encode(kvset::Format::memory);
    EXPECT_EQ(kvset::Set::decode(memory), set);
    std::vector<std::uint8_t> bare(memory.begin() + 8, memory.end() - 4);
    EXPECT_EQ(kvset::Set::decode(bare), set);

    kvs::test::TempDir dir{"kvset_cpp_"};
    std::string path = (dir.path() / "s.kvs").string();
    set.write(path);
    EXPECT_EQ(kvset::Set::read(path), set);

    std::string json = set.to_json();
    EXPECT_EQ(kvset::Set::from_json(json).to_json(), json);
    EXPECT_TRUE(kvset::diff(set, kvset::Set::from_json(json)).empty());
    kvset::Set changed = set;
    changed.put(1, 99);
    EXPECT_FALSE(kvset::diff(set, changed).empty());
    EXPECT_NE(set.render().find("CTint"), std::string::npos);
}

}  // namespace
