// The structural diff of two KV-Set copies.
#include <algorithm>
#include <map>

#include "inspect/inspect_internal.h"
#include "inspect/render.h"
#include "inspect/text.h"

namespace kvs {
namespace inspect {
namespace {

using kvset::Difference;
using kvset::DiffKind;

std::string join(const std::string &prefix, std::uint32_t key)
{
    return prefix.empty() ? symbol_text(key) : prefix + "/" + symbol_text(key);
}

std::string element_path(const std::string &path, std::size_t i) { return path + "[" + std::to_string(i) + "]"; }

std::string typed(const Pair &p) { return type_name(p.type) + " " + value_text(p); }

// Indices (into `sequence`) of one longest strictly increasing subsequence.
std::vector<bool> longest_increasing(const std::vector<std::size_t> &sequence)
{
    std::vector<std::size_t> tails;            // index of the last element of the best run of each length
    std::vector<std::size_t> before(sequence.size(), SIZE_MAX);
    for (std::size_t i = 0; i < sequence.size(); ++i) {
        auto at = std::lower_bound(tails.begin(), tails.end(), sequence[i],
                                   [&](std::size_t t, std::size_t v) { return sequence[t] < v; });
        if (at != tails.begin()) before[i] = *(at - 1);
        if (at == tails.end())
            tails.push_back(i);
        else
            *at = i;
    }
    std::vector<bool> in(sequence.size(), false);
    for (std::size_t i = tails.empty() ? SIZE_MAX : tails.back(); i != SIZE_MAX; i = before[i]) in[i] = true;
    return in;
}

class Differ {
public:
    explicit Differ(std::vector<Difference> *out) : out_(out) {}

    void sets(const Set &a, const Set &b, const std::string &prefix)
    {
        std::map<std::uint32_t, std::size_t> inB;
        for (std::size_t j = 0; j < b.size(); ++j) inB.emplace(b[j].key, j);
        std::map<std::uint32_t, std::size_t> inA;
        std::vector<std::size_t> shared;  // positions in b of the keys both hold, in a's order
        for (std::size_t i = 0; i < a.size(); ++i) {
            inA.emplace(a[i].key, i);
            auto it = inB.find(a[i].key);
            if (it != inB.end()) shared.push_back(it->second);
        }
        const std::vector<bool> inOrder = longest_increasing(shared);

        std::size_t s = 0;
        for (std::size_t i = 0; i < a.size(); ++i) {
            const Pair &pa = a[i];
            const std::string path = join(prefix, pa.key);
            auto it = inB.find(pa.key);
            if (it == inB.end()) {
                add(DiffKind::OnlyInFirst, path, typed(pa), "");
                continue;
            }
            const Pair &pb = b[it->second];
            if (!inOrder[s++])
                add(DiffKind::PositionDiffers, path, "position " + std::to_string(i),
                    "position " + std::to_string(it->second));
            pairs(pa, pb, path);
        }
        for (const Pair &pb : b)
            if (inA.find(pb.key) == inA.end()) add(DiffKind::OnlyInSecond, join(prefix, pb.key), "", typed(pb));
    }

private:
    void add(DiffKind kind, const std::string &path, const std::string &first, const std::string &second)
    {
        out_->push_back(Difference{kind, path, first, second});
    }

    void pairs(const Pair &a, const Pair &b, const std::string &path)
    {
        if (a.type != b.type) {
            add(DiffKind::TypeDiffers, path, typed(a), typed(b));
            return;
        }
        switch (a.info().shape) {
        case Shape::Nested: sets(*a.sets[0], *b.sets[0], path); return;
        case Shape::NestedArray:
        case Shape::Array:
        case Shape::RangeArray:
        case Shape::StringArray: elements(a, b, path); return;
        default:
            if (a.words != b.words || a.bytes != b.bytes || a.strings != b.strings)
                add(DiffKind::ValueDiffers, path, value_text(a), value_text(b));
            return;
        }
    }

    static bool same_element(const Pair &a, const Pair &b, std::size_t i)
    {
        switch (a.info().shape) {
        case Shape::RangeArray: return a.words[2 * i] == b.words[2 * i] && a.words[2 * i + 1] == b.words[2 * i + 1];
        case Shape::StringArray: return a.strings[i] == b.strings[i];
        default: return a.words[i] == b.words[i];
        }
    }

    void elements(const Pair &a, const Pair &b, const std::string &path)
    {
        const std::size_t na = a.elements();
        const std::size_t nb = b.elements();
        const bool nested = a.info().shape == Shape::NestedArray;
        for (std::size_t i = 0; i < std::min(na, nb); ++i) {
            const std::string at = element_path(path, i);
            if (nested) {
                if (a.sets[i] && b.sets[i])
                    sets(*a.sets[i], *b.sets[i], at);
                else if (a.sets[i].has_value() != b.sets[i].has_value())
                    add(DiffKind::ValueDiffers, at, element_text(a, i), element_text(b, i));
            } else if (!same_element(a, b, i)) {
                add(DiffKind::ValueDiffers, at, element_text(a, i), element_text(b, i));
            }
        }
        for (std::size_t i = nb; i < na; ++i) add(DiffKind::OnlyInFirst, element_path(path, i), element_text(a, i), "");
        for (std::size_t i = na; i < nb; ++i) add(DiffKind::OnlyInSecond, element_path(path, i), "", element_text(b, i));
    }

    std::vector<Difference> *out_;
};

}  // namespace

void diff_sets(const Set &a, const Set &b, std::vector<kvset::Difference> *out)
{
    Differ(out).sets(a, b, "");
}

}  // namespace inspect
}  // namespace kvs
