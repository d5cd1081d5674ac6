"""KV-Sets for Python: an ordered mapping from int keys to typed values.

``s[key] = 5`` stores a CTint, a str a CTstring, a Set a nested set, None an
absent string; the wrappers below choose every other type, and reading gives
the same wrappers back, so a round trip keeps every type.
"""
from collections.abc import MutableMapping as _MutableMapping

from ._kvset import Error, _Set, _diff, _validate, num_sets, symbol_name

__all__ = ["Set", "Error", "loads", "dumps", "validate", "diff", "num_sets", "symbol_name",
           "Irange", "Symbol", "ErrorValue"]

_BY_CODE = {}


def _register(cls):
    _BY_CODE[cls.code] = cls
    return cls


class _Tagged(int):
    """A 32-bit single value of one type."""
    code = 0

    def __repr__(self):
        return f"kvset.{type(self).__name__}({int(self)})"


def _tagged(name, code, doc):
    cls = type(name, (_Tagged,), {"code": code, "__doc__": doc})
    __all__.append(name)
    return _register(cls)


Bool = _tagged("Bool", 11, "CTbool")
Conference = _tagged("Conference", 12, "CTconference handle")
Group = _tagged("Group", 14, "CTgroup handle")
Mode = _tagged("Mode", 16, "CTmode")
Session = _tagged("Session", 18, "CTsession handle")
Service = _tagged("Service", 19, "CTsrv_ct")
Status = _tagged("Status", 20, "CTstatus")
Time = _tagged("Time", 22, "CTtime")
Uint = _tagged("Uint", 24, "CTuint")
Stream = _tagged("Stream", 25, "CTstream handle")
Char = _tagged("Char", 26, "CTchar: one UTF-16 code unit")
Connection = _tagged("Connection", 28, "CTconnection handle")


@_register
class Symbol(_Tagged):
    """CTsymbol; printed by its name where the symbol library knows it."""
    code = 21

    def __repr__(self):
        return f"kvset.Symbol({symbol_name(int(self))})"


class ErrorValue(_Tagged):
    """An error value: stored as a symbol, so it reads back as Symbol."""
    code = 27


@_register
class Irange(tuple):
    """CTirange: Irange(lower, upper)."""
    code = 60

    def __new__(cls, lower, upper):
        return super().__new__(cls, (lower, upper))

    lower = property(lambda self: self[0])
    upper = property(lambda self: self[1])

    def __repr__(self):
        return f"kvset.Irange({self[0]}, {self[1]})"


@_register
class ByteArray(bytes):
    """Byte[]."""
    code = 102

    def __repr__(self):
        return f"kvset.ByteArray({bytes.__repr__(self)})"


class _Array(list):
    code = 0

    def __repr__(self):
        return f"kvset.{type(self).__name__}({list.__repr__(self)})"


def _array(name, code, doc):
    cls = type(name, (_Array,), {"code": code, "__doc__": doc})
    __all__.append(name)
    return _register(cls)


BoolArray = _array("BoolArray", 101, "CTbool[]")
ConferenceArray = _array("ConferenceArray", 103, "CTconference[]")
GroupArray = _array("GroupArray", 105, "CTgroup[]")
IntArray = _array("IntArray", 106, "CTint[]")
ModeArray = _array("ModeArray", 109, "CTmode[]")
SessionArray = _array("SessionArray", 111, "CTsession[]")
ServiceArray = _array("ServiceArray", 112, "CTsrv_ct[]")
StatusArray = _array("StatusArray", 113, "CTstatus[]")
StringArray = _array("StringArray", 114, "CTstring[]: str or None elements")
SymbolArray = _array("SymbolArray", 115, "CTsymbol[]")
ErrorArray = _array("ErrorArray", 117, "CTerror[]")
ConnectionArray = _array("ConnectionArray", 118, "CTconnection[]")
UintArray = _array("UintArray", 119, "CTuint[]")
TimeArray = _array("TimeArray", 120, "CTtime[]")


@_register
class IrangeArray(_Array):
    """CTirange[]: a list of Irange."""
    code = 107


@_register
class SetArray(_Array):
    """KVSet[]: Set or None elements."""
    code = 108


__all__ += ["ByteArray", "IrangeArray", "SetArray"]


def _encode(value):
    """(type code, payload) of a Python value."""
    if isinstance(value, bool):
        return 11, int(value)
    code = getattr(value, "code", None)
    if isinstance(value, Set):
        return 61, value._set
    if code in (107,):
        return code, [tuple(r) for r in value]
    if code == 108:
        return code, [None if s is None else s._set for s in value]
    if code is not None:
        return code, value
    if isinstance(value, int):
        return 15, value
    if value is None or isinstance(value, str):
        return 62, value
    raise TypeError(f"no KV-Set type for {type(value).__name__}")


def _decode(code, payload):
    if code == 15 or code == 62:
        return payload
    if code == 61:
        return Set._wrap(payload)
    if code == 60:
        return Irange(*payload)
    if code == 107:
        return IrangeArray(Irange(*r) for r in payload)
    if code == 108:
        return SetArray(None if s is None else Set._wrap(s) for s in payload)
    return _BY_CODE[code](payload)


class Set(_MutableMapping):
    """A KV-Set: keys in pair order, each value typed (see the module's doc)."""

    def __init__(self, pairs=None):
        self._set = _Set()
        if pairs:
            self.update(pairs)

    @classmethod
    def _wrap(cls, native):
        s = cls.__new__(cls)
        s._set = native
        return s

    def __setitem__(self, key, value):
        code, payload = _encode(value)
        self._set._put(key, code, payload)

    def __getitem__(self, key):
        got = self._set._get(key)
        if got is None:
            raise KeyError(key)
        return _decode(*got)

    def __delitem__(self, key):
        if not self._set._erase(key):
            raise KeyError(key)

    def __contains__(self, key):
        return isinstance(key, int) and self._set._contains(key)

    def __iter__(self):
        return iter(self._set._keys())

    def __len__(self):
        return len(self._set)

    def __eq__(self, other):
        return isinstance(other, Set) and self._set._equals(other._set)

    def __copy__(self):
        return Set._wrap(self._set._copy())

    copy = __copy__

    def __repr__(self):
        return "kvset.Set({" + ", ".join(f"0x{k:08X}: {v!r}" for k, v in self.items()) + "})"

    def to_json(self):
        return self._set.to_json()

    @classmethod
    def from_json(cls, text):
        return cls._wrap(_Set._from_json(text))

    def render(self):
        return self._set.render()

    @property
    def handle(self):
        return self._set.handle


def loads(data):
    """A Set from a framed memory buffer, a bare memory block or a file block."""
    return Set._wrap(_Set._decode(bytes(data)))


def dumps(s, format="memory"):
    """The block of s: format "memory" (framed buffer) or "file"."""
    if format not in ("memory", "file"):
        raise ValueError(f"format is 'memory' or 'file', not {format!r}")
    return s._set._encode(format == "file")


def validate(data):
    """None for a sound block, else (fault offset, key path, reason line)."""
    return _validate(bytes(data))


def diff(a, b):
    """Every difference between two sets, one line each."""
    return _diff(a._set, b._set)
