# Shell library of the Wine + Xorg test rig. Source it from bash:
#   . scripts/rig/lib.sh
#
# Rig life cycle (used by with-rig, up, down):
#   rig_up      takes a free slot, starts Xorg (dummy driver), makes the Wine prefix once,
#               starts a persistent wineserver and the keep-alive, exports the environment
#   rig_down    stops all of it by process id, plus `wineserver -k` for the prefix
#
# Helpers for end-to-end tests (need the rig's environment, i.e. run under with-rig):
#   rig_reg_add KEY NAME TYPE VALUE     set a registry value in the prefix
#   rig_reg_delete KEY NAME             delete a registry value (no error if absent)
#   rig_temp_dir NAME                   fresh empty Windows temp folder; sets RIG_TEMP_UNIX and
#                                       RIG_TEMP_WIN, and exports TMP/TEMP for Wine programs
#   rig_ramp [ARGS]                     xramp: the X server's ramp, 21 samples on one line;
#                                       --all, --expect NAME|--expect-gamma G [--tolerance N]
#   rig_ramp_all                        all 768 entries, scaled to 256 per channel
#   rig_gamma_reset                     `xgamma -gamma 1.0`: identity ramp, from outside Wine
#   rig_display_mode W H                X mode switch via display_mode.exe (sends WM_DISPLAYCHANGE)
#   rig_display_restore                 back to 1280x1024 with xrandr (one-monitor rig)
#   rig_monitor2_off, rig_monitor2_on   two-monitor rig: the second monitor off, on again
#   rig_monitors                        monitors.exe: each monitor Windows programs see
#   rig_screenshot FILE                 PNG of the whole screen
#   rig_post TITLE MESSAGE WPARAM LPARAM  PostMessageW to a window found by title
#   rig_wine PROGRAM ARGS...            run a Windows program in the rig (like wine-exec)

RIG_SCRIPTS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
RIG_REPO=$(cd "$RIG_SCRIPTS/../.." && pwd)
# Where slots live; one slot = one Xorg, one prefix. Several slots let several runs share a tree.
RIG_BASE=${VESKARO_RIG_BASE:-$RIG_REPO/build}
RIG_SLOTS=${VESKARO_RIG_SLOTS:-4}
RIG_FIRST_DISPLAY=${VESKARO_RIG_FIRST_DISPLAY:-90}
# 1 (default): one 1280x1024 screen; 2: two 1024x768 monitors side by side.
RIG_MONITORS=${VESKARO_RIG_MONITORS:-1}
# The Windows probes, as the windows preset builds them.
RIG_WINDOWS_TOOLS=${VESKARO_WINDOWS_TOOLS:-$RIG_REPO/build/windows/testbed/tools}

rig_log() { echo "rig: $*" >&2; }

# Prints the first executable among the candidates (empty ones are skipped).
rig_first_executable() {
  local c
  for c in "$@"; do
    if [ -n "$c" ] && [ -x "$c" ]; then
      echo "$c"
      return 0
    fi
  done
  return 1
}

rig_find_wine() {
  rig_first_executable "${VESKARO_WINE:-}" "$(command -v wine64 2>/dev/null)" \
    /usr/lib/wine/wine64 /usr/lib/wine64/wine64 ||
    { rig_log "no wine64 found (install with scripts/bootstrap)"; return 1; }
}

rig_find_wineserver() {
  rig_first_executable "$(command -v wineserver 2>/dev/null)" /usr/lib/wine/wineserver64 \
    /usr/lib/wine/wineserver ||
    { rig_log "no wineserver found (install with scripts/bootstrap)"; return 1; }
}

# Runs CMD... in the background, in its own session, streams on /dev/null (or LOG), and with every
# other inherited descriptor closed: a wineserver or Xorg holding the caller's pipes or lock files
# would keep ctest waiting or the slot busy. RIG_KEEP_FD names one descriptor to keep open.
# Sets RIG_LAST_PID.
rig_spawn() {
  local log=$1
  shift
  (
    for fd in /proc/$BASHPID/fd/*; do
      fd=${fd##*/}
      if [ "$fd" -gt 2 ] && [ "$fd" != "${RIG_KEEP_FD:-}" ]; then
        eval "exec $fd>&-" 2>/dev/null
      fi
    done
    exec setsid "$@" </dev/null >"$log" 2>&1
  ) &
  RIG_LAST_PID=$!
}

