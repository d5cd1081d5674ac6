"""The Python module: every type through the golden blocks, the wrappers,
bad input, errors, and no KV-Set left registered once the objects go."""
import gc
import os

import pytest

import kvset

DATA = os.environ.get("KVSET_TEST_DATA_DIR", os.path.join(os.path.dirname(__file__), "..", "data"))


def golden(name):
    with open(os.path.join(DATA, name), "rb") as f:
        return f.read()


@pytest.fixture(autouse=True)
def no_leaked_sets():
    gc.collect()
    before = kvset.num_sets()
    yield
    gc.collect()
    assert kvset.num_sets() == before, "a KV-Set stayed registered"


@pytest.mark.parametrize("name,fmt", [
    ("every_type.kvs", "memory"), ("every_type.file.kvs", "file"),
    ("surrogate.frame.kvs", "memory"), ("surrogate.file.kvs", "file"),
    ("nested.frame.kvs", "memory"), ("empty_element.file.kvs", "file"),
])
def test_golden_blocks_rebuilt_from_python_values(name, fmt):
    data = golden(name)
    read = kvset.loads(data)
    rebuilt = kvset.Set()
    for key, value in read.items():  # every value as Python holds it, put back
        rebuilt[key] = value
    assert list(rebuilt) == list(read)
    assert kvset.dumps(rebuilt, format=fmt) == data


def test_every_type_of_the_golden_block_reads_as_its_wrapper():
    read = kvset.loads(golden("every_type.kvs"))
    seen = {type(v).__name__ for v in read.values()}
    for wrapper in ("Bool", "Symbol", "Uint", "Char", "Irange", "Set", "ByteArray", "IntArray", "SetArray",
                    "StringArray", "IrangeArray", "str", "int"):
        assert wrapper in seen


@pytest.mark.parametrize("value", [
    5, -2**31, "caf\u00e9 \U0001F600", "\ud800", None, True, kvset.Uint(2**32 - 1), kvset.Char(0xD800),
    kvset.Symbol(0x00480050), kvset.Irange(-1, 1), kvset.ByteArray(b"\x00\xff"), kvset.IntArray([1, -1]),
    kvset.StringArray(["a", None]), kvset.IrangeArray([kvset.Irange(1, 2)]), kvset.TimeArray([]),
    kvset.Mode(1), kvset.Connection(9), kvset.ErrorArray([0x00480050]),
])
def test_a_value_reads_back_with_its_type(value):
    s = kvset.Set()
    s[7] = value
    got = s[7]
    expected = kvset.Bool(1) if value is True else value
    assert got == expected and type(got) is type(expected)


def test_nested_sets_are_copies_and_an_error_value_reads_as_a_symbol():
    inner = kvset.Set({1: kvset.Uint(3)})
    s = kvset.Set({1: inner, 2: kvset.SetArray([inner, None]), 3: kvset.ErrorValue(0x00480050)})
    inner[2] = 4
    assert len(s[1]) == 1 and s[2][1] is None
    assert type(s[3]) is kvset.Symbol
    assert repr(s[3]) == "kvset.Symbol(CT_errorNoSuchKey)"
    assert kvset.Set.from_json(s.to_json()) == s
    assert kvset.diff(s, s.copy()) == []
    assert kvset.diff(s, kvset.Set()) != []


def test_mapping_behaviour():
    s = kvset.Set()
    s[3] = 1
    s[1] = 2
    s[3] = "again"  # replaced in place
    assert list(s) == [3, 1] and len(s) == 2 and 1 in s and 9 not in s
    del s[3]
    with pytest.raises(KeyError):
        del s[3]
    with pytest.raises(KeyError):
        s[3]
    with pytest.raises(TypeError):
        s[1] = 1.5


def test_errors_carry_status_symbol_and_key():
    s = kvset.Set()
    with pytest.raises(kvset.Error) as e:
        s[5] = kvset.ModeArray([])
    assert (e.value.status, e.value.error, e.value.key) == (3, 0x005D0050, 5)
    with pytest.raises(kvset.Error) as e:
        kvset.loads(b"\x01\x02\x03")
    assert e.value.error == 0x000A0050 and "offset" in str(e.value)
    with pytest.raises(kvset.Error) as e:
        kvset.Set.from_json('[{"key": 1}')
    assert str(e.value).startswith("from_json")
    with pytest.raises(ValueError):
        kvset.dumps(s, format="disk")
    with pytest.raises(ValueError, match="CTint"):
        s[1] = 2**31
    with pytest.raises(ValueError, match="CTchar"):
        s[1] = kvset.Char(0x10000)


def test_validate_gives_the_fault_offset_and_path():
    data = bytearray(golden("every_type.kvs"))
    assert kvset.validate(bytes(data)) is None
    data[-1] ^= 0xFF  # the trailer
    offset, path, reason = kvset.validate(bytes(data))
    assert offset > 0 and "memory buffer" in reason
