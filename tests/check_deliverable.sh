#!/usr/bin/env bash
# Static checks of a deliverable, always the i686 build: an i386 PE file that imports Windows
# system DLLs only (the runtime is linked statically) and, when export names are given, exports
# exactly those names.
# Usage: check_deliverable.sh OBJDUMP FILE [EXPORT...]
set -euo pipefail
objdump=$1; file=$2; shift 2
allowed="kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll shell32.dll ole32.dll comdlg32.dll version.dll"
headers=$("$objdump" -p "$file")
status=0
grep -q 'file format pei-i386$' <<<"$headers" || { echo "not an i386 PE file: $file"; status=1; }
dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z')
[ -n "$dlls" ] || { echo "no import table found in $file"; exit 1; }
for dll in $dlls; do
  case " $allowed " in
    *" $dll "*) echo "ok: imports $dll" ;;
    *) echo "not a Windows system DLL: $dll"; status=1 ;;
  esac
done
if [ $# -gt 0 ]; then
  found=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/s/^[[:space:]]*\[ *[0-9]*\] //p' <<<"$headers" | sort)
  expected=$(printf '%s\n' "$@" | sort)
  if [ "$found" = "$expected" ]; then echo "ok: exports $(echo $found)"
  else echo "exports differ: found '$(echo $found)', expected '$(echo $expected)'"; status=1
  fi
fi
exit $status
