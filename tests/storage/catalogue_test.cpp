// The database catalogue: what it writes reads back, and a file that is
// not one (or that would lead a server to open or replace a file outside
// its folder) is refused with the reason.
#include <gtest/gtest.h>

#include "storage/catalogue.h"
#include "support/error_text.h"
#include "support/temp_dir.h"

namespace orvane::testing {
namespace {

TEST(Catalogue, RoundTripsAndRefusesWhatIsNotOne) {
  TempDir dir;
  const std::string path = catalogue_path(dir.file("g.orv"));
  EXPECT_EQ(dir.file("g.orv.catalog"), path);
  EXPECT_FALSE(read_catalogue(path).has_value());
  write_catalogue(path, {"b\"x", {{"a", "g.orv"}, {"b\"x", "b_x.orv"}}});
  const auto back = read_catalogue(path);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ("b\"x", back->current);
  ASSERT_EQ(2u, back->databases.size());
  EXPECT_EQ("b\"x b_x.orv", back->databases[1].name + " " + back->databases[1].file);

  const struct {
    std::string text, reason;
  } cases[] = {
      {"{", "[json.exception.parse_error.101] parse error at line 1, column 2: syntax error while parsing object key "
            "- unexpected end of input; expected string literal"},
      {"[]", "not a JSON object"},
      {R"({"version":2,"current":"a","databases":[]})", "unsupported version"},
      {R"({"version":1,"databases":[]})", "no current database"},
      {R"({"version":1,"current":"a"})", "no database list"},
      {R"({"version":1,"current":"a","databases":[{"name":"a"}]})", "a database entry needs a name and a file"},
      {R"({"version":1,"current":"a","databases":[{"name":"","file":"a.orv"}]})", "empty or repeated database name"},
      {R"({"version":1,"current":"a","databases":[{"name":"a","file":"a.orv"},{"name":"a","file":"b.orv"}]})",
       "empty or repeated database name"},
      {R"({"version":1,"current":"a","databases":[{"name":"a","file":"../a.orv"}]})",
       "file entry \"../a.orv\" is not a plain, unique file name"},
      {R"({"version":1,"current":"a","databases":[{"name":"a","file":".."}]})",
       "file entry \"..\" is not a plain, unique file name"},
      {R"({"version":1,"current":"a","databases":[{"name":"a","file":"x.orv"},{"name":"b","file":"x.orv"}]})",
       "file entry \"x.orv\" is not a plain, unique file name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    write_text_file(path, c.text);
    EXPECT_EQ("invalid database catalogue " + path + ": " + c.reason, error_of([&] { read_catalogue(path); }));
  }
}

}  // namespace
}  // namespace orvane::testing
