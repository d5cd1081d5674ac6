// kvset - look inside KV-Set blocks. The library does the work (inspect.h);
// this program parses arguments, reads and writes files, and picks the exit
// code: 0 success, 1 a failed check, a difference or any other failure
// (output that cannot be written included), 2 a usage error. Every error is
// one line on standard error.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "failure.h"
#include "input.h"
#include "kvset/kvset.h"

namespace {

using kvset_tool::fail;
using kvset_tool::Failure;
using kvset_tool::quote;
using kvset_tool::read_input;

constexpr int kSuccess = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const unsigned char *bytes_of(const std::string &input) { return reinterpret_cast<const unsigned char *>(input.data()); }

void write_output(const std::string &path, const void *data, std::size_t size)
{
    if (path == "-") {
        std::cout.write(static_cast<const char *>(data), static_cast<std::streamsize>(size));
        std::cout.flush();
        if (!std::cout) fail("cannot write standard output");
        return;
    }
    // Replaced whole: a failed write leaves the previous file as it was.
    std::string error;
    if (!kvset::writeFile(path, static_cast<const unsigned char *>(data), size, &error)) fail(error);
}

void write_text(const std::string &path, const std::string &text) { write_output(path, text.data(), text.size()); }

// One registered KV-Set, destroyed when the command ends.
class Set {
public:
    Set() = default;
    explicit Set(CTkvs handle) : handle_(handle) {}
    Set(const Set &) = delete;
    Set &operator=(const Set &) = delete;
    ~Set()
    {
        CTerror ignored = 0;
        if (handle_ != 0) CTkvs_Destroy(handle_, &ignored);
    }
    CTkvs get() const { return handle_; }
    CTkvs *out() { return &handle_; }

private:
    CTkvs handle_ = 0;
};

// The part of an input a command reads: --offset and --length. Offsets in
// the command's output still count from the start of the whole input.
struct Slice {
    std::uint64_t offset = 0;
    std::uint64_t length = UINT64_MAX;  // to the end
};

std::string read_slice(const std::string &path, const Slice &slice)
{
    std::string bytes = read_input(path);
    if (slice.offset == 0 && slice.length == UINT64_MAX) return bytes;
    if (slice.offset > bytes.size())
        fail("--offset " + std::to_string(slice.offset) + " is past the end of " + quote(path) + " (" +
             std::to_string(bytes.size()) + " bytes)");
    const std::uint64_t left = bytes.size() - slice.offset;
    if (slice.length != UINT64_MAX && slice.length > left)
        fail("--length " + std::to_string(slice.length) + " runs past the end of " + quote(path) + " (" +
             std::to_string(left) + " bytes from offset " + std::to_string(slice.offset) + ")");
    return bytes.substr(static_cast<std::size_t>(slice.offset),
                        static_cast<std::size_t>(std::min<std::uint64_t>(slice.length, left)));
}

void shift(kvset::BlockFault *fault, const Slice &slice) { fault->offset += static_cast<std::size_t>(slice.offset); }

void shift(kvset::BlockInfo *info, const Slice &slice)
{
    for (std::size_t &o : info->recordOffsets) o += static_cast<std::size_t>(slice.offset);
}

// Reads a block file into a new set strictly; a fault ends the command.
void load(const std::string &path, kvset::BlockFormat format, Set *set, kvset::BlockInfo *info,
          const Slice &slice = Slice())
{
    const std::string bytes = read_slice(path, slice);
    kvset::BlockFault fault;
    if (!kvset::readBlock(bytes_of(bytes), bytes.size(), format, set->out(), info, &fault)) {
        shift(&fault, slice);
        fail(quote(path) + " is not a valid KV-Set block: " + kvset::formatFault(fault));
    }
    shift(info, slice);
}

// Reads a block file as the library's readers do: what strict validation
// refuses goes to standard error as warnings. Returns the fault that ended
// the read ("" for none); the set holds the pairs read before it.
std::string load_lenient(const std::string &path, kvset::BlockFormat format, Set *set, kvset::BlockInfo *info,
                         const Slice &slice)
{
    const std::string bytes = read_slice(path, slice);
    kvset::DecodeResult result;
    kvset::decodeBlock(bytes_of(bytes), bytes.size(), format, &result);
    *set->out() = result.kvs;
    if (result.kvs == 0 && !result.faulted) fail("cannot decode " + quote(path));
    *info = result.info;
    shift(info, slice);
    for (kvset::BlockFault &w : result.warnings) {
        shift(&w, slice);
        std::cerr << "kvset: warning: " << quote(path) << ": " << kvset::formatFault(w) << "\n";
    }
    if (!result.faulted) return "";
    shift(&result.fault, slice);
    return quote(path) + ": " + kvset::formatFault(result.fault);
}

// How show and json read their input.
struct Reading {
    kvset::BlockFormat format = kvset::BlockFormat::Auto;
    Slice slice;
    bool strict = false;
};

// Loads strictly or leniently; returns the lenient read's fault, if any.
std::string load_for_reading(const std::string &path, const Reading &how, Set *set, kvset::BlockInfo *info)
{
    if (how.strict) {
        load(path, how.format, set, info, how.slice);
        return "";
    }
    return load_lenient(path, how.format, set, info, how.slice);
}

// The JSON text on one line: the writer breaks lines only between members
// and elements (a string holds no raw line break), so dropping each break
// with the indentation after it leaves the same JSON.
std::string compacted(const std::string &json)
{
    std::string out;
    out.reserve(json.size());
    for (std::size_t i = 0; i < json.size(); ++i) {
        if (json[i] != '\n') {
            out += json[i];
            continue;
        }
        while (i + 1 < json.size() && json[i + 1] == ' ') ++i;
    }
    return out + "\n";
}

std::string describe(const kvset::BlockInfo &info)
{
    return std::string(kvset::blockFormatName(info.format, info.framed)) + ", " + std::to_string(info.size) +
           " bytes, " + std::to_string(info.recordOffsets.size()) +
           (info.recordOffsets.size() == 1 ? " record" : " records");
}

std::string pairs(CTkvs kvs)
{
    const std::int32_t n = MRQkvs_GetNumPairs(kvs);
    return std::to_string(n) + (n == 1 ? " pair" : " pairs");
}

std::string json_of(CTkvs kvs)
{
    std::string text;
    std::string error;
    if (!kvset::toJson(kvs, &text, &error)) fail(error);
    return text;
}

std::vector<kvset::Difference> differences(CTkvs a, CTkvs b)
{
    std::vector<kvset::Difference> found;
    std::string error;
    if (!kvset::diff(a, b, &found, &error)) fail(error);
    return found;
}

std::vector<unsigned char> encode(CTkvs kvs, kvset::BlockFormat format)
{
    std::vector<unsigned char> bytes;
    std::string error;
    if (!kvset::writeBlock(kvs, format, &bytes, &error)) fail(error);
    return bytes;
}

std::string narrow(const std::wstring &text)
{
    std::string out;
    for (wchar_t c : text) {
        char buf[MB_LEN_MAX];
        std::mbstate_t state{};
        const std::size_t n = std::wcrtomb(buf, c, &state);
        if (n == static_cast<std::size_t>(-1))
            out += '?';
        else
            out.append(buf, n);
    }
    return out;
}

// ---- Commands ---------------------------------------------------------------

int show(const std::string &path, const Reading &how, bool offsets, std::size_t max_elements)
{
    Set set;
    kvset::BlockInfo info;
    const std::string fault = load_for_reading(path, how, &set, &info);
    std::string text;
    std::string error;
    if (set.get() != 0) {
        kvset::TreeOptions options;
        options.maxElements = max_elements;
        if (!kvset::renderTree(set.get(), offsets ? &info : nullptr, options, &text, &error)) fail(error);
        std::cout << path << ": " << describe(info) << ", " << pairs(set.get()) << "\n" << text;
    }
    if (!fault.empty()) fail(fault);
    return kSuccess;
}

int validate(const std::vector<std::string> &paths, kvset::BlockFormat format, const Slice &slice)
{
    int result = kSuccess;
    for (const std::string &path : paths) {
        try {
            const std::string bytes = read_slice(path, slice);
            kvset::BlockInfo info;
            kvset::BlockFault fault;
            if (kvset::validateBlock(bytes_of(bytes), bytes.size(), format, &info, &fault)) {
                std::cout << path << ": ok (" << describe(info) << ")\n";
            } else {
                shift(&fault, slice);
                std::cout << path << ": " << kvset::formatFault(fault) << "\n";
                result = kFailed;
            }
        } catch (const Failure &f) {
            std::cout.flush();
            std::cerr << "kvset: " << f.message << "\n";
            result = kFailed;
        }
    }
    return result;
}

int json(const std::string &path, const Reading &how, const std::string &output, bool compact)
{
    Set set;
    kvset::BlockInfo info;
    const std::string fault = load_for_reading(path, how, &set, &info);
    if (set.get() != 0) {
        const std::string text = json_of(set.get());
        write_text(output, compact ? compacted(text) : text);
    }
    if (!fault.empty()) fail(fault);
    return kSuccess;
}

int build(const std::string &input, const std::string &output, kvset::BlockFormat format)
{
    const std::string text = read_input(input);
    Set set;
    std::string error;
    if (!kvset::fromJson(text, set.out(), &error))
        fail(quote(input) + ": " + error);
    const std::vector<unsigned char> block = encode(set.get(), format);
    write_output(output, block.data(), block.size());
    return kSuccess;
}

int diff(const std::string &first, const std::string &second, kvset::BlockFormat format)
{
    Set a;
    Set b;
    kvset::BlockInfo info;
    load(first, format, &a, &info);
    load(second, format, &b, &info);
    const std::vector<kvset::Difference> found = differences(a.get(), b.get());
    for (const kvset::Difference &d : found) std::cout << kvset::formatDifference(d) << "\n";
    if (found.empty()) std::cout << "no differences\n";
    return found.empty() ? kSuccess : kFailed;
}

int convert(const std::string &input, const std::string &output, kvset::BlockFormat from, kvset::BlockFormat to)
{
    Set set;
    kvset::BlockInfo info;
    load(input, from, &set, &info);
    const std::vector<unsigned char> block = encode(set.get(), to);
    write_output(output, block.data(), block.size());
    if (output != "-")
        std::cout << quote(input) << " (" << kvset::blockFormatName(info.format, info.framed) << ") -> '"
                  << output << "' (" << kvset::blockFormatName(to, to == kvset::BlockFormat::Memory) << ", "
                  << block.size() << " bytes)\n";
    return kSuccess;
}

// ---- Demo --------------------------------------------------------------------

std::wstring wide(const std::string &path)
{
    std::wstring out(path.size() + 1, L'\0');
    const std::size_t n = std::mbstowcs(&out[0], path.c_str(), out.size());
    if (n == static_cast<std::size_t>(-1)) fail("cannot use the path '" + path + "' in this locale");
    out.resize(n);
    return out;
}

std::string indented(const std::string &text, const char *prefix)
{
    std::string out;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        out += prefix + text.substr(start, end - start) + "\n";
        start = end + 1;
    }
    return out;
}

