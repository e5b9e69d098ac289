#!/bin/sh
# Runs a cross-built Windows program under Wine, for the build (qlxd packs
# the demo) and for ctest: wine-run.sh DLL-FOLDERS PROGRAM [ARGUMENTS...],
# the folders colon-separated, as Unix paths. Wine keeps its own prefix in
# the build cache, never the user's ~/.wine, stays quiet unless WINEDEBUG
# asks otherwise, and installs neither Mono nor Gecko, which nothing here uses.
set -eu
folders=$1
shift
cache="${QALIX_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/qalix-plus-control}"
export WINEPREFIX="${WINEPREFIX:-$cache/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Wine maps / to the drive Z:; Windows finds a program's DLLs on its PATH.
windows_path() { printf 'Z:%s' "$1" | tr / '\\'; }
winepath=""
old_ifs=$IFS
IFS=:
for folder in $folders; do
    winepath="$winepath${winepath:+;}$(windows_path "$folder")"
done
IFS=$old_ifs
export WINEPATH="$winepath${WINEPATH:+;$WINEPATH}"
mkdir -p "$WINEPREFIX"

# Wine keeps the host's QT_ variables (meant for the host's own Qt) from
# Windows programs: a batch file sets them there (QT_QPA_PLATFORM for the
# tests, QT_LOGGING_RULES, ...), then starts the program.
if ! env | grep -q '^QT_'; then
    exec wine "$@"
fi
batch=$(mktemp --suffix=.bat)
trap 'rm -f "$batch"' EXIT
{
    echo '@echo off'
    env | grep '^QT_' | while IFS= read -r assignment; do printf 'set "%s"\r\n' "$assignment"; done
    case "$1" in
    /*) program=$(windows_path "$1") ;;
    *) program=$1 ;;
    esac
    printf '"%s" %%*\r\nexit /b %%errorlevel%%\r\n' "$program"
} >"$batch"
shift
status=0
wine cmd /c "$(windows_path "$batch")" "$@" || status=$?
exit "$status"
