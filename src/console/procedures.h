// Console procedures: the operations of the console and the API that change
// the Engine beyond its registry — snapshot backup and restore, one step of
// the entropy worker, the bounded neighbourhood view, remote connection
// registration and the engine the serve command starts with — plus the
// console's entropy lab and ladder, which refuse corpora too large to build
// while every other request waits.
//
// Every procedure that changes the Engine records a change event. A failed
// procedure leaves the registry and the current database as they were.
// None is thread-safe: callers give the Engine exclusive use (the server
// holds its engine mutex).
#pragma once

#include <cstdint>
#include <string>

#include "console/console_result.h"

namespace orvane {

class Engine;
struct RemoteEndpoint;

// The largest corpus (people + papers) the console's lab and ladder build.
inline constexpr std::uint64_t kMaxConsoleLabNodes = 2000000;
// The node limit of the explore view of the console and the API.
inline constexpr std::size_t kExploreNodeLimit = 80;

// Saves the current database as a snapshot at `path`. Refuses to replace an
// existing regular file that is not a snapshot, leaving it untouched, with
// "refusing to replace PATH: it is not a Halvex snapshot", and a file the
// engine keeps another database in with "refusing to replace PATH: it holds
// the database NAME". The current database's own file is saved through the
// engine; any other path is written under its graph writer lock, failing
// with the lock's message when another process holds it. Throws "unknown
// database: NAME" and the snapshot writer's messages.
void backup(Engine& engine, const std::string& path);

// Loads the snapshot at `path` and installs it as "restored" (replacing an
// earlier one, in a file of its own when databases are kept), selects it
// and records a "restore" event with the path. Load and save failures
// propagate with their messages before anything changes.
void restore(Engine& engine, const std::string& path);

// Lays out the current database with the entropy worker (every answer stays
// the same), records an "entropy_optimize" event "jump BEFORE -> AFTER" with
// the mean edge jumps and resets the statements-since-optimisation count.
// Throws "unknown database: NAME" when the current database is missing.
void entropy_optimize(Engine& engine);

// The neighbourhood of identity `id` in the current database: breadth-first
// along outgoing relationships for at most `hops` levels, stopping once
// `limit` nodes are collected. A result of kind "graph" whose `nodes` lists
// the visited nodes in visiting order and whose `rels` lists the
// relationships between visited nodes met on the way, in the order met.
// Empty when `id` is not a node. Throws "unknown database: NAME".
ConsoleResult explore(const Engine& engine, std::uint64_t id, std::uint32_t hops, std::size_t limit);

// Appends `endpoint` to the engine's remote connections and records a
// "remote" event whose detail is its "http://HOST:PORT" address.
void add_remote_connection(Engine& engine, const RemoteEndpoint& endpoint);

// The engine of the serve command: the corpus of `people`, `papers` and
// `seed` as "orvane" (current), again as "simple", scrambled with mess level
// 1 as "messy" and level 3 as "chaotic", a seed-42 corpus of the same sizes
// as "replica", with `fabric` the "social" and "biblio" shards of "orvane",
// the remote connection "remote-1" to 127.0.0.1:7475, and last a "boot"
// event. Throws what corpus generation throws.
Engine make_demo_engine(std::uint64_t people, std::uint64_t papers, std::uint32_t seed, bool fabric);

// The entropy lab (mess `level`) and ladder documents for a corpus of
// `people` and `papers` with seed 42. Throws "entropy lab allows at most
// 2000000 nodes" when people + papers exceeds kMaxConsoleLabNodes.
std::string console_lab_document(std::uint64_t people, std::uint64_t papers, std::int32_t level);
std::string console_ladder_document(std::uint64_t people, std::uint64_t papers);

}  // namespace orvane
