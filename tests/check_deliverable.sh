#!/usr/bin/env bash
# Fails unless the program imports Windows system DLLs only (the runtime is linked statically).
# Usage: check_imports.sh OBJDUMP PROGRAM.exe
set -euo pipefail
objdump=$1; exe=$2
allowed="kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll shell32.dll ole32.dll comdlg32.dll version.dll"
dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$dlls" ] || { echo "no import table found in $exe"; exit 1; }
status=0
for dll in $dlls; do
  case " $allowed " in
    *" $dll "*) echo "ok: $dll" ;;
    *) echo "not a Windows system DLL: $dll"; status=1 ;;
  esac
done
exit $status
