# shellcheck shell=bash
# shellcheck disable=SC2015 # a && b || fail: either failing fails
# What the Windows journeys share (smoke, screen_readers, installer). Run
# by tests/windows/with-wine-desktop; each sets `name` and `work` (its
# scratch folder, where Tallowick's output goes, to log) first.
: "${WINEPREFIX:?}" "${DISPLAY:?}" "${name:?}" "${work:?}"
export WINEDEBUG=${WINEDEBUG:--all}

fail() { echo "$name: FAILED: $*" >&2; tail -n 20 "$work/log" >&2 2>/dev/null; exit 1; }
# await SECONDS COMMAND...: until COMMAND succeeds; fails after SECONDS.
await() {
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do [ $SECONDS -lt $deadline ] && sleep 0.1 || return 1; done
}
windows_path() { printf 'Z:%s' "${1//\//\\}"; } # Wine's drive Z: is /
start_tallowick() { "$@" >"$work/log" 2>&1 & } # wine tallowick.exe STORY, wine start ...
# The X id of the window whose title matches PATTERN, once it is there.
window_named() {
  local id
  id=$(timeout 60 xdotool search --sync --name "$1" | head -n1) || true
  [ -n "$id" ] && echo "$id" || fail "no window \"$1\""
}
game_window() { window_named '^Tallowick, by Brennholt\.$'; }
# No window manager gives the window the keyboard: a click on the input
# field (400 by 100 pixels at its top left) does.
send_command() {
  xdotool mousemove --window "$(game_window)" 200 60 click 1 type --delay 20 "$1"
  xdotool key Return
}
# This prefix's programs named NAME (the system keeps 15 letters of it):
# others may run their own beside them.
ours() {
  local pid
  for pid in $(pgrep -x "${1:0:15}" || true); do
    tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && echo "$pid"
  done
  return 0
}
tallowick_gone() { [ -z "$(ours tallowick.exe)" ]; }
close_tallowick() {
  xdotool key alt+F4
  await 30 tallowick_gone || fail "Tallowick runs on after its window closed"
}
