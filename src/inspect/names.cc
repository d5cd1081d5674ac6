// Site names: parsed from a names file's text (docs/names.md) and held for
// the process, behind a mutex (inspection runs on any thread).
#include "inspect/names.h"

#include <cctype>
#include <cstdio>
#include <vector>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>

#include "inspect/inspect_internal.h"
#include "kvset/inspect.h"

namespace kvs {
namespace inspect {
namespace {

struct Table {
    std::map<std::string, std::uint32_t> symbols;
    std::map<std::uint32_t, std::string> names;  // the first name given a value
};

std::mutex table_mutex;
Table table;

struct Entry {
    std::string name;
    std::uint32_t value;
    long line;
};

bool valid_name(const std::string &name)
{
    if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_')) return false;
    for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) return false;
    return name.rfind("0x", 0) != 0 && name.rfind("0X", 0) != 0;
}

// "0x" and 1 to 8 hex digits.
bool parse_value(const std::string &text, std::uint32_t *value)
{
    if (text.size() < 3 || text.size() > 10 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return false;
    std::uint32_t v = 0;
    for (std::size_t i = 2; i < text.size(); ++i) {
        const char c = text[i];
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        v = v * 16 + static_cast<std::uint32_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                                                          : std::tolower(c) - 'a' + 10);
    }
    *value = v;
    return true;
}

std::string trimmed(const std::string &s)
{
    const std::size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return "";
    return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

long line_of(const std::string &text, std::size_t at)
{
    long line = 1;
    for (std::size_t i = 0; i < at && i < text.size(); ++i) line += text[i] == '\n';
    return line;
}

bool text_entries(const std::string &text, const std::string &source, std::vector<Entry> *out, std::string *error)
{
    std::size_t start = 0;
    for (long number = 1; start < text.size(); ++number) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        const std::size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        line = trimmed(line);
        if (line.empty()) continue;
        const std::string where = source + " line " + std::to_string(number) + ": ";
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos) {
            *error = where + "expected NAME = 0xVALUE";
            return false;
        }
        const std::string name = trimmed(line.substr(0, eq));
        const std::string value = trimmed(line.substr(eq + 1));
        Entry e{name, 0, number};
        if (!valid_name(name)) {
            *error = where + "'" + name.substr(0, 60) + "' is not a name (letters, digits and _, not a digit first)";
            return false;
        }
        if (!parse_value(value, &e.value)) {
            *error = where + "'" + value.substr(0, 60) + "' is not a value (0x and 1 to 8 hex digits)";
            return false;
        }
        out->push_back(e);
    }
    return true;
}

// A JSON object of names; each member's line is where its name is quoted
// before a colon (duplicate members included, which a parsed object loses).
bool json_entries(const std::string &text, const std::string &source, std::vector<Entry> *out, std::string *error)
{
    nlohmann::json parsed;
    std::vector<std::pair<std::string, nlohmann::json>> members;  // in text order, duplicates kept
    try {
        std::string key;
        parsed = nlohmann::json::parse(text, [&](int d, nlohmann::json::parse_event_t event, nlohmann::json &j) {
            if (event == nlohmann::json::parse_event_t::key && d == 1) key = j.get<std::string>();
            if (event == nlohmann::json::parse_event_t::value && d == 1) members.emplace_back(key, j);
            return true;
        });
    } catch (const nlohmann::json::exception &e) {
        *error = source + ": " + e.what();
        return false;
    }
    if (!parsed.is_object()) {
        *error = source + ": expected a JSON object of \"NAME\": \"0xVALUE\" members";
        return false;
    }
    std::map<std::string, std::size_t> seen;
    for (const auto &m : members) {
        const std::string quoted = "\"" + m.first + "\"";
        std::size_t at = 0;
        for (std::size_t n = seen[m.first]++; ; --n) {
            at = text.find(quoted, at == 0 ? 0 : at + 1);
            if (n == 0 || at == std::string::npos) break;
        }
        Entry e{m.first, 0, line_of(text, at)};
        const std::string where = source + " line " + std::to_string(e.line) + ": ";
        if (!valid_name(m.first)) {
            *error = where + "'" + m.first.substr(0, 60) + "' is not a name (letters, digits and _, not a digit first)";
            return false;
        }
        if (!m.second.is_string() || !parse_value(m.second.get<std::string>(), &e.value)) {
            *error = where + "the value of '" + m.first + "' is not a string of 0x and 1 to 8 hex digits";
            return false;
        }
        out->push_back(e);
    }
    return true;
}

}  // namespace

bool site_name(std::uint32_t symbol, std::string *name)
{
    std::lock_guard<std::mutex> lock(table_mutex);
    const auto it = table.names.find(symbol);
    if (it == table.names.end()) return false;
    *name = it->second;
    return true;
}

bool site_symbol(const std::string &name, std::uint32_t *symbol)
{
    std::lock_guard<std::mutex> lock(table_mutex);
    const auto it = table.symbols.find(name);
    if (it == table.symbols.end()) return false;
    *symbol = it->second;
    return true;
}

}  // namespace inspect
}  // namespace kvs

namespace kvset {

bool loadNames(const std::string &text, const std::string &source, std::string *error)
{
    return kvs::inspect::guarded(error, [&](std::string *why) {
        std::vector<kvs::inspect::Entry> entries;
        const std::size_t first = text.find_first_not_of(" \t\r\n");
        const bool ok = first != std::string::npos && text[first] == '{'
                            ? kvs::inspect::json_entries(text, source, &entries, why)
                            : kvs::inspect::text_entries(text, source, &entries, why);
        if (!ok) return false;
        kvs::inspect::Table loaded;
        std::map<std::string, long> lines;
        for (const kvs::inspect::Entry &e : entries) {
            const auto known = loaded.symbols.find(e.name);
            if (known != loaded.symbols.end() && known->second != e.value) {
                char values[48];
                std::snprintf(values, sizeof values, "0x%08X and 0x%08X", known->second, e.value);
                *why = source + " lines " + std::to_string(lines[e.name]) + " and " + std::to_string(e.line) +
                       ": the name " + e.name + " is given two values, " + values;
                return false;
            }
            loaded.symbols[e.name] = e.value;
            lines.emplace(e.name, e.line);
            loaded.names.emplace(e.value, e.name);
        }
        std::lock_guard<std::mutex> lock(kvs::inspect::table_mutex);
        for (const auto &s : loaded.symbols) kvs::inspect::table.symbols[s.first] = s.second;
        for (const auto &n : loaded.names) kvs::inspect::table.names.emplace(n.first, n.second);
        return true;
    });
}

void clearNames()
{
    std::lock_guard<std::mutex> lock(kvs::inspect::table_mutex);
    kvs::inspect::table = kvs::inspect::Table();
}

}  // namespace kvset
