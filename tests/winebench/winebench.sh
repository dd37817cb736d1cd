# winebench.sh: shared procedures of winerun and session (sourced, not run): the bench
# directory, the golden prefixes and their working copies, the private Xvfb and the wineserver.
# Only processes and files this bench created are ever stopped or removed.

WB_PERSONALITIES="win32s win95 win98 nt351 nt4 nt351sp4"

wb_log() { echo "winebench: $*" >&2; }

# Wine's name for a personality suffix ("" for nt351sp4: that one comes from the sp4 prefix).
wb_wine_version() {
  case "$1" in
    win32s) echo win31 ;; win95) echo win95 ;; win98) echo win98 ;;
    nt351) echo nt351 ;; nt4) echo nt40 ;; nt351sp4) echo "" ;;
    *) return 1 ;;
  esac
}

# Personality suffix of an exe name ("setup_win95.exe" -> win95), or "".
wb_personality_of() {
  local base="${1##*/}"; base="${base%.[eE][xX][eE]}"
  local p
  for p in $WB_PERSONALITIES; do
    case "${base,,}" in *_"$p") echo "$p"; return ;; esac
  done
  echo ""
}

wb_env() {
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  unset WINELOADER WINESERVER 2>/dev/null || true
}

# The bench comes in two kinds. "i686" runs the i686 programs (the deliverables and their
# tests) under 32-bit Wine in win32 prefixes. "x86_64" runs their x86_64 twins, built from the
# same sources, under 64-bit Wine in win64 prefixes: for kernels that run no 32-bit processes,
# where 32-bit Wine cannot start. The loaders are called directly: Debian's `wine` wrapper
# picks the 32-bit one whenever it is installed, even where it cannot run.
WB_LOADER_i686=/usr/lib/wine/wine
WB_LOADER_x86_64=/usr/lib/wine/wine64

# Succeeds when Wine of kind $1 starts on this machine (its loader runs and answers).
wb_kind_runs() {
  local loader="WB_LOADER_$1"
  [ -n "${!loader:-}" ] && [ -x "${!loader}" ] || return 1
  "${!loader}" --version 2>/dev/null | grep -q '^wine-'
}

# The kind this machine runs, decided by probing: i686 where 32-bit Wine starts, else x86_64.
# WINEBENCH_KIND (i686 or x86_64) forces a kind; it is refused where that kind cannot run.
wb_choose_kind() {
  local kind="${WINEBENCH_KIND:-}"
  if [ -n "$kind" ]; then
    case "$kind" in i686|x86_64) ;; *) wb_log "WINEBENCH_KIND must be i686 or x86_64, not '$kind'"; return 2 ;; esac
    wb_kind_runs "$kind" || { wb_log "WINEBENCH_KIND=$kind, but $kind Wine does not start on this machine"; return 1; }
  elif wb_kind_runs i686; then kind=i686
  elif wb_kind_runs x86_64; then kind=x86_64
  else wb_log "neither 32-bit nor 64-bit Wine starts on this machine"; return 1
  fi
  echo "$kind"
}

# The build tree of a kind's Windows programs.
wb_kind_tree() { case "$1" in i686) echo build/win32 ;; x86_64) echo build/win64 ;; esac; }

# The kind of a PE program, from the machine field of its file header: i686 or x86_64.
wb_exe_kind() {
  local lfanew machine
  lfanew=$(od -An -tu4 -j60 -N4 "$1" 2>/dev/null | tr -d ' ')
  [ -n "$lfanew" ] || return 1
  machine=$(od -An -tx2 -j$((lfanew + 4)) -N2 "$1" 2>/dev/null | tr -d ' ')
  case "$machine" in 014c) echo i686 ;; 8664) echo x86_64 ;; *) return 1 ;; esac
}

# Makes kind $1 the one that wb_wine and the prefixes below use.
wb_use_kind() {
  WB_KIND="$1"
  local loader="WB_LOADER_$1"
  WB_WINE="${!loader}"
  export WINELOADER="$WB_WINE"
  case "$1" in i686) export WINEARCH=win32 ;; x86_64) export WINEARCH=win64 ;; esac
}

# Runs a Wine program with the loader of the kind in use.
wb_wine() { "$WB_WINE" "$@"; }

