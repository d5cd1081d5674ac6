# GDB support for libkvset: the `kvs` commands and pretty-printers for KVSet
# and mrqMakeCallOptionaArgs.
#
# Everything is read from memory -- the registry's handle map, the set
# headers, the pair nodes and their value blocks -- and nothing is called in
# the process, so it works on a core file as on a live one. It needs the
# library's debug information (the default RelWithDebInfo build and the
# Debug build have it).
#
# Installed as share/gdb/auto-load/<libdir>/libkvset.so.<version>-gdb.py,
# GDB loads it with the library; from a build tree it sits beside
# libkvset.so.<version>, or load it by hand with `source FILE`.
#
#   kvs list            every registered set: handle, pair count, first keys
#   kvs show HANDLE     one set as a tree, nested sets included

import gdb
import gdb.printing

# The value types by code: name, shape, and how a number prints
# (u: unsigned, s: signed, y: symbol, b: bool). The codes are the stream
# format's and do not change.
_TYPES = {
    11: ("CTbool", "scalar", "b"), 12: ("CTconf_ct", "scalar", "u"),
    14: ("CTgrp_ct", "scalar", "u"), 15: ("CTint", "scalar", "s"),
    16: ("CTmode", "scalar", "u"), 18: ("CTses_ct", "scalar", "u"),
    19: ("CTsrv_ct", "scalar", "u"), 20: ("CTstatus", "scalar", "u"),
    21: ("CTsymbol", "scalar", "y"), 22: ("CTtime", "scalar", "u"),
    24: ("CTuint", "scalar", "u"), 25: ("CTstream_ct", "scalar", "u"),
    26: ("CTchar", "char", "u"), 27: ("CTerror", "scalar", "y"),
    28: ("CTconn_ct", "scalar", "u"), 60: ("CTirange", "range", "s"),
    61: ("CTkvs_ct", "nested", "u"), 62: ("CTstring", "string", "u"),
    101: ("CTbool[]", "array", "b"), 102: ("Byte[]", "bytes", "u"),
    103: ("CTconf_ct[]", "array", "u"), 105: ("CTgrp_ct[]", "array", "u"),
    106: ("CTint[]", "array", "s"), 107: ("CTirange[]", "ranges", "s"),
    108: ("CTkvs_ct[]", "nested_array", "u"), 109: ("CTmode[]", "array", "u"),
    111: ("CTses_ct[]", "array", "u"), 112: ("CTsrv_ct[]", "array", "u"),
    113: ("CTstatus[]", "array", "u"), 114: ("CTstring[]", "strings", "u"),
    115: ("CTsymbol[]", "array", "y"), 117: ("CTerror[]", "array", "y"),
    118: ("CTconn_ct[]", "array", "u"), 119: ("CTuint[]", "array", "u"),
    120: ("CTtime[]", "array", "u"),
}

_WHERE_INLINE = 1      # KVPairNode::Where::Inline
_MAX_STRING = 4096     # characters read of one string
_MAX_ELEMENTS = 4096   # elements read of one array
_MAX_DEPTH = 64        # nesting shown
_KEYS_LISTED = 4       # first keys in `kvs list`


class _Memory:
    """Typed reads of the inferior's (or the core's) memory."""

    def __init__(self):
        self.inferior = gdb.selected_inferior()

    def read(self, address, size):
        return bytes(self.inferior.read_memory(address, size))

    def u32(self, address):
        return int.from_bytes(self.read(address, 4), "little")

    def s32(self, address):
        return int.from_bytes(self.read(address, 4), "little", signed=True)

    def pointer(self, address):
        return int.from_bytes(self.read(address, 8), "little")

    def wide_string(self, address):
        """A wchar_t (UTF-32) string, or None for a null pointer."""
        if address == 0:
            return None
        units = []
        while len(units) < _MAX_STRING:
            unit = self.u32(address + 4 * len(units))
            if unit == 0:
                break
            units.append(unit)
        return units


def _lookup(expression, what):
    try:
        return gdb.parse_and_eval(expression)
    except gdb.error:
        raise gdb.GdbError("kvs: %s not found: is libkvset.so loaded, with its debug information?" % what)


class _Names:
    """Symbol names from the symbol library's own table, else hex."""

    def __init__(self, memory):
        self.names = {}
        try:
            table = gdb.parse_and_eval("'ctsym::(anonymous namespace)::kNames'")
            low, high = table.type.range()
            for i in range(low, high + 1):
                units = memory.wide_string(int(table[i]["name"]))
                self.names[int(table[i]["symbol"])] = "".join(map(chr, units or []))
        except (gdb.error, gdb.MemoryError, RuntimeError):
            pass  # a symbol library without debug information: hex names

    def __call__(self, symbol):
        return self.names.get(symbol) or "0x%08X" % symbol