rig_pid_alive() { [ -n "${1:-}" ] && kill -0 "$1" 2>/dev/null; }

# Stops one process by id: TERM, then KILL after about 3 s.
rig_stop_pid() {
  local pid=$1 i
  rig_pid_alive "$pid" || return 0
  kill -TERM "$pid" 2>/dev/null
  for i in $(seq 30); do
    rig_pid_alive "$pid" || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  return 0
}

# One 1280x1024 screen, or (RIG_MONITORS=2) two monitors side by side, each an output of the
# dummy driver (Wine sees outputs, not RandR monitors): \\.\DISPLAY1 at (0,0)-(1024,768),
# primary, and \\.\DISPLAY2 at (1024,0)-(2048,768). An enabled output needs a modeline of its
# own, or the server stops ("has no modes").
rig_write_xorg_conf() {
  {
    cat <<'EOF'
Section "ServerFlags"
  Option "DontVTSwitch" "true"
  Option "AutoAddDevices" "false"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EOF
    if [ "$RIG_MONITORS" = 2 ]; then
      cat <<'EOF'
  Option "Monitor-DUMMY0" "mon0"
  Option "Monitor-DUMMY1" "mon1"
EndSection
Section "Monitor"
  Identifier "mon0"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
  Modeline "1024x768" 65.0 1024 1048 1184 1344 768 771 777 806
  Option "PreferredMode" "1024x768"
EndSection
Section "Monitor"
  Identifier "mon1"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
  Modeline "1024x768" 65.0 1024 1048 1184 1344 768 771 777 806
  Option "PreferredMode" "1024x768"
  Option "Enable" "true"
  Option "RightOf" "mon0"
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "mon0"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 2048 768
  EndSubSection
EndSection
EOF
    else
      cat <<'EOF'
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Modes "1280x1024" "1024x768"
  EndSubSection
EndSection
EOF
    fi
  } >"$1"
}

rig_display_free() {
  [ ! -e "/tmp/.X$1-lock" ] && [ ! -e "/tmp/.X11-unix/X$1" ]
}

# Starts Xorg on the first free display from RIG_FIRST_DISPLAY + 10 * slot on.
rig_start_xorg() {
  local n try i
  rig_write_xorg_conf "$RIG_DIR/xorg.conf"
  n=$((RIG_FIRST_DISPLAY + 10 * RIG_SLOT))
  for try in 1 2 3 4 5 6 7 8 9 10; do
    while ! rig_display_free "$n"; do n=$((n + 1)); done
    RIG_KEEP_FD=$RIG_LOCK_FD rig_spawn /dev/null Xorg ":$n" vt7 -noreset -nolisten tcp \
      -config "$RIG_DIR/xorg.conf" -logfile "$RIG_DIR/xorg.log"
    RIG_XORG_PID=$RIG_LAST_PID
    for i in $(seq 100); do
      if ! rig_pid_alive "$RIG_XORG_PID"; then break; fi
      if xdpyinfo -display ":$n" >/dev/null 2>&1; then
        RIG_DISPLAY=:$n
        return 0
      fi
      sleep 0.1
    done
    rig_stop_pid "$RIG_XORG_PID"
    RIG_XORG_PID=
    rig_log "Xorg did not come up on :$n (log: $RIG_DIR/xorg.log), trying another display"
    n=$((n + 1))
  done
  rig_log "could not start Xorg; see $RIG_DIR/xorg.log"
  return 1
}

rig_export_env() {
  export DISPLAY=$RIG_DISPLAY
  export WINEPREFIX=$RIG_DIR/prefix
  export WINEARCH=win64
  # No installer prompts for Mono/Gecko; a missing DLL still shows as err:module.
  export WINEDLLOVERRIDES=${RIG_DLLOVERRIDES:-mscoree,mshtml=}
  export WINEDEBUG=${RIG_WINEDEBUG:--all,err+module}
  export VESKARO_RIG=$RIG_DIR
  export VESKARO_WINE=$RIG_WINE
  export VESKARO_RIG_MONITORS=$RIG_MONITORS
  if [ -n "${VESKARO_ENVRUN:-}" ]; then export VESKARO_ENVRUN; fi
  if [ -n "${VESKARO_XRAMP:-}" ]; then export VESKARO_XRAMP; fi
}

