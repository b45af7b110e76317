// The retrieval document: a GraphRAG pack rendered for people, with each
// hit paper written out as a short text (topic, authors, related papers by
// the same authors, the size of the subgraph around it) ready to be handed
// to a language model.
//
// Names come from the Database (valid UTF-8, enforced on entry) and are
// JSON-escaped here; scores are finite by construction (see retrieval.cpp).
#include <chrono>
#include <cmath>
#include <sstream>

#include "analytics/retrieval.h"
#include "graph/database.h"
#include "graph/json_text.h"

namespace orvane {
namespace {

std::string score_text(float score) {
  if (!std::isfinite(score)) return "0";
  std::ostringstream out;
  out << score;
  return out.str();
}

// " NAME, NAME, NAME" as it appears after a label in the document text.
std::string name_list(const std::vector<std::string>& names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) out += (i ? ", " : " ") + names[i];
  return out;
}

struct PaperContext {
  std::vector<std::string> authors;  // names, in the paper's incoming AUTHORED order
  std::vector<std::string> related;  // the authors' other papers, at most 6, duplicates kept
};

PaperContext context_of(const Database& db, std::uint32_t id) {
  PaperContext c;
  const PhysicalGraph& g = db.graph;
  if (!g.compiled || id >= g.node_count) return c;
  const std::uint32_t paper = g.to_physical[id];
  for (const std::uint32_t a : g.typed_in_neighbors(paper, db.authored_type)) {
    c.authors.push_back(db.names[g.to_logical[a]]);
  }
  for (const std::uint32_t a : g.typed_in_neighbors(paper, db.authored_type)) {
    for (const std::uint32_t other : g.typed_out_neighbors(a, db.authored_type)) {
      if (other != paper) c.related.push_back(db.names[g.to_logical[other]]);
    }
  }
  if (c.related.size() > 6) c.related.resize(6);
  return c;
}

}  // namespace

std::string retrieval_document_json(const Database& db, const float* query, std::uint64_t k, int hops) {
  const auto start = std::chrono::steady_clock::now();
  const RagPack pack = graphrag_pack(db, query, db.embedding_dim, k, hops);
  const double pack_ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  const std::uint64_t n = db.graph.node_count;

  std::ostringstream hits, documents;
  for (std::size_t i = 0; i < pack.paper_ids.size(); ++i) {
    const std::uint32_t id = pack.paper_ids[i];
    const float score = i < pack.paper_scores.size() ? pack.paper_scores[i] : 0.0f;
    const std::uint32_t topic = id < n && id < db.topics.size() ? db.topics[id] : 0;
    const std::string name = id < db.names.size() ? db.names[id] : std::string();
    std::ostringstream common;
    common << "\"id\":" << db.node_id(id) << ",\"name\":" << json_string(name) << ",\"score\":" << score_text(score)
           << ",\"topic\":" << topic << ",\"topic_label\":" << json_string(topic_name(topic));
    hits << (i ? "," : "") << "{" << common.str() << "}";

    const PaperContext c = context_of(db, id);
    std::ostringstream text;
    text << name << " is a " << topic_name(topic) << " paper (topic " << topic << ").";
    if (!c.authors.empty()) text << " Authors:" << name_list(c.authors) << ".";
    if (!c.related.empty()) text << " Related papers by those authors:" << name_list(c.related) << ".";
    text << ' ' << pack.hops << "-hop subgraph has " << pack.subgraph_nodes << " nodes (" << pack.subgraph_people
         << " people, " << pack.subgraph_papers << " papers).";
    text << " Retrieved by Halvex cosine" << (pack.gpu ? " on GPU." : " on CPU.");
    documents << (i ? "," : "") << "{" << common.str() << ",\"text\":" << json_string(text.str()) << ",\"authors\":[";
    for (std::size_t a = 0; a < c.authors.size(); ++a) documents << (a ? "," : "") << json_string(c.authors[a]);
    documents << "]}";
  }

  std::ostringstream out;
  out.setf(std::ios::fixed);
  out.precision(3);
  out << "{\"k\":" << k << ",\"expand_hops\":" << hops << ",\"hops\":" << pack.hops << ",\"pack_ns\":" << pack_ns
      << ",\"retrieve_ns\":" << pack.retrieve_ns << ",\"expand_ns\":" << pack.expand_ns
      << ",\"e2e_ns\":" << pack.retrieve_ns + pack.expand_ns << ",\"gpu\":" << (pack.gpu ? "true" : "false")
      << ",\"gpu_name\":" << json_string(gpu_device_name()) << ",\"hits\":[" << hits.str() << "],\"documents\":["
      << documents.str() << "],\"papers\":" << pack.papers << ",\"authors\":" << pack.authors
      << ",\"related_papers\":" << pack.related_papers << ",\"followed\":" << pack.followed
      << ",\"context_nodes\":" << pack.context_nodes << ",\"subgraph_nodes\":" << pack.subgraph_nodes
      << ",\"subgraph_people\":" << pack.subgraph_people << ",\"subgraph_papers\":" << pack.subgraph_papers
      << ",\"note\":\"hits are the most similar papers by cosine over node embeddings; documents add their "
         "authors, related papers and the subgraph around them\"}";
  return out.str();
}

}  // namespace orvane
