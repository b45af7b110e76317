"""Property values: from property blocks and dynamic payloads to the bridges' values.

First block of a property (unsigned 64-bit, bit 0 = least significant):

  | bits  | meaning                                                      |
  |-------|--------------------------------------------------------------|
  | 0-23  | property key token id                                        |
  | 24-27 | type, below                                                  |
  | 28-63 | inline value, or the header of a multi-block value           |

  | type | name        | value                                                           |
  |------|-------------|-----------------------------------------------------------------|
  | 1    | bool        | bit 28                                                          |
  | 2    | byte        | bits 28-35, signed                                              |
  | 3    | short       | bits 28-43, signed                                              |
  | 4    | char        | bits 28-43, a UTF-16 unit                                       |
  | 5    | int         | bits 28-59, signed                                              |
  | 6    | long        | bit 28 set: bits 29-63 (non-negative); else the next block      |
  | 7    | float       | bits 28-59, IEEE single                                         |
  | 8    | double      | the next block, IEEE double                                     |
  | 9    | string      | bits 28-63: first record in `.strings`; UTF-8                   |
  | 10   | array       | bits 28-63: first record in `.arrays` (payload below)           |
  | 11   | short string| bits 28-32 encoding, 33-38 length, characters from bit 39       |
  | 12   | short array | bits 28-31 item type, 32-37 length, 38-43 bits per item (0=64), |
  |      |             | items from bit 44                                               |
  | 13   | point       | bits 28-31 geometry (1), 32-35 dimension, 36-39 CRS table,      |
  |      |             | 40-55 CRS code, 56 float precision; coordinates in next blocks  |
  | 14   | temporal    | bits 28-31 kind; layout per kind in _temporal below             |

Bit-packed values (short strings, short arrays, dynamic number arrays) are
one little-endian bit stream: block 0's bit 0 first, then block 1, and for
byte payloads byte 0's bit 0 first. So a Python int built from the blocks
(or the bytes, little-endian) and shifted gives every item.

Short string encodings (5 bits) and bits per character: 0 UTF-8 (8, length
in bytes), 1 numerical (4), 2 date (4), 3 upper (5), 4 lower (5), 5 email
(5), 6 URI (6), 7 alphanumerical (6), 8 alphanumerical with symbols (6),
9 European (7), 10 Latin-1 (8), 11 lower hex (4), 12 upper hex (4). The
character tables below are Neo4j's LongerShortString tables written out.

Dynamic array payload: byte 0 is the item type. Numbers (1-8): byte 1 =
bits used in the last byte, byte 2 = bits per item (0 = empty array), then
the bit stream. Strings (9): int32 count, then per string an int32 length
and UTF-8 bytes. Points (13): geometry type, dimension, CRS table, 16-bit
CRS code, then a double array payload of all coordinates. Temporals (14):
the kind, then a long array payload (numbers per item as in _temporal_array).

Values come out as the bridges' shared Python values (neo4j_values, which
also writes them as JSON): numbers as int and float (single precision as
neo4j_values.Single), char as a one-character string, byte arrays as bytes,
other arrays as lists, temporals as neo4j_values.Temporal with the text of
the temporal module, points as neo4j_values.Point.
"""

import struct

from neo4j_values import Point, Single, Temporal

from . import temporal
from .errors import DumpError

_PUNCT = " _.-:/ .-+,'@|;*?&%#()$<>="
_LETTERS = "abcdefghijklmnopqrstuvwxyz"
_UPPER = _LETTERS.upper()
_ALPHANUM = " " + _UPPER + "01234_" + _LETTERS + "56789"


def _european():
    table = []
    for code in range(0x40):
        table.append("." if code == 0x17 else "-" if code == 0x37 else chr(code + 0xC0))
    return "".join(table) + _ALPHANUM


# encoding id -> (bits per character, characters by code)
SHORT_STRING_TABLES = {
    1: (4, "0123456789 .-+,'"),
    2: (4, "0123456789 -:/+,"),
    3: (5, " " + _UPPER + "_.-:/"),
    4: (5, " " + _LETTERS + "_.-:/"),
    5: (5, "," + _LETTERS + "_.-+@"),
    6: (6, " " + _LETTERS + "+,-./" + "0123456789" + "_.-:/" + _PUNCT[9:]),
    7: (6, _ALPHANUM),
    8: (6, " " + _UPPER + "_.-:/" + ";" + _LETTERS + "+,'@|"),
    9: (7, _european()),
    11: (4, "0123456789abcdef"),
    12: (4, "0123456789ABCDEF"),
}
UTF8, LATIN1 = 0, 10