# Makes the prefix once per slot, with the display up (a prefix first booted without one refuses
# windows). A half-made prefix (no marker) is thrown away and made again.
rig_ensure_prefix() {
  local ready=$WINEPREFIX/.veskaro-ready start
  [ -e "$ready" ] && return 0
  rig_log "creating the Wine prefix $WINEPREFIX (once, about 15 s)"
  start=$(date +%s)
  rm -rf "$WINEPREFIX"
  RIG_LAST_PID=
  rig_spawn "$RIG_DIR/wineboot.log" env WINEDEBUG=-all "$RIG_WINE" wineboot -i
  if ! wait "$RIG_LAST_PID"; then
    rig_log "wineboot failed; see $RIG_DIR/wineboot.log"
    return 1
  fi
  # Without a window manager, Wine's managed windows cost about 2 s per DestroyWindow.
  "$RIG_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
    >>"$RIG_DIR/wineboot.log" 2>&1 || {
    rig_log "could not set Managed=N; see $RIG_DIR/wineboot.log"
    return 1
  }
  # Flush the registry to disk before the marker says the prefix is complete.
  "$RIG_WINESERVER" -k >/dev/null 2>&1
  "$RIG_WINESERVER" -w >/dev/null 2>&1
  touch "$ready"
  rig_log "prefix ready in $(($(date +%s) - start)) s"
}

# Builds the rig's own programs (scripts/rig/CMakeLists.txt) for PLATFORM, windows or linux,
# in $RIG_BASE/rig-tools/PLATFORM: configured once, then rebuilt only where sources changed.
# Rigs of the same tree may do this at once, hence the lock.
rig_build_tools() {
  local dir=$RIG_BASE/rig-tools/$1 log toolchain=()
  [ "$1" = windows ] && toolchain=("-DCMAKE_TOOLCHAIN_FILE=$RIG_REPO/cmake/mingw-w64.cmake")
  mkdir -p "$dir"
  log=$dir/build.log
  if ! (
    flock 9
    if [ ! -f "$dir/build.ninja" ]; then
      cmake -S "$RIG_SCRIPTS" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${toolchain[@]}" ||
        exit 1
    fi
    cmake --build "$dir"
  ) 9>"$dir.lock" >"$log" 2>&1; then
    cat "$log" >&2
    rig_log "could not build the rig's $1 programs (scripts/bootstrap installs what they need)"
    return 1
  fi
}

# Prints the path of a Windows helper of the rig (keepalive, envrun), built if need be.
rig_tool_exe() {
  rig_build_tools windows || return 1
  echo "$RIG_BASE/rig-tools/windows/$1.exe"
}

# Waits until the keep-alive runs on the desktop: nothing else may be the prefix's first process.
rig_wait_keepalive() {
  local i
  for i in $(seq 600); do
    grep -q '^ready' "$RIG_DIR/keepalive.log" 2>/dev/null && return 0
    if ! rig_pid_alive "$RIG_KEEPALIVE_PID"; then
      rig_log "the keep-alive exited; see $RIG_DIR/keepalive.log"
      return 1
    fi
    sleep 0.1
  done
  rig_log "the keep-alive did not start within 60 s; see $RIG_DIR/keepalive.log"
  return 1
}

rig_write_state() {
  cat >"$RIG_DIR/state" <<EOF
RIG_OWNER_PID=$RIG_OWNER_PID
RIG_DISPLAY=$RIG_DISPLAY
RIG_XORG_PID=$RIG_XORG_PID
RIG_KEEPALIVE_PID=${RIG_KEEPALIVE_PID:-}
RIG_WINE=$RIG_WINE
RIG_WINESERVER=$RIG_WINESERVER
RIG_MONITORS=$RIG_MONITORS
VESKARO_ENVRUN=${VESKARO_ENVRUN:-}
VESKARO_XRAMP=${VESKARO_XRAMP:-}
EOF
}

