# Sourced by the host build scripts: finding a host's source archive and
# checking it against its checksum.

# find_host_archive FOLDER STEM NAME: prints the one STEM-*.tar.gz in FOLDER;
# exit status 3 (reason on standard error) when there is none, 1 when there is
# more than one.
find_host_archive() {
  local found
  shopt -s nullglob
  found=("$1"/"$2"-*.tar.gz)
  shopt -u nullglob
  if [ ${#found[@]} -eq 0 ]; then
    echo "no $3 source archive ($2-*.tar.gz) in $1" >&2
    return 3
  fi
  if [ ${#found[@]} -gt 1 ]; then
    echo "more than one $3 source archive ($2-*.tar.gz) in $1" >&2
    return 1
  fi
  echo "${found[0]}"
}

# checked_sha256 ARCHIVE: prints its SHA-256; fails when a .sha256 file beside
# it names another.
checked_sha256() {
  local checksum expected
  checksum="$(sha256sum "$1" | cut -d' ' -f1)"
  if [ -f "$1.sha256" ]; then
    expected="$(cut -d' ' -f1 "$1.sha256")"
    if [ "$checksum" != "$expected" ]; then
      echo "$1 does not match its .sha256 file (sha256 $checksum, expected $expected)" >&2
      return 1
    fi
  fi
  echo "$checksum"
}

# locked_cache_prefix NAME KEY: sets $prefix to the cache folder
# ${XDG_CACHE_HOME:-$HOME/.cache}/jobcut/NAME-KEY and $stamp to the file that
# marks a finished install there, and takes that folder's lock on descriptor 9
# for the rest of the script: a second run waits for the first and then finds
# its stamp. Returns 0 when the folder holds a finished install of KEY;
# otherwise 1, with the folder and its work folder ($prefix.work) removed, so
# that a half-built prefix is never used.
locked_cache_prefix() {
  local cache="${XDG_CACHE_HOME:-$HOME/.cache}/jobcut"
  prefix="$cache/$1-$2"
  stamp="$prefix/.installed"
  mkdir -p "$cache"
  exec 9>"$prefix.lock"
  flock 9
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$2" ] && return 0
  rm -rf "$prefix" "$prefix.work"
  return 1
}
