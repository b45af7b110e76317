// Corpus generator.
//
// Random steps come from a 64-bit LCG (multiplier 0x5851F42D4C957F2D,
// increment 1) whose high 32 bits are used. The order of draws is part of
// the format: one per person (topic), one per preferential-attachment
// attempt (also attempts that hit the person itself), one per paper (topic),
// then per paper one for the author count and one per author. Changing it
// changes every later draw.
//
// Preferential attachment: a pool lists each person once per FOLLOWS pair it
// took part in; a uniform draw from the pool picks a target with probability
// proportional to its degree, with no searching. Every FOLLOWS has its
// reverse; repeated pairs collapse at compilation.
#include "graph/corpus.h"

#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "graph/memory_budget.h"

namespace orvane {
namespace {

struct Lcg64 {
  std::uint64_t state;
  std::uint32_t next() {
    state = state * 0x5851F42D4C957F2Dull + 1;
    return static_cast<std::uint32_t>(state >> 32);
  }
};

// "prefix" + decimal index, built without a temporary per digit.
std::string indexed_name(const char* prefix, std::uint64_t index) {
  std::string name(prefix);
  name += std::to_string(index);
  return name;
}

}  // namespace

Database& generate_corpus(Database& db, std::uint64_t persons, std::uint64_t papers, std::uint32_t seed) {
  constexpr std::uint64_t kLimit = 0xFFFFFFFEull;
  if (persons > kLimit || papers > kLimit || persons + papers > kLimit) {
    throw std::runtime_error("graph exceeds node-ID format limits");
  }
  // A generated node takes well over 512 bytes once compiled and laid out
  // (embedding, name, property object, arrays); refuse a corpus that cannot
  // fit before touching `db`.
  check_fits_in_memory(saturating_product(persons + papers, 512),
                       "a corpus of " + std::to_string(persons + papers) + " nodes");
  db = Database();
  Lcg64 rng{seed == 0 ? 1u : seed};
  const std::uint64_t total = persons + papers;
  db.names.reserve(total);
  db.topics.reserve(total);
  db.embeddings.reserve(total * db.embedding_dim);
  db.node_store.reserve(total);
  db.graph.labels.reserve(total);
  db.graph.to_physical.reserve(total);
  db.graph.to_logical.reserve(total);
  db.graph.out_degree.reserve(total);
  db.graph.edges.reserve(8 * persons + 2 * papers);

  std::vector<std::uint32_t> person_ids;
  person_ids.reserve(persons);
  for (std::uint64_t i = 0; i < persons; ++i) {
    const std::uint32_t topic = rng.next() & 15u;
    person_ids.push_back(db.add_person(indexed_name("person-", i), topic));
  }

  std::vector<std::uint32_t> pool;
  pool.reserve(8 * persons);
  const std::uint64_t m = persons < 4 ? persons : 4;
  for (std::uint64_t i = 1; i < m; ++i) {
    for (std::uint64_t j = 0; j < i; ++j) {
      db.add_follows(person_ids[i], person_ids[j]);
      db.add_follows(person_ids[j], person_ids[i]);
      pool.push_back(person_ids[i]);
      pool.push_back(person_ids[j]);
    }
  }
  if (pool.empty() && persons > 0) pool.push_back(person_ids[0]);
  for (std::uint64_t k = m; k < persons; ++k) {
    const std::uint32_t person = person_ids[k];
    for (int attempt = 0; attempt < 4; ++attempt) {
      if (pool.empty()) continue;
      const std::uint32_t r = rng.next();
      const std::uint32_t target = pool[r % static_cast<std::uint32_t>(pool.size())];
      if (target == person) continue;
      db.add_follows(person, target);
      db.add_follows(target, person);
      pool.push_back(person);
      pool.push_back(target);
    }
  }

  std::vector<std::uint32_t> paper_ids;
  paper_ids.reserve(papers);
  for (std::uint64_t i = 0; i < papers; ++i) {
    const std::uint32_t topic = rng.next() & 15u;
    paper_ids.push_back(db.add_paper(indexed_name("paper-", i), topic));
  }
  if (persons > 0) {
    const auto person_count = static_cast<std::uint32_t>(persons);
    for (const std::uint32_t paper : paper_ids) {
      const std::uint32_t authors = rng.next() % 3 + 1;
      for (std::uint32_t a = 0; a < authors; ++a) {
        db.add_authored(person_ids[rng.next() % person_count], paper);
      }
    }
  }

  // The random draws repeat some pairs; the corpus has each relationship
  // once, numbered in (source, target, type) order.
  db.graph.remove_duplicate_edges();
  db.compile();
  db.organise_properties();
  db.generated = true;
  return db;
}

}  // namespace orvane
