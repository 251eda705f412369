#!/bin/sh
# Makes a run folder of traq on the real input data (line list, model
# atmospheres, solar.dat of the shared data folder, linked, not copied), with
# the control file of the example changed on the lines that set the case.
#
#   bench/make_run_folder.sh FOLDER STUDY NU_START NU_END DNU TARGET SOLAR MODEL [DATA]
#
# STUDY s, d, w, a or i; SOLAR y or n; MODEL t, m or p (tropic, midlat,
# arctic); DATA the shared data folder (default ../shared/data next to the
# project).  The database is lines/ftir_windows.par (record length 161,
# counted by traq).  Examples (the cases of RESULTS.md):
#   bench/make_run_folder.sh /tmp/c2h6 d 2975.0 2990.0 0.0005 c2h6 n m
#   bench/make_run_folder.sh /tmp/co-a a 2157.0 2157.999 0.001 co y m
set -eu
if [ $# -lt 8 ]; then
    sed -n '2,15p' "$0" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")/.." && pwd)
data=${9:-$here/../shared/data}
data=$(cd "$data" && pwd)
mkdir -p "$1"
cd "$1"
for m in tropic midlat arctic; do
    ln -sf "$data/atm/$m.mod" "$m.mod"
    ln -sf "$data/atm/$m.vmr" "$m.vmr"
done
ln -sf "$data/solar.dat" solar.dat
sed -e "2s|.*|$data/lines/ftir_windows.par|" -e "6s|.*|h 161|" -e "8s|.*|$7|" -e "9s|.*|$2|" \
    -e "14s|.*|$8|" -e "16s|.*|$3|" -e "17s|.*|$4|" -e "18s|.*|$6|" -e "26s|.*|$5|" \
    "$here/examples/data/input-korav" > input-korav