class _Registry:
    """The registry's handle map, read as it stands."""

    def __init__(self):
        self.memory = _Memory()
        self.names = _Names(self.memory)
        # The registry is a function's static object: optimised builds keep
        # its symbol but not always its variable's debug entry, so the
        # address is taken from the symbol and given the class's type.
        registry = _lookup("*('kvs::(anonymous namespace)::Registry' *)"
                           "&'kvs::(anonymous namespace)::registry()::instance'", "the registry")
        impl = registry["map"]["_M_t"]["_M_impl"]
        self.header_type = gdb.lookup_type("kvs::KVSetHeader").pointer()
        self.node_base = gdb.lookup_type("std::_Rb_tree_node_base")
        self.count = int(impl["_M_node_count"])
        self.root = int(impl["_M_header"]["_M_parent"])

    def entries(self):
        """(handle, header address) in handle order."""
        result, stack, node = [], [], self.root
        base = self.node_base.sizeof
        while (stack or node) and len(result) <= self.count:
            while node:
                stack.append(node)
                node = self.memory.pointer(node + 16)  # _M_left
            node = stack.pop()
            result.append((self.memory.u32(node + base), self.memory.pointer(node + base + 8)))
            node = self.memory.pointer(node + 24)  # _M_right
        return result

    def header(self, handle):
        for h, address in self.entries():
            if h == handle:
                return gdb.Value(address).cast(self.header_type).dereference()
        return None

    def pairs(self, header):
        node = header["first"]
        seen = 0
        while int(node) != 0 and seen <= int(header["pairCount"]):
            yield node.dereference()
            node = node.dereference()["next"]
            seen += 1


def _quote(units):
    out = []
    for u in units:
        if u == 0x22 or u == 0x5C:
            out.append("\\" + chr(u))
        elif u < 0x20 or 0xD800 <= u <= 0xDFFF or u > 0x10FFFF:
            out.append("\\u%04X" % u if u <= 0xFFFF else "\\U%08X" % u)
        else:
            out.append(chr(u))
    return '"' + "".join(out) + '"'


class _Renderer:
    """Pairs as lines, in the layout of the kvset tool's tree."""

    def __init__(self, registry):
        self.r = registry
        self.m = registry.memory

    def number(self, word, kind):
        if kind == "y":
            return self.r.names(word)
        if kind == "s":
            return str(word - (1 << 32) if word & 0x80000000 else word)
        if kind == "b":
            return "0" if word == 0 else "1"
        return str(word)

    def set_summary(self, handle):
        header = self.r.header(handle)
        if header is None:
            return "set %d (not registered)" % handle, None
        n = int(header["pairCount"])
        return "set %d, %d pair%s" % (handle, n, "" if n == 1 else "s"), header

    def value(self, node):
        """(text, nested) for one pair: nested lists (label, handle)."""
        code, count = int(node["type"]), int(node["count"])
        info = _TYPES.get(code)
        if int(node["where"]) == _WHERE_INLINE:
            address = int(node["inlineValue"].address)
        else:
            address = int(node["block"])
        if info is None:
            return "unknown type %d, %d elements" % (code, count), []
        _, shape, kind = info
        elements = max(0, min(count, _MAX_ELEMENTS))
        more = "" if elements == count or count < 0 else ", ... %d more" % (count - elements)
        if shape == "scalar":
            return self.number(self.m.u32(address), kind), []
        if shape == "char":
            unit = int.from_bytes(self.m.read(address, 2), "little")
            if 0xD800 <= unit <= 0xDFFF or unit < 0x20:
                return "U+%04X" % unit, []
            return "'%s' U+%04X" % (chr(unit), unit), []
        if shape == "range":
            return "[%d, %d]" % (self.m.s32(address), self.m.s32(address + 4)), []
        if shape == "string":
            units = self.m.wide_string(address)
            return ("null" if units is None else _quote(units)), []
        if address == 0 and shape not in ("nested",):
            return "[]", []
        if shape == "array":
            words = [self.number(self.m.u32(address + 4 * i), kind) for i in range(elements)]
            return "[" + ", ".join(words) + more + "]", []
        if shape == "bytes":
            return "%s (%d bytes)" % (self.m.read(address, elements).hex(), count), []
        if shape == "ranges":
            pairs = ["[%d, %d]" % (self.m.s32(address + 8 * i), self.m.s32(address + 8 * i + 4))
                     for i in range(elements)]
            return "[" + ", ".join(pairs) + more + "]", []
        if shape == "strings":
            items = []
            for i in range(elements):
                units = self.m.wide_string(self.m.pointer(address + 8 * i))
                items.append("null" if units is None else _quote(units))
            return "[" + ", ".join(items) + more + "]", []
        if shape == "nested":
            handle = self.m.u32(address)
            return self.set_summary(handle)[0], [(None, handle)]
        # nested_array
        handles = [self.m.u32(address + 4 * i) for i in range(elements)]
        return "%d element%s%s" % (count, "" if count == 1 else "s", more), \
            [("[%d]" % i, h) for i, h in enumerate(handles)]

    def tree(self, header, indent, depth, lines):
        for node in self.r.pairs(header):
            code = int(node["type"])
            name = _TYPES.get(code, ("type %d" % code,))[0]
            text, nested = self.value(node)
            lines.append("%s%s (%s): %s" % ("  " * indent, self.r.names(int(node["key"])), name, text))
            for label, handle in nested:
                extra = indent + 1
                if label is not None:
                    if handle == 0:
                        lines.append("%s%s: empty" % ("  " * extra, label))
                        continue
                    summary, _ = self.set_summary(handle)
                    lines.append("%s%s: %s" % ("  " * extra, label, summary))
                    extra += 1
                child = self.r.header(handle)
                if child is None:
                    continue
                if depth >= _MAX_DEPTH:
                    lines.append("%s..." % ("  " * extra))
                    continue
                self.tree(child, extra, depth + 1, lines)
        return lines

    def first_keys(self, header):
        keys = [self.r.names(int(n["key"])) for _, n in zip(range(_KEYS_LISTED), self.r.pairs(header))]
        if int(header["pairCount"]) > len(keys):
            keys.append("...")
        return ", ".join(keys)


