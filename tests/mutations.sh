#!/usr/bin/env bash
# Mutation check, run by hand (scripts/test does not run it): each mutation
# below is a one-line fault put into a copy of the source tree; the tests of
# that part must then fail. Prints one line per mutation, "caught" or
# "MISSED", and exits 1 if any was missed (2 if the unchanged copy fails).
# About a minute with ccache warm.
# The working tree is never changed: the copy lives in WORK (default
# build-mutations/ beside build/, so that ccache serves the unchanged objects).
#   tests/mutations.sh [WORK]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
work=${1:-$repo/build-mutations}
tree=$work/tree
rm -rf "$work"
mkdir -p "$tree" "$work/saved"

# The tree as it is now (uncommitted changes included), without build folders.
git -C "$repo" ls-files -z --cached --others --exclude-standard \
  | (cd "$repo" && tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$tree"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S "$tree" -B "$tree/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZARVEX_WERROR=ON "${launcher[@]}" \
  >"$work/configure.log" 2>&1 || { echo "configure failed: see $work/configure.log"; exit 2; }

encoder=(qrcode_tests qrcode_picture_tests) encoderTests='^(Qr|ReedSolomon)'
counters=(monitor_tests) counterTests='^(RunTest|MonitorPoints)'
ini=(config_tests) iniTests='^IniFileTest'
png=(zarvex-qr qrcode_picture_tests) pngTests='^ToolTest'

build() { cmake --build "$tree/build" -j "$(nproc)" --target "$@" >"$work/build.log" 2>&1; }
passes() { ctest --test-dir "$tree/build" -R "$1" >"$work/ctest.log" 2>&1; }

# The unchanged copy must build and pass, or no result below would mean anything.
build "${encoder[@]}" "${counters[@]}" "${ini[@]}" "${png[@]}" || { echo "build failed: see $work/build.log"; exit 2; }
for subset in "$encoderTests" "$counterTests" "$iniTests" "$pngTests"; do
  passes "$subset" || { echo "unchanged tree fails $subset: see $work/ctest.log"; exit 2; }
done

missed=0
# mutate WHAT FILE SED-EXPRESSION TESTS TARGET...
mutate() {
  local what=$1 file=$2 expression=$3 tests=$4
  shift 4
  cp "$tree/$file" "$work/saved/file"
  sed -i "$expression" "$tree/$file"
  local result
  if cmp -s "$tree/$file" "$work/saved/file"; then
    result="MISSED (the line to change is not there any more)"
  elif ! build "$@"; then
    result="MISSED (does not build)"
  elif passes "$tests"; then
    result="MISSED"
  else
    result="caught"
  fi
  cp "$work/saved/file" "$tree/$file"
  [[ $result == caught ]] || missed=$((missed + 1))
  printf '%-8s %s: %s\n' "${result%% *}" "$what" "$file"
  [[ $result == caught ]] || echo "         $result"
}

q=src/qrcode
mutate "encoder: mask pattern 0 inverted" $q/qr_mask_penalty.cpp \
  's/case 0: return (i + j) % 2 == 0;/case 0: return (i + j) % 2 == 1;/' "$encoderTests" "${encoder[@]}"
mutate "encoder: second pad codeword" $q/qr_code.cpp \
  's/pad == 0 ? 0xEC : 0x11/pad == 0 ? 0xEC : 0x12/' "$encoderTests" "${encoder[@]}"
mutate "encoder: format information mask" $q/qr_matrix.cpp \
  's/kFormatMask = 0x5412;/kFormatMask = 0x5413;/' "$encoderTests" "${encoder[@]}"
mutate "encoder: terminator length" $q/qr_bit_stream.cpp \
  's|out.Put(0, 4); // terminator|out.Put(0, 3); // terminator|' "$encoderTests" "${encoder[@]}"

m=src/monitor/run_actions.cpp
mutate "counters: no-change count stops at the threshold" $m \
  's/if (p.counter <= threshold)/if (p.counter < threshold)/' "$counterTests" "${counters[@]}"
mutate "counters: change mode counts unchanged colours" $m \
  's/if (mode == AlertMode::Change \&\& c != p.lastColor)/if (mode == AlertMode::Change \&\& c == p.lastColor)/' \
  "$counterTests" "${counters[@]}"
mutate "counters: no-change alert one pass late" $m \
  's/p.counter >= threshold \&\& !p.alerted/p.counter > threshold \&\& !p.alerted/' "$counterTests" "${counters[@]}"
mutate "counters: last colour not kept" $m \
  's/^        p.lastColor = c;$/        (void)c;/' "$counterTests" "${counters[@]}"

i=src/config/ini_file.cpp
mutate "INI writer: new lines ignore the file's line ending" $i \
  's/? lines.front().ending : "\\n";/? "\\n" : "\\n";/' "$iniTests" "${ini[@]}"
mutate "INI writer: blanks around =" $i \
  's/const std::string keyLine = \*key + "=" + \*value;/const std::string keyLine = *key + " = " + *value;/' \
  "$iniTests" "${ini[@]}"
mutate "INI writer: the rewritten file takes the umask's mode" src/platform/posix/posix_profile_file.cpp \
  's/(void)::fchmod(fd, old.st_mode \& 07777);/(void)0;/' "$iniTests" "${ini[@]}"

p=tools/qr_output.cpp
mutate "PNG writer: scanline filter byte" $p \
  's|row.insert(row.begin(), 0); // filter: none|row.insert(row.begin(), 1); // filter: none|' "$pngTests" "${png[@]}"
mutate "PNG writer: palette order" $p \
  's/for (const Rgba c : {l.background, l.foreground})/for (const Rgba c : {l.foreground, l.background})/' \
  "$pngTests" "${png[@]}"
mutate "PNG writer: transparency dropped" $p \
  "s/if (alpha != std::string(2, '\\\\xFF'))/if (false)/" "$pngTests" "${png[@]}"

echo "$missed missed"
[[ $missed -eq 0 ]] || exit 1
rm -rf "$work" # kept, with its logs, only when something was missed