# Registry contents applied to every golden prefix: no window manager delays, no host pollution,
# and a crashing program ends at once with its exception code as exit status (Wine names the
# fault on standard error): no crash dialog, and no debugger, whose automatic mode ends the
# program with status 0 at times.
wb_common_reg() {
  cat <<'EOF'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"=""
"Auto"="1"

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"winemenubuilder.exe"=""
"mscoree"=""
"mshtml"=""

EOF
}

# The sp4 variant: NT 3.51 build 1057 "Service Pack 4" for every exe without an AppDefaults
# Version (requires that HKCU\Software\Wine has no Version value either).
wb_sp4_reg() {
  cat <<'EOF'
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion]
"CurrentVersion"="3.51"
"CSDVersion"="Service Pack 4"
"CurrentBuildNumber"="1057"

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Windows]
"CSDVersion"=dword:00000400

EOF
}

# Stops the wineserver of prefix $1 (all its processes) and waits; removes its socket directory.
wb_stop_server() {
  local prefix="$1"
  [ -d "$prefix" ] || return 0
  WINEPREFIX="$prefix" timeout 20 wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" timeout 30 wineserver -w >/dev/null 2>&1 || true
  wb_remove_socket_dir "$prefix"
}

# Processes still running in prefix $1 (every Wine process carries its WINEPREFIX).
wb_prefix_processes() {
  local e pid
  for e in /proc/[0-9]*/environ; do
    pid=${e#/proc/}; pid=${pid%/environ}
    { tr '\0' '\n' <"$e"; } 2>/dev/null | grep -qxF "WINEPREFIX=$1" && echo "$pid"
  done
  return 0
}

# Every server start makes a socket directory /tmp/wine-XXXXXX/server-<dev>-<inode of the
# prefix> (named in $WINEPREFIX/wineserver where Debian's wrapper writes that file). Once the
# server has stopped, the directories of this prefix are removed.
wb_remove_socket_dir() {
  local prefix="$1" f d name
  [ -z "$(wb_prefix_processes "$prefix")" ] || return 0   # its server still runs
  f="$prefix/wineserver"
  if [ -f "$f" ]; then
    d=$(cat "$f" 2>/dev/null)
    case "$d" in /tmp/wine-??????) [ -O "$d" ] && rm -rf "$d" ;; esac
  fi
  name=$(stat -c 'server-%d-%i' "$prefix" 2>/dev/null) || return 0
  name=$(printf 'server-%x-%x' $(echo "$name" | sed 's/server-//; s/-/ /'))
  for d in /tmp/wine-??????; do
    [ -d "$d/$name" ] && [ -O "$d" ] || continue
    # only directories that hold nothing but this prefix's socket directory
    [ "$(ls -A "$d")" = "$name" ] && rm -rf "$d"
  done
  return 0
}

