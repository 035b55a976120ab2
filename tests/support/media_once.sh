# Sourced by the scripts that make test media into a directory: suites running side by side make it
# once, the others wait on its lock and find it complete. After sourcing, the script works in a
# private directory, makes its files with ff, and calls media_done to publish them as $dir.
# The caller sets dir before sourcing.
mkdir -p "$(dirname "$dir")"
exec 9>"$dir.lock"
flock 9
[ -f "$dir/complete" ] && exit 0
work=$dir.part.$$
rm -rf "$work"
mkdir -p "$work"
cd "$work"
ff() { ffmpeg -nostdin -v error -y "$@"; }
media_done() {
  touch complete
  cd ..
  rm -rf "$dir"
  mv "$work" "$dir"
}
