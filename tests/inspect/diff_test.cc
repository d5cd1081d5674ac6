// The structural diff and the tree rendering.
#include "inspect_support.h"

namespace {

class Inspect : public kvs::test::KvsTest {
protected:
    CTkvs from(const std::string &text)
    {
        CTkvs h = 0;
        std::string error;
        EXPECT_TRUE(kvset::fromJson(text, &h, &error)) << error;
        return own(h);
    }

    std::vector<std::string> diff_lines(CTkvs a, CTkvs b)
    {
        std::vector<kvset::Difference> differences;
        std::string error;
        EXPECT_TRUE(kvset::diff(a, b, &differences, &error)) << error;
        std::vector<std::string> lines;
        for (const auto &d : differences) lines.push_back(kvset::formatDifference(d));
        return lines;
    }
};

TEST_F(Inspect, DiffListsEveryKindOfDifferenceByKeyPath)
{
    CTkvs a = from(R"([
      {"key": 1, "type": "CTint", "value": 1},
      {"key": 2, "type": "CTstring", "value": "same"},
      {"key": 3, "type": "CTint", "value": 3},
      {"key": 4, "type": "CTkvs_ct", "value": [
        {"key": 41, "type": "CTuint", "value": 41},
        {"key": 42, "type": "CTstring", "value": "old"}
      ]},
      {"key": 5, "type": "CTint[]", "value": [1, 2, 3]},
      {"key": 6, "type": "CTkvs_ct[]", "value": [[{"key": 61, "type": "CTint", "value": 1}], null, []]},
      {"key": "MakeCall_LineDevice", "type": "CTstring", "value": "dxxxB1C1"},
      {"key": 8, "type": "CTchar", "value": "a"}
    ])");
    CTkvs b = from(R"([
      {"key": 3, "type": "CTint", "value": 3},
      {"key": 1, "type": "CTint", "value": 1},
      {"key": 2, "type": "CTstring", "value": "same"},
      {"key": 4, "type": "CTkvs_ct", "value": [
        {"key": 41, "type": "CTuint", "value": 41},
        {"key": 42, "type": "CTstring", "value": "new"},
        {"key": 43, "type": "CTbool", "value": 1}
      ]},
      {"key": 5, "type": "CTint[]", "value": [1, 9]},
      {"key": 6, "type": "CTkvs_ct[]", "value": [[{"key": 61, "type": "CTint", "value": 2}], [], null, null]},
      {"key": 8, "type": "CTstring", "value": "a"},
      {"key": 9, "type": "Byte[]", "value": "ff"}
    ])");
    EXPECT_EQ(diff_lines(a, b), (std::vector<std::string>{
                                    "0x00000003: position differs: position 2 vs position 0",
                                    "0x00000004/0x0000002A: value differs: \"old\" vs \"new\"",
                                    "0x00000004/0x0000002B: only in second: CTbool 1",
                                    "0x00000005[1]: value differs: 2 vs 9",
                                    "0x00000005[2]: only in first: 3",
                                    "0x00000006[0]/0x0000003D: value differs: 1 vs 2",
                                    "0x00000006[1]: value differs: empty vs 0 pairs",
                                    "0x00000006[2]: value differs: 0 pairs vs empty",
                                    "0x00000006[3]: only in second: empty",
                                    "MakeCall_LineDevice: only in first: CTstring \"dxxxB1C1\"",
                                    "0x00000008: type differs: CTchar 'a' vs CTstring \"a\"",
                                    "0x00000009: only in second: Byte[] ff (1 byte)",
                                }));
    // The same sets the other way round: every side swaps.
    EXPECT_EQ(diff_lines(b, a).size(), 12u);
    EXPECT_TRUE(diff_lines(a, a).empty());
}

