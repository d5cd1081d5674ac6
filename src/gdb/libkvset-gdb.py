# GDB support for libkvset: the `kvs` commands and pretty-printers for KVSet
# and mrqMakeCallOptionaArgs.
#
# Everything is read from memory -- the registry's handle map, the set
# headers, the pair nodes and their value blocks -- and nothing is called in
# the process, so it works on a core file as on a live one. Where the map is
# and the fields' offsets come from the library itself (kvset_debug_layout,
# in its symbol table): no debug information is needed, only a library that
# is not stripped.
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

    def wide_string(self, address, size=4):
        """A wchar_t string (UTF-32 on Linux) as code points, or None for a
        null pointer."""
        if address == 0:
            return None
        units = []
        while len(units) < _MAX_STRING:
            unit = int.from_bytes(self.read(address + size * len(units), size), "little")
            if unit == 0:
                break
            units.append(unit)
        return units


def _lookup(expression, what):
    try:
        return gdb.parse_and_eval(expression)
    except gdb.error:
        raise gdb.GdbError("kvs: %s not found: is libkvset.so loaded (and not stripped)?" % what)


# The symbols the library defines (kvset/ctkvs.h), named when the symbol
# library's own table cannot be read (no debug information).
_KNOWN_NAMES = {
    0x00010050: "CT_errorOK", 0x000A0050: "CT_errorBadFormat",
    0x000C0050: "CT_errorBadHeader", 0x00110050: "CT_errorBadKey",
    0x00120050: "CT_errorInvalidKVSet", 0x003B0050: "CT_errorEndOfList",
    0x00430050: "CT_errorFileOpen", 0x00450050: "CT_errorOutOfRange",
    0x00480050: "CT_errorNoSuchKey", 0x005D0050: "CT_errorBadParameter",
    0x006E0050: "CT_errorNoResource", 0x00780050: "CT_errorNoMemory",
    0x000100B0: "KVS_HANDLE_RESERVED", 0x000200B0: "CT_keyFirst",
    0x0D84106D: "MRQ_keyTimeStampSec", 0x0DC4106D: "MRQ_keyTimeStampMsec",
    0x0941106D: "MakeCall_LineDevice", 0x1246706D: "MakeCall_OutboundProxy",
    0x04C6206D: "MakeCall_CallingNumber", 0x09C6706D: "MakeCall_AuthUserName",
    0x0A46706D: "MakeCall_AuthPassword", 0x1506706D: "MakeCall_FaxMediaFeatureTag",
    0x1106706D: "MakeCall_PassertID", 0x004700A0: "MakeCall_RTC",
    0x0606106D: "MakeCall_CPA", 0x23C6206D: "MakeCall_ConnectMask",
    0x2406206D: "MakeCall_DisconnectMask", 0x07C6706D: "MakeCall_OutboundOfferMedia",
    0x0846706D: "MakeCall_OutboundAcceptMedia",
}


class _Names:
    """Symbol names from the symbol library's own table, else from the
    library's header, else hex."""

    def __init__(self, memory):
        self.names = dict(_KNOWN_NAMES)
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


# kvset_debug_layout (src/store/debug_layout.h): magic, version, the map's
# header node, then the offsets, in this order.
_LAYOUT_MAGIC = 0x4453564B
_LAYOUT_VERSION = 1
_LAYOUT_OFFSETS = ("treeParent", "treeLeft", "treeRight", "treeHandle", "treeSet",
                   "setPairCount", "setFirst", "setHeldByPair",
                   "pairKey", "pairType", "pairCount", "pairWhere", "pairValue", "pairNext")
_LAYOUT_BYTES = ("whereInline", "wcharSize", "pointerSize", "signatureSize")


class _Layout:
    """The library's own description of its memory, read from the process."""

    def __init__(self, memory):
        address = _lookup("(unsigned long) &kvset_debug_layout", "kvset_debug_layout")
        address = int(address)
        if memory.u32(address) != _LAYOUT_MAGIC:
            raise gdb.GdbError("kvs: kvset_debug_layout is not a layout description")
        if memory.u32(address + 4) != _LAYOUT_VERSION:
            raise gdb.GdbError("kvs: this extension reads layout version %d, the library has %d"
                               % (_LAYOUT_VERSION, memory.u32(address + 4)))
        self.mapHeader = memory.pointer(address + 8)
        at = address + 16
        for name in _LAYOUT_OFFSETS:
            setattr(self, name, int.from_bytes(memory.read(at, 2), "little"))
            at += 2
        for name in _LAYOUT_BYTES:
            setattr(self, name, memory.read(at, 1)[0])
            at += 1


