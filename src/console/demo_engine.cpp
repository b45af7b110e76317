// make_demo_engine: the databases a server starts with when it has no graph
// of its own. One corpus appears in several states — as generated
// ("orvane", "simple"), with its layout scrambled at two mess levels
// ("messy", "chaotic"), regenerated with the fixed seed 42 ("replica") —
// so the console can compare layouts and roles side by side, and the
// fabric splits "orvane" into a FOLLOWS shard ("social") and an AUTHORED
// shard ("biblio") that keep the original identities.
#include "console/engine.h"
#include "console/procedures.h"
#include "graph/corpus.h"
#include "layout/entropy_worker.h"
#include "remote/remote_endpoint.h"

namespace orvane {
namespace {

Database corpus(std::uint64_t people, std::uint64_t papers, std::uint32_t seed) {
  Database db;
  generate_corpus(db, people, papers, seed);
  return db;
}

Database messed_corpus(std::uint64_t people, std::uint64_t papers, std::uint32_t seed, std::int32_t level,
                       std::uint32_t mess_seed) {
  Database db = corpus(people, papers, seed);
  apply_mess(db, level, mess_seed);
  db.compile();
  return db;
}

// The shards of `d`: every person in both (same identities, names and
// topics), papers only in "biblio", FOLLOWS only in "social" and AUTHORED
// only in "biblio". The generator creates all persons before all papers,
// so identities line up without a mapping.
void set_up_fabric(Engine& engine, const Database& d) {
  Database social, biblio;
  for (std::uint64_t i = 0; i < d.people; ++i) {
    social.add_person(d.names[i], d.topics[i]);
    biblio.add_person(d.names[i], d.topics[i]);
  }
  for (std::uint64_t i = d.people; i < d.people + d.papers; ++i) biblio.add_paper(d.names[i], d.topics[i]);
  const PhysicalGraph& g = d.graph;
  if (g.out_offsets.size() >= 2) {
    for (std::uint64_t p = 0; p < g.node_count; ++p) {
      for (std::uint32_t s = g.out_offsets[p]; s < g.out_offsets[p + 1]; ++s) {
        const std::uint32_t src = g.to_logical[p], dst = g.to_logical[g.out_targets[s]];
        if (g.out_types[s] == d.follows_type) {
          social.add_follows(src, dst);
        } else if (g.out_types[s] == d.authored_type) {
          biblio.add_authored(src, dst);
        }
      }
    }
  }
  social.compile();
  optimize_layout(social);
  biblio.compile();
  optimize_layout(biblio);
  social.generated = biblio.generated = true;  // the corpus's own nodes, under its identities
  engine.register_database("social", std::move(social));
  engine.register_database("biblio", std::move(biblio));
  engine.record_change("fabric", "social+biblio");
}

}  // namespace

Engine make_demo_engine(std::uint64_t people, std::uint64_t papers, std::uint32_t seed, bool fabric) {
  Engine engine;
  engine.register_database("orvane", corpus(people, papers, seed));
  engine.use_database("orvane");
  engine.register_database("simple", corpus(people, papers, seed));
  engine.register_database("messy", messed_corpus(people, papers, seed, 1, seed + 1));
  engine.register_database("chaotic", messed_corpus(people, papers, seed, 3, seed + 3));
  const Database& current = engine.database();
  engine.register_database("replica", corpus(current.people, current.papers, 42));
  if (fabric) set_up_fabric(engine, engine.database());

  RemoteEndpoint self;
  self.name = "remote-1";
  self.url = kDefaultRemoteUrl;
  self.port = kDefaultRemotePort;
  add_remote_connection(engine, self);
  engine.record_change("boot", "production engine");
  return engine;
}

}  // namespace orvane
