// Site names: the file formats, every refusal with its line numbers, and the
// names in use where inspection prints and reads symbols.
#include "inspect_support.h"

namespace {

class Names : public kvs::test::KvsTest {
protected:
    void TearDown() override
    {
        kvset::clearNames();
        kvs::test::KvsTest::TearDown();
    }
};

TEST_F(Names, BadTextIsRefusedWithItsLineAndAddsNothing)
{
    struct Row {
        const char *text;
        const char *error;
    };
    const Row rows[] = {
        {"A = 0x1\nB 0x2\n", "n.txt line 2: expected NAME = 0xVALUE"},
        {"# c\n\n9A = 0x1\n", "n.txt line 3: '9A' is not a name (letters, digits and _, not a digit first)"},
        {"A = 12\n", "n.txt line 1: '12' is not a value (0x and 1 to 8 hex digits)"},
        {"A = 0x123456789\n", "n.txt line 1: '0x123456789' is not a value (0x and 1 to 8 hex digits)"},
        {"A = 0x1\nB = 0x2 # two\nA = 0x3\n",
         "n.txt lines 1 and 3: the name A is given two values, 0x00000001 and 0x00000003"},
        {"{\n  \"A\": \"0x1\",\n  \"A\": \"0x2\"\n}", "n.txt lines 2 and 3: the name A is given two values, 0x00000001 and 0x00000002"},
        {"{\"A\": 1}", "n.txt line 1: the value of 'A' is not a string of 0x and 1 to 8 hex digits"},
        {"[1]", "n.txt line 1: expected NAME = 0xVALUE"},  // only an object is read as JSON
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.text);
        std::string error;
        EXPECT_FALSE(kvset::loadNames(row.text, "n.txt", &error));
        EXPECT_EQ(error, row.error);
    }
    // Nothing of the refused texts was added: the first line of the first
    // was good.
    CTkvs h = 0;
    std::string error;
    EXPECT_FALSE(kvset::fromJson(R"([{"key": "A", "type": "CTint", "value": 1}])", &h, &error));
}

TEST_F(Names, NamesComeBeforeTheBuiltInOnesInBothDirections)
{
    std::string error;
    ASSERT_TRUE(kvset::loadNames("Timeout = 0x00010003\nSame = 0x00010003\n", "a", &error)) << error;
    ASSERT_TRUE(kvset::loadNames("{\"Line\": \"0x0546106D\", \"Timeout\": \"0x10003\"}", "b", &error)) << error;
    CTkvs h = 0;
    ASSERT_TRUE(kvset::fromJson(R"([{"key": "Timeout", "type": "CTint", "value": 1},
                                   {"key": "Line", "type": "CTsymbol", "value": "Same"}])",
                                &h, &error))
        << error;
    own(h);
    std::string json;
    ASSERT_TRUE(kvset::toJson(h, &json, &error));
    // The first name given a value is the one printed.
    EXPECT_EQ(json, "[\n  {\"key\": \"Timeout\", \"type\": \"CTint\", \"value\": 1},\n"
                    "  {\"key\": \"Line\", \"type\": \"CTsymbol\", \"value\": \"Timeout\"}\n]\n");
    kvset::clearNames();
    ASSERT_TRUE(kvset::toJson(h, &json, &error));
    EXPECT_EQ(json.find("Timeout"), std::string::npos);
}

}  // namespace
