#!/bin/sh
# Checks the plug-in's tables: exactly one export, TrvCmd at ordinal 1; imports only from
# system DLLs and from uEye_api_64.dll, the latter by ordinal only.
set -eu
objdump=$1
dll=$2
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
[ $fail -eq 0 ] && echo "dll tables ok: TrvCmd @1, $(printf '%s\n' "$ueye" | grep -c .) camera calls by ordinal"
exit $fail
