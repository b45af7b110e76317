"""Decoder of Neo4j `neo4j-admin` dumps into JSON-lines export directories.

The package reads a dump as a stream, keeps only the record store files it
needs (never the transaction logs), decodes nodes, relationships, labels,
types and every property, and writes nodes.jsonl and rels.jsonl.

Modules, each with one job:
  errors        the single exception type whose message is the user's error line
  container     dump layouts (DZV1/zstd, bare zstd, DGV1/gzip, gzip), the
                metadata header, and the decompressing stream
  archive       streams the tar, spools the needed store files, checks counts
  store_format  reads the store version from `neostore`; refuses what it
                cannot decode (high_limit, block, unknown versions)
  stores        fixed-size record stores, dynamic (chained) stores, tokens
  records       node, relationship and property record layouts
  values        property blocks and dynamic payloads into the values of
                neo4j_values (beside this package), which writes them as JSON
  temporal      ISO-8601 text of Neo4j's temporal values
  graph         walks the stores and yields node and relationship objects
  output        writes the two files under temporary names, renames at the end;
                property values in the plain or the typed JSON form
  convert       the whole conversion, called by scripts/import_neo4j_dump.py
"""
