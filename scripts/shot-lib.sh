# Helpers for scripts that drive the program under a virtual display: start Xvfb, grab a window by
# its title, close the program. Source after env.sh.

# Runs the shell command $1 when the script ends (the last added runs first).
AT_EXIT=()
at_exit() {
  AT_EXIT=("$1" "${AT_EXIT[@]}")
  trap 'for c in "${AT_EXIT[@]}"; do eval "$c"; done' EXIT
}
# A virtual display of the script's own when there is none (or PR_OWN_DISPLAY=1 asks for one); it
# ends with the script, and with it the Wine server of the script's prefix.
start_display() {
  if [ -z "${DISPLAY:-}" ] || [ "${PR_OWN_DISPLAY:-}" = 1 ]; then
    # A display number nobody holds (another checkout's scripts may run beside these), started
    # with -displayfd so that it is ready when Xvfb names it.
    local n fdfile
    fdfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 1 100); do
      n=$(tr -dc 0-9 <"$fdfile")
      [ -n "$n" ] && break
      kill -0 "$XVFB_PID" 2>/dev/null || break
      sleep 0.1
    done
    rm -f "$fdfile"
    [ -n "$n" ] || { echo "start_display: Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$n" PR_OWN_DISPLAY=1
    at_exit "wineserver -k || true; kill $XVFB_PID 2>/dev/null || true"
  fi
}
# Saves the window whose title is $1 to the PNG $2 once it has painted itself (the window driver
# waits up to 30 s for it). Needs a function `winctl` that runs the window driver.
grab_window() {
  winctl wait "$1" || return 1
  grab_now "$@"
}
# The same at once, for a window that may not stay up for long.
grab_now() {
  local id i
  # The X window may show up a moment after Wine calls the window visible.
  for i in $(seq 1 20); do
    id=$(env LC_ALL="$WINE_LOCALE" xwininfo -root -tree | grep -F "\"$1\"" | awk '{print $1}' | head -1)
    [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || { echo "grab_window: no X window \"$1\"" >&2; return 1; }
  import -window "$id" "$2"
}
# Closes the program's main window (title $1, process $2) as a user would, answering "Nie" (IDNO)
# to the question whether to save the project if it is asked; ends the process if it is still there
# 10 s later. Needs a function `winctl` that runs the window driver.
close_program() {
  local main=$1 pid=$2
  gone_within() {  # gone_within TENTHS: whether the program has ended within that time
    local i
    for ((i = 0; i < $1; i++)); do
      kill -0 "$pid" 2>/dev/null || return 0
      sleep 0.1
    done
    ! kill -0 "$pid" 2>/dev/null
  }
  winctl close "$main" >/dev/null 2>&1 || true
  gone_within 30 || winctl command Packrift 7 >/dev/null 2>&1 || true
  gone_within 70 || kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
