// set.hpp compiles on its own as C++17 under -Wall -Wextra -pedantic -Werror,
// and its templates instantiate for every value type.
#include "kvset/set.hpp"

namespace {
template <std::size_t... I>
void instantiate(kvset::Set &set, std::index_sequence<I...>)
{
    (void)set;
    ((void)sizeof(decltype(set.get<std::variant_alternative_t<I, kvset::ValueVariant>>(0))), ...);
}
}  // namespace

void kvset_strict_header_check(kvset::Set &set)
{
    instantiate(set, std::make_index_sequence<kvset::value_type_count>{});
    for (const auto &[key, value] : set) set.put(key + 1, value);
}
