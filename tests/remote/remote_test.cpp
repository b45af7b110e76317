// Connection strings, endpoint listings and the runbook's shell quoting (the
// probe and the default runbook are shown through the cloud and cutover
// commands).
#include <gtest/gtest.h>

#include <cstdio>

#include <nlohmann/json.hpp>

#include "remote/cutover.h"
#include "remote/remote_endpoint.h"

namespace orvane {
namespace {

// url|port|password|key_file|database: every field parse_connection fills.
std::string fields(const RemoteEndpoint& e) {
  return e.url + "|" + std::to_string(e.port) + "|" + e.password + "|" + e.key_file + "|" + e.database;
}

TEST(Connection, ParsesEveryPart) {
  const std::pair<std::string, std::string> cases[] = {
      {" \thalvex://:p%40ss@db.example:7475/my%20db?key=/k \n", "db.example:7475|7475|p@ss|/k|my db"},
      {"db.example:9000/graph", "db.example:9000|9000||keep|graph"},
      {"user:pw:x@host", "host|7475|pw:x|keep|keep"},
      {"secret@host:1/", "host:1|1|secret|keep|"},
      {"h/x?key=&key_file=%2Fa%20b", "h|7475||/a b|x"},
      {"halvex://[::1]:7000/d%zz", "[::1]:7000|7000||keep|d%zz"},
  };
  for (const auto& [text, expected] : cases) {
    RemoteEndpoint e;
    e.key_file = e.database = "keep";
    EXPECT_TRUE(parse_connection(e, text) && expected == fields(e)) << text << " gave " << fields(e);
  }
  for (const std::string bad : {"", "  ", "halvex://", "h:0", "h:65536", "h:80x", ":7475/db", "[::1", "h:"}) {
    RemoteEndpoint e;
    e.url = "before:1";
    EXPECT_FALSE(parse_connection(e, bad)) << bad;
    EXPECT_EQ("before:1|7475|||", fields(e)) << bad;
  }
}

TEST(Connection, ListingShowsTheAddressButNeverThePassword) {
  RemoteEndpoint e;
  ASSERT_TRUE(parse_connection(e, "halvex://:p%40ss@db.example:7475/my%20db?key=/k"));
  EXPECT_EQ("{\"name\":\"remote-1\",\"url\":\"db.example:7475\",\"port\":7475,\"database\":\"my db\","
            "\"connection\":\"halvex://db.example:7475/my%20db\",\"uri\":\"http://db.example:7475\","
            "\"key_file\":\"/k\",\"password_set\":true,\"probed\":false,\"reachable\":false}",
            endpoint_json(e));
  e.database = "a/b c\xC3\xA9";
  e.url = "::1";  // an IPv6 literal has no port of its own
  EXPECT_EQ("halvex://[::1]:7475/a%2Fb%20c%C3%A9", connection_string(e));
  e.name = "n\"\t\x01";
  const auto list = nlohmann::json::parse(remotes_json({e, RemoteEndpoint{}}));
  EXPECT_EQ("n\"\t\x01", list["remotes"][0]["name"]);
  EXPECT_EQ("halvex://127.0.0.1:7475/", list["remotes"][1]["connection"]);  // empty url: the default address
  EXPECT_EQ(std::string::npos, remotes_json({e}).find("p@ss"));
}

// The oracle is the shell itself: each word must reach a program unchanged.
TEST(Cutover, ShellWordsSurviveTheShell) {
  for (const std::string word : {"plain-_./:@%+=,", "", "a b", "it's", "$(echo x)`id`;|&*?~!", "tab\there"}) {
    FILE* p = ::popen(("printf '[%s]' " + shell_word(word)).c_str(), "r");
    ASSERT_NE(nullptr, p) << word;
    std::string out;
    char buffer[256];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
    ::pclose(p);
    EXPECT_EQ("[" + word + "]", out);
  }
  EXPECT_EQ("plain-_./:@%+=,", shell_word("plain-_./:@%+=,"));
  CutoverOptions o;
  o.dump_dir = "my dumps";
  o.database = "it's";
  o.target = "a b";
  const auto doc = nlohmann::json::parse(cutover_runbook(o));
  EXPECT_EQ("neo4j-admin database dump 'it'\\''s' --to-path='my dumps'", doc["steps"][0]["cmd"]);
  EXPECT_EQ("./build/orvane migrate --from 'my dumps/it'\\''s.dump' --out 'data/a b.orv'", doc["steps"][1]["cmd"]);
}

}  // namespace
}  // namespace orvane
