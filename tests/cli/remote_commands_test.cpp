// The cutover and cloud commands through the real binary: the runbook, and
// the probe of closed and listening loopback ports.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/run_binary.h"

namespace orvane::testing {
namespace {

TEST(CutoverCommand, PrintsTheRunbook) {
  EXPECT_EQ(
      "{\"source\":{\"bolt\":\"neo4j://neo4j.example.com:7687\",\"http\":\"http://neo4j.example.com:7474\","
      "\"database\":\"neo4j\",\"dump_dir\":\"data\"},\"destination\":{\"host\":\"ORVANE_HOST\",\"database\":"
      "\"migrated\"},\"steps\":[{\"n\":1,\"where\":\"the Neo4j server you already run\",\"cmd\":\"neo4j-admin "
      "database dump neo4j --to-path=data\"},{\"n\":2,\"where\":\"Halvex\",\"cmd\":\"./build/orvane migrate "
      "--from data/neo4j.dump --out data/migrated.orv\"},{\"n\":3,\"where\":\"apps\",\"cmd\":\"point clients at "
      "the Halvex URL:port instead of neo4j://neo4j.example.com:7687\"}],\"formats\":[\"nodes.csv+rels.csv\","
      "\"relationships.csv\",\"nodes.jsonl+rels.jsonl\"],\"note\":\"Take the dump on the Neo4j host, copy it "
      "here and load it with migrate; Halvex never logs into Neo4j.\"}\n",
      orvane_output({"cutover"}));

  // --dump wins over --from; values with blanks are quoted for the shell.
  const auto doc = nlohmann::json::parse(orvane_output(
      {"cutover", "--from", "ignored", "--dump", "my dumps", "--host", "10.0.0.5", "--database", "db1", "--bolt",
       "bolt://old:7687"}));
  EXPECT_EQ("my dumps", doc["source"]["dump_dir"]);
  EXPECT_EQ("bolt://old:7687", doc["source"]["bolt"]);
  EXPECT_EQ("10.0.0.5", doc["destination"]["host"]);
  EXPECT_EQ("neo4j-admin database dump db1 --to-path='my dumps'", doc["steps"][0]["cmd"]);
  EXPECT_EQ("./build/orvane migrate --from 'my dumps/db1.dump' --out data/migrated.orv", doc["steps"][1]["cmd"]);
  EXPECT_EQ("point clients at the Halvex URL:port instead of bolt://old:7687", doc["steps"][2]["cmd"]);

  expect_refusal(run_orvane({"cutover", "--bolt"}), "error: missing value for --bolt\n");
}

TEST(CloudCommand, ProbesAndReports) {
  LoopbackPort closed(false), open(true);
  const std::string closed_port = std::to_string(closed.port()), open_port = std::to_string(open.port());

  // A closed port answers 1; --port alone moves the default address, and an
  // address without a port is probed on --port.
  auto r = run_orvane({"cloud", "--port", closed_port});
  EXPECT_EQ(1, r.status) << r.err;
  const auto endpoint = nlohmann::json::parse(r.out.substr(0, r.out.find('\n')));
  EXPECT_EQ("127.0.0.1:" + closed_port, endpoint["url"]);
  EXPECT_TRUE(endpoint["probed"]);
  EXPECT_FALSE(endpoint["reachable"]);
  EXPECT_FALSE(nlohmann::json::parse(r.out.substr(r.out.find('\n') + 1))["hosted"]);
  EXPECT_EQ(0, run_orvane({"cloud", "--url", "127.0.0.1", "--port", open_port}).status);
  r = run_orvane({"cloud", "--connection", " halvex://:s3cret@127.0.0.1:" + open_port + "/my%20db ", "--name", "lab"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(std::string::npos, r.out.find("s3cret"));
  EXPECT_EQ("{\"name\":\"lab\",\"url\":\"127.0.0.1:" + open_port + "\",\"port\":" + open_port +
                ",\"database\":\"my db\",\"connection\":\"halvex://127.0.0.1:" + open_port +
                "/my%20db\",\"uri\":\"http://127.0.0.1:" + open_port +
                "\",\"key_file\":\"\",\"password_set\":true,\"probed\":true,\"reachable\":true}",
            r.out.substr(0, r.out.find('\n')));

  const std::pair<std::vector<std::string>, std::string> failures[] = {
      {{"cloud", "--connection", "halvex://host:65536/db"}, "error: invalid connection string\n"},
      {{"cloud", "--url", "host:http"}, "error: invalid value for --url\n"},
  };
  for (const auto& [args, err] : failures) expect_refusal(run_orvane(args), err);
}

}  // namespace
}  // namespace orvane::testing
