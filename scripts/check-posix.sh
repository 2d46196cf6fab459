#!/usr/bin/env bash
# Fails when a file of src/ outside src/os/, or of tools/, reaches the
# operating system itself: a POSIX header, a POSIX type in its interface, or a
# POSIX call. The core, the session, the windows and zorvtool must build
# against another backend of src/os/ unchanged.
# Usage: check-posix.sh [SOURCE_ROOT]   (default: the project's root)
set -euo pipefail
root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"

# Every folder of src/ but os/, with their ui/ parts and backends, and the tool.
folders=(src/userfile src/settings src/editor src/resume src/reports src/components src/about
  src/session src/platform src/app tools)
# Files allowed to reach the system anyway, one per line with the reason.
exceptions=()

files=()
for m in "${folders[@]}"; do
  [ -d "$root/$m" ] || continue
  while IFS= read -r -d '' f; do files+=("$f"); done \
    < <(find "$root/$m" -type f \( -name '*.h' -o -name '*.cpp' \) -print0)
done
if [ "${#files[@]}" -eq 0 ]; then
  echo "check-posix.sh: no source files under $root/src or $root/tools" >&2
  exit 1
fi

headers='#[[:space:]]*include[[:space:]]*<(unistd\.h|fcntl\.h|sys/[^>]*|dirent\.h|pwd\.h|grp\.h|signal\.h|csignal|poll\.h|termios\.h)>'
types='\b(struct[[:space:]]+stat|off_t|ssize_t|mode_t|uid_t|gid_t|pid_t|DIR|dirent)\b'
# Names only POSIX has, called bare or as ::name.
distinct='pread|pwrite|fsync|fdatasync|ftruncate|fstat|lstat|flock|fcntl|mkostemp|mkstemp|renameat2|opendir|readdir|closedir|realpath|getcwd|fchmod|fchown|umask|geteuid|getuid|getegid|getgid|getpwuid|getpwuid_r|getpwnam|localtime_r|getpid|symlink|readlink'
# Names a class may have as well: only ::name counts.
common='open|close|read|write|stat|rename|unlink|link|access|mkdir|rmdir|chmod|chown|truncate|kill|dup|dup2|pipe|fork'
calls="(^|[^A-Za-z0-9_.>:])((::)?($distinct)|::($common))[[:space:]]*\\("

status=0
for f in "${files[@]}"; do
  rel="${f#"$root"/}"
  for e in "${exceptions[@]}"; do
    [ "$rel" = "${e%% *}" ] && continue 2
  done
  # Comments and strings may name what they like.
  hits=$(sed -E 's#//.*$##; s#"([^"\\]|\\.)*"#""#g' "$f" |
    grep -nE "$headers|$types|$calls" || true)
  if [ -n "$hits" ]; then
    while IFS= read -r line; do echo "$rel:$line"; done <<<"$hits"
    status=1
  fi
done
if [ "$status" -ne 0 ]; then
  echo "check-posix.sh: the lines above reach the operating system; go through src/os/" >&2
  exit 1
fi
echo "check-posix.sh: ${#files[@]} files, none reaches the system outside src/os/" \
  "(exceptions: ${#exceptions[@]})"
