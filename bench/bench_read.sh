#!/bin/sh
# Times reading a library: plain TagLib (the floor) against quorvel-cli read
# on one and on two threads, over a generated corpus, then the memory a
# record takes without its artwork. See bench/README.md.
#
# usage: bench/bench_read.sh BUILD_DIR [N]
#   BUILD_DIR  a configured build folder (Release for meaningful numbers)
#   N          files in the corpus (default 2000); cached in BUILD_DIR/bench-corpus-N
set -eu

[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [N]" >&2; exit 2; }
build=$(cd "$1" && pwd)
n=${2:-2000}
here=$(cd "$(dirname "$0")" && pwd)
corpus="$build/bench-corpus-$n"

if [ ! -f "$corpus/corpus.json" ]; then
  rm -rf "$corpus"
  /usr/bin/python3 "$here/make_corpus.py" "$corpus" "$n"
fi
cmake --build "$build" --target quorvel-cli taglib_floor bench_read_memory >/dev/null

# Settings of our own, so the user's never change what is measured.
settings_dir=$(mktemp -d)
trap 'rm -rf "$settings_dir"' EXIT
export QUORVEL_SETTINGS="$settings_dir/settings.plist"

cli="$build/quorvel-cli"
floor="$build/bench/taglib_floor"
# Warm the page cache: every run reads from memory.
find "$corpus" -type f -exec cat {} + >/dev/null

# The programs link jemalloc; the floor is plain TagLib as built. For a fair
# view the floor also runs with the same allocator preloaded.
allocator=$(ldd "$cli" | awk '/libjemalloc/ { print $3 }')

# Interleaved rounds, best of each (see time_rounds.py): the figures are
# taken from the same stretch of time, so they can be compared.
rounds=${ROUNDS:-7}
results="$settings_dir/times.json"
set -- "floor=$floor $corpus" \
  "j1=$cli read --json -j 1 $corpus" \
  "j2=$cli read --json -j 2 $corpus"
if [ -n "$allocator" ]; then
  set -- "$@" "floor_alloc=env LD_PRELOAD=$allocator $floor $corpus"
fi
/usr/bin/python3 "$here/time_rounds.py" "$rounds" "$@" >"$results"
field() { /usr/bin/python3 -c "import json,sys; print('%.3f' % json.load(open(sys.argv[1]))[sys.argv[2]][sys.argv[3]])" "$results" "$1" "$2"; }
t_floor=$(field floor wall); t_j1=$(field j1 wall); t_j2=$(field j2 wall)
c_floor=$(field floor cpu); c_j1=$(field j1 cpu); c_j2=$(field j2 cpu)
if [ -n "$allocator" ]; then t_alloc=$(field floor_alloc wall); fi

echo "corpus: $corpus ($(find "$corpus" -type f ! -name corpus.json | wc -l) files)"
echo "floor (TagLib: FileRef, properties, pictures): ${t_floor} s"
echo "quorvel-cli read --json -j 1:                 ${t_j1} s"
echo "quorvel-cli read --json -j 2:                 ${t_j2} s"
if [ -n "${t_alloc:-}" ]; then
  echo "floor with the programs' allocator preloaded: ${t_alloc} s"
  awk -v f="$t_alloc" -v a="$t_j1" 'BEGIN { printf "single thread / that floor: %.2fx\n", a / f }'
fi
awk -v f="$t_floor" -v a="$t_j1" -v b="$t_j2" 'BEGIN {
  printf "single thread / floor: %.2fx (target <= 1.25x)\n", a / f
  printf "-j 1 / -j 2 speed-up:  %.2fx (target >= 1.7x)\n", a / b
}'
echo "CPU seconds (user + system) of those runs: floor $c_floor, -j 1 $c_j1, -j 2 $c_j2"
awk -v f="$c_floor" -v a="$c_j1" 'BEGIN { printf "single thread / floor by CPU time: %.2fx\n", a / f }'
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
"$build/bench/bench_read_memory" "$corpus"