std::string make_directory(const std::string &requested)
{
    if (!requested.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(requested, ec);
        if (ec) fail("cannot create the directory '" + requested + "': " + ec.message());
        return requested;
    }
    std::error_code ec;
    std::string base = std::filesystem::temp_directory_path(ec).string();
    if (ec) base = "/tmp";
    std::string pattern = base + "/kvset-demo-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) fail("cannot create a temporary directory in '" + base + "': " + std::strerror(errno));
    return name.data();
}

int demo(const std::string &requested)
{
    std::cout << "kvset demo: the optional arguments of an outbound call, from object to bytes and back\n\n";

    mrqMakeCallOptionaArgs args;
    args.setLineDevice(L"dxxxB1C1");
    args.setCallingNumber(L"+44 20 7946 0000");
    KVSet extra;
    extra.create();
    extra.putInt(0x00010003u, 30);
    args.setRTC(extra);  // copies the pairs; extra keeps its set
    args.validate();
    const CTkvs options = static_cast<CTkvs>(static_cast<unsigned long>(args));
    std::cout << "1. Built the make-call options with their defaults (RTC, call-progress analysis, connect and\n"
                 "   disconnect masks, media preferences), set the line device \"dxxxB1C1\" and the calling\n"
                 "   number \"+44 20 7946 0000\", merged the extra RTC pair 0x00010003 = 30, and validated\n"
                 "   the options: "
              << pairs(options) << ", consistent.\n";

    const std::vector<unsigned char> buffer = encode(options, kvset::BlockFormat::Memory);
    kvset::BlockInfo info;
    kvset::BlockFault fault;
    if (!kvset::validateBlock(buffer.data(), buffer.size(), kvset::BlockFormat::Memory, &info, &fault))
        fail("the encoded options do not validate: " + kvset::formatFault(fault));
    std::cout << "2. Encoded them with MRQkvs_WriteToMemory and checked the bytes: ok (" << describe(info) << ").\n";

    const std::string dir = make_directory(requested);
    const std::string memory_path = dir + "/options.kvs";
    const std::string file_path = dir + "/options.kvsf";
    write_output(memory_path, buffer.data(), buffer.size());
    CTerror error = 0;
    if (CTkvs_WriteFile(options, wide(file_path).c_str(), 0, &error) != CT_statusOK)
        fail("CTkvs_WriteFile '" + file_path + "' failed");
    const std::string file_bytes = read_input(file_path);
    if (!kvset::validateBlock(bytes_of(file_bytes), file_bytes.size(), kvset::BlockFormat::File, &info, &fault))
        fail("'" + file_path + "' does not validate: " + kvset::formatFault(fault));
    std::cout << "3. Wrote " << memory_path << " (memory buffer, " << buffer.size() << " bytes)\n"
              << "   and " << file_path << " with CTkvs_WriteFile (" << describe(info) << "), checked: ok.\n";

    Set from_memory;
    load(memory_path, kvset::BlockFormat::Auto, &from_memory, &info);
    Set from_file;
    if (CTkvs_Create(from_file.out(), &error) != CT_statusOK ||
        CTkvs_ReadFile(from_file.get(), wide(file_path).c_str(), 0, &error) != CT_statusOK)
        fail("CTkvs_ReadFile '" + file_path + "' failed");
    std::cout << "4. Read them back: options.kvs as a " << kvset::blockFormatName(info.format, info.framed) << " ("
              << pairs(from_memory.get()) << "), options.kvsf with CTkvs_ReadFile (" << pairs(from_file.get())
              << ").\n";

    const std::size_t memory_differences = differences(options, from_memory.get()).size();
    const std::size_t file_differences = differences(options, from_file.get()).size();
    std::cout << "5. Compared both with the original: " << memory_differences << " and " << file_differences
              << " differences; MRQkvs_Compare says " << MRQkvs_Compare(options, from_memory.get(), &error) << " and "
              << MRQkvs_Compare(options, from_file.get(), &error) << ".\n";
    if (memory_differences + file_differences != 0) fail("the options changed on their way through the files");

    std::string tree;
    std::string why;
    if (!kvset::renderTree(options, &tree, &why)) fail(why);
    std::cout << "6. The options as a tree (kvset show " << memory_path << "):\n" << indented(tree, "   ");
    std::cout << "7. The options as JSON (kvset json " << memory_path << "):\n" << indented(json_of(options), "   ");
    std::cout << "\nThe files stay in " << dir << ". Try:\n"
              << "   kvset show --offsets " << memory_path << "\n"
              << "   kvset validate " << memory_path << " " << file_path << "\n"
              << "   kvset diff " << memory_path << " " << file_path << "\n";
    return kSuccess;
}

