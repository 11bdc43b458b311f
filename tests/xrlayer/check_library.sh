#!/usr/bin/env bash
# The layer's (or the SteamVR driver's) built library: it needs nothing but the system's own
# libraries (the C library on Linux, DLLs of Windows itself), and exports the loader's
# negotiation function alone (the driver: HmdDriverFactory, named by EXPECTED_EXPORT).
#   usage: check_library.sh LIBRARY [sanitized]   (a sanitized build needs its runtimes too)
set -euo pipefail
library=$1
if [[ $library == *.dll ]]; then
  dump=$(x86_64-w64-mingw32-objdump -p "$library")
  needed=$(sed -n 's/^\s*DLL Name: //p' <<<"$dump" | tr 'A-Z' 'a-z' | sort -u)
  allowed='^(kernel32|advapi32|msvcrt|user32|ntdll)\.dll$'
  exported=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^\s*\[ *[0-9]*\] //p')
else
  needed=$(readelf -d "$library" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  allowed='^(libc\.so\.6|libm\.so\.6|ld-linux-x86-64\.so\.2)$'
  [[ ${2:-} == sanitized ]] && allowed='^(libc\.so\.6|libm\.so\.6|ld-linux-x86-64\.so\.2|lib(asan|ubsan|stdc\+\+|gcc_s)\.so\.[0-9]+)$'
  exported=$(nm -D --defined-only "$library" | awk '$2 == "T" { print $3 }')
fi
status=0
for lib in $needed; do
  [[ $lib =~ $allowed ]] || { echo "FAIL: $library needs $lib"; status=1; }
done
[[ $exported == "${EXPECTED_EXPORT:-xrNegotiateLoaderApiLayerInterface}" ]] ||
  { echo "FAIL: $library exports: $exported"; status=1; }
echo "$library needs: $(echo $needed); exports: $exported"
exit $status
