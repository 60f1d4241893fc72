# Shell functions shared by the build, run and test scripts: a private Wine
# environment inside the build folder. Sourced, never run.

WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

# qv_wine_env BUILD_DIR: private prefix, home and settings for every Wine process.
qv_wine_env() {
  QV_WINE_DIR="$1/wine"
  export WINEPREFIX="$QV_WINE_DIR/prefix"
  export HOME="$QV_WINE_DIR/home"
  export XDG_CONFIG_HOME="$HOME/.config" XDG_DATA_HOME="$HOME/.local/share" XDG_CACHE_HOME="$HOME/.cache"
  export WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
  # No menu entries or .desktop files on the host, no Mono/Gecko install prompts.
  export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="
  export WINE WINESERVER
  unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
}

# The prefix's settings version: a prefix made with other settings is made anew.
QV_WINE_READY=.qv-ready-3

# qv_wine_prepare: creates the prefix once (about 5 s), safe to call from parallel tests.
qv_wine_prepare() {
  [ -f "$WINEPREFIX/$QV_WINE_READY" ] && return 0
  mkdir -p "$QV_WINE_DIR" "$HOME"
  (
    flock 9
    [ -f "$WINEPREFIX/$QV_WINE_READY" ] && exit 0
    rm -rf "$WINEPREFIX"
    log="$QV_WINE_DIR/prepare.log"
    "$WINE" wineboot -i >"$log" 2>&1 </dev/null
    # Wine has no "Segoe UI" and would draw the windows' texts in DejaVu Sans,
    # about a tenth wider; its own Tahoma (fonts-wine) measures like the real face.
    # Tahoma has no Chinese or Japanese letters: they come from WenQuanYi Micro
    # Hei (fonts-wqy-microhei) through the face's link list.
    cat >"$QV_WINE_DIR/settings.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine]
"Version"="win10"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Segoe UI"="Tahoma"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]
"Tahoma"=hex(7):77,71,79,2d,6d,69,63,72,6f,68,65,69,2e,74,74,63,2c,57,65,6e,51,75,61,6e,59,69,20,4d,69,63,72,6f,20,48,65,69,00,00
REG
    "$WINE" regedit /S "$(printf 'Z:%s' "$QV_WINE_DIR/settings.reg" | tr / '\\')" >>"$log" 2>&1 </dev/null
    # This Wine build does not load the faces of its data folder by itself;
    # in the prefix's Fonts folder they are found.
    cp /usr/share/wine/fonts/tahoma.ttf /usr/share/wine/fonts/tahomabd.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    "$WINESERVER" -w
    touch "$WINEPREFIX/$QV_WINE_READY"
  ) 9>"$QV_WINE_DIR/prepare.lock"
}

# qv_wine_run PROGRAM ARGS...: runs a Windows program, passes its output on
# as it comes, and passes on its exit code.
# Wine's background services inherit the output handles and keep them open long
# after the program ends: a pipe would keep its reader (ctest) waiting, so the
# program writes into a file that is read out as it grows. The file is deleted
# as soon as both ends are open: a run killed outright (ctest's time-out sends
# SIGKILL) leaves no file, and what the program printed until then is shown.
qv_wine_run() {
  local out write read pid rc
  out=$(mktemp "$QV_WINE_DIR/output.XXXXXX") || return 1
  exec {write}>"$out" {read}<"$out"
  rm -f "$out"
  # A command started with "&" ignores Ctrl-C; the program must not.
  ( trap - INT QUIT; exec "$WINE" "$@" >&"$write" 2>&1 </dev/null {write}>&- {read}<&- ) &
  pid=$!
  exec {write}>&-
  # Wine takes Ctrl-C only for console programs: any stop of this run stops
  # the program as well.
  trap 'kill -TERM "$pid" 2>/dev/null' INT TERM HUP
  while kill -0 "$pid" 2>/dev/null; do
    cat <&"$read"
    sleep 0.2
  done
  wait "$pid"
  rc=$?
  trap - INT TERM HUP
  cat <&"$read"
  exec {read}<&-
  return $rc
}

# qv_wine_session_start / qv_wine_session_stop: one persistent wineserver for a
# whole test run, so each later process starts in about 0.06 s.
qv_wine_session_start() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  "$WINESERVER" -w >/dev/null 2>&1 || true
  "$WINESERVER" -p >/dev/null 2>&1 </dev/null
}

qv_wine_session_stop() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  "$WINESERVER" -w >/dev/null 2>&1 || true
}
