# Shared by scripts/test and scripts/wine-run: a Wine session is a template-derived prefix, one
# persistent Wine server, an Xvfb display and (when the kernel lets us) a private network
# namespace with only loopback up. Source this file; it defines functions only.

lumacut_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}

wine_log() { printf 'wine-session: %s\n' "$*" >&2; }

# The template prefix is made once and reused while the Wine version stays the same. Its Z:
# drive (the host's /) is removed: the largest-disk rule would otherwise put the installer's
# scratch folder at the host's root.
wine_template() {
  local tpl="$lumacut_root/build/wine/template" version
  version=$(wine --version 2>/dev/null)
  mkdir -p "$lumacut_root/build/wine"
  (
    flock 9
    if [ -f "$tpl/.lumacut-stamp" ] && [ "$(cat "$tpl/.lumacut-stamp")" = "$version" ]; then
      exit 0
    fi
    wine_log "creating template prefix ($version)"
    rm -rf "$tpl"
    WINEPREFIX="$tpl" wineboot -i >/dev/null 2>&1 9>&- || true
    WINEPREFIX="$tpl" wineserver -w
    [ -f "$tpl/system.reg" ] || { wine_log "wineboot failed to create $tpl"; exit 1; }
    rm -f "$tpl/dosdevices/z:"
    printf '%s' "$version" > "$tpl/.lumacut-stamp"
  ) 9>"$lumacut_root/build/wine/template.lock"
  printf '%s' "$tpl"
}

# A throw-away prefix from the template. The system DLL folders are shared by hard links (Wine
# never writes them); everything else, registry included, is a real copy. Drive B: maps the
# build folder, the only host folder a test program can reach.
wine_new_prefix() {
  local prefix=$1 tpl f
  tpl=$(wine_template) || return 1
  rm -rf "$prefix"
  mkdir -p "$(dirname "$prefix")"
  cp -al "$tpl" "$prefix"
  while IFS= read -r -d '' f; do
    cp -p "$f" "$f.copy" && mv -f "$f.copy" "$f"
  done < <(find "$prefix" -type f -not -path '*/drive_c/windows/system32/*' \
             -not -path '*/drive_c/windows/syswow64/*' -print0)
  rm -f "$prefix/.lumacut-stamp"
  ln -sfn "$lumacut_root/build" "$prefix/dosdevices/b:"
}

# Starts Xvfb on a free display; prints "display pid".
wine_start_display() {
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] && continue
    [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 9>&- &
    local pid=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && { printf ':%s %s' "$n" "$pid"; return 0; }
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$pid" 2>/dev/null
  done
  wine_log "no free X display"
  return 1
}

# True when this shell may make network namespaces.
wine_can_unshare() { unshare --net true >/dev/null 2>&1; }

# Brings loopback up in the current (fresh) network namespace.
wine_loopback_up() { ip link set lo up; }

# Translates a path under build/ to its B: path; other paths are passed through unchanged.
wine_dos_path() {
  local p
  p=$(realpath -m "$1")
  case "$p" in
    "$lumacut_root/build/"*) p=${p#"$lumacut_root/build/"}; printf 'B:\\%s' "${p//\//\\}" ;;
    *) printf '%s' "$1" ;;
  esac
}
