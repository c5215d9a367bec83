#!/usr/bin/env bash
# Mutation check, run by hand (scripts/test does not run it): each mutation
# below is a one-line fault put into a copy of the source tree in WORK (default
# build-mutations/ beside build/, so that ccache serves the unchanged objects);
# the tests of that part must then fail. Prints "caught" or "MISSED" per
# mutation; exits 1 if any was missed, 2 if the unchanged copy fails.
#   tests/mutations.sh [WORK]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$repo/build-mutations}
tree=$work/tree
rm -rf "$work"
mkdir -p "$tree"

# The tree as it is now (uncommitted changes included), without build folders.
git -C "$repo" ls-files -z --cached --others --exclude-standard \
  | (cd "$repo" && tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$tree"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$tree" -B "$tree/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZARVEX_WERROR=ON "${launcher[@]}" \
  >"$work/configure.log" 2>&1 || { echo "configure failed: see $work/configure.log"; exit 2; }

# Each part's tests, and the targets they run.
declare -A tests=([encoder]='^(Qr|ReedSolomon)' [counters]='^(RunTest|MonitorPoints)' [ini]='^IniFileTest'
                  [png]='^ToolTest')
declare -A targets=([encoder]='qrcode_tests qrcode_picture_tests' [counters]=monitor_tests [ini]=config_tests
                    [png]='zarvex-qr qrcode_picture_tests')
# shellcheck disable=SC2086 # a part's targets are several words
build() { cmake --build "$tree/build" -j "$(nproc)" --target $1 >"$work/build.log" 2>&1; }
passes() { ctest --test-dir "$tree/build" -R "${tests[$1]}" >"$work/ctest.log" 2>&1; }

# The unchanged copy must build and pass, or no result below would mean anything.
build "${targets[*]}" || { echo "build failed: see $work/build.log"; exit 2; }
for part in "${!tests[@]}"; do
  passes "$part" || { echo "unchanged tree fails the $part tests: see $work/ctest.log"; exit 2; }
done

missed=0
# mutate PART WHAT FILE SED-EXPRESSION
mutate() {
  local part=$1 what=$2 file=$3 result=caught
  cp "$tree/$file" "$work/saved"
  sed -i "$4" "$tree/$file"
  if cmp -s "$tree/$file" "$work/saved"; then
    result="MISSED (the line to change is not there any more)"
  elif ! build "${targets[$part]}"; then
    result="MISSED (does not build)"
  elif passes "$part"; then
    result=MISSED
  fi
  cp "$work/saved" "$tree/$file"
  [[ $result == caught ]] || missed=$((missed + 1))
  printf '%-8s %s: %s: %s\n' "${result%% *}" "$part" "$what" "$file"
  [[ $result == caught ]] || echo "         $result"
}

q=src/qrcode
mutate encoder "mask pattern 0 inverted" $q/qr_mask_penalty.cpp 's/(i + j) % 2 == 0;/(i + j) % 2 == 1;/'
mutate encoder "second pad codeword" $q/qr_code.cpp 's/0xEC : 0x11/0xEC : 0x12/'
mutate encoder "format information mask" $q/qr_matrix.cpp 's/kFormatMask = 0x5412;/kFormatMask = 0x5413;/'
mutate encoder "terminator length" $q/qr_bit_stream.cpp 's|Put(0, 4); // terminator|Put(0, 3); // terminator|'

m=src/monitor/run_actions.cpp
mutate counters "no-change count stops at the threshold" $m 's/p.counter <= threshold/p.counter < threshold/'
mutate counters "change mode counts unchanged colours" $m 's/c != p.lastColor/c == p.lastColor/'
mutate counters "no-change alert one pass late" $m 's/p.counter >= threshold/p.counter > threshold/'
mutate counters "last colour not kept" $m 's/^        p.lastColor = c;$/        (void)c;/'

i=src/config/ini_file.cpp
mutate ini "new lines ignore the file's line ending" $i 's/? lines.front().ending : "\\n";/? "\\n" : "\\n";/'
mutate ini "blanks around =" $i 's/\*key + "=" + \*value;/*key + " = " + *value;/'
mutate ini "the rewritten file takes the umask's mode" src/platform/posix/posix_profile_file.cpp \
  's/(void)::fchmod(fd, old.st_mode \& 07777);/(void)0;/'

p=tools/qr_output.cpp
mutate png "scanline filter byte" $p 's|row.begin(), 0); // filter: none|row.begin(), 1); // filter: none|'
mutate png "palette order" $p 's/{l.background, l.foreground}/{l.foreground, l.background}/'
mutate png "transparency dropped" $p 's/if (alpha != std::string(2, .*$/if (false)/'

echo "$missed missed"
[[ $missed -eq 0 ]] || exit 1
rm -rf "$work" # kept, with its logs, only when something was missed