# Cleans what a killed earlier run of this slot left behind (its lock is free, so its Xorg is gone).
rig_clean_stale() {
  [ -e "$RIG_DIR/state" ] || return 0
  local RIG_XORG_PID= RIG_KEEPALIVE_PID= RIG_DISPLAY=
  # shellcheck disable=SC1091
  . "$RIG_DIR/state"
  rig_log "cleaning up after an earlier run in $RIG_DIR"
  WINEPREFIX=$RIG_DIR/prefix "$RIG_WINESERVER" -k >/dev/null 2>&1
  rig_stop_pid "$RIG_KEEPALIVE_PID"
  rig_stop_pid "$RIG_XORG_PID"
  rm -f "$RIG_DIR/state"
}

# Takes the first slot whose lock is free: build/wine, build/wine-2, ...
rig_take_slot() {
  local s dir
  mkdir -p "$RIG_BASE"
  for s in $(seq 0 $((RIG_SLOTS - 1))); do
    if [ "$s" = 0 ]; then dir=$RIG_BASE/wine; else dir=$RIG_BASE/wine-$((s + 1)); fi
    if [ -n "${VESKARO_RIG_DIR:-}" ]; then dir=$VESKARO_RIG_DIR; fi
    mkdir -p "$dir"
    exec {RIG_LOCK_FD}>>"$dir/lock"
    if flock -n "$RIG_LOCK_FD"; then
      RIG_SLOT=$s
      RIG_DIR=$(cd "$dir" && pwd)
      return 0
    fi
    exec {RIG_LOCK_FD}>&-
    if [ -n "${VESKARO_RIG_DIR:-}" ]; then
      rig_log "waiting for the rig in $dir (used by another run)"
      exec {RIG_LOCK_FD}>>"$dir/lock"
      flock "$RIG_LOCK_FD"
      RIG_SLOT=$s
      RIG_DIR=$(cd "$dir" && pwd)
      return 0
    fi
  done
  rig_log "all $RIG_SLOTS rig slots under $RIG_BASE are busy; waiting for slot 0"
  dir=$RIG_BASE/wine
  exec {RIG_LOCK_FD}>>"$dir/lock"
  flock "$RIG_LOCK_FD"
  RIG_SLOT=0
  RIG_DIR=$(cd "$dir" && pwd)
}

# Brings the rig up and exports its environment. RIG_OWNER_PID: the process the rig serves.
rig_up() {
  local t0 ka
  t0=$(date +%s%N)
  RIG_WINE=$(rig_find_wine) || return 1
  RIG_WINESERVER=$(rig_find_wineserver) || return 1
  command -v Xorg >/dev/null || {
    rig_log "no Xorg found (install with scripts/bootstrap)"
    return 1
  }
  case $RIG_MONITORS in
    1 | 2) ;;
    *)
      rig_log "VESKARO_RIG_MONITORS must be 1 or 2, not '$RIG_MONITORS'"
      return 1
      ;;
  esac
  RIG_OWNER_PID=${RIG_OWNER_PID:-$$}
  rig_take_slot || return 1
  rig_clean_stale
  RIG_XORG_PID=
  RIG_KEEPALIVE_PID=
  rig_start_xorg || return 1
  rig_write_state
  rig_export_env
  rig_ensure_prefix || return 1
  # A persistent server started here, quietly: otherwise the first test starts it and ctest waits
  # for the server's copy of that test's stderr.
  rig_spawn /dev/null "$RIG_WINESERVER" -p
  wait "$RIG_LAST_PID" 2>/dev/null
  VESKARO_ENVRUN=$(rig_tool_exe envrun) || return 1
  export VESKARO_ENVRUN
  VESKARO_XRAMP=$(rig_xramp_exe) || VESKARO_XRAMP=
  export VESKARO_XRAMP
  ka=$(rig_tool_exe keepalive) || return 1
  rig_spawn "$RIG_DIR/keepalive.log" "$RIG_WINE" "$ka"
  RIG_KEEPALIVE_PID=$RIG_LAST_PID
  rig_write_state
  rig_wait_keepalive || return 1
  t0=$((($(date +%s%N) - t0) / 1000000))
  rig_log "up in $((t0 / 1000)).$((t0 % 1000 / 100)) s, $RIG_MONITORS monitor(s): DISPLAY=$DISPLAY WINEPREFIX=$WINEPREFIX"
}