class _Registry:
    """The registry's handle map, read as it stands. Headers and pair nodes
    are addresses; their fields are read through the layout."""

    def __init__(self):
        self.memory = _Memory()
        self.names = _Names(self.memory)
        self.layout = _Layout(self.memory)

    def entries(self):
        """(handle, header address) in handle order."""
        m, lay = self.memory, self.layout
        if lay.mapHeader == 0:
            return []  # no set was ever made
        result, stack = [], []
        node = m.pointer(lay.mapHeader + lay.treeParent)  # the root
        while stack or node:
            while node:
                stack.append(node)
                node = m.pointer(node + lay.treeLeft)
                if len(stack) > 64:
                    raise gdb.GdbError("kvs: the handle map is not a tree (a registry change in progress?)")
            node = stack.pop()
            result.append((m.u32(node + lay.treeHandle), m.pointer(node + lay.treeSet)))
            node = m.pointer(node + lay.treeRight)
        return result

    def header(self, handle):
        for h, address in self.entries():
            if h == handle:
                return address
        return None

    def pair_count(self, header):
        return self.memory.s32(header + self.layout.setPairCount)

    def held_by_pair(self, header):
        return self.memory.read(header + self.layout.setHeldByPair, 1)[0] != 0

    def pairs(self, header):
        """The pair nodes' addresses, in order (never more than the count)."""
        m, lay = self.memory, self.layout
        node = m.pointer(header + lay.setFirst)
        seen, count = 0, self.pair_count(header)
        while node != 0 and seen < max(count, 0):
            yield node
            node = m.pointer(node + lay.pairNext)
            seen += 1

    def key(self, node):
        return self.memory.u32(node + self.layout.pairKey)


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
        n = self.r.pair_count(header)
        return "set %d, %d pair%s" % (handle, n, "" if n == 1 else "s"), header

    def value(self, node):
        """(text, nested) for one pair: nested lists (label, handle)."""
        lay = self.r.layout
        code, count = self.m.u32(node + lay.pairType), self.m.s32(node + lay.pairCount)
        info = _TYPES.get(code)
        if self.m.read(node + lay.pairWhere, 1)[0] == lay.whereInline:
            address = node + lay.pairValue
        else:
            address = self.m.pointer(node + lay.pairValue)
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
            units = self.m.wide_string(address, self.r.layout.wcharSize)
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
                units = self.m.wide_string(self.m.pointer(address + self.r.layout.pointerSize * i),
                                           self.r.layout.wcharSize)
                items.append("null" if units is None else _quote(units))
            return "[" + ", ".join(items) + more + "]", []
        if shape == "nested":
            if address == 0:
                return "no set (absent value)", []
            handle = self.m.u32(address)
            return self.set_summary(handle)[0], [(None, handle)]
        # nested_array
        handles = [self.m.u32(address + 4 * i) for i in range(elements)]
        return "%d element%s%s" % (count, "" if count == 1 else "s", more), \
            [("[%d]" % i, h) for i, h in enumerate(handles)]

    def tree(self, header, indent, depth, lines):
        for node in self.r.pairs(header):
            code = self.m.u32(node + self.r.layout.pairType)
            name = _TYPES.get(code, ("type %d" % code,))[0]
            text, nested = self.value(node)
            lines.append("%s%s (%s): %s" % ("  " * indent, self.r.names(self.r.key(node)), name, text))
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
        keys = [self.r.names(self.r.key(n)) for _, n in zip(range(_KEYS_LISTED), self.r.pairs(header))]
        if self.r.pair_count(header) > len(keys):
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
            n = registry.pair_count(address)
            nested = " (nested)" if registry.held_by_pair(address) else ""
            keys = renderer.first_keys(address)
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
            renderer = _Renderer(registry)
            header = registry.header(int(self.value["held"]) & 0xFFFFFFFF)
            pairs = [] if header is None else list(registry.pairs(header))
            for node in pairs:
                yield "key", registry.names(registry.key(node))
                yield "value", renderer.value(node)[0]
        except (gdb.GdbError, gdb.error, gdb.MemoryError):
            return  # to_string has said what is wrong

    def display_hint(self):
        return "map"


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
            names = _Names(_Memory())
            yield field, "[" + ", ".join(names(int(self.value[field][i])) for i in range(count)) + "]"


def _printers():
    printers = gdb.printing.RegexpCollectionPrettyPrinter("libkvset")
    printers.add_printer("KVSet", "^KVSet$", KVSetPrinter)
    printers.add_printer("mrqMakeCallOptionaArgs", "^mrqMakeCallOptionaArgs$", MakeCallOptionsPrinter)
    return printers


KvsCommand()
KvsListCommand()
KvsShowCommand()
gdb.printing.register_pretty_printer(gdb.current_objfile(), _printers(), replace=True)
