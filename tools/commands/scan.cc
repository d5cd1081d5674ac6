// kvset scan: finds blocks in arbitrary bytes through kvset::scanBlocks and
// prints, extracts or decodes each.
#include <cstdio>
#include <filesystem>
#include <iostream>

#include "commands/commands.h"
#include "failure.h"
#include "hex_text.h"
#include "input.h"
#include "kvset/inspect.h"
#include "kvset/kvset.h"

namespace kvset_tool {
namespace {

std::string offset_text(std::size_t offset)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%zu (0x%zX)", offset, offset);
    return buf;
}

std::string json_string(const std::string &s)
{
    std::string out = "\"";
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", u);
            out += buf;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// The candidate's bytes that the input holds.
std::string candidate_bytes(const std::string &input, const kvset::ScanCandidate &c)
{
    return input.substr(c.offset, std::min(c.length, input.size() - c.offset));
}

// The set a candidate holds, read leniently, as one line of JSON ("null"
// when nothing could be read).
std::string set_json(const std::string &bytes, const kvset::ScanCandidate &c)
{
    kvset::DecodeResult result;
    kvset::decodeBlock(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(), c.format, &result);
    if (result.kvs == 0) return "null";
    std::string text;
    std::string error;
    const bool written = kvset::toJson(result.kvs, &text, &error);
    CTerror ignored = 0;
    CTkvs_Destroy(result.kvs, &ignored);
    if (!written) return "null";
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') {
            line += text[i];
            continue;
        }
        while (i + 1 < text.size() && text[i + 1] == ' ') ++i;
    }
    return line;
}

std::string extracted_name(const std::string &dir, const std::string &path, const kvset::ScanCandidate &c)
{
    const std::string base = path == "-" ? "stdin" : std::filesystem::path(path).filename().string();
    return dir + "/" + base + "-" + std::to_string(c.offset) + (c.format == kvset::BlockFormat::File ? ".kvsf" : ".kvs");
}

}  // namespace

int scan(const std::vector<std::string> &paths, const ScanOptions &options)
{
    if (!options.extractDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options.extractDir, ec);
        if (ec) fail("cannot create the directory " + quote(options.extractDir) + ": " + ec.message());
    }
    bool any = false;
    for (const std::string &path : paths) {
        const std::string raw = read_input(path);
        const std::string input = options.hex ? bytes_from_hex(raw, path) : raw;
        std::vector<kvset::ScanCandidate> found;
        std::string error;
        if (!kvset::scanBlocks(reinterpret_cast<const unsigned char *>(input.data()), input.size(), &found, &error))
            fail(error);
        if (found.empty() && !options.json) std::cout << path << ": no KV-Set blocks\n";
        for (const kvset::ScanCandidate &c : found) {
            any = true;
            const std::string bytes = candidate_bytes(input, c);
            std::string file;
            if (!options.extractDir.empty()) {
                file = extracted_name(options.extractDir, path, c);
                if (!kvset::writeFile(file, reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size(),
                                      &error))
                    fail(error);
            }
            const std::string variant = kvset::blockFormatName(c.format, c.framed);
            const std::string pairs = c.pairs < 0 ? "pair count cut off" : std::to_string(c.pairs) + (c.pairs == 1 ? " pair" : " pairs");
            if (options.json) {
                std::cout << "{\"file\": " << json_string(path) << ", \"offset\": " << c.offset
                          << ", \"variant\": " << json_string(variant) << ", \"length\": " << c.length
                          << ", \"pairs\": " << c.pairs << ", \"verdict\": \""
                          << kvset::scanVerdictName(c.verdict) << "\"";
                if (c.verdict != kvset::ScanVerdict::Valid)
                    std::cout << ", \"fault\": " << json_string(kvset::formatFault(c.fault));
                if (!file.empty()) std::cout << ", \"extracted\": " << json_string(file);
                std::cout << ", \"set\": " << set_json(bytes, c) << "}\n";
                continue;
            }
            std::cout << path << ": offset " << offset_text(c.offset) << ": " << variant << ", " << c.length
                      << " bytes, " << pairs << ": " << kvset::scanVerdictName(c.verdict);
            if (c.verdict != kvset::ScanVerdict::Valid) std::cout << " (" << kvset::formatFault(c.fault) << ")";
            if (!file.empty()) std::cout << " -> " << file;
            std::cout << "\n";
        }
    }
    return any ? 0 : 1;
}

}  // namespace kvset_tool
