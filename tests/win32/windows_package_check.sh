#!/usr/bin/env bash
# The Windows download (zarvex-<version>-win64.zip, made by the package target
# of build-win): one folder with the two programs, the sound, the default
# settings and the readme, and programs that need no DLL beyond Windows' own.
#   windows_package_check.sh ZIP
set -uo pipefail
zip=$1
[[ -f $zip ]] || { echo "SKIPPED: $zip was not built (the mingw-w64 cross compiler is missing)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
folder=$(basename "$zip" .zip)
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$work" || exit 1
failures=0
check() { if eval "$2"; then echo "ok - $1"; else echo "FAIL - $1"; ((failures++)); fi; }
check "the zip holds one folder with exactly the shipped files" \
  '[[ $(cd "$work" && find . -type f | sort | tr "\n" " ") == "./$folder/config.ini ./$folder/readme.txt ./$folder/tx.wav ./$folder/zarvex-qr.exe ./$folder/zarvex.exe " ]]'
check "config.ini is the shipped default" 'cmp -s "$work/$folder/config.ini" "$(dirname "$0")/../../data/config.ini"'
check "the readme is in Chinese and English" 'grep -q "使用方法" "$work/$folder/readme.txt" && grep -q "Double-click zarvex.exe" "$work/$folder/readme.txt"'
for exe in zarvex.exe zarvex-qr.exe; do
  x86_64-w64-mingw32-objdump -p "$work/$folder/$exe" >"$work/imports.txt" 2>&1
  others=$(sed -n 's/^\s*DLL Name: //p' "$work/imports.txt" | tr 'a-z' 'A-Z' |
    grep -vxE 'KERNEL32.DLL|USER32.DLL|GDI32.DLL|COMCTL32.DLL|SHELL32.DLL|ADVAPI32.DLL|WINHTTP.DLL|WINMM.DLL|MSVCRT.DLL')
  check "$exe needs only Windows' own DLLs${others:+ (not: $others)}" \
    'grep -q "DLL Name: KERNEL32.dll" "$work/imports.txt" && [[ -z $others ]]'
done
((failures == 0))
