#!/bin/sh
# Times two commands side by side: runs them alternately (A B A B ...) N times
# in the folder DIR and prints the CPU (user + system) and wall-clock seconds
# of every run, the medians and the ratios of the medians (A / B).  On a
# machine shared with other work the alternation keeps the comparison fair,
# and the CPU time is the steadier figure.
#
#   bench/side_by_side.sh N DIR 'command A' 'command B'
#
# For example, the new traq against the previous build, one thread:
#   TRAQ_THREADS=1 bench/side_by_side.sh 5 run-folder "$PWD/build/traq" /path/to/old/traq
set -eu
if [ $# -ne 4 ]; then
    echo "usage: $0 N DIR 'command A' 'command B'" >&2
    exit 2
fi
n=$1
dir=$2
a=$3
b=$4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$dir"
i=1
while [ "$i" -le "$n" ]; do
    for side in A B; do
        if [ "$side" = A ]; then cmd=$a; else cmd=$b; fi
        # shellcheck disable=SC2086
        /usr/bin/time -f "%U %S %e" -o "$tmp/t" $cmd > /dev/null 2>&1 || true
        set -- $(cat "$tmp/t")
        cpu=$(echo "$1 $2" | awk '{printf "%.3f", $1 + $2}')
        echo "$cpu $3" >> "$tmp/$side"
        echo "run $i $side: cpu $cpu s, wall $3 s"
    done
    i=$((i + 1))
done
median() { # column of file
    sort -g -k"$1" "$2" | awk -v c="$1" '{v[NR] = $c} END {
        if (NR % 2) printf "%.3f", v[(NR + 1) / 2]; else printf "%.3f", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ca=$(median 1 "$tmp/A"); wa=$(median 2 "$tmp/A")
cb=$(median 1 "$tmp/B"); wb=$(median 2 "$tmp/B")
echo "median A: cpu $ca s, wall $wa s"
echo "median B: cpu $cb s, wall $wb s"
echo "A / B: cpu $(echo "$ca $cb" | awk '{printf "%.3f", $1 / $2}'), wall $(echo "$wa $wb" | awk '{printf "%.3f", $1 / $2}')"
