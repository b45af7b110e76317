"""Nodes and relationships, as Bolt sends them, as JSON-lines records.

The records have the shape Neo4j's JSON export writes, one object per line,
which the migration import reads:

    {"type":"node","id":"4:…:0","labels":["Person"],"properties":{…}}
    {"id":"4:…:7","type":"relationship","label":"KNOWS",
     "start":{"id":"4:…:0"},"end":{"id":"4:…:1"},"properties":{…}}

Identities are strings: the element id from Bolt 5 on (the integer id is
deprecated there and not unique across a composite database), the integer
id in decimal before. Each relationship names its endpoints by the same
kind of identity as the nodes, so they match. The relationship type sits
under "label" beside "type":"relationship", so even a type literally
named "relationship" reads back unambiguously.

Wire layouts (Bolt 5 adds the element ids at the end):

    Node N          id, labels, properties[, element_id]
    Relationship R  id, start, end, type, properties[, element_id, start_element_id, end_element_id]
"""

from neo4j_bolt.packstream import Structure
from neo4j_bolt.values import to_json
from neo4j_values import plain

NODE, RELATIONSHIP = 0x4E, 0x52


class UnexpectedRecord(Exception):
    """A record that is not the node or relationship the query returns."""


def _single(record, tag, name, counts):
    if not isinstance(record, list) or len(record) != 1 or not isinstance(record[0], Structure) \
            or record[0].tag != tag:
        raise UnexpectedRecord("expected one %s per record, got %.80r" % (name, record))
    fields = record[0].fields
    if len(fields) not in counts:
        raise UnexpectedRecord("a %s with %d fields" % (name, len(fields)))
    return fields


def _check_identity(value):
    if not isinstance(value, str) or not value:
        raise UnexpectedRecord("an element id that is not a non-empty string")


def _properties(value, what, form):
    if not isinstance(value, dict):
        raise UnexpectedRecord("%s properties are not a map" % what)
    return {key: to_json(item, form) for key, item in value.items()}


def node_record(record, form=plain):
    """The JSON object for a record holding one Node; property values in
    `form` (neo4j_values.plain or neo4j_values.typed)."""
    fields = _single(record, NODE, "node", (3, 4))
    identity = fields[3] if len(fields) == 4 else str(fields[0])
    _check_identity(identity)
    labels = fields[1]
    if not isinstance(labels, list) or not all(isinstance(label, str) for label in labels):
        raise UnexpectedRecord("node labels are not a list of strings")
    return {"type": "node", "id": identity, "labels": labels,
            "properties": _properties(fields[2], "node", form)}


def relationship_record(record, form=plain):
    """The JSON object for a record holding one Relationship; property
    values in `form`, as for node_record."""
    fields = _single(record, RELATIONSHIP, "relationship", (5, 8))
    if len(fields) == 8:
        identity, start, end = fields[5], fields[6], fields[7]
    else:
        identity, start, end = (str(value) for value in fields[0:3])
    for value in (identity, start, end):
        _check_identity(value)
    if not isinstance(fields[3], str):
        raise UnexpectedRecord("relationship type is not a string")
    return {"id": identity, "type": "relationship", "label": fields[3],
            "start": {"id": start}, "end": {"id": end},
            "properties": _properties(fields[4], "relationship", form)}
