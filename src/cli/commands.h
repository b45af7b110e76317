// Command handlers. Each takes the whole argument vector, reads its own
// options with option_value and returns the exit status; failures are
// exceptions carrying the whole user-facing message.
#pragma once

#include <string>

namespace orvane {

class Database;

int run_main(int argc, char** argv);

// The graph source shared by commands: --db snapshot, --empty, or the
// generated corpus of --people (20000), --papers (8000) and --seed (42).
Database load_graph(int argc, char** argv);

int run_demo();
int run_schema(int argc, char** argv);

// Runs one input (--gql, or the argument right after the word) of one or
// more statements separated by ";" through the console
// (console/statement_batch.h) on the load_graph graph (only with --db,
// --people or --papers; an empty graph otherwise) registered as "neo4j",
// with the --params and --param values (cli/query_parameters.h) as the
// session's parameters, and prints each statement's JSON on a line of its
// own, stopping at the first failure. When any statement changes the
// graph (is_mutating_statement), the graph is saved to --out, which
// defaults to --db then, under the writer lock of that path taken before
// the graph is loaded; without either it fails with "a mutating query
// requires --db PATH or --out PATH; use shell for a new persistent graph".
// The graph is saved when any statement succeeded (with --out, a read
// too), before anything is printed. Returns 2 without a statement, 1 when
// a statement fails ("error: MESSAGE" on standard error after the answers
// of the statements before it).
int run_query_command(int argc, char** argv);

// True when a query-command statement changes the graph: lower-cased and
// without leading white space before and after an optional "profile "
// prefix, it begins with "create " or "load ", or it holds "call
// orvane.migrate", "call orvane.restore" or "call orvane.loadfromneo4j".
bool is_mutating_statement(const std::string& statement);

// The persistent shell over the --db file ("shell requires --db PATH; a
// missing file starts an empty graph" without it): reads statements ending
// with ";" (a colon command ends with its line; console/statement_scanner.h)
// from standard input, runs each through the console dispatcher with the
// --params and --param values as the session's first :param values, and
// saves the graph atomically after each that succeeds, all under the file's
// writer lock. Returns 1 when any statement failed or input ended inside a
// statement, else 0; throws "shell statement exceeds 64 KiB" for a longer
// statement and the parameter, lock, load and save messages.
int run_shell(int argc, char** argv);

// Writes the load_graph graph to --out (default "data/graph.orv") under the
// writer lock of that path, then "wrote PATH nodes=N edges=M". Lock, load
// and save failures propagate with their messages.
int run_snapshot(int argc, char** argv);

// Exports the --db snapshot to the new directory --out in --format (csv,
// the default, or jsonl); "export requires --db SNAP --out NEW_DIRECTORY"
// when either is missing.
int run_export(int argc, char** argv);

// Migrates --from (an export directory or a ".dump" archive), or with
// --bolt pulls a live Neo4j (--user, --password, --database) into the new
// directory --from (default "data/from-neo4j"), and saves the result to the
// snapshot --out under its writer lock; prints "migrated from ..." or
// "loaded from ..." with the counts, then "snapshot PATH". Throws "migrate
// requires an explicit source and --out SNAP to persist the imported graph"
// when --from or --out is missing, and the lock's, migration's and save's
// messages; an existing --out is replaced only by a complete import.
int run_migrate(int argc, char** argv);

// Generates the --people/--papers/--seed corpus and writes its
// benchmark-layout CSV files into --out (default "data").
int run_generate(int argc, char** argv);

// Benchmark commands: bench returns 2 when --hub is not a node; the entropy
// commands return 1 when a renumbering changed a query answer.
int run_bench(int argc, char** argv);
int run_entropy_lab(int argc, char** argv);
int run_entropy_ladder(int argc, char** argv);
int run_rag(int argc, char** argv);
int run_gpu(int argc, char** argv);
int run_dim_stress(int argc, char** argv);

// Prints the cutover runbook for --bolt, --from/--dump (--dump wins),
// --host and --database; returns 0.
int run_cutover(int argc, char** argv);
// Probes the endpoint named by --connection, --url/--host, --port and the
// other endpoint options; prints its JSON and the hosted-offering document.
// Returns 0 when it is reachable, 1 otherwise; throws "invalid connection
// string" or "invalid value for --url" for an address that does not parse.
int run_cloud(int argc, char** argv);

// Serves the console in the foreground on --port (7475) over the --db
// graph (default: the application directory's graph.orv, under its writer
// lock), an empty "orvane" database, or the demonstration engine; prints the
// start-up lines and returns 0 after SIGTERM or SIGINT. Lock, load, save
// and server-start failures propagate with their messages.
int run_serve(int argc, char** argv);

// Serves only the static site with a tiny demonstration graph on --port
// (8080) until the process is ended by a signal.
int run_site(int argc, char** argv);

}  // namespace orvane
