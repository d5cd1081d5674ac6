// The JSON form: exact text for every type, round trips, and refusals.
#include <cstring>

#include "inspect_support.h"

namespace {

class Json : public kvs::test::KvsTest {
protected:
    std::string json_of(CTkvs h)
    {
        std::string text;
        std::string error;
        EXPECT_TRUE(kvset::toJson(h, &text, &error)) << error;
        return text;
    }

    CTkvs from(const std::string &text)
    {
        CTkvs h = 0;
        std::string error;
        EXPECT_TRUE(kvset::fromJson(text, &h, &error)) << error;
        return own(h);
    }

    // set -> JSON -> set -> JSON: the same text, a matching set.
    void expect_round_trip(CTkvs h, const std::string &expected)
    {
        const std::string text = json_of(h);
        EXPECT_EQ(text, expected);
        CTkvs back = from(text);
        ASSERT_NE(back, 0u);
        EXPECT_EQ(json_of(back), text);
        uint32_t same = 0;
        CTerror e = 0;
        ASSERT_EQ(CTkvs_Match(h, back, &same, &e), CT_statusOK);
        EXPECT_EQ(same, 1u) << text;
        // The deep comparison finds them equal; a KV-Set array with an empty
        // element fails it even against itself, and must fail it the same way.
        CTerror self_error = 0;
        const int32_t self = MRQkvs_Compare(h, h, &self_error);
        EXPECT_EQ(MRQkvs_Compare(h, back, &e), self) << text;
        EXPECT_EQ(e, self_error);
        // Both encode to the same bytes in each variant.
        for (kvset::BlockFormat format : {kvset::BlockFormat::Memory, kvset::BlockFormat::File}) {
            std::vector<unsigned char> original;
            std::vector<unsigned char> rebuilt;
            std::string why;
            const bool written = kvset::writeBlock(h, format, &original, &why);
            EXPECT_EQ(kvset::writeBlock(back, format, &rebuilt, &why), written);
            EXPECT_EQ(original, rebuilt);
        }
    }
};

TEST_F(Json, EveryTypeHasItsExactForm)
{
    CTkvs h = make_set();
    CTerror e = 0;
    const uint32_t words[] = {0, 1, 0xFFFFFFFFu};
    const int32_t ints[] = {INT32_MIN, -1, INT32_MAX};
    const uint8_t bytes[] = {0x00, 0xAB, 0x7F};
    const struct_Irange ranges[] = {{-3, 7}, {INT32_MIN, INT32_MAX}};
    const CTsymbol symbols[] = {MakeCall_RTC, 0x0000ABCDu};
    const CTerror errors[] = {CT_errorNoSuchKey, 0x12345678u};
    KVS_OK(CTkvs_PutBool(h, 1, 1, &e), e);
    KVS_OK(CTkvs_PutConference(h, 2, 0xFFFFFFFFu, &e), e);
    KVS_OK(CTkvs_PutGroup(h, 3, 3, &e), e);
    KVS_OK(CTkvs_PutInt(h, 4, INT32_MIN, &e), e);
    KVS_OK(CTkvs_PutMode(h, 5, CT_modeSync, &e), e);
    KVS_OK(CTkvs_PutSession(h, 6, 6, &e), e);
    KVS_OK(CTkvs_PutService(h, 7, 7, &e), e);
    KVS_OK(CTkvs_PutStatus(h, 8, CT_statusFail, &e), e);
    KVS_OK(CTkvs_PutSymbol(h, 9, MakeCall_CallingNumber, &e), e);
    KVS_OK(CTkvs_PutError(h, 10, CT_errorBadFormat, &e), e);
    KVS_OK(CTkvs_PutTime(h, 11, 1700000000u, &e), e);
    KVS_OK(CTkvs_PutUint(h, 12, 0xFFFFFFFFu, &e), e);
    KVS_OK(CTkvs_PutStream(h, 13, 13, &e), e);
    KVS_OK(CTkvs_PutChar(h, 14, 0x00E9, &e), e);
    KVS_OK(CTkvs_PutChar(h, 15, 0xD800, &e), e);
    KVS_OK(CTkvs_PutConnection(h, 16, 16, &e), e);
    KVS_OK(CTkvs_PutIrange(h, 17, -3, 7, &e), e);
    KVS_OK(CTkvs_PutString(h, 18, L"a \"quoted\"\\ line\n\u00e9\U0001F600", &e), e);
    KVS_OK(CTkvs_PutString(h, 19, static_cast<const wchar_t *>(nullptr), &e), e);
    KVS_OK(CTkvs_PutBoolArray(h, 20, words, 3, &e), e);
    KVS_OK(CTkvs_PutByteArray(h, 21, bytes, 3, &e), e);
    KVS_OK(CTkvs_PutCONFArray(h, 22, words, 3, &e), e);
    KVS_OK(CTkvs_PutGroupArray(h, 23, words, 1, &e), e);
    KVS_OK(CTkvs_PutIntArray(h, 24, ints, 3, &e), e);
    KVS_OK(CTkvs_PutIrangeArray(h, 25, ranges, 2, &e), e);
    KVS_OK(CTkvs_PutModeArray(h, 26, words, 2, &e), e);
    KVS_OK(CTkvs_PutSessionArray(h, 27, words, 0, &e), e);
    KVS_OK(CTkvs_PutServiceArray(h, 28, words, 1, &e), e);
    KVS_OK(CTkvs_PutStatusArray(h, 29, words, 2, &e), e);
    KVS_OK(CTkvs_PutSymbolArray(h, 30, symbols, 2, &e), e);
    KVS_OK(CTkvs_PutErrorArray(h, 31, errors, 2, &e), e);
    KVS_OK(CTkvs_PutCONNArray(h, 32, words, 3, &e), e);
    KVS_OK(CTkvs_PutUintArray(h, 33, words, 3, &e), e);
    KVS_OK(CTkvs_PutTimeArray(h, 34, words, 1, &e), e);
    const wchar_t *strings[] = {L"x", nullptr, L""};
    KVS_OK(CTkvs_PutStringArray(h, 35, strings, 3, &e), e);
    CTkvs inner = make_set();
    KVS_OK(CTkvs_PutInt(inner, MakeCall_LineDevice, 1, &e), e);
    KVS_OK(CTkvs_PutKVS(h, MakeCall_RTC, inner, &e), e);
    CTkvs empty = make_set();
    const CTkvs elements[] = {inner, 0, empty};
    KVS_OK(CTkvs_PutKVSArray(h, 36, elements, 3, &e), e);
    KVS_OK(CTkvs_PutByteArray(h, 37, bytes, 0, &e), e);

    expect_round_trip(h, R"([
  {"key": "0x00000001", "type": "CTbool", "value": 1},
  {"key": "0x00000002", "type": "CTconf_ct", "value": 4294967295},
  {"key": "0x00000003", "type": "CTgrp_ct", "value": 3},
  {"key": "0x00000004", "type": "CTint", "value": -2147483648},
  {"key": "0x00000005", "type": "CTmode", "value": 1},
  {"key": "0x00000006", "type": "CTses_ct", "value": 6},
  {"key": "0x00000007", "type": "CTsrv_ct", "value": 7},
  {"key": "0x00000008", "type": "CTstatus", "value": 3},
  {"key": "0x00000009", "type": "CTsymbol", "value": "MakeCall_CallingNumber"},
  {"key": "0x0000000A", "type": "CTsymbol", "value": "CT_errorBadFormat"},
  {"key": "0x0000000B", "type": "CTtime", "value": 1700000000},
  {"key": "0x0000000C", "type": "CTuint", "value": 4294967295},
  {"key": "0x0000000D", "type": "CTstream_ct", "value": 13},
  {"key": "0x0000000E", "type": "CTchar", "value": "é"},
  {"key": "0x0000000F", "type": "CTchar", "value": 55296},
  {"key": "0x00000010", "type": "CTconn_ct", "value": 16},
  {"key": "0x00000011", "type": "CTirange", "value": [-3, 7]},
  {"key": "0x00000012", "type": "CTstring", "value": "a \"quoted\"\\ line\né😀"},
  {"key": "0x00000013", "type": "CTstring", "value": null},
  {"key": "0x00000014", "type": "CTbool[]", "value": [0, 1, 4294967295]},
  {"key": "0x00000015", "type": "Byte[]", "value": "00ab7f"},
  {"key": "0x00000016", "type": "CTconf_ct[]", "value": [0, 1, 4294967295]},
  {"key": "0x00000017", "type": "CTgrp_ct[]", "value": [0]},
  {"key": "0x00000018", "type": "CTint[]", "value": [-2147483648, -1, 2147483647]},
  {"key": "0x00000019", "type": "CTirange[]", "value": [[-3, 7], [-2147483648, 2147483647]]},
  {"key": "0x0000001A", "type": "CTmode[]", "value": [0, 1]},
  {"key": "0x0000001B", "type": "CTses_ct[]", "value": []},
  {"key": "0x0000001C", "type": "CTsrv_ct[]", "value": [0]},
  {"key": "0x0000001D", "type": "CTstatus[]", "value": [0, 1]},
  {"key": "0x0000001E", "type": "CTsymbol[]", "value": ["MakeCall_RTC", "0x0000ABCD"]},
  {"key": "0x0000001F", "type": "CTerror[]", "value": ["CT_errorNoSuchKey", "0x12345678"]},
  {"key": "0x00000020", "type": "CTconn_ct[]", "value": [0, 1, 4294967295]},
  {"key": "0x00000021", "type": "CTuint[]", "value": [0, 1, 4294967295]},
  {"key": "0x00000022", "type": "CTtime[]", "value": [0]},
  {"key": "0x00000023", "type": "CTstring[]", "value": ["x", null, ""]},
  {"key": "MakeCall_RTC", "type": "CTkvs_ct", "value": [
    {"key": "MakeCall_LineDevice", "type": "CTint", "value": 1}
  ]},
  {"key": "0x00000024", "type": "CTkvs_ct[]", "value": [
    [
      {"key": "MakeCall_LineDevice", "type": "CTint", "value": 1}
    ],
    null,
    []
  ]},
  {"key": "0x00000025", "type": "Byte[]", "value": ""}
]
)");
}

