#!/usr/bin/env bash
# The game as `cmake --install` lays it out, run as a player would: installed into a fresh prefix that
# the game must not write to, started twice in a window (on the offscreen driver) with a fresh HOME
# that holds an earlier version's game directory, and once headless in a working directory of its own.
# Checks where every file went.  Usage: installed_game_test.sh BUILD_DIR
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'chmod -R u+w "$tmp"; rm -rf "$tmp"' EXIT
passes=0 failures=0
check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then
        echo "ok: $1"
        passes=$((passes + 1))
    else
        echo "FAILED: $1"
        failures=$((failures + 1))
    fi
}
files_under() { (cd "$1" && find . -type f | sort); }

prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
program=$prefix/bin/kelvane
data=$prefix/share/kelvane
check "the program and its data are installed" test -x "$program" -a -f "$data/menu-main.xml" -a -d "$data/Graphics"
# The desktop entry names the program and an icon that are installed, and the AppStream data launches it.
desktop=$(ls "$prefix"/share/applications/*.desktop)
id=$(basename "$desktop" .desktop)
check "the desktop entry starts the installed program" grep -qx "Exec=kelvane" "$desktop"
check "the desktop entry's icon is installed" test -n "$(find "$prefix/share/icons/hicolor" -name "$id.*")"
check "the AppStream data launches the desktop entry" grep -q "<launchable type=\"desktop-id\">$id.desktop<" \
    "$prefix/share/metainfo/$id.metainfo.xml"
check "the manual is installed" test -s "$prefix/share/man/man6/kelvane.6.gz"

chmod -R a-w "$prefix"
install_before=$(cd "$prefix" && find . -printf '%p %s %T@\n' | sort)

# A player's home with the single game directory of an earlier version: settings, scores, a log and
# the asset copies its launcher made.
home=$tmp/home
old=$home/.local/share/kelvane
mkdir -p "$old/Graphics" "$tmp/work"
printf '[LANGUAGE]\r\nName=GERMAN\r\n' > "$old/config.ini"
cp "$data/language.ini" "$data/menu-main.xml" "$old/"
cp "$data/Graphics/font01.tga" "$old/Graphics/"
windowed() {
    (cd "$tmp/work" && env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_STATE_HOME HOME="$home" \
        SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy "$program" --frames 3)
}
check "the installed game runs" windowed
check "the log tells of the move" grep -q "Moved '$old/config.ini'" "$home/.local/state/kelvane/app.log"
check "a second start of the read-only install runs too" windowed
check "the install was not written to" test "$install_before" = "$(cd "$prefix" && find . -printf '%p %s %T@\n' | sort)"
check "nothing was written in the working directory" test -z "$(ls -A "$tmp/work")"
expected="./.config/kelvane/config.ini
./.local/share/kelvane/scores.ini
./.local/share/kelvane/scores.ini.lock
./.local/state/kelvane/app.log"
check "config.ini, scores.ini (with the lock two copies of the game share) and app.log are in the player's directories, and nothing else" \
    test "$(files_under "$home")" = "$expected"
check "the earlier version's settings moved" grep -q "Name=GERMAN" "$home/.config/kelvane/config.ini"
check "the log shows the installed assets loading" \
    grep -q "Bitmap loading: 'Graphics\\\\font01.tga' ... OK" "$home/.local/state/kelvane/app.log"

# A new player: the installed default settings (sound and music on) become the player's config.ini.
rm -rf "$home"
mkdir -p "$home"
check "a new player's first start runs" windowed
settings=$home/.config/kelvane/config.ini
check "a new player starts with sound and music on" \
    sh -c "grep -q btnSound=1 '$settings' && grep -q btnMusic=1 '$settings'"

# Headless: every file in the working directory, nothing in the player's directories.
game=$tmp/game
mkdir -p "$game"
cp -R "$data"/. "$game"/
chmod -R u+w "$game"
rm -rf "$home"
mkdir -p "$home"
check "a headless run of the installed program runs" env HOME="$home" SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
    sh -c "cd '$game' && '$program' --headless --frames 5 --dump state.json"
check "a headless run keeps its files in the working directory" \
    test -f "$game/config.ini" -a -f "$game/scores.ini" -a -f "$game/app.log" -a -f "$game/state.json"
check "a headless run writes nothing in the player's home" test -z "$(ls -A "$home")"

echo "$passes passed, $failures failed"
test "$failures" -eq 0
