# Shell helpers shared by the project's scripts. Source it, do not run it:
#   source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"        (from tools/; adjust the path elsewhere)
# Sets root to the checkout's folder.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# The Wine prefix of the windows build, which every Windows program of the project runs in unless
# told otherwise.
windows_prefix="$root/build/windows/wineprefix"

# wine_path FOLDER...: the folders as Wine names them on the Windows side (Z: is the Unix root),
# joined with ';' as WINEPATH takes them.
wine_path() {
  local joined="" folder
  for folder in "$@"; do
    joined+="${joined:+;}Z:${folder//\//\\}"
  done
  printf '%s\n' "$joined"
}

# stop_wine_server [PREFIX]: ends the prefix's Wine server (the windows build's by default), so that
# no server of ours outlives the run. Only ever our own prefix's.
stop_wine_server() {
  WINEPREFIX="${1:-$windows_prefix}" wineserver -k 2>/dev/null || true
}
