#!/usr/bin/env bash
# Installs the build into a throw-away prefix and checks it as a user would
# meet it: exactly the expected files, a menu entry and an AppStream file the
# validators accept, and the installed program, whose folder it cannot write
# to, keeping its settings in the user's folder.
#   install_test.sh BUILD_DIR   (ZARVEX_XSESSION names the test display's state)
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'chmod -R u+w "$tmp"; rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

expected=(bin/zarvex bin/zarvex-notifyd bin/zarvex-qr lib/systemd/system/zarvex-notifyd.service
  share/applications/org.zarvex.Zarvex.desktop share/metainfo/org.zarvex.Zarvex.metainfo.xml
  share/doc/zarvex{,-notifyd}/{changelog.gz,copyright} share/doc/zarvex-notifyd/examples/notifyd.ini
  share/icons/hicolor/{16x16,22x22,24x24,32x32,48x48,64x64,128x128,256x256}/apps/org.zarvex.Zarvex.png
  share/icons/hicolor/scalable/apps/org.zarvex.Zarvex.svg
  share/man/man1/zarvex{,-qr}.1.gz share/man/man8/zarvex-notifyd.8.gz share/zarvex/{config.ini,tx.wav})
diff -u <(printf '%s\n' "${expected[@]}" | LC_ALL=C sort) \
  <(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort) \
  || { echo "FAIL: the install tree differs from the expected files (- expected, + installed)"; exit 1; }

desktop-file-validate "$prefix/share/applications/org.zarvex.Zarvex.desktop"
appstreamcli validate --no-net --explain "$prefix/share/metainfo/org.zarvex.Zarvex.metainfo.xml" >/dev/null \
  || { appstreamcli validate --no-net "$prefix/share/metainfo/org.zarvex.Zarvex.metainfo.xml"; exit 1; }
for page in "$prefix"/share/man/man*/*.gz; do
  out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [[ -z $out ]] || { echo "FAIL: $page: $out"; exit 1; }
done

# The man pages describe every option the programs' --help names.
for pair in zarvex-qr:man1/zarvex-qr.1.gz zarvex-notifyd:man8/zarvex-notifyd.8.gz; do
  program=${pair%%:*}
  page=$(zcat "$prefix/share/man/${pair#*:}" | sed 's/\\-/-/g')
  for option in $("$prefix/bin/$program" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
    grep -q -- "$option" <<<"$page" || { echo "FAIL: the man page of $program does not describe $option"; exit 1; }
  done
done

# A start of the installed program with a program folder it cannot write to:
# it copies the shipped settings into the user's folder and counts the tips
# window down there (3 shipped, then 2); later starts are a unit case's.
export HOME=$tmp/home DISPLAY
unset XDG_CONFIG_HOME
DISPLAY=$(cat "$ZARVEX_XSESSION/display")
chmod -R a-w "$prefix"
user_ini=$HOME/.config/zarvex/config.ini
holds_tips() { tr -d '\r' <"$user_ini" 2>/dev/null | grep -qx "tips=2"; }
"$prefix/bin/zarvex" >"$tmp/zarvex.log" 2>&1 &
pid=$!
for _ in $(seq 200); do
  holds_tips && break
  kill -0 $pid 2>/dev/null || break
  sleep 0.1
done
kill $pid 2>/dev/null || true
wait $pid 2>/dev/null || true
holds_tips || { echo "FAIL: after a start $user_ini does not hold tips=2:"; cat "$user_ini" "$tmp/zarvex.log"; exit 1; }
[[ -z $(find "$prefix" -name config.ini -not -path '*/share/zarvex/*') ]] || { echo "FAIL: settings written into the prefix"; exit 1; }
echo "install tree, validators and settings in the user's folder: fine"
