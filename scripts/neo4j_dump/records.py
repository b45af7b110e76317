"""Layouts of node, relationship and property records (all big-endian).

Node, 15 bytes:

  | offset | size | meaning                                                   |
  |--------|------|-----------------------------------------------------------|
  | 0      | 1    | bit 0 in use; bits 1-3 high bits of next relationship;    |
  |        |      | bits 4-7 high bits of next property                       |
  | 1      | 4    | next relationship (unused here)                           |
  | 5      | 4    | next property id (low 32 bits)                            |
  | 9      | 5    | label field: low 4 bytes, then the high byte              |
  | 14     | 1    | bit 0: dense node (unused here)                           |

Label field (40 bits): bit 39 set means bits 0-35 are the id of the first
record of a chain in `nodestore.db.labels` whose array is [node id, label
ids...]. Otherwise bits 36-38 hold the label count n (0-7) and bits 0-35
hold n ids of 36 // n bits each, lowest first.

Relationship, 34 bytes:

  | offset | size | meaning                                                   |
  |--------|------|-----------------------------------------------------------|
  | 0      | 1    | bit 0 in use; bits 1-3 high bits of first node;           |
  |        |      | bits 4-7 high bits of next property                       |
  | 1      | 4    | first (start) node, low 32 bits                           |
  | 5      | 4    | second (end) node, low 32 bits                            |
  | 9      | 4    | bits 28-30 high bits of second node; bits 16-27 high bits |
  |        |      | of the four chain pointers; bits 0-15 type id             |
  | 13     | 16   | four chain pointers (unused: a full scan finds every edge)|
  | 29     | 4    | next property id (low 32 bits)                            |
  | 33     | 1    | first-in-chain flags (unused)                             |

Property, 41 bytes: byte 0 holds the high bits of prev (bits 4-7) and next
(bits 0-3), then prev and next as 4-byte ids, then 32 bytes = 4 blocks of 8
bytes. A property is one block or several consecutive ones; the first
block's bits 24-27 give its type 1-14 (values module), and a block of any
other type (0 after the last property) ends the record. A record with no block is not in use.

A 32-bit id of 0xFFFFFFFF with zero high bits means "none" (-1 below).
"""

import struct

from .errors import DumpError

NONE = -1
_NODE = struct.Struct(">BIIIBB")
_REL = struct.Struct(">BIII16sIB")
_PROP_HEAD = struct.Struct(">BII")
_BLOCKS = struct.Struct(">4Q")


def _ref(low, high):
    return NONE if (low == 0xFFFFFFFF and high == 0) else (low | high)


class Node:
    __slots__ = ("in_use", "next_prop", "label_field")

    def __init__(self, in_use, next_prop, label_field):
        self.in_use = in_use  # the record holds a node
        self.next_prop = next_prop  # first property record id, or NONE
        self.label_field = label_field  # 40-bit label field, see the table above


def parse_node(rec):
    head, _next_rel, next_prop, labels_low, labels_high, _extra = _NODE.unpack(rec)
    return Node(bool(head & 1), _ref(next_prop, (head & 0xF0) << 28), labels_low | (labels_high << 32))


def inline_labels(label_field):
    """Returns the label ids stored inline, or None when the field points to dynamic records."""
    if label_field & (1 << 39):
        return None
    count = (label_field >> 36) & 0x7
    if count == 0:
        return []
    bits = 36 // count
    mask = (1 << bits) - 1
    return [(label_field >> (i * bits)) & mask for i in range(count)]


def dynamic_labels_record(label_field):
    """Returns the first `nodestore.db.labels` record id of a dynamic label field."""
    return label_field & 0xFFFFFFFFF


class Relationship:
    __slots__ = ("in_use", "start", "end", "type_id", "next_prop")

    def __init__(self, in_use, start, end, type_id, next_prop):
        self.in_use = in_use  # the record holds a relationship
        self.start = start  # start node id
        self.end = end  # end node id
        self.type_id = type_id  # relationship type token id
        self.next_prop = next_prop  # first property record id, or NONE


def parse_relationship(rec):
    head, first, second, type_int, _chains, next_prop, _flags = _REL.unpack(rec)
    return Relationship(
        bool(head & 1),
        first | ((head & 0x0E) << 31),
        second | ((type_int & 0x70000000) << 4),
        type_int & 0xFFFF,
        _ref(next_prop, (head & 0xF0) << 28),
    )


class PropertyRecord:
    __slots__ = ("prev", "next", "blocks")

    def __init__(self, prev, nxt, blocks):
        self.prev = prev  # previous record in the owner's chain, or NONE
        self.next = nxt  # next record in the owner's chain, or NONE
        self.blocks = blocks  # the 4 payload blocks as unsigned 64-bit ints


def parse_property(rec):
    mods, prev, nxt = _PROP_HEAD.unpack_from(rec, 0)
    return PropertyRecord(_ref(prev, (mods & 0xF0) << 28), _ref(nxt, (mods & 0x0F) << 32), _BLOCKS.unpack_from(rec, 9))


def split_blocks(record, blocks_used, record_id):
    """Yields the block tuples of each property of a property record.

    `blocks_used(first_block)` returns how many blocks that property uses.
    Raises DumpError when the record has no property (it is not in use) or
    a property claims more blocks than the record holds.
    """
    blocks = record.blocks
    i = 0
    while i < len(blocks):
        first = blocks[i]
        if not 1 <= (first >> 24) & 0xF <= 14:
            break  # Neo4j ends a record's properties at the first block of no known type
        n = blocks_used(first)
        if n < 1 or i + n > len(blocks):
            raise DumpError("the store is corrupted: property record %d has an invalid block %#x" % (record_id, first))
        yield blocks[i : i + n]
        i += n
    if i == 0:
        raise DumpError("the store is corrupted or unclean: property record %d is not in use" % record_id)