// Sets at the edges of what the form must carry.
TEST_F(Json, RoundTripsSetsAtTheEdges)
{
    struct Case {
        const char *name;
        std::function<void(CTkvs, CTkvs)> fill;  // (set, spare set to nest)
        std::string json;
    };
    const wchar_t lone[] = {L'a', static_cast<wchar_t>(0xD83D), L'b', 0};
    const wchar_t split_pair[] = {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00), 0};
    const wchar_t beyond[] = {static_cast<wchar_t>(0x110000), static_cast<wchar_t>(-1), 0};
    const Case cases[] = {
        {"empty set", [](CTkvs, CTkvs) {}, "[]\n"},
        {"lone surrogate in a string",
         [&](CTkvs h, CTkvs) {
             CTerror e = 0;
             KVS_OK(CTkvs_PutString(h, 1, lone, &e), e);
         },
         "[\n  {\"key\": \"0x00000001\", \"type\": \"CTstring\", \"value\": {\"codepoints\": [97, 55357, 98]}}\n]\n"},
        {"surrogate halves held as two characters, beyond Unicode, in a string array",
         [&](CTkvs h, CTkvs) {
             CTerror e = 0;
             const wchar_t *strings[] = {split_pair, beyond, L"\U0001F600"};
             KVS_OK(CTkvs_PutStringArray(h, 2, strings, 3, &e), e);
         },
         "[\n  {\"key\": \"0x00000002\", \"type\": \"CTstring[]\", \"value\": [{\"codepoints\": [55357, 56832]}, "
         "{\"codepoints\": [1114112, 4294967295]}, \"😀\"]}\n]\n"},
        {"a pair under the key that starts a walk, between two others",
         [](CTkvs h, CTkvs) {
             CTerror e = 0;
             KVS_OK(CTkvs_PutInt(h, 1, 1, &e), e);
             KVS_OK(CTkvs_PutInt(h, CT_keyFirst, 2, &e), e);
             KVS_OK(CTkvs_PutInt(h, 3, 3, &e), e);
         },
         "[\n  {\"key\": \"0x00000001\", \"type\": \"CTint\", \"value\": 1},\n"
         "  {\"key\": \"CT_keyFirst\", \"type\": \"CTint\", \"value\": 2},\n"
         "  {\"key\": \"0x00000003\", \"type\": \"CTint\", \"value\": 3}\n]\n"},
        {"control characters and the character zero",
         [](CTkvs h, CTkvs) {
             CTerror e = 0;
             KVS_OK(CTkvs_PutString(h, 1, L"\x01\x1f\t\x7f", &e), e);
             KVS_OK(CTkvs_PutChar(h, 2, 0, &e), e);
         },
         "[\n  {\"key\": \"0x00000001\", \"type\": \"CTstring\", \"value\": \"\\u0001\\u001f\\t\x7f\"},\n"
         "  {\"key\": \"0x00000002\", \"type\": \"CTchar\", \"value\": \"\\u0000\"}\n]\n"},
        {"an empty nested set and a KV-Set array of empty elements only",
         [](CTkvs h, CTkvs spare) {
             CTerror e = 0;
             KVS_OK(CTkvs_PutKVS(h, 1, spare, &e), e);
             const CTkvs none[] = {0, 0};
             KVS_OK(CTkvs_PutKVSArray(h, 2, none, 2, &e), e);
             KVS_OK(CTkvs_PutKVSArray(h, 3, none, 0, &e), e);
         },
         "[\n  {\"key\": \"0x00000001\", \"type\": \"CTkvs_ct\", \"value\": []},\n"
         "  {\"key\": \"0x00000002\", \"type\": \"CTkvs_ct[]\", \"value\": [\n    null,\n    null\n  ]},\n"
         "  {\"key\": \"0x00000003\", \"type\": \"CTkvs_ct[]\", \"value\": []}\n]\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CTkvs h = make_set();
        CTkvs spare = make_set();
        c.fill(h, spare);
        expect_round_trip(h, c.json);
        // JSON -> set -> JSON from the text itself.
        EXPECT_EQ(json_of(from(c.json)), c.json);
    }
}