TEST_F(Inspect, DiffReportsOnlyThePairsThatMoved)
{
    // One pair moved to the end: the others keep their relative order.
    CTkvs a = from(R"([{"key": 1, "type": "CTint", "value": 1}, {"key": 2, "type": "CTint", "value": 2},
                      {"key": 3, "type": "CTint", "value": 3}, {"key": 4, "type": "CTint", "value": 4}])");
    CTkvs b = from(R"([{"key": 5, "type": "CTint", "value": 5}, {"key": 2, "type": "CTint", "value": 2},
                      {"key": 3, "type": "CTint", "value": 3}, {"key": 4, "type": "CTint", "value": 4},
                      {"key": 1, "type": "CTint", "value": 7}])");
    EXPECT_EQ(diff_lines(a, b), (std::vector<std::string>{
                                    "0x00000001: position differs: position 0 vs position 4",
                                    "0x00000001: value differs: 1 vs 7",
                                    "0x00000005: only in second: CTint 5",
                                }));
}

TEST_F(Inspect, DiffTellsStringsThatDifferOnlyBeyondUnicodeApart)
{
    CTkvs a = make_set();
    CTkvs b = make_set();
    CTerror e = 0;
    const wchar_t one[] = {static_cast<wchar_t>(0xD800), 0};
    const wchar_t other[] = {static_cast<wchar_t>(0xD801), 0};
    KVS_OK(CTkvs_PutString(a, 1, one, &e), e);
    KVS_OK(CTkvs_PutString(b, 1, other, &e), e);
    EXPECT_EQ(diff_lines(a, b), (std::vector<std::string>{"0x00000001: value differs: \"\\uD800\" vs \"\\uD801\""}));
}

TEST_F(Inspect, DiffOfAnInvalidHandleIsAnError)
{
    CTkvs a = make_set();
    std::vector<kvset::Difference> differences;
    std::string error;
    EXPECT_FALSE(kvset::diff(a, 0, &differences, &error));
    EXPECT_EQ(error, "handle 0 is not a valid KV-Set");
}

TEST_F(Inspect, TreeShowsNestedSetsIndented)
{
    CTkvs h = from(R"([
      {"key": "MakeCall_LineDevice", "type": "CTstring", "value": "dxxxB1C1"},
      {"key": "MakeCall_RTC", "type": "CTkvs_ct", "value": [
        {"key": 1, "type": "CTint", "value": -5},
        {"key": 2, "type": "CTkvs_ct[]", "value": [[{"key": 3, "type": "CTchar", "value": 55296}], null]}
      ]},
      {"key": 4, "type": "CTsymbol[]", "value": ["CT_errorOK", 7]},
      {"key": 5, "type": "CTstring[]", "value": ["tab\t", null, {"codepoints": [1114112]}]},
      {"key": 6, "type": "Byte[]", "value": "00ff"},
      {"key": 7, "type": "CTirange[]", "value": [[1, 2]]},
      {"key": 8, "type": "CTchar", "value": "é"},
      {"key": 9, "type": "CTstring", "value": null}
    ])");
    std::string text;
    std::string error;
    ASSERT_TRUE(kvset::renderTree(h, &text, &error)) << error;
    EXPECT_EQ(text,
              "MakeCall_LineDevice (CTstring): \"dxxxB1C1\"\n"
              "MakeCall_RTC (CTkvs_ct): 2 pairs\n"
              "  0x00000001 (CTint): -5\n"
              "  0x00000002 (CTkvs_ct[]): 2 elements\n"
              "    [0]: 1 pair\n"
              "      0x00000003 (CTchar): U+D800\n"
              "    [1]: empty\n"
              "0x00000004 (CTsymbol[]): [CT_errorOK, 0x00000007]\n"
              "0x00000005 (CTstring[]): [\"tab\\t\", null, \"\\U00110000\"]\n"
              "0x00000006 (Byte[]): 00ff (2 bytes)\n"
              "0x00000007 (CTirange[]): [[1, 2]]\n"
              "0x00000008 (CTchar): 'é' U+00E9\n"
              "0x00000009 (CTstring): null\n");
}

}  // namespace