rig_down() {
  [ -n "${RIG_DIR:-}" ] || return 0
  if [ -n "${RIG_WINESERVER:-}" ]; then
    WINEPREFIX=$RIG_DIR/prefix "$RIG_WINESERVER" -k >/dev/null 2>&1
    WINEPREFIX=$RIG_DIR/prefix timeout 10 "$RIG_WINESERVER" -w >/dev/null 2>&1
  fi
  rig_stop_pid "${RIG_KEEPALIVE_PID:-}"
  if [ -n "${RIG_DISPLAY:-}" ] && command -v xgamma >/dev/null; then
    # The ramp outlives its setter; the next run starts from identity.
    xgamma -display "$RIG_DISPLAY" -quiet -gamma 1.0 >/dev/null 2>&1
  fi
  rig_stop_pid "${RIG_XORG_PID:-}"
  rm -f "$RIG_DIR/state"
  if [ -n "${RIG_LOCK_FD:-}" ]; then
    exec {RIG_LOCK_FD}>&-
    RIG_LOCK_FD=
  fi
  RIG_DIR=
}

# Loads a running rig's state (for down, or for helpers run outside with-rig after up).
rig_load() {
  local dir=${1:-${VESKARO_RIG:-$RIG_BASE/wine}}
  [ -e "$dir/state" ] || {
    rig_log "no rig is up in $dir"
    return 1
  }
  RIG_DIR=$(cd "$dir" && pwd)
  # shellcheck disable=SC1091
  . "$RIG_DIR/state"
  rig_export_env
}

rig_require() {
  if [ -z "${VESKARO_RIG:-}" ] || [ -z "${WINEPREFIX:-}" ] || [ -z "${DISPLAY:-}" ]; then
    rig_log "the rig is not up: run this under scripts/rig/with-rig"
    return 1
  fi
  RIG_WINE=${VESKARO_WINE:-$(rig_find_wine)}
}

rig_wine() {
  rig_require || return 1
  "$RIG_SCRIPTS/wine-exec" "$@"
}

rig_reg_add() {
  rig_wine reg add "$1" /v "$2" /t "$3" /d "$4" /f >/dev/null
}

rig_reg_delete() {
  rig_wine reg delete "$1" /v "$2" /f >/dev/null 2>&1
  return 0
}

rig_temp_dir() {
  rig_require || return 1
  local user=${USER:-$(id -un)}
  RIG_TEMP_UNIX=$WINEPREFIX/drive_c/users/$user/Temp/$1
  RIG_TEMP_WIN="C:\\users\\$user\\Temp\\$1"
  rm -rf "$RIG_TEMP_UNIX"
  mkdir -p "$RIG_TEMP_UNIX"
  export TMP=$RIG_TEMP_WIN TEMP=$RIG_TEMP_WIN
}

# Prints the path of xramp (the Linux reader of the X ramp), built if need be: end-to-end tests
# of the windows preset need it, and that build only makes Windows programs.
rig_xramp_exe() {
  rig_build_tools linux || return 1
  echo "$RIG_BASE/rig-tools/linux/xramp"
}

rig_xramp() {
  local x
  x=${VESKARO_XRAMP:-$(rig_xramp_exe)} || return 1
  "$x" "$@"
}

rig_ramp() { rig_xramp "$@"; }
rig_ramp_all() { rig_xramp --all; }
rig_gamma_reset() { xgamma -quiet -gamma 1.0; }

rig_display_mode() { rig_wine "$RIG_WINDOWS_TOOLS/display_mode.exe" "$1" "$2"; }
# The physical size too: each switch of Wine's scales it down with truncation and xrandr -s keeps
# it, so that after some 16 round trips it reaches 0 mm and X refuses Wine's next switch.
rig_display_restore() { xrandr -s 1280x1024 >/dev/null && xrandr --dpi 96 >/dev/null; }
# Two-monitor rig: the second monitor switched off and back on at run time.
rig_monitor2_off() { xrandr --output DUMMY1 --off; }
rig_monitor2_on() { xrandr --output DUMMY1 --auto --right-of DUMMY0; }
rig_monitors() { rig_wine "$RIG_WINDOWS_TOOLS/monitors.exe"; }
rig_post() { rig_wine "$RIG_WINDOWS_TOOLS/post_message.exe" "$@"; }

rig_screenshot() { import -window root "$1"; }
