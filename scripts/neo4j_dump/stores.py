"""Record stores: where a record sits, dynamic record chains, and token names.

Every store is a file of fixed-size records addressed by id. Page size is
8192 bytes.

  standard: record `id` starts at id * size.
  aligned:  records never straddle a page; each page holds 8192 // size
            records and is padded at its end, so record `id` starts at
            (id // per_page) * 8192 + (id % per_page) * size.

Dynamic stores (`.strings`, `.arrays`, `.labels`, token `.names`/`.keys`)
begin with a header in record 0 whose first 4 bytes are the record size
(128 for strings and arrays, 64 for node labels, 38 for token names). Each
record:

  | offset | size | meaning                                                  |
  |--------|------|----------------------------------------------------------|
  | 0      | 4    | bit 31: 0 = first record of a chain, 1 = continuation;   |
  |        |      | bit 28: in use; bits 24-27: high bits of next;           |
  |        |      | bits 0-23: number of data bytes in this record           |
  | 4      | 4    | next record id (low 32 bits); 0xFFFFFFFF = end of chain   |
  | 8      | ...  | data                                                     |

A value is the concatenated data of its chain. Every record but the last is
full. The decoder checks all of that (in use, first/continuation flags, full
records, no cycle), because a record that breaks it means a corrupted or
unclean store, and reporting it beats writing a wrong value.

Token stores: label and relationship-type tokens are 5 bytes (in-use byte,
name id); property keys are 9 bytes (in-use byte, property count, name id).
The in-use byte's bit 0x02 marks an internal token (4.3+ schema keys named
"__org.neo4j.SchemaRule..."), which no graph data uses and which is skipped.
"""

import mmap
import os
import struct

from .errors import DumpError

PAGE_SIZE = 8192
NO_NEXT = 0xFFFFFFFF
MAX_CHAIN = 1 << 24  # a chain longer than this would be a > 1 GiB value: a cycle or garbage

_U32 = struct.Struct(">I")


def _map(path):
    """Returns the file's bytes as a read-only map (bytes for an empty file)."""
    with open(path, "rb") as f:
        size = os.fstat(f.fileno()).st_size
        if size == 0:
            return b""
        return mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ)