TEST_F(Json, DeepNestingRoundTripsUpToTheLimit)
{
    std::string text = "[]";
    for (int i = 0; i < KVS_MAX_NESTING; ++i) text = "[{\"key\": 1, \"type\": \"CTkvs_ct\", \"value\": " + text + "}]";
    CTkvs h = from(text);
    ASSERT_NE(h, 0u);
    std::string canonical = json_of(h);
    EXPECT_EQ(json_of(from(canonical)), canonical);

    CTkvs none = 1;
    std::string error;
    EXPECT_FALSE(kvset::fromJson("[{\"key\": 1, \"type\": \"CTkvs_ct\", \"value\": " + text + "}]", &none, &error));
    EXPECT_NE(error.find("nested deeper than 64"), std::string::npos) << error;
    EXPECT_EQ(none, 0u);
}

// Other spellings that the reader accepts, and the canonical text it gives.
TEST_F(Json, AcceptsEveryKeyAndSymbolSpelling)
{
    CTkvs h = from(R"([
      {"key": "MakeCall_CallingNumber", "type": "CTstring", "value": "1"},
      {"key": "0x0000abcd", "type": "CTerror", "value": "CT_errorOK"},
      {"key": 16, "type": "CTsymbol[]", "value": [1, "0x2", "MakeCall_CPA"]},
      {"key": "0x11", "type": "CTbool[]", "value": [true, false]},
      {"key": "0x12", "type": "Byte[]", "value": "ABcd"},
      {"key": "0x13", "type": "CTchar", "value": 65},
      {"key": "0x14", "type": "CTstring", "value": {"codepoints": [104, 105]}}
    ])");
    EXPECT_EQ(json_of(h), R"([
  {"key": "MakeCall_CallingNumber", "type": "CTstring", "value": "1"},
  {"key": "0x0000ABCD", "type": "CTsymbol", "value": "CT_errorOK"},
  {"key": "0x00000010", "type": "CTsymbol[]", "value": ["0x00000001", "0x00000002", "MakeCall_CPA"]},
  {"key": "0x00000011", "type": "CTbool[]", "value": [1, 0]},
  {"key": "0x00000012", "type": "Byte[]", "value": "abcd"},
  {"key": "0x00000013", "type": "CTchar", "value": "A"},
  {"key": "0x00000014", "type": "CTstring", "value": "hi"}
]
)");
    CTerror e = 0;
    CTerror error_value = 0;
    KVS_OK(CTkvs_GetError(h, 0xABCD, &error_value, &e), e);
    EXPECT_EQ(error_value, CT_errorOK);
}

