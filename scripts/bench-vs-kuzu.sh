#!/bin/sh
# Statements in orvane and Kùzu 0.11.3 on the same generated corpora, in
# one run: the whole-graph counts, breadth-first reach and the cycle through
# a hub that the counting planner answers, the three statements of
# scripts/bench-query.sh, and statements over properties (a range filter, an
# ORDER BY with LIMIT, a grouped count, an OPTIONAL MATCH count, a two-hop
# pattern's rows with LIMIT), which run on the corpus as migrated from its
# CSV files, so that both engines hold the same properties. For each corpus
# size it prints both times (best of RUNS), the ratio Kùzu/orvane and
# whether the answers agree (a count, a digest of the rows in order, or the
# number of rows for a LIMIT without ORDER BY, whose rows either engine may
# choose); it exits 1 when any answer differs. Not part of `make test`.
#
#   scripts/bench-vs-kuzu.sh [BUILD_DIR] [SIZES]
#
# SIZES is a space-separated list of PERSONS/PAPERS (default
# "20000/8000 200000/80000 1000000/400000"). Kùzu is installed from npm
# into a scratch folder (BENCH_DIR, default BUILD_DIR/bench-vs-kuzu), which
# also holds the corpora; RUNS (default 3) and KUZU_THREADS (default 2)
# can be set in the environment, ONLY (a regular expression the statement
# names must match), and ORVANE (a binary to measure instead
# of BUILD_DIR's).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
build="${1:-build}"
sizes="${2:-20000/8000 200000/80000 1000000/400000}"
runs="${RUNS:-3}"
threads="${KUZU_THREADS:-2}"
scratch="${BENCH_DIR:-$build/bench-vs-kuzu}"
mkdir -p "$scratch"
scratch=$(cd "$scratch" && pwd)

# ORVANE names a binary to measure instead of building BUILD_DIR's (a
# copy, so that the build can go on while the benchmark runs).
if [ -n "${ORVANE:-}" ]; then
  orvane=$(cd "$(dirname "$ORVANE")" && pwd)/$(basename "$ORVANE")
else
  cmake --build "$build" --target orvane >/dev/null
  orvane="$root/$build/orvane"
fi

if [ ! -f "$scratch/node/node_modules/kuzu/kuzujs.node" ]; then
  mkdir -p "$scratch/node"
  (cd "$scratch/node" && npm install --no-save --no-package-lock --ignore-scripts kuzu@0.11.3 >/dev/null &&
    cd node_modules/kuzu && { [ -f kuzujs.node ] || node install.js >/dev/null; })
fi

