#!/bin/sh
# Checks the version resource of each binary as a Windows program reads it: product name and
# versions from the project's one version number, the file's own name and type, the company's
# copyright, a description, and the debug flag only in a Debug build.
#   check_version_info.sh RUNNER VERSION_INFO_EXE VERSION [--debug] FILE...
set -eu
run=$1 reader=$2 version=$3
shift 3
flags=0x0
if [ "${1:-}" = --debug ]; then
    flags=0x1
    shift
fi
fail=0
for file in "$@"; do
    name=$(basename "$file")
    case "$name" in
    *.dll) type=2 ;;
    *) type=1 ;;
    esac
    out=$("$run" "$reader" "$file" | tr -d '\r')
    bad=0
    for line in "Fixed=$version.0 $version.0 flags=$flags type=$type" \
        "CompanyName=Tarvello" "ProductName=trvueye" "FileVersion=$version" \
        "ProductVersion=$version" "OriginalFilename=$name"; do
        printf '%s\n' "$out" | grep -qxF -- "$line" || { echo "$name: no line '$line'"; bad=1; }
    done
    for pattern in '^LegalCopyright=Copyright \(C\) [0-9]{4} Tarvello\. All rights reserved\.$' \
        '^FileDescription=.{20,}$'; do
        printf '%s\n' "$out" | grep -qE -- "$pattern" || { echo "$name: no line like $pattern"; bad=1; }
    done
    if [ $bad -ne 0 ]; then
        printf '%s read:\n%s\n' "$name" "$out"
        fail=1
    fi
done
[ $fail -eq 0 ] && echo "version resources ok: $version in $#"
exit $fail
