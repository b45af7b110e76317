"""Walks the stores and yields the graph: nodes, then relationships.

Nodes come from a full scan of the node store in id order, relationships
from a full scan of the relationship store: every in-use relationship
record is one edge, so neither relationship chains nor relationship groups
(dense nodes) need to be followed.

Every reference is checked, because a dangling one means the store is
corrupted or was not cleanly shut down (this decoder does not replay
transaction logs): each relationship's endpoints must be in-use nodes, its
type a known token; each label id and property key a known token; each
property chain must link back (prev pointers), hold only in-use records and
end; a dynamic label record must name its own node.

Why no log check: `neo4j-admin dump` needs a stopped database, and telling
a clean log tail from an unclean one needs each version's log and
checkpoint formats (3.5 keeps checkpoints in the log; 4.x in checkpoint.N;
a store migrated to 4.3 even has legacy checkpoint entries after its last
transaction, as in the northwind-43 sample). The reference checks above are
what stands between an unclean store and wrong output.

Node and relationship ids are Neo4j's record ids, which is what Neo4j
exports call "id" too.
"""

from . import records, values
from .errors import DumpError

MAX_PROPERTY_CHAIN = 1 << 20  # more records than any entity can hold: a loop


class Node:
    __slots__ = ("id", "labels", "properties")

    def __init__(self, node_id, labels, properties):
        self.id = node_id  # Neo4j node id
        self.labels = labels  # label names in the store's (ascending id) order
        self.properties = properties  # {key: neo4j_values value}


class Relationship:
    __slots__ = ("id", "type", "start", "end", "properties")

    def __init__(self, rel_id, type_name, start, end, properties):
        self.id = rel_id  # Neo4j relationship id
        self.type = type_name  # relationship type name
        self.start = start  # start node id
        self.end = end  # end node id
        self.properties = properties  # {key: neo4j_values value}


def read_properties(stores, first, owner):
    """Returns the {key: value} of the property chain starting at record `first`.

    Raises DumpError for a broken chain, an unknown key or a bad value;
    `owner` names the entity ("node 7") in messages.
    """
    props = {}
    record_id, prev = first, records.NONE
    hops = 0
    while record_id != records.NONE:
        hops += 1
        if hops > MAX_PROPERTY_CHAIN:
            raise DumpError("the store is corrupted: the property chain of %s loops" % owner)
        record = records.parse_property(stores.properties.record(record_id))
        if record.prev != prev:
            raise DumpError(
                "the store is corrupted or unclean: property record %d of %s does not link back to %d"
                % (record_id, owner, prev)
            )
        for blocks in records.split_blocks(record, values.blocks_used, record_id):
            key_id, value = values.decode(blocks, stores, owner)
            key = stores.keys.get(key_id)
            if key is None:
                raise DumpError("the store is corrupted: %s has a property with unknown key id %d" % (owner, key_id))
            props[key] = value
        prev, record_id = record_id, record.next
    return props


def _labels(stores, node_id, label_field):
    ids = records.inline_labels(label_field)
    if ids is None:
        first = records.dynamic_labels_record(label_field)
        payload = stores.node_labels.read_chain(first, "the labels of node %d" % node_id)
        type_id, raw = values.number_array(payload)
        if type_id != 6 or not raw or raw[0] != node_id:
            raise DumpError("the store is corrupted: the label record %d does not belong to node %d" % (first, node_id))
        ids = raw[1:]
    names = []
    for label_id in ids:
        name = stores.labels.get(label_id)
        if name is None:
            raise DumpError("the store is corrupted: node %d has unknown label id %d" % (node_id, label_id))
        names.append(name)
    return names


def nodes(stores, in_use):
    """Yields every node in id order; sets in_use[id] = 1 for each (a bytearray sized to the store)."""
    store = stores.nodes
    for node_id in range(store.count):
        rec = store.record(node_id)
        if not rec[0] & 1:
            continue
        node = records.parse_node(rec)
        owner = "node %d" % node_id
        labels = _labels(stores, node_id, node.label_field)
        in_use[node_id] = 1
        yield Node(node_id, labels, read_properties(stores, node.next_prop, owner))


def relationships(stores, in_use):
    """Yields every relationship in id order; `in_use` is the node bitmap filled by nodes()."""
    store = stores.relationships
    for rel_id in range(store.count):
        rec = store.record(rel_id)
        if not rec[0] & 1:
            continue
        rel = records.parse_relationship(rec)
        for end in (rel.start, rel.end):
            if not (0 <= end < len(in_use) and in_use[end]):
                raise DumpError(
                    "the store is corrupted or unclean: relationship %d refers to missing node %d" % (rel_id, end)
                )
        type_name = stores.types.get(rel.type_id)
        if type_name is None:
            raise DumpError("the store is corrupted: relationship %d has unknown type id %d" % (rel_id, rel.type_id))
        owner = "relationship %d" % rel_id
        yield Relationship(rel_id, type_name, rel.start, rel.end, read_properties(stores, rel.next_prop, owner))
