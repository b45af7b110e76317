// The usage text. Users and scripts read it; keep it byte for byte.
#include "cli/usage.h"

#include <iostream>

namespace orvane {

void print_usage() {
  static const char kUsage[] =
      R"(orvane                            start Halvex and open its Browser
orvane start [--no-browser] [--port N]
orvane stop | status | restart    manage your local database

Advanced commands:
  demo                              toy graph + entropy worker
  generate [--people N] [--papers N] [--seed S] [--out DIR]
                                    build corpus, optimize, write Neo4j CSVs
  bench    [--db SNAP | --people N --papers N --seed S] [--hub N] [--hops-only] [--json PATH]
                                    timings; --hub start node; --hops-only skips walk explosion
  query    --gql 'MATCH ...' [--db SNAP | --people N ...]
           [--out SNAP] [--empty] [--params JSON] [--param NAME=VALUE ...]
                                    run statements (several separated by ;); --out saves the result graph
  shell    --db PATH [--params JSON] [--param NAME=VALUE ...]
                                    persistent interactive shell; statements end with ;
                                    --params '{"name": value}' sets parameters from a JSON object;
                                    --param name=VALUE one, VALUE a Cypher literal (3, 'a', [1, 2],
                                    {a: 1}); repeatable, and wins over --params
  export   --db SNAP --out DIR [--format csv|jsonl]
                                    export labels, properties and relationships to a new directory
  snapshot [--out PATH] [--people N] [--papers N] [--seed S]
                                    write a durable mmap snapshot
  serve    [--db SNAP | --people N --papers N] [--port N] [--web DIR] [--site DIR] [--no-fabric]
                                    foreground server; automatic data directory unless --db is supplied
           [--query-timeout MS] [--query-memory MIB] [--query-steps N]
                                    bound each statement (query and shell too); 5000, 1024, 10000000
           [--bolt-port N | --no-bolt]
                                    Bolt for Neo4j's drivers, on 7687 by default (start takes them too)
  site     [--port N] [--site DIR]
                                    marketing website as the document root
  entropy-lab [--people N] [--papers N] [--mess 1-3] [--json PATH]
                                    scramble graph, query, optimize, compare
  entropy-ladder [--people N] [--papers N] [--json PATH]
                                    mess 1 → 2 → 3 → optimize, answers identical
  migrate  --from DIR_OR_DUMP_OR_APOC_FILE --out SNAP [--reduce]
           --bolt bolt://HOST:7687 --from NEW_DIR --out SNAP [--user U] [--password P] [--reduce]
           --nodes[=Labels]=FILES --relationships[=TYPE]=FILES [neo4j-admin's options] --out SNAP
                                    CSV dump, or pull a live Neo4j and compile CSR; --reduce imports
                                    a reduced graph where the model cannot hold it, and reports how
  cutover  [--bolt URI] [--dump DIR] [--host IP]
                                    emit a Neo4j → Halvex port runbook
  cloud    [--connection halvex://HOST:PORT/DB] [--url HOST:PORT]
           [--password P] [--key PATH] [--name N]
                                    probe a Halvex already running (no VM create)
  gpu      [--db SNAP | --people N ...]
                                    GPU retrieve probe (CPU fallback if no device)
  rag      [--people N] [--k 10] [--topics 8] [--iters N] [--json PATH]
                                    CPU GraphRAG pack (cosine papers + authors + FOLLOWS)
  dim-stress [--n N] [--k 10] [--iters 8] [--dims 32,256,384,768,1024,1536] [--json PATH]
                                    standalone n×dim cosine + host top-k (32-d → 1536-d)
)";
  std::cout << kUsage;
  std::cout.flush();
}

}  // namespace orvane