# Creates the golden prefixes $1/golden-default and $1/golden-sp4 once, under their own lock.
# Creation runs without a display so no window appears.
wb_create_golden() {
  mkdir -p "$1"
  ( flock 7; wb_create_golden_locked "$1" ) 7>"$1/golden.lock"
}
# A golden prefix records what it was made from; a change to the registry contents above, to
# the kind or to the installed Wine makes the next run create it again.
wb_golden_stamp() {
  { wb_common_reg; wb_sp4_reg; echo "$WB_KIND"; wb_wine --version 2>/dev/null; } | md5sum | cut -c1-32
}
wb_create_golden_locked() {
  local bench="$1" stamp
  stamp=$(wb_golden_stamp)
  [ "$(cat "$bench/golden-default/.winebench-ready" 2>/dev/null)" = "$stamp" ] &&
    [ "$(cat "$bench/golden-sp4/.winebench-ready" 2>/dev/null)" = "$stamp" ] && return 0
  local tmp="$bench/golden-new"
  wb_stop_server "$tmp"; rm -rf "$tmp" "$bench/golden-sp4-new"
  mkdir -p "$bench"
  wb_log "creating the $WB_KIND Wine prefix in $bench (once, ~20 s)"
  (
    unset DISPLAY
    export WINEPREFIX="$tmp"
    wb_wine wineboot -i >/dev/null 2>&1 </dev/null || exit 1
    wb_common_reg >"$bench/common.reg"
    wb_wine regedit /S "Z:${bench//\//\\}\\common.reg" >/dev/null 2>&1 </dev/null || exit 1
    # Everything under a user's folders stays inside the prefix.
    local u
    for u in "$tmp"/drive_c/users/*/; do
      local l
      for l in "$u"*; do
        [ -L "$l" ] && rm -f "$l" && mkdir -p "$l"
      done
    done
  ) || { wb_stop_server "$tmp"; wb_log "prefix creation failed"; return 1; }
  wb_stop_server "$tmp"
  cp -a "$tmp" "$bench/golden-sp4-new"
  (
    unset DISPLAY
    export WINEPREFIX="$bench/golden-sp4-new"
    rm -f "$WINEPREFIX/wineserver"
    wb_sp4_reg >"$bench/sp4.reg"
    wb_wine regedit /S "Z:${bench//\//\\}\\sp4.reg" >/dev/null 2>&1 </dev/null
  ) || { wb_stop_server "$bench/golden-sp4-new"; wb_log "sp4 prefix failed"; return 1; }
  wb_stop_server "$bench/golden-sp4-new"
  rm -f "$tmp/wineserver" "$bench/golden-sp4-new/wineserver"
  echo "$stamp" >"$tmp/.winebench-ready"
  echo "$stamp" >"$bench/golden-sp4-new/.winebench-ready"
  rm -rf "$bench/golden-default" "$bench/golden-sp4"
  mv "$tmp" "$bench/golden-default"
  mv "$bench/golden-sp4-new" "$bench/golden-sp4"
}

# Makes the working prefix $1/prefix-$3 a fresh copy of the golden prefix $2/golden-$3.
wb_fresh_prefix() {
  local bench="$1" golden="$2" variant="$3"
  local p="$bench/prefix-$variant"
  wb_stop_server "$p"
  rm -rf "$p"
  cp -a "$golden/golden-$variant" "$p"
  rm -f "$p/wineserver"
}

# Starts a private Xvfb; prints "<display> <pid>". Xvfb picks a free display number itself.
wb_start_xvfb() {
  local dir="$1" fifo_file="$1/xvfb.display"
  rm -f "$fifo_file"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
      3>"$fifo_file" >/dev/null 2>"$dir/xvfb.log" </dev/null &
  local pid=$! i
  for i in $(seq 1 200); do
    if [ -s "$fifo_file" ]; then
      local n; n=$(tr -dc 0-9 <"$fifo_file")
      if [ -n "$n" ] && DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; then
        echo ":$n $pid"; return 0
      fi
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  kill "$pid" 2>/dev/null
  wb_log "Xvfb did not start: $(cat "$dir/xvfb.log" 2>/dev/null | tail -3)"
  return 1
}

# Stops an Xvfb this bench started (pid and display recorded by wb_start_xvfb).
wb_stop_xvfb() {
  local pid="$1"
  [ -n "$pid" ] || return 0
  if kill -0 "$pid" 2>/dev/null && [ "$(cat /proc/"$pid"/comm 2>/dev/null)" = Xvfb ]; then
    kill "$pid" 2>/dev/null
    local i
    for i in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -9 "$pid" 2>/dev/null || true
  fi
}

# Starts a persistent wineserver for the prefix and its system processes, detached from the
# caller's output (ctest waits for every holder of a test's output pipe).
# With the keeper (a hidden window, tests/winebench/desktop_keeper.exe of the build tree that
# holds the bench) the desktop process lives until the server is stopped.
wb_warm_server() {
  local prefix="$1" display="$2" keeper="$3"
  WINEPREFIX="$prefix" wineserver -p >/dev/null 2>&1 </dev/null || true
  WINEPREFIX="$prefix" DISPLAY="$display" setsid -w "$WB_WINE" cmd /c exit 0 >/dev/null 2>&1 </dev/null || true
  if [ -s "$keeper" ]; then
    local ready="$prefix/.winebench-keeper-ready" i
    rm -f "$ready"
    WINEPREFIX="$prefix" DISPLAY="$display" setsid "$WB_WINE" "$keeper" "Z:${ready//\//\\}" \
        >/dev/null 2>&1 </dev/null &
    for i in $(seq 1 300); do [ -e "$ready" ] && break; sleep 0.05; done
    [ -e "$ready" ] || wb_log "the desktop keeper did not start"
  else
    wb_log "no desktop keeper at $keeper: windows may fail when the desktop restarts"
  fi
}