CRS = {  # (table, code) -> (name, dimensions)
    (1, 4326): ("wgs-84", 2),
    (1, 4979): ("wgs-84-3d", 3),
    (2, 7203): ("cartesian", 2),
    (2, 9157): ("cartesian-3d", 3),
}
# temporal kind (of a property block or a temporal array) -> type name
TEMPORAL_TYPES = {1: "Date", 2: "LocalTime", 3: "LocalDateTime", 4: "Time", 5: "OffsetDateTime", 6: "Duration"}
MAX_EPOCH_DAY = 365_243_219_162  # Neo4j's dates span years -999,999,999 to 999,999,999
MAX_OFFSET = 18 * 3600


def signed(value, bits):
    value &= (1 << bits) - 1
    return value - (1 << bits) if value >> (bits - 1) else value


def float32(bits):
    return Single(struct.unpack(">f", struct.pack(">I", bits & 0xFFFFFFFF))[0])


def float64(bits):
    return struct.unpack(">d", struct.pack(">Q", bits & 0xFFFFFFFFFFFFFFFF))[0]


def number_item(type_id, raw):
    """Converts one raw item of a number array (type ids 1-8) to its value."""
    if type_id == 1:
        return raw != 0
    if type_id == 2:
        return signed(raw, 8)
    if type_id == 3:
        return signed(raw, 16)
    if type_id == 4:
        return chr(raw & 0xFFFF)
    if type_id == 5:
        return signed(raw, 32)
    if type_id == 6:
        return signed(raw, 64)
    if type_id == 7:
        return float32(raw)
    if type_id == 8:
        return float64(raw)
    raise DumpError("the store is corrupted: unknown array item type %d" % type_id)


def number_items(type_id, raw):
    """Converts the raw items of a number array: bytes for a byte array, else a list."""
    if type_id == 2:
        return bytes(v & 0xFF for v in raw)
    return [number_item(type_id, v) for v in raw]


def _unpack_bits(stream, start, count, bits):
    mask = (1 << bits) - 1
    return [(stream >> (start + i * bits)) & mask for i in range(count)]


# ---- sizes: how many blocks a property uses -------------------------------------------------


def _short_string_blocks(first):
    encoding = (first >> 28) & 0x1F
    length = (first >> 33) & 0x3F
    if encoding in (UTF8, LATIN1):
        step = 8
    elif encoding in SHORT_STRING_TABLES:
        step = SHORT_STRING_TABLES[encoding][0]
    else:
        return -1
    return (39 + length * step - 1) // 64 + 1


def _short_array_blocks(first):
    length = (first >> 32) & 0x3F
    bits = ((first >> 38) & 0x3F) or 64
    return (44 + length * bits - 1) // 64 + 1


def _temporal_blocks(first):
    kind = (first >> 28) & 0xF
    if kind in (1, 2):
        return 1 if first & (1 << 32) else 2
    return {3: 2, 4: 2, 5: 3, 6: 4}.get(kind, -1)


def blocks_used(first):
    """Returns how many 8-byte blocks the property starting with `first` occupies (-1: invalid)."""
    kind = (first >> 24) & 0xF
    if kind == 6:
        return 1 if first & (1 << 28) else 2
    if kind == 8:
        return 2
    if kind == 11:
        return _short_string_blocks(first)
    if kind == 12:
        return _short_array_blocks(first)
    if kind == 13:
        dims = (first >> 32) & 0xF
        return 1 + dims if dims <= 3 else -1
    if kind == 14:
        return _temporal_blocks(first)
    return 1


# ---- inline values --------------------------------------------------------------------------


def short_string(blocks):
    first = blocks[0]
    if first & 0xFFFFFF0FFFFFFFFF == 0:
        return ""
    encoding = (first >> 28) & 0x1F
    length = (first >> 33) & 0x3F
    stream = 0
    for i, block in enumerate(blocks):
        stream |= block << (64 * i)
    if encoding in (UTF8, LATIN1):
        raw = bytes(_unpack_bits(stream, 39, length, 8))
        if encoding == LATIN1:
            return raw.decode("latin-1")
        try:
            return raw.decode("utf-8")
        except UnicodeDecodeError:
            raise DumpError("the store is corrupted: a short string is not UTF-8") from None
    step, table = SHORT_STRING_TABLES[encoding]
    return "".join(table[code] for code in _unpack_bits(stream, 39, length, step))


def short_array(blocks):
    first = blocks[0]
    type_id = (first >> 28) & 0xF
    length = (first >> 32) & 0x3F
    bits = ((first >> 38) & 0x3F) or 64
    stream = 0
    for i, block in enumerate(blocks):
        stream |= block << (64 * i)
    return number_items(type_id, _unpack_bits(stream, 44, length, bits))


