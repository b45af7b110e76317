#!/bin/sh
# Installs the Debian packages the build and the tests need, skipping the
# ones already present. Runs as root on a fresh Debian machine (or with sudo).
# tzdata and libhowardhinnant-date-dev: the pull bridge names time zones,
# and the query functions resolve zone ids through libdate-tz, which reads
# the system zoneinfo (GCC 12's <chrono> has no zone database). openssl:
# its TLS test makes a certificate. zstd (or python3-zstandard) decompresses
# Neo4j dumps for the dump bridge. zlib1g-dev and libzip-dev read the
# gzip and zip input files neo4j-admin takes. chromium runs the browser
# console tests;
# Node.js and npm install the console's graph library and the test driver
# from the lockfile (Debian's packages only where no node or npm is on the
# PATH, so a Node.js installed another way is left alone).
set -eu
need=""
node_packages=""
command -v node >/dev/null 2>&1 || node_packages="$node_packages nodejs"
command -v npm >/dev/null 2>&1 || node_packages="$node_packages npm"
for pkg in cmake g++ make ninja-build pkg-config libssl-dev zlib1g-dev libzip-dev nlohmann-json3-dev libgtest-dev libhowardhinnant-date-dev python3 tzdata openssl zstd python3-zstandard chromium $node_packages ${EXTRA_PACKAGES:-}; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    need="$need $pkg"
  fi
done
if [ -n "$need" ]; then
  echo "installing:$need"
  SUDO=""
  if [ "$(id -u)" != "0" ] && command -v sudo >/dev/null 2>&1; then SUDO=sudo; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends $need
fi
