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

results="$settings_dir/times.json"
if command -v hyperfine >/dev/null 2>&1; then
  set -- -n floor "$floor $corpus"
  if [ -n "$allocator" ]; then
    set -- "$@" -n floor_alloc "env LD_PRELOAD=$allocator $floor $corpus"
  fi
  hyperfine --warmup 1 --runs 3 --export-json "$results" "$@" \
    -n j1 "$cli read --json -j 1 $corpus >/dev/null" \
    -n j2 "$cli read --json -j 2 $corpus >/dev/null" >&2
  best() { /usr/bin/python3 -c "import json,sys; r={x['command']:min(x['times']) for x in json.load(open(sys.argv[1]))['results']}; print('%.3f' % r[sys.argv[2]])" "$results" "$1"; }
  # CPU time (user + system, mean of the runs): steadier than the wall clock
  # on a machine that other work shares.
  cpu() { /usr/bin/python3 -c "import json,sys; r={x['command']:x['user']+x['system'] for x in json.load(open(sys.argv[1]))['results']}; print('%.3f' % r[sys.argv[2]])" "$results" "$1"; }
  t_floor=$(best floor); t_j1=$(best j1); t_j2=$(best j2)
  if [ -n "$allocator" ]; then t_alloc=$(best floor_alloc); fi
  c_floor=$(cpu floor); c_j1=$(cpu j1); c_j2=$(cpu j2)
else
  # Best of three, by the wall clock.
  best() {
    b=""
    for _ in 1 2 3; do
      s=$(date +%s.%N); sh -c "$1" >/dev/null; e=$(date +%s.%N)
      t=$(echo "$e - $s" | bc)
      if [ -z "$b" ] || [ "$(echo "$t < $b" | bc)" = 1 ]; then b=$t; fi
    done
    printf '%.3f' "$b"
  }
  t_floor=$(best "$floor $corpus"); t_j1=$(best "$cli read --json -j 1 $corpus")
  t_j2=$(best "$cli read --json -j 2 $corpus")
fi

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
if [ -n "${c_floor:-}" ]; then
  echo "CPU seconds (user + system): floor $c_floor, -j 1 $c_j1, -j 2 $c_j2"
  awk -v f="$c_floor" -v a="$c_j1" 'BEGIN { printf "single thread / floor by CPU time: %.2fx\n", a / f }'
fi
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
"$build/bench/bench_read_memory" "$corpus"