class RecordStore:
    """A store of fixed-size records; record(id) returns its bytes."""

    def __init__(self, name, data, record_size, aligned):
        self.name = name  # store file name, used in messages
        self.data = data  # the whole file (mmap or bytes)
        self.size = record_size  # bytes per record
        self.per_page = PAGE_SIZE // record_size if aligned else 0  # records per page when aligned
        if aligned:
            pages, rest = divmod(len(data), PAGE_SIZE)
            self.count = pages * self.per_page + min(rest // record_size, self.per_page)
        else:
            self.count = len(data) // record_size  # number of whole records in the file

    def offset(self, record_id):
        if self.per_page:
            page, slot = divmod(record_id, self.per_page)
            return page * PAGE_SIZE + slot * self.size
        return record_id * self.size

    def record(self, record_id):
        """Returns the bytes of record `record_id`; raises DumpError if the store has no such record."""
        if not 0 <= record_id < self.count:
            raise DumpError(
                "the store is corrupted or unclean: %s has no record %d (it holds %d)"
                % (self.name, record_id, self.count)
            )
        start = self.offset(record_id)
        return self.data[start : start + self.size]


class DynamicStore(RecordStore):
    """A store of chained variable-length values."""

    def __init__(self, name, data, aligned):
        if len(data) < 4:
            raise DumpError("the store is corrupted: %s has no header record" % name)
        record_size = _U32.unpack_from(data, 0)[0]
        if not 9 <= record_size <= PAGE_SIZE:
            raise DumpError("the store is corrupted: %s declares records of %d bytes" % (name, record_size))
        super().__init__(name, data, record_size, aligned)

    def read_chain(self, first_id, what):
        """Returns the concatenated data of the chain starting at `first_id`.

        `what` names the owner for messages ("property 3 of node 7").
        Raises DumpError when a record is missing, not in use, flagged
        wrongly, short before the end, or the chain loops.
        """
        parts = []
        record_id = first_id
        capacity = self.size - 8
        seen = set()
        while True:
            if record_id in seen or len(seen) > MAX_CHAIN:
                raise DumpError("the store is corrupted: the %s chain of %s loops" % (self.name, what))
            seen.add(record_id)
            rec = self.record(record_id)
            head, nxt = struct.unpack_from(">II", rec, 0)
            if not head & 0x10000000:
                raise DumpError(
                    "the store is corrupted or unclean: %s record %d of %s is not in use" % (self.name, record_id, what)
                )
            continuation = bool(head & 0x80000000)
            if continuation != (record_id != first_id):
                raise DumpError(
                    "the store is corrupted: %s record %d of %s has a wrong chain flag" % (self.name, record_id, what)
                )
            length = head & 0xFFFFFF
            if length > capacity:
                raise DumpError("the store is corrupted: %s record %d claims %d bytes" % (self.name, record_id, length))
            parts.append(rec[8 : 8 + length])
            high = (head & 0x0F000000) << 8
            if nxt == NO_NEXT and high == 0:
                return b"".join(parts)
            if length != capacity:
                raise DumpError(
                    "the store is corrupted: %s record %d of %s is short but not last" % (self.name, record_id, what)
                )
            record_id = nxt | high


def load_tokens(store, names, kind):
    """Returns {token id: name} of a token store, skipping unused and internal tokens.

    `kind` is "label", "relationship type" or "property key" (for messages).
    The name id is the last 4 bytes of each record, whatever its size.
    Raises DumpError when a name chain is broken or not UTF-8.
    """
    tokens = {}
    for token_id in range(store.count):
        rec = store.record(token_id)
        if not rec[0] & 0x01 or rec[0] & 0x02:
            continue
        name_id = _U32.unpack_from(rec, store.size - 4)[0]
        raw = names.read_chain(name_id, "%s token %d" % (kind, token_id))
        try:
            tokens[token_id] = raw.decode("utf-8")
        except UnicodeDecodeError:
            raise DumpError("the store is corrupted: the name of %s token %d is not UTF-8" % (kind, token_id)) from None
    return tokens


class Stores:
    """Every store the decoder reads, opened from spooled files."""

    def __init__(self, files, store_format):
        aligned = store_format.aligned
        self._maps = []  # open maps, closed by close()

        def data(name):
            path = files.get(name)
            if path is None:
                raise DumpError("the dump is incomplete: it has no %s" % name)
            mapped = _map(path)
            self._maps.append(mapped)
            return mapped

        self.format = store_format  # store_format.StoreFormat
        self.nodes = RecordStore("neostore.nodestore.db", data("neostore.nodestore.db"), 15, aligned)
        self.relationships = RecordStore(
            "neostore.relationshipstore.db", data("neostore.relationshipstore.db"), 34, aligned
        )
        self.properties = RecordStore("neostore.propertystore.db", data("neostore.propertystore.db"), 41, aligned)
        strings, arrays = "neostore.propertystore.db.strings", "neostore.propertystore.db.arrays"
        self.strings = DynamicStore(strings, data(strings), aligned)
        self.arrays = DynamicStore(arrays, data(arrays), aligned)
        self.node_labels = DynamicStore("neostore.nodestore.db.labels", data("neostore.nodestore.db.labels"), aligned)
        self.labels = load_tokens(
            RecordStore("neostore.labeltokenstore.db", data("neostore.labeltokenstore.db"), 5, aligned),
            DynamicStore("neostore.labeltokenstore.db.names", data("neostore.labeltokenstore.db.names"), aligned),
            "label",
        )
        self.types = load_tokens(
            RecordStore("neostore.relationshiptypestore.db", data("neostore.relationshiptypestore.db"), 5, aligned),
            DynamicStore(
                "neostore.relationshiptypestore.db.names", data("neostore.relationshiptypestore.db.names"), aligned
            ),
            "relationship type",
        )
        self.keys = load_tokens(
            RecordStore("neostore.propertystore.db.index", data("neostore.propertystore.db.index"), 9, aligned),
            DynamicStore("neostore.propertystore.db.index.keys", data("neostore.propertystore.db.index.keys"), aligned),
            "property key",
        )

    def close(self):
        """Unmaps every store file."""
        for mapped in self._maps:
            if isinstance(mapped, mmap.mmap):
                mapped.close()
        self._maps = []
