#!/usr/bin/env bash
# The .exe must run from its folder alone: it may import only DLLs that
# every Windows has (no libstdc++, libgcc or winpthread beside it).
# Usage: check_imports.sh OBJDUMP PATH/TO/Brennel.exe
set -euo pipefail
imports=$("$1" -p "$2" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$imports" ] || { echo "FAIL: no imports found in $2"; exit 1; }
status=0
for dll in $imports; do
  case ${dll,,} in
    kernel32.dll | user32.dll | gdi32.dll | comctl32.dll | msvcrt.dll) echo "ok   $dll" ;;
    *) echo "FAIL $dll is not part of Windows"; status=1 ;;
  esac
done
exit $status
