# The machinery of a course through real windows under Wine, sourced by
# setup-course and scripts/demo --gui. The caller sets:
#   wine     the loader (/usr/lib/wine/wine64), with WINEPREFIX exported
#   bin      the folder holding automate.exe
#   scripts  the folder of the automate scripts named by relative names
#   work     a scratch folder: automate's working folder (screenshots land
#            there as .bmp), and its logs automate.out and programs.out
#   shots    where save_shots puts the screenshots as PNG

# A Unix path as Wine sees it on drive Z:.
windows_path() { local path=$1; echo "Z:${path//\//\\}"; }

# Runs one automate script (a name in $scripts, or an absolute path)
# against the desktop; its output goes to the log.
drive() {
  local desktop=$1 script=$2
  [[ $script == /* ]] || script=$scripts/$script
  if ! (cd "$work" && timeout 300 "$wine" "$bin/automate.exe" --desktop "$desktop" --timeout 30000 \
      run "$script") >>"$work/automate.out" 2>&1; then
    echo "automation $(basename "$script") failed:"
    sed 's/^/    /' "$work/automate.out"
    return 1
  fi
}

# Starts a program on a desktop of its own (Wine draws the frames).
start_on_desktop() {
  local desktop=$1 program=$2
  "$wine" explorer "/desktop=$desktop,1000x740" "$program" >>"$work/programs.out" 2>&1 &
  desktop_pid=$!
}

# Waits for the desktop's explorer to end once the course left it; then
# ends whatever is left on it (a folder window of the shell).
end_desktop() {
  for _ in $(seq 1 50); do
    kill -0 "$desktop_pid" 2>/dev/null || break
    sleep 0.2
  done
  if kill -0 "$desktop_pid" 2>/dev/null; then
    kill "$desktop_pid" 2>/dev/null || true
  fi
  wait "$desktop_pid" 2>/dev/null || true
}

# Converts the screenshots automate wrote into $work to PNG files in $shots.
save_shots() {
  local bmp
  for bmp in "$work"/*.bmp; do
    [[ -f $bmp ]] || continue
    convert "$bmp" "$shots/$(basename "$bmp" .bmp).png"
    rm -f "$bmp"
  done
}
