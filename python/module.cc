// kvset._kvset: the C++17 interface (kvset/set.hpp) for Python. Values cross
// as (type code, payload) pairs; kvset/__init__.py turns them into the typed
// wrappers and back.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "kvset/set.hpp"

namespace py = pybind11;

namespace {

using kvset::Set;
using kvset::Value;

py::object payload_of(const Value &value);

// Strings cross as their characters, lone surrogates included (which a
// Python str can hold and the UTF-32 codec would refuse).
py::object text_of(const std::optional<std::wstring> &text)
{
    if (!text) return py::none();
    static_assert(sizeof(wchar_t) == 4, "wchar_t holds a whole character");
    PyObject *o = PyUnicode_FromKindAndData(PyUnicode_4BYTE_KIND, text->data(), static_cast<Py_ssize_t>(text->size()));
    if (o == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(o);
}

std::optional<std::wstring> text_from(const py::handle &p)
{
    if (p.is_none()) return std::nullopt;
    if (!PyUnicode_Check(p.ptr())) throw py::type_error("a CTstring is a str or None");
    Py_UCS4 *units = PyUnicode_AsUCS4Copy(p.ptr());
    if (units == nullptr) throw py::error_already_set();
    std::wstring out(units, units + PyUnicode_GetLength(p.ptr()));
    PyMem_Free(units);
    return out;
}

py::object set_list(const std::vector<std::optional<Set>> &sets)
{
    py::list out;
    for (const auto &s : sets) out.append(s ? py::cast(Set(*s)) : py::none());
    return out;
}

py::object payload_of(const Value &value)
{
    return std::visit(
        [](const auto &v) -> py::object {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::int32_t>) return py::int_(v);
            else if constexpr (std::is_same_v<T, kvset::Irange>) return py::make_tuple(v.lower, v.upper);
            else if constexpr (std::is_same_v<T, Set>) return py::cast(Set(v));
            else if constexpr (std::is_same_v<T, kvset::String>) return text_of(v.text);
            else if constexpr (std::is_same_v<T, kvset::ByteArray>)
                return py::bytes(reinterpret_cast<const char *>(v.elements.data()), v.elements.size());
            else if constexpr (std::is_same_v<T, kvset::IrangeArray>) {
                py::list out;
                for (const auto &r : v.elements) out.append(py::make_tuple(r.lower, r.upper));
                return out;
            } else if constexpr (std::is_same_v<T, kvset::SetArray>) return set_list(v.elements);
            else if constexpr (std::is_same_v<T, kvset::StringArray>) {
                py::list out;
                for (const auto &t : v.elements) out.append(text_of(t));
                return out;
            }
            else if constexpr (kvset::type_code<T>::value < KV_TYPE_IRANGE) return py::int_(v.value);
            else return py::cast(v.elements);
        },
        value.variant());
}

template <std::size_t I>
Value build_alternative(const py::handle &p)
{
    using T = std::variant_alternative_t<I, kvset::ValueVariant>;
    if constexpr (std::is_same_v<T, std::int32_t>) return Value(p.cast<std::int32_t>());
    else if constexpr (std::is_same_v<T, kvset::Irange>) {
        auto r = p.cast<std::pair<std::int32_t, std::int32_t>>();
        return Value(kvset::Irange{r.first, r.second});
    } else if constexpr (std::is_same_v<T, Set>) return Value(p.cast<const Set &>());
    else if constexpr (std::is_same_v<T, kvset::String>) {
        kvset::String s;
        s.text = text_from(p);
        return Value(std::move(s));
    } else if constexpr (std::is_same_v<T, kvset::ByteArray>) {
        std::string b = p.cast<py::bytes>();
        return Value(kvset::ByteArray{std::vector<std::uint8_t>(b.begin(), b.end())});
    } else if constexpr (std::is_same_v<T, kvset::IrangeArray>) {
        kvset::IrangeArray a;
        for (auto r : p.cast<std::vector<std::pair<std::int32_t, std::int32_t>>>())
            a.elements.push_back(kvset::Irange{r.first, r.second});
        return Value(std::move(a));
    } else if constexpr (std::is_same_v<T, kvset::StringArray>) {
        kvset::StringArray a;
        for (auto item : p) a.elements.push_back(text_from(item));
        return Value(std::move(a));
    } else if constexpr (std::is_same_v<T, kvset::SetArray>) {
        kvset::SetArray a;
        for (auto item : p) a.elements.push_back(item.is_none() ? std::optional<Set>() : std::optional<Set>(item.cast<const Set &>()));
        return Value(std::move(a));
    } else if constexpr (kvset::type_code<T>::value < KV_TYPE_IRANGE) {
        T t;
        t.value = p.cast<decltype(t.value)>();
        return Value(t);
    } else {
        return Value(T{p.cast<std::vector<typename T::element_type>>()});
    }
}

template <std::size_t... I>
Value build(std::uint32_t code, const py::handle &payload, std::index_sequence<I...>)
{
    using Builder = Value (*)(const py::handle &);
    static constexpr Builder builders[] = {&build_alternative<I>...};
    std::optional<std::size_t> index = kvset::detail::index_of_code(code);
    if (!index) throw py::value_error("unknown type code " + std::to_string(code));
    try {
        return builders[*index](payload);
    } catch (const py::cast_error &) {
        char name[32];
        MRQkvs_TypeName(code, name, sizeof name);
        throw py::value_error(std::string("the value does not fit a ") + name);
    }
}

std::vector<std::uint8_t> bytes_of(const py::bytes &b)
{
    std::string s = b;
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

}  // namespace

PYBIND11_MODULE(_kvset, m)
{
    static py::exception<kvset::Error> error(m, "Error");
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const kvset::Error &e) {
            py::object instance = py::reinterpret_borrow<py::object>(error.ptr())(e.what());
            instance.attr("status") = e.status();
            instance.attr("error") = e.error();
            instance.attr("key") = e.key() ? py::cast(*e.key()) : py::none();
            PyErr_SetObject(error.ptr(), instance.ptr());
        }
    });

    py::class_<Set>(m, "_Set")
        .def(py::init<>())
        .def("_put",
             [](Set &s, CTsymbol key, std::uint32_t code, py::handle payload) {
                 s.put(key, build(code, payload, std::make_index_sequence<kvset::value_type_count>{}));
             })
        .def("_get",
             [](const Set &s, CTsymbol key) -> py::object {
                 std::optional<Value> v = s.get(key);
                 if (!v) return py::none();
                 return py::make_tuple(v->code(), payload_of(*v));
             })
        .def("_keys",
             [](const Set &s) {
                 std::vector<CTsymbol> keys;
                 for (auto it = s.begin(); it != s.end(); ++it) keys.push_back(it.key());
                 return keys;
             })
        .def("__len__", &Set::size)
        .def("_contains", &Set::contains)
        .def("_erase", &Set::erase)
        .def("clear", &Set::clear)
        .def("_equals", [](const Set &a, const Set &b) { return a == b; })
        .def("_copy", [](const Set &s) { return Set(s); })
        .def("_encode",
             [](const Set &s, bool file) {
                 std::vector<std::uint8_t> b = s.encode(file ? kvset::Format::file : kvset::Format::memory);
                 return py::bytes(reinterpret_cast<const char *>(b.data()), b.size());
             })
        .def_static("_decode", [](const py::bytes &b) { return Set::decode(bytes_of(b)); })
        .def("to_json", &Set::to_json)
        .def_static("_from_json", &Set::from_json)
        .def("render", &Set::render)
        .def_property_readonly("handle", &Set::handle);

    m.def("_diff", [](const Set &a, const Set &b) {
        py::list out;
        for (const kvset::Difference &d : kvset::diff(a, b)) out.append(kvset::formatDifference(d));
        return out;
    });
    m.def("_validate", [](const py::bytes &b) -> py::object {
        std::vector<std::uint8_t> bytes = bytes_of(b);
        kvset::BlockInfo info{};
        kvset::BlockFault fault{};
        if (kvset::validateBlock(bytes.data(), bytes.size(), kvset::BlockFormat::Auto, &info, &fault)) return py::none();
        return py::make_tuple(fault.offset, fault.path, kvset::formatFault(fault));
    });
    m.def("symbol_name", [](CTsymbol symbol) { return kvset::Error::error_name(symbol); });
    m.def("num_sets", [] { return MRQkvs_GetNumKVS(); }, "Registered KV-Sets (MRQkvs_GetNumKVS)");
}