TEST_F(Json, RefusesBadTextNamingThePath)
{
    struct Case {
        const char *json;
        const char *message;
    };
    const Case cases[] = {
        {"", "$: JSON parse error at line 1, column 1"},
        {"[{\"key\": 1, \"type\": \"CTint\", \"value\": 1},]", "$: JSON parse error at line 1, column 42"},
        {"[{\"key\": 1, \"type\": \"CTint\", \"value\": 1e400}]", "$: JSON number overflow parsing '1e400'"},
        {"{}", "$: expected an array of pairs, found an object"},
        {"[1]", "$[0]: expected a pair object"},
        {"[{\"key\": 1, \"type\": \"CTint\"}]", "$[0]: missing member \"value\""},
        {"[{\"key\": 1, \"type\": \"CTint\", \"value\": 1, \"note\": 2}]", "$[0]: unexpected member \"note\""},
        {"[{\"key\": \"NoSuchName\", \"type\": \"CTint\", \"value\": 1}]", "$[0].key: unknown symbol name \"NoSuchName\""},
        {"[{\"key\": \"0x123456789\", \"type\": \"CTint\", \"value\": 1}]", "$[0].key: unknown symbol name"},
        {"[{\"key\": -1, \"type\": \"CTint\", \"value\": 1}]", "$[0].key: integer out of range"},
        {"[{\"key\": 1, \"type\": \"CTinteger\", \"value\": 1}]", "$[0].type: unknown type name \"CTinteger\""},
        {"[{\"key\": 1, \"type\": \"CTint\", \"value\": 1.0}]", "$[0].value: expected an integer from -2147483648 to 2147483647, found a floating-point number"},
        {"[{\"key\": 1, \"type\": \"CTint\", \"value\": 2147483648}]", "$[0].value: integer out of range"},
        {"[{\"key\": 1, \"type\": \"CTint\", \"value\": -2147483649}]", "$[0].value: integer out of range"},
        {"[{\"key\": 1, \"type\": \"CTuint\", \"value\": 4294967296}]", "$[0].value: integer out of range"},
        {"[{\"key\": 1, \"type\": \"CTuint\", \"value\": -1}]", "$[0].value: integer out of range"},
        {"[{\"key\": 1, \"type\": \"CTuint\", \"value\": \"5\"}]", "$[0].value: expected an integer from 0 to 4294967295, found a string"},
        {"[{\"key\": 1, \"type\": \"CTchar\", \"value\": \"ab\"}]", "$[0].value: expected exactly one character, found 2"},
        {"[{\"key\": 1, \"type\": \"CTchar\", \"value\": \"😀\"}]", "$[0].value: a character must be one UTF-16 code unit"},
        {"[{\"key\": 1, \"type\": \"CTchar\", \"value\": 65536}]", "$[0].value: a character is one UTF-16 code unit"},
        {"[{\"key\": 1, \"type\": \"CTirange\", \"value\": [1]}]", "$[0].value: expected a range [lower, upper]"},
        {"[{\"key\": 1, \"type\": \"CTirange[]\", \"value\": [[1, 2], [3, 4294967295]]}]", "$[0].value[1][1]: integer out of range"},
        {"[{\"key\": 1, \"type\": \"CTstring\", \"value\": 5}]", "$[0].value: expected a string, null or {\"codepoints\": [...]}"},
        {"[{\"key\": 1, \"type\": \"CTstring\", \"value\": \"a\\u0000b\"}]", "$[0].value: a string cannot hold the character U+0000"},
        {"[{\"key\": 1, \"type\": \"CTstring\", \"value\": \"\\ud800\"}]", "$: JSON parse error"},
        {"[{\"key\": 1, \"type\": \"CTstring\", \"value\": {\"codepoints\": [65, 0]}}]", "$[0].value.codepoints[1]: a string cannot hold the code point 0"},
        {"[{\"key\": 1, \"type\": \"CTstring\", \"value\": {\"codepoints\": [65], \"x\": 1}}]", "$[0].value: a string object holds exactly one member \"codepoints\""},
        {"[{\"key\": 1, \"type\": \"CTstring[]\", \"value\": [\"a\", 1]}]", "$[0].value[1]: expected a string"},
        {"[{\"key\": 1, \"type\": \"Byte[]\", \"value\": \"abc\"}]", "$[0].value: a byte string holds two hex digits per byte"},
        {"[{\"key\": 1, \"type\": \"Byte[]\", \"value\": \"zz\"}]", "$[0].value: not a hex digit: 'z'"},
        {"[{\"key\": 1, \"type\": \"CTint[]\", \"value\": 5}]", "$[0].value: expected an array, found an integer"},
        {"[{\"key\": 1, \"type\": \"CTmode[]\", \"value\": []}]", "$[0].value: a CTmode[] value holds at least one element"},
        {"[{\"key\": 1, \"type\": \"CTsymbol\", \"value\": \"CT_errorNope\"}]", "$[0].value: unknown symbol name \"CT_errorNope\""},
        {"[{\"key\": 1, \"type\": \"CTkvs_ct\", \"value\": null}]", "$[0].value: expected an array of pairs, found null"},
        {"[{\"key\": 1, \"type\": \"CTkvs_ct[]\", \"value\": [[], [{\"key\": 2, \"type\": \"CTbool\", \"value\": 1.5}]]}]",
         "$[0].value[1][0].value: expected an integer from 0 to 4294967295, found a floating-point number"},
        {"[{\"key\": 1, \"type\": \"CTint\", \"value\": 1}, {\"key\": \"0x00000001\", \"type\": \"CTint\", \"value\": 2}]",
         "$[1].key: the key 0x00000001 is already used by $[0]"},
    };
    for (const Case &c : cases) {
        CTkvs h = 77;
        std::string error;
        EXPECT_FALSE(kvset::fromJson(c.json, &h, &error)) << c.json;
        EXPECT_EQ(h, 0u);
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << "json: " << c.json << "\nerror: " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

// Refused text: the whole error line, after checking that nothing is registered.
std::string refusal(const std::string &json)
{
    CTkvs h = 77;
    std::string error;
    EXPECT_FALSE(kvset::fromJson(json, &h, &error)) << json.substr(0, 200);
    EXPECT_EQ(h, 0u);
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    return error;
}

// A member name given twice in one object is refused at any depth, whether
// the object is a pair, a string object or a value read whole, and also when
// a pair's value comes before its key and type.
TEST_F(Json, RefusesAMemberNameTwiceInOneObject)
{
    struct Case {
        const char *json;
        const char *message;
    };
    const Case cases[] = {
        {R"([{"key": 1, "key": 2, "type": "CTint", "value": 1}])", R"($[0]: duplicate member "key")"},
        {R"([{"key": 1, "type": "CTint", "value": 1, "type": "CTuint"}])", R"($[0]: duplicate member "type")"},
        {R"([{"key": 1, "type": "CTkvs_ct", "value": [{"key": 2, "type": "CTint", "value": 1, "value": 2}]}])",
         R"($[0].value[0]: duplicate member "value")"},
        {R"([{"key": 1, "type": "CTkvs_ct[]", "value": [[], [{"key": 2, "type": "CTkvs_ct", "value": [
            {"key": 3, "key": 3, "type": "CTint", "value": 1}]}]]}])",
         R"($[0].value[1][0].value[0]: duplicate member "key")"},
        {R"([{"value": [{"type": "CTint", "type": "CTint", "key": 2, "value": 1}], "key": 1, "type": "CTkvs_ct"}])",
         R"($[0].value[0]: duplicate member "type")"},
        {R"([{"key": 1, "type": "CTstring[]", "value": ["a", {"codepoints": [65], "codepoints": [66]}]}])",
         R"($[0].value[1]: duplicate member "codepoints")"},
        {R"([{"key": {"a": 1, "b": {"c": 1, "c": 2}}, "type": "CTint", "value": 1}])", R"($[0].key.b: duplicate member "c")"},
    };
    for (const Case &c : cases) EXPECT_EQ(refusal(c.json), c.message) << c.json;
}

