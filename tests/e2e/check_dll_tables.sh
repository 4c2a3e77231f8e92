#!/bin/sh
# Checks the plug-in's tables: exactly one export, TrvCmd at ordinal 1; imports only from
# system DLLs and from uEye_api_64.dll, the latter by ordinal only, exactly the ordinals of
# the hand-written call table, which the simulated library also exports under their names; and
# each name of the import library's and the simulator's .def at its ordinal in that table.
#   check_dll_tables.sh OBJDUMP TRVUEYE.DLL [CALL-TABLE [SIMULATED-DLL]]
set -eu
objdump=$1
dll=$2
table=${3:-$(dirname "$0")/../component/ueye_call_table.cpp}
sim=${4:-$(dirname "$dll")/../sim-camera/uEye_api_64.dll}
out=$("$objdump" -p "$dll")
fail=0

# The ordinal is the base plus the index: GNU ld makes base 1 index 0, lld base 0 index 1 with
# slot 0 left empty (objdump lists only the used slots).
exports=$(printf '%s\n' "$out" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -E '^\s+\[' || true)
base=$(printf '%s\n' "$out" | sed -n 's/^Ordinal Base\s\+\([0-9]\+\)$/\1/p')
index=$(printf '%s\n' "$exports" | sed -n 's/^\s\+\[ *\([0-9]\+\)\] TrvCmd$/\1/p')
if [ "$(printf '%s\n' "$exports" | grep -c .)" -ne 1 ] || [ -z "$index" ] || [ -z "$base" ] ||
   [ $((base + index)) -ne 1 ]; then
    echo "exports are not exactly TrvCmd at ordinal 1 (base ${base:-?}):"; printf '%s\n' "$exports"; fail=1
fi
slots=$(printf '%s\n' "$out" | sed -n '/^Export Address Table -- /,/^$/p' | grep -E '\+base\[' | sort -u || true)
if [ "$(printf '%s\n' "$slots" | grep -c .)" -ne 1 ] || ! printf '%s\n' "$slots" | grep -qE '\+base\[ +1\]'; then
    echo "export address table is not exactly ordinal 1:"; printf '%s\n' "$slots"; fail=1
fi

allowed='^(KERNEL32|USER32|GDI32|SHELL32|msvcrt|ADVAPI32)\.dll$'
for name in $(printf '%s\n' "$out" | sed -n 's/^\s*DLL Name: //p'); do
    case "$name" in
    uEye_api_64.dll) ;;
    *) printf '%s\n' "$name" | grep -qiE "$allowed" || { echo "unexpected import: $name"; fail=1; } ;;
    esac
done

# Entries of uEye_api_64.dll: by ordinal they show no member name ("<none>").
ueye=$(printf '%s\n' "$out" | sed -n '/DLL Name: uEye_api_64.dll/,/^$/p' | grep -E '^\s+[0-9a-f]{8,}\s' || true)
if printf '%s\n' "$ueye" | grep -v '<none>' | grep -q .; then
    echo "uEye_api_64.dll imported by name:"; printf '%s\n' "$ueye" | grep -v '<none>'; fail=1
fi
if [ "${TRV_REQUIRE_UEYE_IMPORTS:-1}" = 1 ] && [ -z "$ueye" ]; then
    echo "no import of uEye_api_64.dll"; fail=1
fi
# "ordinal name" rows of the call table, by ordinal.
want=$(sed -n 's/^CALL(\([0-9]*\), \(is_[A-Za-z]*\),.*/\1 \2/p' "$table" | sort -n)
if [ -z "$want" ]; then
    echo "no CALL rows in $table"; fail=1
fi
# Each name of the two .def files at its table ordinal: two calls of one signature swapped in a
# .def (activate and free of an image memory) pass the compiler and every ordinal set.
for def in src/ueye/uEye_api_64.def sim/uEye_api_64_sim.def; do
    pairs=$(sed -n 's/^\(is_[A-Za-z]*\) *@\([0-9]*\).*/\2 \1/p' "$(dirname "$0")/../../$def" | sort -n)
    if [ -n "$want" ] && [ "$pairs" != "$want" ]; then
        echo "$def differs from the call table (ordinal name):"
        printf '%s\n' "$pairs" | grep -vxF "$want" | sed 's/^/  .def:  /'
        printf '%s\n' "$want" | grep -vxF "$pairs" | sed 's/^/  table: /'
        fail=1
    fi
done
imported=$(printf '%s\n' "$ueye" | awk 'NF { printf "%d\n", "0x" $2 }' | sort -n)
if [ "$imported" != "$(printf '%s\n' "$want" | cut -d' ' -f1)" ]; then
    echo "imported ordinals differ from the call table:"
    echo "  table:   $(printf '%s\n' "$want" | cut -d' ' -f1 | tr '\n' ' ')"
    echo "  trvueye: $(printf '%s\n' "$imported" | tr '\n' ' ')"; fail=1
fi
if [ ! -f "$sim" ]; then
    echo "no simulated library at $sim"; fail=1
else
    simout=$("$objdump" -p "$sim")
    base=$(printf '%s\n' "$simout" | sed -n 's/^Export Address Table -- Ordinal Base \([0-9]*\).*/\1/p')
    exported=$(printf '%s\n' "$simout" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        sed -n 's/^\s*\[ *\([0-9]*\)\] \(is_[A-Za-z]*\)$/\1 \2/p' |
        awk -v base="${base:-0}" '{ print $1 + base, $2 }' | sort -n)
    if [ "$exported" != "$want" ]; then
        echo "simulated library exports differ from the call table:"
        echo "  table:     $(printf '%s\n' "$want" | tr '\n' ' ')"
        echo "  simulated: $(printf '%s\n' "$exported" | tr '\n' ' ')"; fail=1
    fi
fi
[ $fail -eq 0 ] && echo "dll tables ok: TrvCmd @1, $(printf '%s\n' "$ueye" | grep -c .) camera calls by ordinal as in the call table"
exit $fail
