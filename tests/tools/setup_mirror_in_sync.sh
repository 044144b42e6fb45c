#!/usr/bin/env bash
# scripts/setup on a machine whose mirror is mid-sync: every apt-get update fails on one
# index and the 32-bit packages cannot be installed. Set-up must still succeed, say why the
# 32-bit lane is off, and leave scripts/can-run-32bit saying no. Runs without the network:
# apt-get, dpkg and dpkg-query are stubs first on PATH, over a copy of the scripts.
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/scripts" "$work/bin"
cp "$source_dir/scripts/setup" "$source_dir/scripts/can-run-32bit" "$work/scripts/"
stub() { printf '#!/usr/bin/env bash\n%s\n' "$2" >"$work/bin/$1" && chmod +x "$work/bin/$1"; }
stub apt-get 'echo "$*" >>'"$work"'/apt-calls
case "$1" in
  update) echo "E: Failed to fetch .../binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2; exit 100 ;;
  *) echo "E: Unable to correct problems, you have held broken packages." >&2; exit 100 ;;
esac'
stub dpkg-query 'case "$3" in *:i386) exit 1 ;; *) echo "install ok installed" ;; esac'
stub dpkg 'echo i386'
stub sudo 'exec "$@"'
stub locale 'printf "en_US.utf8\nru_RU.utf8\n"'
export PATH=$work/bin:$PATH TAVREL_APT_RETRY_SECONDS=0
unset TAVREL_NO_32BIT
output=$(bash "$work/scripts/setup")
echo "$output"
fail() { echo "FAIL: $1" >&2; exit 1; }
[ "$(grep -c '^update' "$work/apt-calls")" -ge 2 ] || fail "a failed apt-get update is not tried again"
if /lib/ld-linux.so.2 --help >/dev/null 2>&1; then
  grep -q '^setup: apt-get could not install wine32:i386 libcups2:i386 .*: the 32-bit tests will be skipped$' <<<"$output" ||
    fail "no line that says why the 32-bit lane is off"
fi
! bash "$work/scripts/can-run-32bit" || fail "can-run-32bit says yes without the 32-bit packages"