def _set_text(handle):
    registry = _Registry()
    renderer = _Renderer(registry)
    summary, header = renderer.set_summary(handle)
    lines = [summary]
    if header is not None:
        renderer.tree(header, 1, 0, lines)
    return "\n".join(lines)


class KvsCommand(gdb.Command):
    """Inspect KV-Sets from the library's memory (works on core files).

kvs list          every registered set: handle, pair count, first keys
kvs show HANDLE   one set as a tree, nested sets included"""

    def __init__(self):
        super().__init__("kvs", gdb.COMMAND_DATA, gdb.COMPLETE_NONE, True)


class KvsListCommand(gdb.Command):
    """List every registered KV-Set: handle, pair count and first keys.
Sets held by a pair of another set are marked "(nested)"."""

    def __init__(self):
        super().__init__("kvs list", gdb.COMMAND_DATA)

    def invoke(self, argument, from_tty):
        registry = _Registry()
        renderer = _Renderer(registry)
        entries = registry.entries()
        gdb.write("%d set%s registered\n" % (len(entries), "" if len(entries) == 1 else "s"))
        for handle, address in entries:
            header = gdb.Value(address).cast(registry.header_type).dereference()
            n = int(header["pairCount"])
            nested = " (nested)" if bool(header["heldByPair"]) else ""
            keys = renderer.first_keys(header)
            gdb.write("  set %d%s: %d pair%s%s\n" % (handle, nested, n, "" if n == 1 else "s",
                                                     ": " + keys if keys else ""))


class KvsShowCommand(gdb.Command):
    """Print one KV-Set as a tree: kvs show HANDLE (any expression)."""

    def __init__(self):
        super().__init__("kvs show", gdb.COMMAND_DATA, gdb.COMPLETE_EXPRESSION)

    def invoke(self, argument, from_tty):
        if not argument.strip():
            raise gdb.GdbError("usage: kvs show HANDLE")
        handle = int(gdb.parse_and_eval(argument)) & 0xFFFFFFFF
        gdb.write(_set_text(handle) + "\n")


class KVSetPrinter:
    """KVSet: its handle, ownership and pairs."""

    def __init__(self, value):
        self.value = value

    def to_string(self):
        handle = int(self.value["held"]) & 0xFFFFFFFF
        owning = "owning" if bool(self.value["owning"]) else "borrowed"
        try:
            summary, _ = _Renderer(_Registry()).set_summary(handle)
        except (gdb.GdbError, gdb.error, gdb.MemoryError) as e:
            summary = "set %d (%s)" % (handle, e)
        return "KVSet %s (%s)" % (summary, owning)

    def children(self):
        try:
            registry = _Registry()
        except gdb.GdbError:
            return
        renderer = _Renderer(registry)
        header = registry.header(int(self.value["held"]) & 0xFFFFFFFF)
        if header is None:
            return
        for node in registry.pairs(header):
            yield registry.names(int(node["key"])), renderer.value(node)[0]

    def display_hint(self):
        return "map"


class _MapPrinter(KVSetPrinter):
    def children(self):
        for key, text in super().children():
            yield "key", key
            yield "value", text


class MakeCallOptionsPrinter:
    """mrqMakeCallOptionaArgs: its options set and its parts."""

    def __init__(self, value):
        self.value = value

    def to_string(self):
        return "mrqMakeCallOptionaArgs"

    def children(self):
        for field in ("options", "rtc", "cpa", "connectMask", "disconnectMask"):
            yield field, self.value[field]
        for field in ("offerMedia", "acceptMedia"):
            count = max(0, min(3, int(self.value[field + "Count"])))
            try:
                names = _Names(_Memory())
            except gdb.error:
                names = lambda s: "0x%08X" % s
            yield field, "[" + ", ".join(names(int(self.value[field][i])) for i in range(count)) + "]"


def _printers():
    printers = gdb.printing.RegexpCollectionPrettyPrinter("libkvset")
    printers.add_printer("KVSet", "^KVSet$", _MapPrinter)
    printers.add_printer("mrqMakeCallOptionaArgs", "^mrqMakeCallOptionaArgs$", MakeCallOptionsPrinter)
    return printers


KvsCommand()
KvsListCommand()
KvsShowCommand()
gdb.printing.register_pretty_printer(gdb.current_objfile(), _printers(), replace=True)
