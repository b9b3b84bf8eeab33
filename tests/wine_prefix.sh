# Sourced by the scripts that run Windows test programs under wine64: a
# throw-away prefix and working root, removed (and its wineserver stopped) on
# exit, and Z:\ paths for the programs.
# Needs $loader, the wine64 binary. Sets $root.
root=$(mktemp -d)
export WINEPREFIX=$root/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINELOADER=$loader
cleanup() {
  "$(dirname "$loader")/wineserver" -k 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT

windows_path() {
  local path
  path=$(realpath "$1")
  printf 'Z:%s' "${path//\//\\}"
}
