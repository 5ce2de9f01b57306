#!/usr/bin/env bash
# Builds the release binary and runs every benchmark deck, printing per deck: wall time,
# total sweeps (from the progress lines), nanoseconds per cell-component update, peak RSS
# and a checksum of the four result files and the console output. cpu_s is user + system
# time (all threads); ns/update is wall time / (sweeps x cells x 4).
#   bench/run_bench.sh [deck ...]      QUILMAR_THREADS=1 bench/run_bench.sh    (thread count)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${QUILMAR_BENCH_BUILD:-$root/build-bench}"
echo "configuring and building the release binary in $build (a minute or two the first time) ..." >&2
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target quilmar_v3 >/dev/null
decks=(); for d in "$@"; do decks+=("$(cd "$(dirname "$d")" && pwd)/$(basename "$d")"); done
[ ${#decks[@]} -gt 0 ] || decks=("$root"/bench/*.deck)
echo "running ${#decks[@]} decks one after the other, each in a scratch folder ..." >&2
printf '%-28s %7s %7s %8s %8s %10s %8s  %s\n' deck wall_s cpu_s sweeps cells ns/update rss_MB checksum
for deck in "${decks[@]}"; do
  work="$(mktemp -d)"
  ( cd "$work" && /usr/bin/time -v "$build/quilmar_v3" < "$deck" > console.txt 2> time.txt ) || true
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n=split($2,t,":"); s=0; for(i=1;i<=n;i++) s=s*60+t[i]; printf "%.2f", s}' "$work/time.txt")
  cpu=$(awk -F': ' '/User time|System time/ {s+=$2} END {printf "%.2f", s}' "$work/time.txt")
  rss=$(awk -F': ' '/Maximum resident set size/ {printf "%.1f", $2/1024}' "$work/time.txt")
  sweeps=$(awk '/ iterations = / {for(i=1;i<=NF;i++) if($i=="iterations") s+=$(i+2)} END {print s+0}' "$work/console.txt")
  cells=$(awk '/ nelmax = / {print $3}' "$work/console.txt")
  nsu=$(awk -v w="$wall" -v s="$sweeps" -v c="$cells" 'BEGIN { if (s*c > 0) printf "%.2f", w*1e9/(s*c*4); else print "-" }')
  sum=$(cd "$work" && cat discharge.out Quilmar.out plume_mass.out obs_well.out console.txt | sha256sum | cut -c1-16)
  printf '%-28s %7s %7s %8s %8s %10s %8s  %s\n' "$(basename "$deck")" "$wall" "$cpu" "$sweeps" "$cells" "$nsu" "$rss" "$sum"
  rm -rf "$work"
done