def point(crs_table, crs_code, coordinates):
    crs = CRS.get((crs_table, crs_code))
    if crs is None:
        raise DumpError(
            "the store holds a point in an unknown coordinate system (table %d, code %d)" % (crs_table, crs_code)
        )
    name, dims = crs
    if len(coordinates) != dims:
        raise DumpError("the store is corrupted: a %s point has %d coordinates" % (name, len(coordinates)))
    return Point(crs_code, tuple(coordinates))


def _point(blocks):
    first = blocks[0]
    if (first >> 28) & 0xF != 1:
        raise DumpError("the store is corrupted: unknown geometry type %d" % ((first >> 28) & 0xF))
    if first & (1 << 56):
        raise DumpError("the store holds a single-precision point, which Neo4j itself cannot read")
    dims = (first >> 32) & 0xF
    return point((first >> 36) & 0xF, (first >> 40) & 0xFFFF, [float64(b) for b in blocks[1 : 1 + dims]])


def _check(condition, what):
    if not condition:
        raise DumpError("the store is corrupted: %s out of range" % what)


def _nanos(value):
    _check(0 <= value < temporal.NANOS_PER_SECOND, "a nanosecond of second")
    return value


def _offset(value):
    _check(-MAX_OFFSET <= value <= MAX_OFFSET, "a time zone offset")
    return value


def _epoch_day(value):
    _check(-MAX_EPOCH_DAY <= value <= MAX_EPOCH_DAY, "a date")
    return value


def _nano_of_day(value):
    _check(0 <= value < temporal.NANOS_PER_DAY, "a time of day")
    return value


def zone_id_refused(zone_number):
    raise DumpError(
        "the store holds a DateTime with a named time zone (Neo4j zone number %d), which this decoder cannot "
        "name; export the graph with APOC (apoc.export.json.all) instead" % zone_number
    )


def _temporal(blocks):
    first = blocks[0]
    kind = (first >> 28) & 0xF
    if kind in (1, 2):
        value = (first >> 33) if first & (1 << 32) else signed(blocks[1], 64)
        if kind == 1:
            return Temporal("Date", temporal.date_text(_epoch_day(value)))
        return Temporal("LocalTime", temporal.time_text(_nano_of_day(value)))
    if kind == 3:
        return Temporal("LocalDateTime", temporal.local_datetime_text(signed(blocks[1], 64), _nanos(first >> 32)))
    if kind == 4:
        offset = _offset(signed(first >> 32, 32))
        local = signed(blocks[1], 64) + offset * temporal.NANOS_PER_SECOND
        return Temporal("Time", temporal.offset_time_text(_nano_of_day(local), offset))
    if kind == 5:
        nanos = _nanos((first >> 33) & 0x7FFFFFFF)
        if first & (1 << 32):
            text = temporal.datetime_text(signed(blocks[1], 64), nanos, _offset(signed(blocks[2], 32)))
            return Temporal("OffsetDateTime", text)
        zone_id_refused(signed(blocks[2], 16))
    if kind == 6:
        text = temporal.duration_text(
            signed(blocks[1], 64), signed(blocks[2], 64), signed(blocks[3], 64), signed(first >> 32, 32)
        )
        return Temporal("Duration", text)
    raise DumpError("the store is corrupted: unknown temporal kind %d" % kind)


# ---- dynamic payloads -----------------------------------------------------------------------


def number_array(payload):
    """Decodes a number array payload (3-byte header and bit stream) into raw items and the type id."""
    if len(payload) < 3:
        raise DumpError("the store is corrupted: an array payload is shorter than its header")
    type_id, last_bits, bits = payload[0], payload[1], payload[2]
    body = payload[3:]
    if not 1 <= type_id <= 8 or not 1 <= last_bits <= 8 or bits > 64:
        raise DumpError("the store is corrupted: an array has an invalid header %s" % payload[:3].hex())
    if bits == 0:
        return type_id, []
    count = (len(body) * 8 - (8 - last_bits)) // bits if body else 0
    if bits in (8, 16, 32, 64) and len(body) == count * bits // 8:
        code = {8: "B", 16: "H", 32: "I", 64: "Q"}[bits]
        return type_id, list(struct.unpack("<%d%s" % (count, code), body))
    return type_id, _unpack_bits(int.from_bytes(body, "little"), 0, count, bits)


def _strings(payload):
    if len(payload) < 5:
        raise DumpError("the store is corrupted: a string array is shorter than its header")
    count = struct.unpack_from(">i", payload, 1)[0]
    pos, items = 5, []
    for _ in range(max(count, 0)):
        if pos + 4 > len(payload):
            raise DumpError("the store is corrupted: a string array ends early")
        size = struct.unpack_from(">i", payload, pos)[0]
        pos += 4
        if size < 0 or pos + size > len(payload):
            raise DumpError("the store is corrupted: a string array ends early")
        items.append(utf8(payload[pos : pos + size]))
        pos += size
    return items