# name, orvane statement, Kùzu statement, correction added to Kùzu's count,
# how the answer is compared (count, rows or size; see bench_kuzu.js) and
# the corpus file (graph: generated, props: migrated from the CSV files).
# Kùzu's variable-length relationships follow walks, which would list every
# walk; its breadth-first form (SHORTEST) gives the distinct nodes at
# distance 1 … k, without the start. The start counts in *0..3 (zero hops)
# and in *1..4, because person 0 is in the seed clique, whose FOLLOWS are
# reciprocal, so it ends a path of two hops back to itself: both add 1.
statements="$scratch/statements.tsv"
tab=$(printf '\t')
cat >"$statements" <<TSV
follows${tab}MATCH (a:Person)-[:FOLLOWS]->(b) RETURN count(*)${tab}MATCH (a:Person)-[:FOLLOWS]->(b) RETURN count(*)${tab}0
follows2${tab}MATCH (a:Person)-[:FOLLOWS]->(b)-[:FOLLOWS]->(c) RETURN count(*)${tab}MATCH (a:Person)-[:FOLLOWS]->(b)-[:FOLLOWS]->(c) RETURN count(*)${tab}0
reach0_3 (ql_hop3)${tab}MATCH (p:Person {id: 0})-[:FOLLOWS*0..3]->(x) RETURN count(DISTINCT x)${tab}MATCH (p:Person {id: 0})-[:FOLLOWS* SHORTEST 1..3]->(x) RETURN count(DISTINCT x)${tab}1
reach1_4${tab}MATCH (p:Person {id: 0})-[:FOLLOWS*1..4]->(x) RETURN count(DISTINCT x)${tab}MATCH (p:Person {id: 0})-[:FOLLOWS* SHORTEST 1..4]->(x) RETURN count(DISTINCT x)${tab}1
triangle (ql_triangle)${tab}MATCH (p:Person {id: 0})-[:FOLLOWS]->()-[:FOLLOWS]->()-[:FOLLOWS]->(p) RETURN count(*)${tab}MATCH (p:Person {id: 0})-[:FOLLOWS]->()-[:FOLLOWS]->()-[:FOLLOWS]->(p) RETURN count(*)${tab}0
ql_coauthors${tab}MATCH (p:Person {id: 0})-[:AUTHORED]->()<-[:AUTHORED]-(co) WHERE co <> p RETURN count(DISTINCT co)${tab}MATCH (p:Person {id: 0})-[:AUTHORED]->(:Paper)<-[:AUTHORED]-(co:Person) WHERE co.id <> p.id RETURN count(DISTINCT co)${tab}0
triangles${tab}MATCH (a:Person)-[:FOLLOWS]->(b:Person)-[:FOLLOWS]->(c:Person)-[:FOLLOWS]->(a) RETURN count(*)${tab}MATCH (a:Person)-[:FOLLOWS]->(b:Person)-[:FOLLOWS]->(c:Person)-[:FOLLOWS]->(a) RETURN count(*)${tab}0
topic_range${tab}MATCH (p:Person) WHERE p.topic >= 10 AND p.topic < 20 RETURN count(*)${tab}MATCH (p:Person) WHERE p.topic >= 10 AND p.topic < 20 RETURN count(*)${tab}0${tab}count${tab}props
top10_names${tab}MATCH (p:Person) RETURN p.name ORDER BY p.name DESC LIMIT 10${tab}MATCH (p:Person) RETURN p.name ORDER BY p.name DESC LIMIT 10${tab}0${tab}rows${tab}props
per_topic${tab}MATCH (p:Person) RETURN p.topic AS topic, count(*) AS n ORDER BY topic${tab}MATCH (p:Person) RETURN p.topic AS topic, count(*) AS n ORDER BY topic${tab}0${tab}rows${tab}props
optional_count${tab}MATCH (p:Person) OPTIONAL MATCH (p)-[:AUTHORED]->(x:Paper) RETURN count(x)${tab}MATCH (p:Person) OPTIONAL MATCH (p)-[:AUTHORED]->(x:Paper) RETURN count(x)${tab}0${tab}count${tab}props
two_hop_rows${tab}MATCH (a:Person)-[:FOLLOWS]->(b:Person)-[:AUTHORED]->(c:Paper) RETURN a.name, c.name LIMIT 10${tab}MATCH (a:Person)-[:FOLLOWS]->(b:Person)-[:AUTHORED]->(c:Paper) RETURN a.name, c.name LIMIT 10${tab}0${tab}size${tab}props
TSV
# ONLY (a regular expression over the names) keeps some statements.
if [ -n "${ONLY:-}" ]; then
  grep -E "^(${ONLY})$tab" "$statements" >"$statements.only" || true
  mv "$statements.only" "$statements"
fi

