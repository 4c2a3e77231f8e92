#!/bin/sh
# Builds the release package with CPack into a scratch folder, unpacks it and checks what a
# customer gets: exactly the three programs, README, licence and SHA-256 list under one folder
# named for the version; every checksum right; no simulated camera library; the packaged (stripped)
# DLL still with its one export and by-ordinal imports; every program with its version resource.
#   check_package.sh CPACK CPACK_CONFIG VERSION OBJDUMP CHECK_DLL_TABLES RUNNER VERSION_INFO_EXE
#                    CHECK_VERSION_INFO SIMULATED_DLL
set -eu
cpack=$1 config=$2 version=$3 objdump=$4 check_tables=$5 run=$6 reader=$7 check_version=$8 sim=$9
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0

"$cpack" -G ZIP --config "$config" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 ||
    { cat "$tmp/cpack.log"; exit 1; }
base=trvueye-$version-win64
zip=$tmp/out/$base.zip
[ -f "$zip" ] || { echo "no $base.zip:"; ls "$tmp/out"; exit 1; }
unzip -q "$zip" -d "$tmp/x"

expected="$base/LICENSE.txt $base/README.txt $base/SHA256SUMS.txt $base/trvhost.exe $base/trvlog.exe $base/trvueye.dll"
found=$(cd "$tmp/x" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
if [ "$found" != "$expected" ]; then
    printf 'package holds:\n  %s\nexpected:\n  %s\n' "$found" "$expected"
    fail=1
fi
if (cd "$tmp/x" && find . -iname 'ueye_api*' | grep -q .); then
    echo "the simulated camera library is in the package"
    fail=1
fi

dir=$tmp/x/$base
listed=$(sed 's/^[0-9a-f]\{64\}  //' "$dir/SHA256SUMS.txt" | tr '\n' ' ' | sed 's/ $//')
if [ "$listed" != "LICENSE.txt README.txt trvhost.exe trvlog.exe trvueye.dll" ]; then
    echo "SHA256SUMS.txt lists: $listed"
    fail=1
fi
(cd "$dir" && sha256sum --quiet --strict -c SHA256SUMS.txt) || fail=1

for text in README.txt LICENSE.txt; do
    # Windows line ends on every line.
    if [ "$(grep -c "$(printf '\r$')" "$dir/$text")" -ne "$(wc -l <"$dir/$text")" ]; then
        echo "$text has lines without CRLF"
        fail=1
    fi
done
grep -q "trvueye $version " "$dir/README.txt" || { echo "README.txt does not name $version"; fail=1; }
grep -qE '@[A-Z_]+@' "$dir/README.txt" && { echo "README.txt has unreplaced @ names"; fail=1; }

# The simulated library of the build, as the package has none.
"$check_tables" "$objdump" "$dir/trvueye.dll" \
    "$(dirname "$check_tables")/../component/ueye_call_table.cpp" "$sim" || fail=1
"$check_version" "$run" "$reader" "$version" "$dir/trvueye.dll" "$dir/trvhost.exe" \
    "$dir/trvlog.exe" || fail=1
[ $fail -eq 0 ] && echo "package ok: $base.zip, $(wc -c <"$zip") bytes"
exit $fail
