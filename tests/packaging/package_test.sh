#!/usr/bin/env bash
# Makes the Debian packages (CPack, into a throw-away folder), runs lintian on
# them, unpacks each into a throw-away root, runs its programs from there,
# checks that every dependency it declares is met on this machine, and has
# systemd check the service's unit.
#   package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log"; exit 1; }
arch=$(dpkg --print-architecture)
desktop=$tmp/out/zarvex_${version}_${arch}.deb
service=$tmp/out/zarvex-notifyd_${version}_${arch}.deb
ls "$desktop" "$service" >/dev/null

# No errors; the warnings are shown.
# Status 1 means tags were found; anything above, that lintian did not run.
status=0
lintian --tag-display-limit 0 "$desktop" "$service" >"$tmp/lintian.log" 2>&1 || status=$?
grep -v 'running with root privileges' "$tmp/lintian.log" || true
(( status <= 1 )) || { echo "FAIL: lintian did not run (status $status)"; exit 1; }
! grep -q '^E:' "$tmp/lintian.log" || { echo "FAIL: lintian reports errors"; exit 1; }

# Every declared dependency is installed here, in a version that satisfies it
# (dpkg-checkbuilddeps holds a relation list against the installed packages).
for deb in "$desktop" "$service"; do
  dpkg-checkbuilddeps -d "$(dpkg-deb -f "$deb" Depends)" /dev/null \
    || { echo "FAIL: $(basename "$deb") declares a dependency not met here"; exit 1; }
done

root=$tmp/root
dpkg-deb -x "$desktop" "$root"
dpkg-deb -x "$service" "$root"
"$root/usr/bin/zarvex-qr" --help >/dev/null
"$root/usr/bin/zarvex-notifyd" --help >/dev/null
[[ $(env -u DISPLAY HOME="$tmp/home" XDG_CONFIG_HOME= "$root/usr/bin/zarvex" --config-path) \
   == "$tmp/home/.config/zarvex/config.ini" ]] || { echo "FAIL: the packaged zarvex does not keep its settings in the user's folder"; exit 1; }
for script in postinst prerm postrm; do
  dpkg-deb --ctrl-tarfile "$service" | tar -xO "./$script" | sh -n
done

# The unit as systemd reads it; the binary is named by its unpacked path
# because systemd looks for a bare name only in the system's folders.
if systemd-analyze --version >/dev/null 2>&1; then
  sed "s|^ExecStart=zarvex-notifyd |ExecStart=$root/usr/bin/zarvex-notifyd |" \
    "$root/usr/lib/systemd/system/zarvex-notifyd.service" >"$tmp/zarvex-notifyd.service"
  out=$(systemd-analyze verify --man=no "$tmp/zarvex-notifyd.service" 2>&1) || { echo "$out"; exit 1; }
  [[ -z $out ]] || { echo "FAIL: systemd-analyze verify: $out"; exit 1; }
else
  echo "systemd-analyze cannot run here: the unit was not verified"
fi
echo "packages: $(basename "$desktop") $(basename "$service"): fine"
