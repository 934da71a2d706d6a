#!/usr/bin/env bash
# The application manifest embedded in both built programs (RT_MANIFEST resource 1, read
# back from the files with build/host/pe_manifest): run as the invoker, the supported
# Windows versions Vista to 10/11, DPI awareness, and for the wizard the version-6 common
# controls (its visual styles); well-formed XML. A sample target, built without one, has none.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
tool="$top/build/host/pe_manifest"
win32="$top/build/win32"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

[ -x "$tool" ] || { echo "FAIL: no $tool (build build/host first)"; exit 1; }

# has TEXT WHAT: the manifest in $manifest holds TEXT.
has() { grep -qF -- "$1" <<< "$manifest" || fail "$program: $2 missing ('$1')"; }

for program in tarnholm.exe tarnholm-cli.exe; do
  [ -f "$win32/$program" ] || { fail "no $win32/$program"; continue; }
  manifest=$("$tool" "$win32/$program") || { fail "$program: no manifest"; continue; }
  has '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' "execution level"
  has '<supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/>' "Windows Vista"
  has '<supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>' "Windows 7"
  has '<supportedOS Id="{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}"/>' "Windows 8"
  has '<supportedOS Id="{1f676c76-80e1-4239-95bb-83d0f6d0da78}"/>' "Windows 8.1"
  has '<supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"/>' "Windows 10 and 11"
  has '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true/PM</dpiAware>' "dpiAware"
  has '<dpiAwareness xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">PerMonitorV2, PerMonitor</dpiAwareness>' \
    "dpiAwareness"
  controls=$(grep -c 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' <<< "$manifest")
  if [ "$program" = tarnholm.exe ]; then
    [ "$controls" = 1 ] || fail "$program: not bound to the version-6 common controls"
  else
    [ "$controls" = 0 ] || fail "$program: a console program bound to the common controls"
  fi
  # Windows refuses to start a program whose manifest is not well-formed XML.
  python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parseString(sys.stdin.buffer.read())' <<< "$manifest" ||
    fail "$program: the manifest is not well-formed XML"
  echo "$program: manifest of $(wc -c <<< "$manifest") bytes"
done

if [ -f "$win32/sample_target.exe" ]; then
  "$tool" "$win32/sample_target.exe" > /dev/null 2>&1
  [ $? = 1 ] || fail "sample_target.exe: expected no manifest (exit 1)"
fi

[ "$failures" = 0 ] && echo PASS
[ "$failures" = 0 ]