// Whether everything written to standard output reached it: flushes and
// closes it (a full disk may show only then), so it comes last.
bool standard_output_written()
{
    std::cout.flush();
    bool written = !std::cout.fail();
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) written = false;
    if (std::fclose(stdout) != 0) written = false;
    return written;
}

// Runs the command. *reported is set once an error line is written.
int run(int argc, char **argv, bool *reported)
{
    CLI::App app{"kvset: look inside KV-Set blocks (memory buffers and files) and move them to and from JSON."};
    app.name("kvset");
    app.require_subcommand(1, 1);
    app.fallthrough(false);
    // The version of the library loaded, which is the tool's own.
    app.set_version_flag("--version", std::string(MRQkvs_Version()), "Print the library's version and exit");

    // Formats are taken as words and turned into kvset::BlockFormat after parsing.
    auto input_format = [&](CLI::App *cmd, std::string *format) {
        cmd->add_option("--format", *format,
                        "How to read the input: auto (a frame means a memory buffer; a bare block is tried as a file "
                        "block, then as a memory block), memory or file")
            ->check(CLI::IsMember({"auto", "memory", "file"}))
            ->type_name("FORMAT")
            ->default_str("auto");
    };

    std::string format = "auto";
    std::string file;
    std::string second;
    std::string output = "-";
    std::vector<std::string> files;
    bool offsets = false;
    Reading reading;
    bool compact = false;
    auto slicing = [&](CLI::App *cmd) {
        cmd->add_option("--offset", reading.slice.offset, "Read the input from this byte offset on")
            ->type_name("N");
        cmd->add_option("--length", reading.slice.length, "Read only this many bytes (default: to the end)")
            ->type_name("N");
    };
    std::string names_file;
    auto naming = [&](CLI::App *cmd) {
        cmd->add_option("--names", names_file,
                        "A names file (NAME = 0xVALUE lines or a JSON object) whose names come before the built-in "
                        "ones (default: the file in KVSET_NAMES, if set)")
            ->type_name("FILE");
    };
    auto strictness = [&](CLI::App *cmd) {
        cmd->add_flag("--strict", reading.strict,
                      "Refuse the block as validate does (default: read it as the library's readers do, with "
                      "warnings on standard error)");
    };

    CLI::App *show_cmd = app.add_subcommand("show", "Print a block's KV-Set as a tree of keys, types and values");
    show_cmd->add_option("FILE", file, "Block file ('-' for standard input)")->required();
    show_cmd->add_flag("--offsets", offsets, "Lead each pair with the byte offset of its record");
    input_format(show_cmd, &format);
    strictness(show_cmd);
    slicing(show_cmd);
    naming(show_cmd);
    std::size_t max_elements = 0;
    show_cmd->add_option("--max-elements", max_elements,
                         "Show at most N elements of each array, the rest as '... N more' (default 0: all)")
        ->type_name("N");

    CLI::App *validate_cmd =
        app.add_subcommand("validate", "Check blocks strictly; print 'ok' or the first fault of each (exit 1 on a fault)");
    validate_cmd->add_option("FILE", files, "Block files ('-' for standard input)")->required();
    input_format(validate_cmd, &format);
    slicing(validate_cmd);

    CLI::App *json_cmd = app.add_subcommand("json", "Write a block's KV-Set in its JSON form (json.md in the installed documentation, share/doc/kvset)");
    json_cmd->add_option("FILE", file, "Block file ('-' for standard input)")->required();
    json_cmd->add_option("-o,--output", output, "Where to write the JSON ('-', the default, for standard output)");
    json_cmd->add_flag("--compact", compact, "Write the JSON on one line");
    input_format(json_cmd, &format);
    strictness(json_cmd);
    slicing(json_cmd);
    naming(json_cmd);

    std::string out_format = "memory";
    CLI::App *build_cmd = app.add_subcommand("build", "Build a block from the JSON form of a KV-Set");
    build_cmd->add_option("JSON", file, "JSON file ('-' for standard input)")->required();
    build_cmd->add_option("-o,--output", output, "Block file to write ('-' for standard output)")->required();
    build_cmd->add_option("--format", out_format, "memory (a framed buffer, the default) or file (a file block)")
        ->check(CLI::IsMember({"memory", "file"}))
        ->type_name("FORMAT")
        ->default_str("memory");
    naming(build_cmd);

    CLI::App *diff_cmd = app.add_subcommand("diff", "List every difference between two blocks' KV-Sets by key path "
                                                    "(exit 1 when they differ)");
    diff_cmd->add_option("A", file, "First block file")->required();
    diff_cmd->add_option("B", second, "Second block file")->required();
    input_format(diff_cmd, &format);
    naming(diff_cmd);

    std::string to_format;
    CLI::App *convert_cmd = app.add_subcommand("convert", "Re-encode a block as a memory buffer or a file block");
    convert_cmd->add_option("IN", file, "Block file to read ('-' for standard input)")->required();
    convert_cmd->add_option("-o,--output", output, "Block file to write ('-' for standard output)")->required();
    convert_cmd->add_option("--to", to_format, "memory (a framed buffer) or file (a file block)")
        ->check(CLI::IsMember({"memory", "file"}))
        ->type_name("FORMAT")
        ->required();
    input_format(convert_cmd, &format);

    kvset_tool::ScanOptions scan_options;
    CLI::App *scan_cmd = app.add_subcommand(
        "scan", "Find every memory buffer and file block in arbitrary bytes (a capture, a core, a dump); one line each "
                "(exit 1 when none is found)");
    scan_cmd->add_option("FILE", files, "Files to search ('-' for standard input)")->required();
    scan_cmd->add_flag("--hex", scan_options.hex, "The inputs are hex text: a plain hex stream, an xxd or an od -An -tx1 dump");
    scan_cmd->add_flag("--json", scan_options.json, "One JSON object a block, with its set as read");
    scan_cmd->add_option("--extract", scan_options.extractDir, "Write each block to its own file in DIR")
        ->type_name("DIR");

    std::string dir;
    CLI::App *demo_cmd = app.add_subcommand(
        "demo", "Build make-call options, write them as a memory buffer and a file, read both back, compare, show");
    demo_cmd->add_option("DIR", dir, "Directory for the demo files (default: a new temporary directory)");

    // An unknown command word reads better as such than as a missing one.
    bool known = argc < 2 || argv[1][0] == '-';
    for (const CLI::App *cmd : app.get_subcommands({}))
        if (argc > 1 && cmd->get_name() == argv[1]) known = true;
    if (!known) {
        std::cerr << "kvset: unknown command '" << kvset_tool::clipped(argv[1]) << "' (see 'kvset --help')\n";
        return kUsage;
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(e);
        std::string hint = "kvset --help";
        for (CLI::App *cmd : app.get_subcommands()) hint = "kvset " + cmd->get_name() + " --help";
        std::cerr << "kvset: " << e.what() << " (see '" << hint << "')\n";
        return kUsage;
    }

    const std::map<std::string, kvset::BlockFormat> formats = {
        {"auto", kvset::BlockFormat::Auto}, {"memory", kvset::BlockFormat::Memory}, {"file", kvset::BlockFormat::File}};
    const kvset::BlockFormat in = formats.at(format);
    reading.format = in;
    try {
        const bool named = *show_cmd || *json_cmd || *build_cmd || *diff_cmd;
        const char *from_environment = std::getenv("KVSET_NAMES");
        if (named && names_file.empty() && from_environment != nullptr) names_file = from_environment;
        if (named && !names_file.empty()) {
            std::string error;
            if (!kvset::loadNames(read_input(names_file), quote(names_file), &error)) fail(error);
        }
        if (*show_cmd) return show(file, reading, offsets, max_elements);
        if (*validate_cmd) return validate(files, in, reading.slice);
        if (*json_cmd) return json(file, reading, output, compact);
        if (*build_cmd) return build(file, output, formats.at(out_format));
        if (*diff_cmd) return diff(file, second, in);
        if (*convert_cmd) return convert(file, output, in, formats.at(to_format));
        if (*demo_cmd) return demo(dir);
        if (*scan_cmd) return kvset_tool::scan(files, scan_options);
        return kUsage;
    } catch (const Failure &f) {
        std::cout.flush();
        std::cerr << "kvset: " << f.message << "\n";
    } catch (const CxException &e) {
        std::cout.flush();
        std::cerr << "kvset: " << narrow(e.asString()) << "\n";
    } catch (const std::exception &e) {
        std::cout.flush();
        std::cerr << "kvset: " << e.what() << "\n";
    }
    *reported = true;
    return kFailed;
}

}  // namespace

int main(int argc, char **argv)
{
    std::setlocale(LC_ALL, "");
    bool reported = false;
    const int code = run(argc, argv, &reported);
    // Output that is lost fails the command like any other fault, with one
    // line, unless the command has already said why it failed.
    if (standard_output_written()) return code;
    if (!reported) std::cerr << "kvset: cannot write standard output\n";
    return kFailed;
}