// Input echoed in an error (names, the token a syntax error stopped at) is cut
// after 60 characters.
TEST_F(Json, CutsLongInputInErrors)
{
    const std::string name(100000, 'n');
    const std::string cut = std::string(60, 'n') + "...";
    struct Case {
        std::string json;
        std::string message;
    };
    const Case cases[] = {
        {R"([{"key": 1, "type": "CTint", "value": 1, ")" + name + R"(": 2}])",
         R"($[0]: unexpected member ")" + cut + R"(" (a pair holds key, type and value))"},
        {R"([{"key": ")" + name + R"(", "type": "CTint", "value": 1}])",
         R"($[0].key: unknown symbol name ")" + cut + R"(" (use 0x and 8 hex digits for other symbols))"},
        {R"([{"key": 1, "type": ")" + name + R"(", "value": 1}])", R"($[0].type: unknown type name ")" + cut + R"(")"},
        {R"([{"key": {")" + name + R"(": 1, ")" + name + R"(": 2}, "type": "CTint", "value": 1}])",
         R"($[0].key: duplicate member ")" + cut + R"(")"},
        {R"([{"key": {")" + name + R"(": {"a": 1, "a": 2}}, "type": "CTint", "value": 1}])",
         R"($[0].key.)" + cut + R"(: duplicate member "a")"},
        {R"([{"key": ")" + name, "$: JSON parse error at line 1, column 100011: syntax error while parsing value - "
                                 "invalid string: missing closing quote; last read: '\"" + std::string(59, 'n') + "...'"},
        {"[1" + std::string(100000, '0') + "e9]", "$: JSON number overflow parsing '1" + std::string(59, '0') + "...'"},
    };
    for (const Case &c : cases) EXPECT_EQ(refusal(c.json), c.message);
}

TEST_F(Json, ANestedSetThatIsNoLongerValidIsReportedNotWritten)
{
    CTkvs h = make_set();
    CTkvs inner = make_set();
    CTerror e = 0;
    KVS_OK(CTkvs_PutKVS(h, 1, inner, &e), e);
    CTkvs held = 0;
    KVS_OK(CTkvs_GetKVS(h, 1, &held, &e), e);
    KVS_OK(CTkvs_Destroy(held, &e), e);  // the caller's mistake: the pair now holds a dead handle
    std::string text = "untouched";
    std::string error;
    EXPECT_FALSE(kvset::toJson(h, &text, &error));
    EXPECT_EQ(text, "untouched");
    EXPECT_NE(error.find("0x00000001"), std::string::npos) << error;
}

}  // namespace