# The best statement time of orvane over RUNS runs in one shell, as its
# statement log (:history) records them (statement to answer, without
# loading the snapshot), and the method from one PROFILE run:
# "answer<TAB>ms<TAB>method", or "refused<TAB>-<TAB>message". PROFILE's
# own time is not used: it reads a clock around every operator call. The
# answer of a count is PROFILE's rows; of rows and size, read from one run
# of the statement itself as bench_kuzu.js reads Kùzu's.
orvane_time() {
  mode=${3:-count}
  if ! out=$("$orvane" query "PROFILE $2" --db "$1" </dev/null 2>&1); then
    printf 'refused\t-\t%s\n' "$(printf '%s' "$out" | sed 's/^error: //' | head -c 60)"
    return
  fi
  line=$(printf '%s' "$out" | node -e '
    const p = JSON.parse(require("fs").readFileSync(0, "utf8"));
    const methods = ["CountByDegree", "BreadthFirstReach", "LevelCount", "CycleCount", "NodeCountFromCountStore"];
    const find = (op) => methods.includes(op.operator) ? op.operator : (op.children || []).map(find).find((m) => m);
    console.log(p.rows + "\t" + (find(p) || "pipeline"));')
  ms=$({
    i=0
    while [ "$i" -lt "$runs" ]; do
      i=$((i + 1))
      printf '%s;\n' "$2"
    done
    printf ':history\n'
  } | "$orvane" shell --db "$1" 2>/dev/null | tail -1 | node -e '
    const log = JSON.parse(require("fs").readFileSync(0, "utf8")).queries.filter((q) => q.ok);
    console.log(log.length ? (Math.min(...log.map((q) => q.ns)) / 1e6).toFixed(3) : "-");')
  result=$(printf '%s' "$line" | awk -F'\t' -v ms="$ms" 'BEGIN { OFS = "\t" } { print $1, ms, $2 }')
  if [ "$mode" != count ]; then
    got=$("$orvane" query "$2" --db "$1" </dev/null 2>/dev/null | MODE=$mode node -e '
      const rows = JSON.parse(require("fs").readFileSync(0, "utf8")).rows;
      if (process.env.MODE === "size") console.log(rows.length);
      else console.log(require("crypto").createHash("sha1").update(JSON.stringify(rows)).digest("hex").slice(0, 12));')
    result=$(printf '%s' "$result" | awk -F'\t' -v a="$got" 'BEGIN { OFS = "\t" } { $1 = a; print }')
  fi
  printf '%s\n' "$result"
}

status=0
printf '%-22s %-16s %12s %11s %10s %10s %8s  %s\n' statement corpus count orvane_ms kuzu_ms kuzu/orv agree method
for size in $sizes; do
  people=${size%/*}
  papers=${size#*/}
  dir="$scratch/corpus-$people"
  if [ ! -f "$dir/props.orv" ]; then
    rm -rf "$dir"
    mkdir -p "$dir"
    "$orvane" generate --people "$people" --papers "$papers" --out "$dir/csv" >/dev/null
    "$orvane" snapshot --people "$people" --papers "$papers" --out "$dir/graph.orv" >/dev/null
    "$orvane" migrate --from "$dir/csv" --out "$dir/props.orv" >/dev/null
    # Kùzu tables: one file per label and type; the embeddings stay behind.
    awk -F, -v dir="$dir" 'NR > 1 {
        label = $NF; gsub(/"/, "", label); file = dir "/" tolower(label) ".csv"
        if (!(file in seen)) { print "id,name,topic" > file; seen[file] = 1 }
        print $1 "," $2 "," $3 > file }' "$dir/csv/nodes.csv"
    awk -F, -v dir="$dir" 'NR > 1 {
        type = $3; gsub(/"/, "", type); file = dir "/" tolower(type) ".csv"
        if (!(file in seen)) { print "from,to" > file; seen[file] = 1 }
        print $1 "," $2 > file }' "$dir/csv/rels.csv"
  fi
  rm -rf "$dir/kuzu-db"
  (cd "$scratch/node" && NODE_PATH="$scratch/node/node_modules" node "$root/scripts/bench_kuzu.js" "$dir/kuzu-db" "$dir" "$statements" "$runs" "$threads") \
    >"$dir/kuzu.tsv"
  while IFS="$tab" read -r name ours theirs correction mode corpus; do
    o=$(orvane_time "$dir/${corpus:-graph}.orv" "$ours" "${mode:-count}")
    o_count=$(printf '%s' "$o" | cut -f1)
    o_ms=$(printf '%s' "$o" | cut -f2)
    method=$(printf '%s' "$o" | cut -f3)
    k_line=$(grep -F "$name$tab" "$dir/kuzu.tsv" | head -1)
    k_count=$(printf '%s' "$k_line" | cut -f2)
    k_ms=$(printf '%s' "$k_line" | cut -f3)
    if [ "$o_count" = "$k_count" ]; then agree=yes; else agree=NO; status=1; fi
    ratio=$(awk -v k="$k_ms" -v o="$o_ms" 'BEGIN { if (o == "-" || k == "" || o == 0) print "-"; else printf "%.1f", k / o }')
    printf '%-22s %-16s %12s %11s %10s %10s %8s  %s\n' "$name" "$size" "$o_count/$k_count" "$o_ms" "$k_ms" \
      "$ratio" "$agree" "$method"
  done <"$statements"
done
exit $status
