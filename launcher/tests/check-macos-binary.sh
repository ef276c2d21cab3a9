#!/usr/bin/env bash
# Checks the macOS build of FennorWorks without running it: an arm64 executable for macOS 12 that
# loads no library but libSystem, in which responsibility_spawnattrs_setdisclaim is a weak import
# (so the program still starts on a macOS without it). Usage: check-macos-binary.sh <FennorWorks>
set -uo pipefail
binary="${1:?usage: check-macos-binary.sh <Mach-O file>}"

tool() {
  local name
  for name in "$1" "$1-14"; do
    command -v "$name" >/dev/null 2>&1 && { echo "$name"; return; }
  done
  echo "check-macos-binary: neither $1 nor $1-14 is installed" >&2
  exit 2
}
nm=$(tool llvm-nm)
objdump=$(tool llvm-objdump)

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

headers=$("$objdump" --macho --private-headers "$binary") || { echo "not a Mach-O file: $binary" >&2; exit 1; }
symbols=$("$nm" -m "$binary") || exit 1
binds=$("$objdump" --macho --bind "$binary") || exit 1

header_line=$(grep -E '^ *MH_MAGIC' <<<"$headers")
grep -qE '^ *MH_MAGIC_64 +ARM64 .* EXECUTE ' <<<"$header_line" ||
  fail "not a 64-bit arm64 executable: $header_line"

build_version=$(grep -A6 'cmd LC_BUILD_VERSION' <<<"$headers")
grep -qE '^ *platform macos$' <<<"$build_version" || fail "LC_BUILD_VERSION is not for macOS"
grep -qE '^ *minos 12\.0$' <<<"$build_version" || fail "minimum macOS is not 12.0: $build_version"

# Every kind of library load command, not only LC_LOAD_DYLIB: a weak or re-exported library would be
# a dependency too.
libraries=$(grep -A2 -E 'cmd LC_(LOAD|LOAD_WEAK|REEXPORT|LAZY_LOAD|LOAD_UPWARD)_DYLIB$' <<<"$headers" |
  sed -nE 's/^ *name (.*) \(offset [0-9]+\)$/\1/p')
[ "$libraries" = "/usr/lib/libSystem.B.dylib" ] ||
  fail "libraries loaded are not exactly libSystem.B.dylib: ${libraries:-none}"

others=$(grep '(undefined)' <<<"$symbols" | grep -v '(from libSystem)$')
[ -z "$others" ] || fail "undefined symbols not bound to libSystem: $others"

symbol=_responsibility_spawnattrs_setdisclaim
grep -qE "^ +\(undefined\) weak external $symbol \(from libSystem\)$" <<<"$symbols" ||
  fail "$symbol is not a weak undefined symbol from libSystem: $(grep "$symbol" <<<"$symbols")"
grep -qE " libSystem +$symbol \(weak_import\)$" <<<"$binds" ||
  fail "$symbol is not bound as a weak import: $(grep "$symbol" <<<"$binds")"

if ((failures)); then
  echo "$binary: $failures check(s) failed" >&2
  exit 1
fi
echo "$binary: arm64 executable, macOS 12.0, libSystem only, $symbol weakly imported"
