#!/usr/bin/env bash
# The Debian package on this machine: builds it from the build folder (cpack), installs it with
# dpkg, runs the installed programs (aceadmin --help, aceadmin build-demo, quenlor-batch over the
# demo installation), checks the manual pages and units, enables the timer as an administrator
# would, purges the package and checks that nothing of it is left behind.
#
# usage: debian_package_test.sh BUILD_FOLDER
# Exit status: 0 passed, 1 failed, 77 skipped (not root, no dpkg or cpack, or the package is
# installed already: the test never touches an installation it did not make).
#
# The package is installed system-wide, so one run at a time on the machine: the runs of every
# checkout take turns through a lock file. Nothing else on the machine changes: the hive files,
# the demo installation and the temporary folder live in a folder of the test's own.
set -uo pipefail

build="${1:?usage: debian_package_test.sh BUILD_FOLDER}"
package=quenlor

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
for tool in dpkg dpkg-deb dpkg-query cpack flock; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is not installed"
done
[ -f "$build/CPackConfig.cmake" ] || fail "$build holds no CPack configuration; configure the build first"

exec 9>/run/lock/quenlor-debian-package-test.lock || skip "cannot open the lock file in /run/lock"
flock -w 1200 9 || fail "another run of this test held the machine's package lock for 20 minutes"

# "installed", "not-installed" (also for a package dpkg has never heard of), or another state.
installed_state() {
  local s
  s="$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null)"
  echo "${s:-not-installed}"
}
state="$(installed_state)"
if [ "$state" != "not-installed" ]; then
  skip "the package $package is on this machine already ($state)"
fi

timer_link=/etc/systemd/system/timers.target.wants/quenlor-batch.timer
work="$(mktemp -d /tmp/quenlor-package-test.XXXXXX)"
installed_by_us=0
enabled_by_us=0
# Whatever happened, the machine is left as it was found.
cleanup() {
  if [ "$installed_by_us" -eq 1 ] && [ "$(installed_state)" != "not-installed" ]; then
    with_dpkg_lock dpkg --purge "$package" >/dev/null 2>&1
  fi
  if [ "$enabled_by_us" -eq 1 ]; then rm -f "$timer_link"; fi
  rm -rf "$work"
}
trap cleanup EXIT

# dpkg refuses while another dpkg or apt holds its lock (someone installing packages): wait.
with_dpkg_lock() {
  local out status
  for _ in $(seq 1 120); do
    out="$("$@" 2>&1)"
    status=$?
    if [ $status -ne 0 ] && grep -Eq "locked by another process|database is locked" <<<"$out"; then
      sleep 5
      continue
    fi
    printf '%s\n' "$out"
    return $status
  done
  printf '%s\n' "$out"
  return 1
}

echo "== building the package"
cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack could not build the package"; }
deb="$(ls "$work"/package/${package}_*.deb 2>/dev/null | head -n 1)"
[ -n "$deb" ] || fail "cpack made no .deb"
dpkg-deb --info "$deb" || fail "dpkg-deb cannot read $deb"
echo "== dpkg -c $(basename "$deb")"
dpkg -c "$deb" || fail "dpkg cannot list $deb"

# What the package will put on the machine, and which of it exists before (shared folders).
mapfile -t paths < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -e 's|^\./|/|' -e 's|/$||' | grep -v '^/\?$')
declare -A existed
for p in "${paths[@]}"; do
  if [ -e "$p" ] || [ -L "$p" ]; then existed["$p"]=1; fi
done
for p in /usr/lib/quenlor/libace32.so /usr/bin/quenlor-batch /usr/bin/aceadmin; do
  [ -z "${existed[$p]:-}" ] || fail "$p exists before the package is installed"
done
[ ! -e "$timer_link" ] && [ ! -L "$timer_link" ] || fail "$timer_link exists before the package is installed"

echo "== dpkg -i"
installed_by_us=1
with_dpkg_lock dpkg -i "$deb" || fail "dpkg could not install the package (are its dependencies installed?)"
[ "$(installed_state)" = "installed" ] || fail "dpkg reports the package as $(installed_state)"

echo "== aceadmin --help"
help="$(/usr/bin/aceadmin --help)" || fail "the installed aceadmin --help failed"
grep -q "^usage: aceadmin" <<<"$help" || fail "aceadmin --help printed: $help"
grep -q "^  reindex " <<<"$help" || fail "aceadmin --help lists no reindex command: $help"

echo "== quenlor-batch over an installation"
/usr/bin/aceadmin build-demo "$work/data" >"$work/demo.log" 2>&1 ||
  { cat "$work/demo.log"; fail "the installed aceadmin could not build the demo installation"; }
windows="C:${work//\//\\}\\data\\"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Pellmar]\r\n"DataFolder"="%s"\r\n\r\n' \
  "${windows//\\/\\\\}" >"$work/HKCU.reg"
mkdir -p "$work/tmp"
out="$(cd "$work" && env -u PELLMAR_EXE_DIR -u LD_LIBRARY_PATH PELLMAR_HKCU="$work/HKCU.reg" \
  PELLMAR_HKLM="$work/HKLM.reg" TMPDIR="$work/tmp" HOME="$work" /usr/bin/quenlor-batch 2>&1)"
status=$?
printf '%s\n' "$out"
[ $status -eq 0 ] || fail "the installed quenlor-batch exited with $status"
grep -qF '\DB\DB.add"' <<<"$out" || fail "quenlor-batch did not process the main dictionary"
grep -q 'Finished\.' <<<"$out" || fail "quenlor-batch did not finish its run"
[ -f "$work/data/Logs/quenlor.txt" ] || fail "quenlor-batch wrote no log file"

if command -v man >/dev/null 2>&1; then
  for page in quenlor quenlor-batch aceadmin; do
    man -w "$page" >/dev/null 2>&1 || fail "man does not find the page $page"
  done
fi

if command -v systemd-analyze >/dev/null 2>&1; then
  echo "== systemd-analyze verify"
  verify="$(systemd-analyze verify /usr/lib/systemd/system/quenlor-batch.service \
    /usr/lib/systemd/system/quenlor-batch.timer 2>&1)" || { echo "$verify"; fail "the units do not verify"; }
  [ -z "$verify" ] || { echo "$verify"; fail "systemd-analyze verify warns about the units"; }
fi

# An administrator enables the timer; removing the package must take that link away too.
if command -v systemctl >/dev/null 2>&1; then
  enabled_by_us=1
  systemctl enable quenlor-batch.timer >/dev/null 2>&1 || fail "systemctl cannot enable the timer"
  [ -L "$timer_link" ] || fail "enabling the timer made no link $timer_link"
fi

echo "== dpkg --purge"
with_dpkg_lock dpkg --purge "$package" || fail "dpkg could not purge the package"
[ "$(installed_state)" = "not-installed" ] || fail "after the purge dpkg reports $(installed_state)"
left=()
for p in "${paths[@]}"; do
  [ -n "${existed[$p]:-}" ] && continue
  if [ -e "$p" ] || [ -L "$p" ]; then left+=("$p"); fi
done
if [ -e "$timer_link" ] || [ -L "$timer_link" ]; then left+=("$timer_link"); fi
[ ${#left[@]} -eq 0 ] || fail "left behind after the purge: ${left[*]}"
echo "PASSED"