def _temporal_array(payload):
    kind = payload[1]
    type_id, raw = number_array(payload[2:])
    if type_id != 6:
        raise DumpError("the store is corrupted: a temporal array does not hold longs")
    longs = [signed(v, 64) for v in raw]
    if kind == 1:
        texts = [temporal.date_text(_epoch_day(v)) for v in longs]
    elif kind == 2:
        texts = [temporal.time_text(_nano_of_day(v)) for v in longs]
    elif kind == 3:
        texts = [temporal.local_datetime_text(s, _nanos(n)) for s, n in zip(longs[0::2], longs[1::2])]
    elif kind == 4:
        pairs = zip(longs[0::2], longs[1::2])
        texts = [temporal.offset_time_text(_nano_of_day(t), _offset(signed(o, 32))) for t, o in pairs]
    elif kind == 5:
        texts = []
        for s, n, zone in zip(longs[0::3], longs[1::3], longs[2::3]):
            if not zone & 1:
                zone_id_refused(signed((zone & 0xFFFFFFFFFFFFFFFF) >> 1, 16))
            texts.append(temporal.datetime_text(s, _nanos(n), _offset(signed((zone & 0xFFFFFFFFFFFFFFFF) >> 1, 32))))
    elif kind == 6:
        texts = [temporal.duration_text(*quad) for quad in zip(longs[0::4], longs[1::4], longs[2::4], longs[3::4])]
    else:
        raise DumpError("the store is corrupted: unknown temporal array kind %d" % kind)
    return [Temporal(TEMPORAL_TYPES[kind], text) for text in texts]


def _point_array(payload):
    if len(payload) < 6:
        raise DumpError("the store is corrupted: a point array is shorter than its header")
    geometry, dims, table, code = payload[1], payload[2], payload[3], (payload[4] << 8) | payload[5]
    if geometry != 1 or not 2 <= dims <= 3:
        raise DumpError("the store is corrupted: a point array has an invalid header")
    type_id, raw = number_array(payload[6:])
    if type_id != 8:
        raise DumpError("the store is corrupted: a point array does not hold doubles")
    coords = [float64(v) for v in raw]
    return [point(table, code, coords[i : i + dims]) for i in range(0, len(coords) - dims + 1, dims)]


def array_payload(payload):
    """Decodes the concatenated data of an `.arrays` chain into a list (bytes for a byte array)."""
    if not payload:
        raise DumpError("the store is corrupted: an array value is empty")
    type_id = payload[0]
    if type_id == 9:
        return _strings(payload)
    if type_id == 13:
        return _point_array(payload)
    if type_id == 14:
        return _temporal_array(payload)
    type_id, raw = number_array(payload)
    return number_items(type_id, raw)


def utf8(raw):
    try:
        return bytes(raw).decode("utf-8")
    except UnicodeDecodeError:
        raise DumpError("the store is corrupted: a string value is not UTF-8") from None


# ---- one property ---------------------------------------------------------------------------


def decode(blocks, stores, owner):
    """Returns (key id, value) of the property held in `blocks`, a neo4j_values value.

    `stores` supplies the `.strings` and `.arrays` dynamic stores for long
    values; `owner` names the node or relationship for messages. Raises
    DumpError for corrupted or undecodable values.
    """
    first = blocks[0]
    key = first & 0xFFFFFF
    kind = (first >> 24) & 0xF
    inline = first >> 28
    if kind == 1:
        return key, bool(inline & 1)
    if kind == 2:
        return key, signed(inline, 8)
    if kind in (3, 4):
        return key, signed(inline, 16) if kind == 3 else chr(inline & 0xFFFF)
    if kind == 5:
        return key, signed(inline, 32)
    if kind == 6:
        return key, (inline >> 1) if first & (1 << 28) else signed(blocks[1], 64)
    if kind == 7:
        return key, float32(inline)
    if kind == 8:
        return key, float64(blocks[1])
    if kind == 9:
        return key, utf8(stores.strings.read_chain(inline, owner))
    if kind == 10:
        return key, array_payload(stores.arrays.read_chain(inline, owner))
    if kind == 11:
        return key, short_string(blocks)
    if kind == 12:
        return key, short_array(blocks)
    if kind == 13:
        return key, _point(blocks)
    if kind == 14:
        return key, _temporal(blocks)
    raise DumpError("the store is corrupted: unknown property type %d" % kind)
