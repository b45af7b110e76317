// neo4j-admin's import input: file groups with header files, delimiters,
// id spaces, id types, every property type, skips and their tolerance,
// each case written by the test and compared with the graph it gives as a
// whole; the argument forms of neo4j-admin's command line; Memgraph's
// importer fixtures read in place.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/database.h"
#include "io/admin_import.h"
#include "support/error_text.h"
#include "support/run_binary.h"

namespace orvane {
namespace {

using testing::TempDir;
using Files = std::vector<std::pair<std::string, std::string>>;

// "id:labels properties" per node in identity order, then
// "start-[TYPE properties]->end" per relationship, by the ids users see.
std::string describe(const Database& db) {
  std::string out;
  for (std::uint32_t i = 0; i < db.graph.node_count; ++i) {
    std::string labels;
    for (const std::uint16_t l : db.graph.labels_of(i)) labels += ":" + db.node_type_name(l);
    out += std::to_string(db.node_ids.id_of(i)) + labels + " " + db.node_properties(i).dump() + "\n";
  }
  for (std::uint32_t r = 0; r < db.graph.edges.size(); ++r) {
    const Edge& e = db.graph.edges[r];
    const nlohmann::json& props = db.relationship_properties(r);
    out += std::to_string(db.node_ids.id_of(e.src)) + "-[" + db.rel_type_name(e.type) +
           (props.empty() ? "" : " " + props.dump()) + "]->" + std::to_string(db.node_ids.id_of(e.dst)) + "\n";
  }
  return out;
}

struct Case {
  const char* what;
  Files files;
  std::vector<std::string> arguments;  // {dir}/ stands for the case's directory
  std::string expected;                // describe(), or the error's message; then the report's skips
};

void expect_imports(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const TempDir dir;
    for (const auto& [name, text] : c.files) testing::write_text_file(dir.file(name), text);
    std::vector<std::string> arguments;
    for (std::string a : c.arguments) {
      for (std::size_t at; (at = a.find("{dir}")) != std::string::npos;) a.replace(at, 5, dir.path());
      arguments.push_back(std::move(a));
    }
    std::string got;
    const std::string error = testing::error_of([&] {
      std::vector<std::string> rest;
      const AdminImportOptions options = parse_admin_import_arguments(arguments, rest);
      EXPECT_EQ(std::vector<std::string>{}, rest);
      AdminImportReport report;
      got = describe(import_admin_groups(options, &report));
      for (const std::string& s : report.skipped) got += "skipped " + s + "\n";
    });
    std::string expected = c.expected;
    for (std::size_t at; (at = expected.find("{dir}")) != std::string::npos;) expected.replace(at, 5, dir.path());
    EXPECT_EQ(expected, error.empty() ? got : error);
  }
}

TEST(AdminImport, GroupsHeadersAndIdSpaces) {
  expect_imports({
      {"one node file and one relationship file",
       {{"n.csv", "id:ID,name,:LABEL\n1,Ann,Person\n2,Bob,Person;Admin\n"},
        {"r.csv", ":START_ID,:END_ID,:TYPE,since:int\n1,2,KNOWS,2020\n"}},
       {"--nodes={dir}/n.csv", "--relationships={dir}/r.csv"},
       "1:Person {\"id\":\"1\",\"name\":\"Ann\"}\n2:Person:Admin {\"id\":\"2\",\"name\":\"Bob\"}\n"
       "1-[KNOWS {\"since\":2020}]->2\n"},
      {"a header file apart from its data files, labels and the type on the command line",
       {{"h.csv", ":ID|name:STRING\n"}, {"a.csv", "5|x\n"}, {"b.csv", "6|y\n\n"},
        {"rh.csv", ":START_ID|:END_ID\n"}, {"r.csv", "5|6\n"}},
       {"--delimiter", "|", "--nodes=Person:Thing={dir}/h.csv,{dir}/a.csv,{dir}/b.csv",
        "--relationships=LIKES={dir}/rh.csv,{dir}/r.csv"},
       "5:Person:Thing {\"name\":\"x\"}\n6:Person:Thing {\"name\":\"y\"}\n5-[LIKES]->6\n"},
      {"id spaces keep the same id apart; the ids then follow the import order",
       {{"p.csv", "personId:ID(Person),:LABEL\n1,Person\n2,Person\n"},
        {"f.csv", "forumId:ID(Forum),:LABEL\n1,Forum\n"},
        {"r.csv", ":START_ID(Forum),:END_ID(Person),:TYPE\n1,2,HAS_MEMBER\n"}},
       {"--nodes", "{dir}/p.csv", "--nodes", "{dir}/f.csv", "--relationships", "{dir}/r.csv"},
       "0:Person {\"personId\":\"1\"}\n1:Person {\"personId\":\"2\"}\n2:Forum {\"forumId\":\"1\"}\n"
       "2-[HAS_MEMBER]->1\n"},
      {"a relationship into the wrong id space names it",
       {{"p.csv", ":ID(Person)\n1\n"}, {"r.csv", ":START_ID(Person),:END_ID(Forum),:TYPE\n1,1,X\n"}},
       {"--nodes={dir}/p.csv", "--relationships={dir}/r.csv"},
       "{dir}/r.csv line 2: relationship to a missing node: :END_ID 1 in id space Forum (skip such with "
       "--skip-bad-relationships)"},
      {"integer ids: 007 and 7 are one node",
       {{"n.csv", ":ID,:LABEL\n007,A\n"}, {"r.csv", ":START_ID,:END_ID,:TYPE\n7,007,SELF\n"}},
       {"--id-type=INTEGER", "--nodes={dir}/n.csv", "--relationships={dir}/r.csv"}, "7:A {}\n7-[SELF]->7\n"},
      {"integer ids refuse text",
       {{"n.csv", ":ID\nx1\n"}}, {"--id-type", "integer", "--nodes={dir}/n.csv"},
       "{dir}/n.csv line 2: invalid integer id: x1"},
      {":IGNORE and a header of another case",
       {{"n.csv", ":id,skip:IGNORE,n:Long\n1,zzz,5\n"}}, {"--nodes={dir}/n.csv"}, "1 {\"n\":5}\n"},
      {"no :ID column", {{"n.csv", "name\nx\n"}}, {"--nodes={dir}/n.csv"},
       "{dir}/n.csv line 1: node header requires an :ID column"},
      {"a missing file", {}, {"--nodes={dir}/none.csv"}, "{dir}/none.csv: cannot be opened"},
  });
}

TEST(AdminImport, EveryTypeArraysAndStrings) {
  expect_imports({
      {"scalars in any case",
       {{"n.csv",
         ":ID,b:byte,s:SHORT,i:int,l:long,f:float,d:DOUBLE,t:boolean,c:char,x:string,"
         "day:date,lt:localtime,tm:time,ldt:localdatetime,dt:datetime,du:duration,p:point\n"
         "1,1,2,3,4,1.5,2.5,TRUE,c,text,2024-02-29,12:30,12:30+01:00,2024-02-29T12:30,2024-02-29T12:30Z,P1DT2H,"
         "\"{x:1,y:2}\"\n"}},
       {"--nodes={dir}/n.csv"},
       "1 {\"b\":1,\"c\":\"c\",\"d\":2.5,\"day\":{\"$type\":\"Date\",\"_value\":\"2024-02-29\"},"
       "\"dt\":{\"$type\":\"OffsetDateTime\",\"_value\":\"2024-02-29T12:30:00Z\"},"
       "\"du\":{\"$type\":\"Duration\",\"_value\":\"P1DT2H\"},\"f\":1.5,\"i\":3,\"l\":4,"
       "\"ldt\":{\"$type\":\"LocalDateTime\",\"_value\":\"2024-02-29T12:30:00\"},"
       "\"lt\":{\"$type\":\"LocalTime\",\"_value\":\"12:30:00\"},"
       "\"p\":{\"$type\":\"Point\",\"_value\":\"SRID=7203;POINT (1.0 2.0)\"},\"s\":2,\"t\":true,"
       "\"tm\":{\"$type\":\"Time\",\"_value\":\"12:30:00+01:00\"},\"x\":\"text\"}\n"},
      {"options in braces: a datetime's zone, a point's crs",
       {{"n.csv", ":ID,dt:datetime{timezone:+02:00},p:point{crs:WGS-84}\n1,2024-01-01T10:00,\"{latitude:1,longitude:2}\"\n"}},
       {"--nodes={dir}/n.csv"},
       "1 {\"dt\":{\"$type\":\"OffsetDateTime\",\"_value\":\"2024-01-01T10:00:00+02:00\"},"
       "\"p\":{\"$type\":\"Point\",\"_value\":\"SRID=4326;POINT (2.0 1.0)\"}}\n"},
      {"arrays split by the array delimiter, booleans as neo4j-admin reads them",
       {{"n.csv", ":ID\tn:LONG[]\tt:boolean[]\ts:STRING[]\n1\t1|2|3\ttrue|no|True\t a | b \n"}},
       {"--delimiter=TAB", "--array-delimiter", "U+007C", "--nodes={dir}/n.csv"},
       "1 {\"n\":[1,2,3],\"s\":[\" a \",\" b \"],\"t\":[true,false,true]}\n"},
      {"trimmed strings, and an empty quoted string ignored",
       {{"n.csv", ":ID,a,b,s:string[]\n1,\"  x \",\"\", p ; q \n"}},
       {"--trim-strings", "--ignore-empty-strings=true", "--nodes={dir}/n.csv"},
       "1 {\"a\":\"x\",\"s\":[\"p\",\"q\"]}\n"},
      {"an empty quoted string is a value unless ignored",
       {{"n.csv", ":ID,a\n1,\"\"\n2,\n"}}, {"--nodes={dir}/n.csv"}, "1 {\"a\":\"\"}\n2 {}\n"},
      {"a quote of another character, and a field over two lines allowed",
       {{"n.csv", ":ID,a\n1,'x,\ny'\n"}}, {"--quote='", "--multiline-fields", "--nodes={dir}/n.csv"},
       "1 {\"a\":\"x,\\ny\"}\n"},
      {"a field over two lines refused by default",
       {{"n.csv", ":ID,a\n1,\"x\ny\"\n"}}, {"--nodes={dir}/n.csv"},
       "{dir}/n.csv line 2: quoted CSV field spans lines (allow it with --multiline-fields=true)"},
      {"a value of the wrong type names its column",
       {{"n.csv", ":ID,n:int\n1,many\n"}}, {"--nodes={dir}/n.csv"},
       "{dir}/n.csv line 2, column 2 (n): invalid integer property"},
      {"an unknown type", {{"n.csv", ":ID,n:money\n"}}, {"--nodes={dir}/n.csv"},
       "{dir}/n.csv line 1: unsupported CSV property type: money"},
  });
}

TEST(AdminImport, SkipsAreCountedAndBounded) {
  const Files dirty = {{"n.csv", ":ID\n1\n1\n2\n2\n"}, {"r.csv", ":START_ID,:END_ID,:TYPE\n1,2,T\n1,9,T\n8,2,T\n"}};
  expect_imports({
      {"a duplicate fails by default", dirty, {"--nodes={dir}/n.csv"},
       "{dir}/n.csv line 3: duplicate node id 1 (skip such with --skip-duplicate-nodes)"},
      {"skipped and reported",
       dirty,
       {"--skip-duplicate-nodes", "--skip-bad-relationships=true", "--nodes={dir}/n.csv", "--relationships={dir}/r.csv"},
       "1 {}\n2 {}\n1-[T]->2\nskipped {dir}/n.csv line 3: duplicate node id 1\n"
       "skipped {dir}/n.csv line 5: duplicate node id 2\n"
       "skipped {dir}/r.csv line 3: relationship to a missing node: :END_ID 9\n"
       "skipped {dir}/r.csv line 4: relationship to a missing node: :START_ID 8\n"},
      {"more than the tolerance stops the import",
       dirty,
       {"--skip-duplicate-nodes", "--skip-bad-relationships", "--bad-tolerance=3", "--nodes={dir}/n.csv",
        "--relationships={dir}/r.csv"},
       "{dir}/r.csv line 4: import stopped: more than 3 bad entries (--bad-tolerance); this one: relationship to a "
       "missing node: :START_ID 8"},
  });
}

// Gzip and zip input as neo4j-admin reads it, told apart by the files'
// first bytes; a damaged stream fails with the file's position.
TEST(AdminImport, ReadsGzipAndZipFiles) {
  const TempDir dir;
  testing::write_text_file(dir.file("h.csv"), ":ID,name,:LABEL\n");
  const std::string script =
      "import gzip, zipfile, sys\n"
      "d = sys.argv[1]\n"
      "open(d + '/a.csv.gz', 'wb').write(gzip.compress(b'1,Ann,P\\n2,Bob,P\\n'))\n"
      "with zipfile.ZipFile(d + '/b.csv.zip', 'w', zipfile.ZIP_DEFLATED) as z:\n"
      "    z.writestr('folder/', '')\n"
      "    z.writestr('folder/b.csv', '3,Cid,P\\n')\n"
      "with zipfile.ZipFile(d + '/r.zip', 'w') as z:\n"
      "    z.writestr('r.csv', ':START_ID,:END_ID,:TYPE\\n1,3,T\\n')\n"
      "open(d + '/bad.csv.gz', 'wb').write(gzip.compress(b'4,Dan,P\\n' * 1000)[:200])\n"
      "with zipfile.ZipFile(d + '/empty.zip', 'w') as z:\n"
      "    z.writestr('only/', '')\n";
  ASSERT_EQ(0, testing::run_program({"python3", "-c", script, dir.path()}).status);
  AdminImportOptions options;
  options.nodes = {{{}, {dir.file("h.csv"), dir.file("a.csv.gz"), dir.file("b.csv.zip")}}};
  options.relationships = {{{}, {dir.file("r.zip")}}};
  EXPECT_EQ("1:P {\"name\":\"Ann\"}\n2:P {\"name\":\"Bob\"}\n3:P {\"name\":\"Cid\"}\n1-[T]->3\n",
            describe(import_admin_groups(options)));
  options.relationships.clear();
  options.nodes = {{{}, {dir.file("h.csv"), dir.file("bad.csv.gz")}}};
  EXPECT_TRUE(testing::error_of([&] { import_admin_groups(options); }).starts_with(dir.file("bad.csv.gz") + " line "))
      << testing::error_of([&] { import_admin_groups(options); });
  options.nodes = {{{}, {dir.file("empty.zip")}}};
  EXPECT_EQ(dir.file("empty.zip") + ": zip archive holds no file", testing::error_of([&] { import_admin_groups(options); }));
}

// A datetime column's named zone: values without an offset are local
// times on its clock, resolved by the caller's zone database (here one
// that knows a single zone an hour east of UTC); without one, refused.
TEST(AdminImport, NamedZonesOfDatetimeColumns) {
  const TempDir dir;
  testing::write_text_file(dir.file("n.csv"),
                           ":ID,at:datetime{timezone:Europe/Stockholm}\n1,2024-01-01T10:00\n2,2024-01-01T10:00Z\n");
  AdminImportOptions options;
  options.nodes = {{{}, {dir.file("n.csv")}}};
  EXPECT_EQ(dir.file("n.csv") + " line 2, column 2 (at): named time zones cannot be resolved here",
            testing::error_of([&] { import_admin_groups(options); }));
  options.resolve_zone = [](const std::string& zone, std::int64_t local) {
    if (zone != "Europe/Stockholm") throw std::runtime_error("Unknown time zone: " + zone);
    return std::pair<std::int64_t, std::int32_t>{local - 3600, 3600};
  };
  EXPECT_EQ("1 {\"at\":{\"$type\":\"ZonedDateTime\",\"_value\":\"2024-01-01T10:00:00+01:00[Europe/Stockholm]\"}}\n"
            "2 {\"at\":{\"$type\":\"OffsetDateTime\",\"_value\":\"2024-01-01T10:00:00Z\"}}\n",
            describe(import_admin_groups(options)));
}

TEST(AdminImport, ArgumentForms) {
  const struct {
    std::vector<std::string> arguments;
    std::string expected;  // groups and options, or the error
  } cases[] = {
      {{"--nodes=A:B=x.csv,y.csv", "--nodes", "z.csv", "--relationships:R=r.csv", "--out", "o.orv"},
       "nodes [A B](x.csv y.csv) [](z.csv) relationships [R](r.csv) rest --out o.orv"},
      {{"--nodes:A=x.csv", "--delimiter=\\t", "--quote", "U+0027", "--array-delimiter=|"},
       "nodes [A](x.csv) relationships rest delimiter 9 quote 39 array 124"},
      {{"--nodes=x.csv", "--skip-duplicate-nodes", "false", "--bad-tolerance", "-1"}, "nodes [](x.csv) relationships rest"},
      {{"--nodes="}, "--nodes needs a file"},
      {{"--relationships=A:B=r.csv"}, "--relationships takes one type: A:B"},
      {{"--delimiter=ab"}, "--delimiter must be one character, TAB, \\t or U+XXXX (below U+0080)"},
      {{"--id-type=uuid"}, "unknown --id-type: uuid; use string, integer or actual"},
      {{"--bad-tolerance=many"}, "--bad-tolerance must be a count, or -1 for no bound"},
      {{"--trim-strings=maybe"}, "--trim-strings takes true or false"},
      {{"--nodes"}, "missing value for --nodes"},
  };
  for (const auto& c : cases) {
    std::string got;
    const std::string error = testing::error_of([&] {
      std::vector<std::string> rest;
      const AdminImportOptions o = parse_admin_import_arguments(c.arguments, rest);
      const auto groups = [](const std::vector<ImportFileGroup>& list) {
        std::string text;
        for (const ImportFileGroup& g : list) {
          std::string names, files;
          for (const std::string& n : g.names) names += (names.empty() ? "" : " ") + n;
          for (const std::string& f : g.files) files += (files.empty() ? "" : " ") + f;
          text += " [" + names + "](" + files + ")";
        }
        return text;
      };
      got = "nodes" + groups(o.nodes) + " relationships" + groups(o.relationships) + " rest";
      for (const std::string& r : rest) got += " " + r;
      if (o.delimiter != ',') got += " delimiter " + std::to_string(o.delimiter);
      if (o.quote != '"') got += " quote " + std::to_string(o.quote);
      if (o.array_delimiter != ';') got += " array " + std::to_string(o.array_delimiter);
      EXPECT_FALSE(o.skip_duplicate_nodes);
    });
    EXPECT_EQ(c.expected, error.empty() ? got : error) << c.arguments.front();
  }
}

// Memgraph's importer fixtures, read in place with the arguments their
// layout needs.
TEST(AdminImport, MemgraphFixtures) {
  const std::string dir = std::string(ORVANE_SOURCE_DIR) + "/../shared/neo4j-samples/memgraph-fixtures";
  if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no shared samples beside the checkout";
  AdminImportOptions arrays;
  arrays.nodes = {{{}, {dir + "/array_types__nodes.csv"}}};
  arrays.relationships = {{{}, {dir + "/array_types__relationships.csv"}}};
  EXPECT_EQ(
      "0:Message:Comment:Entry0:hello {\"browser\":\"Chrome\",\"content\":\"yes\",\"country\":\"Croatia\"}\n"
      "1:Message:Comment:Entry1 {\"browser\":\"Chrome\",\"content\":\"thanks\",\"country\":\"United Kingdom\"}\n"
      "2:Message:Comment:Entry2:world {\"content\":\"LOL\",\"country\":\"Germany\"}\n"
      "3:Message:Comment:Entry3 {\"browser\":\"Firefox\",\"content\":\"I see\",\"country\":\"France\"}\n"
      "4:Message:Comment:Entry4:this:is:a: lot :of: labels {\"browser\":\"Internet Explorer\",\"content\":\"fine\","
      "\"country\":\"Italy\"}\n"
      "1-[KNOWS {\"value\":[\"5\",\" asd\",\" helloworld\"]}]->2\n4-[KNOWS {\"value\":[\"6\",\"hmmm\"]}]->0\n",
      describe(import_admin_groups(arrays)));
  AdminImportOptions fields;
  fields.nodes = {{{}, {dir + "/field_types__nodes.csv"}}};
  EXPECT_EQ(
      "0 {\"id\":\"0\",\"value_bool\":false,\"value_boolean\":true,\"value_byte\":3,\"value_char\":\"world\","
      "\"value_double\":3.141,\"value_float\":2.718,\"value_int\":1,\"value_integer\":5,\"value_long\":2,"
      "\"value_short\":4,\"value_str\":\"hello\"}\n",
      describe(import_admin_groups(fields)));
}

}  // namespace
}  // namespace orvane
