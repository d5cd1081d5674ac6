// Inspection is a view: reading a set for JSON, the tree or the diff leaves
// the set's one iteration cursor (and those of its nested sets) in place, so
// a caller's walk that inspects midway still sees every pair.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "inspect_support.h"
#include "kvset/inspect_c.h"

namespace {

// One walk over a set through CTkvs_GetNext.
class Walk {
public:
    explicit Walk(CTkvs kvs) : kvs_(kvs) {}

    // The key of the next pair, or 0 at the end.
    CTsymbol step()
    {
        CTsymbol key = 0;
        std::uint32_t type = 0;
        std::int32_t count = 0;
        CTerror e = CT_errorOK;
        if (CTkvs_GetNext(kvs_, &cursor_, &key, &type, &count, &e) == CT_statusOK) return key;
        EXPECT_EQ(e, CT_errorEndOfList);
        return 0;
    }

    std::vector<CTsymbol> rest()
    {
        std::vector<CTsymbol> keys;
        for (CTsymbol k = step(); k != 0; k = step()) keys.push_back(k);
        return keys;
    }

private:
    CTkvs kvs_;
    CTsymbol cursor_ = CT_keyFirst;
};

// An inspection of `set`; `other` is the second set of a diff.
using Inspection = std::function<bool(CTkvs set, CTkvs other)>;

bool c_text(CTstatus (*render)(CTkvs, char **, char **), CTkvs set)
{
    char *text = nullptr;
    char *error = nullptr;
    const bool made = render(set, &text, &error) == CT_statusOK;
    MRQkvs_FreeText(text);
    MRQkvs_FreeText(error);
    return made;
}

const std::vector<std::pair<const char *, Inspection>> kInspections = {
    {"toJson",
     [](CTkvs set, CTkvs) {
         std::string json, error;
         return kvset::toJson(set, &json, &error);
     }},
    {"renderTree",
     [](CTkvs set, CTkvs) {
         std::string text, error;
         return kvset::renderTree(set, &text, &error);
     }},
    {"renderTree with offsets",
     [](CTkvs set, CTkvs) {
         kvset::BlockInfo block{};
         block.recordOffsets = {0, 12, 24};
         std::string text, error;
         return kvset::renderTree(set, block, &text, &error);
     }},
    {"diff",
     [](CTkvs set, CTkvs other) {
         std::vector<kvset::Difference> differences;
         std::string error;
         return kvset::diff(set, other, &differences, &error) && kvset::diff(other, set, &differences, &error);
     }},
    {"MRQkvs_ToJson", [](CTkvs set, CTkvs) { return c_text(&MRQkvs_ToJson, set); }},
    {"MRQkvs_RenderTree", [](CTkvs set, CTkvs) { return c_text(&MRQkvs_RenderTree, set); }},
};

class InspectView : public kvs::test::KvsTest {};

TEST_F(InspectView, InspectingMidWalkLeavesEveryCursorInPlace)
{
    for (const auto &[name, inspect] : kInspections) {
        SCOPED_TRACE(name);
        CTkvs outer = 0;
        std::string error;
        ASSERT_TRUE(kvset::fromJson(R"([
          {"key": 1, "type": "CTint", "value": -1},
          {"key": 2, "type": "CTstring", "value": "two"},
          {"key": 3, "type": "CTkvs_ct", "value": [
            {"key": 31, "type": "CTuint", "value": 31},
            {"key": 32, "type": "CTbool", "value": true},
            {"key": 33, "type": "CTsymbol", "value": 33}
          ]},
          {"key": 4, "type": "CTkvs_ct[]", "value": [[
            {"key": 41, "type": "CTint[]", "value": [41]},
            {"key": 42, "type": "CTirange", "value": [4, 2]}
          ], null]},
          {"key": 5, "type": "CTchar", "value": "5"}
        ])",
                                    &outer, &error))
            << error;
        own(outer);
        CTerror e = CT_errorOK;
        CTkvs nested = 0;
        CTkvs *elements = nullptr;
        std::int32_t count = 0;
        KVS_OK(CTkvs_GetKVS(outer, 3, &nested, &e), e);
        CTkvs_GetKVSArray(outer, 4, &elements, &count, &e);  // refuses the empty element, but lends the block
        ASSERT_EQ(count, 2);
        const CTkvs element = elements[0];

        Walk outerWalk(outer), nestedWalk(nested), elementWalk(element);
        EXPECT_EQ(outerWalk.step(), 1u);
        EXPECT_EQ(outerWalk.step(), 2u);
        EXPECT_EQ(nestedWalk.step(), 31u);
        EXPECT_EQ(elementWalk.step(), 41u);

        EXPECT_TRUE(inspect(outer, nested));
        EXPECT_TRUE(inspect(nested, element));
        EXPECT_TRUE(inspect(element, outer));

        EXPECT_EQ(elementWalk.rest(), (std::vector<CTsymbol>{42}));
        EXPECT_EQ(nestedWalk.rest(), (std::vector<CTsymbol>{32, 33}));
        EXPECT_EQ(outerWalk.rest(), (std::vector<CTsymbol>{3, 4, 5}));
        destroy(outer);
    }
}

}  // namespace
