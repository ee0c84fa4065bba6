#!/usr/bin/env bash
# Tests the installable products: builds them with scripts/package.sh (which
# fails on any lintian error), then
#  - the Debian package: its fields and files, installed with dpkg into a
#    root of its own (against this machine's installed libraries), the
#    program run from that root's PATH, its manual page;
#  - the Windows installer, under Wine in a prefix of its own
#    (build-package/test/wineprefix, headless): silent install, the program's
#    files, Start menu entries, uninstall entry and C:\velsor\, the installed
#    program started, then the silent uninstall, which must keep C:\velsor\
#    and what is in it.
# Part of scripts/test.sh; on its own: scripts/test-package.sh.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
use_test_locale

ensure_packages wine wine64 tmux man-db binutils
"$QUELMAR_ROOT/scripts/package.sh"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$QUELMAR_ROOT/build-package/linux/CMakeCache.txt")
deb="$QUELMAR_ROOT/dist/quelmar_${version}_$(dpkg --print-architecture).deb"
setup="$QUELMAR_ROOT/dist/quelmar-$version-setup.exe"
work="$QUELMAR_ROOT/build-package/test"
rm -rf "$work"
mkdir -p "$work"

passed=0 failed=0
# check DESCRIPTION COMMAND...: one line per check, every check runs.
check() {
    local what=$1
    shift
    if "$@" >"$work/check.log" 2>&1; then
        passed=$((passed + 1))
        echo "  ok: $what"
    else
        failed=$((failed + 1))
        echo "  FALLO: $what" >&2
        sed 's/^/    /' "$work/check.log" >&2
    fi
}
same() { [ "$1" = "$2" ] || { echo "\"$1\" != \"$2\""; return 1; }; }
has() { grep -qF -- "$2" <<<"$1" || { echo "no \"$2\" in:"; echo "$1"; return 1; }; }
lacks() { if grep -qF -- "$2" <<<"$1"; then echo "\"$2\" in:"; echo "$1"; return 1; fi; }

echo "== Debian package $(basename "$deb")"
check "Package quelmar, version $version, this architecture" \
    same "$(dpkg-deb -f "$deb" Package Version Architecture | tr '\n' ' ')" \
    "Package: quelmar Version: $version Architecture: $(dpkg --print-architecture) "
contents=$(dpkg-deb -c "$deb" | awk '{ print $1, $6 }')
for row in "-rwxr-xr-x ./usr/bin/quelmar" \
    "-rw-r--r-- ./usr/lib/udev/rules.d/60-quelmar.rules" \
    "-rw-r--r-- ./usr/share/man/man1/quelmar.1.gz" \
    "-rw-r--r-- ./usr/share/doc/quelmar/copyright" \
    "-rw-r--r-- ./usr/share/doc/quelmar/changelog.gz" \
    "-rw-r--r-- ./usr/share/doc/quelmar/README.md"; do
    check "holds ${row#* } (${row%% *})" grep -qxF -- "$row" <<<"$contents"
done

# Installed into a root of its own whose dpkg database holds only the
# records of this machine's packages that the package depends on: dpkg
# refuses it unless those installed versions satisfy its Depends.
root="$work/root"
admin="$root/var/lib/dpkg"
mkdir -p "$admin/info" "$admin/updates"
depends=$(dpkg-deb -f "$deb" Depends)
read -r -a depended_packages <<<"$(sed 's/([^)]*)//g; s/[,|]/ /g' <<<"$depends")"
for package in "${depended_packages[@]}"; do
    dpkg-query -s "$package" >>"$admin/status" 2>/dev/null && echo >>"$admin/status"
    : >"$admin/info/$package.list"
    : >"$admin/info/$package:$(dpkg --print-architecture).list"
done
# Every file, whatever this machine's dpkg excludes (a slim image drops
# manual pages and documentation).
check "installs with dpkg, its Depends met by the installed libraries" \
    dpkg --root="$root" --force-not-root --log=/dev/null --path-include='*' -i "$deb"
# Every library the program loads comes from a package that it depends on.
depended() {
    local library file package
    for library in $(readelf -d "$root/usr/bin/quelmar" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
        file=$(ldconfig -p | awk -v l="$library" '$1 == l && /x86-64/ { print $NF; exit }')
        # dpkg knows a library by the path its package ships (/lib or /usr/lib).
        package=$(dpkg-query -S "$file" 2>/dev/null || dpkg-query -S "$(readlink -f "$file")") || return 1
        package=${package%%:*}
        [[ " ${depended_packages[*]} " == *" $package "* ]] || { echo "$library ($package) not in Depends: $depends"; return 1; }
    done
}
check "Depends names the package of every library the program loads" depended
check "the program is stripped" has "$(file -L "$root/usr/bin/quelmar")" ", stripped"
check "the udev rule is packaging/udev/60-quelmar.rules" \
    cmp "$root/usr/lib/udev/rules.d/60-quelmar.rules" "$QUELMAR_ROOT/packaging/udev/60-quelmar.rules"
check "changelog.gz starts with this version" \
    has "$(gzip -dc "$root/usr/share/doc/quelmar/changelog.gz" | head -1)" "quelmar ($version)"

export PATH="$root/usr/bin:$PATH"
check "quelmar is found on the root's PATH" same "$(command -v quelmar)" "$root/usr/bin/quelmar"
help=$(quelmar --help)
check "quelmar --help gives the usage" has "$help" "Uso: quelmar [opciones]"
# In a terminal: the message of --no-scale, answered, and the program ends
# with code 0 (the end-to-end flow no_scale, on the installed program).
check "quelmar --no-scale says there is no scale and ends" "$QUELMAR_ROOT/tests/e2e/run.sh" quelmar no_scale 80x24

export MANPATH="$root/usr/share/man"
check "man finds quelmar(1) in the package's place" same "$(man -w quelmar)" "$root/usr/share/man/man1/quelmar.1.gz"
check "the manual page renders without groff warnings" \
    same "$(man --warnings -E UTF-8 -l "$root/usr/share/man/man1/quelmar.1.gz" 2>&1 >/dev/null)" ""
page=$(MANWIDTH=200 man -E UTF-8 -l "$root/usr/share/man/man1/quelmar.1.gz" 2>/dev/null)
check "the manual page names version $version" has "$page" "quelmar $version"
for option in $(grep -oE -- '(^|[ ,])--?[a-z][a-z-]*' <<<"$help" | tr -d ' ,' | sort -u); do
    check "the manual page describes $option (quelmar --help)" grep -qE -- "^ +$option( |,|$)" <<<"$page"
done
# The manual page writes the home folder as ~.
# shellcheck disable=SC2088
for text in "--demo" "F2" "F3" "F4" "Tab" "Alt+letra" "F10" "Ctrl+Q" QUELMAR_DRIVE_C \
    "XDG_DATA_HOME/quelmar/drive_c" "~/.local/share/quelmar/drive_c" "velsor/usb.ini" "velsor/*.lim" \
    "velsor/*.est" "velsor/estadisticas.db" "/usr/lib/udev/rules.d/60-quelmar.rules"; do
    check "the manual page tells of $text" has "$page" "$text"
done
export PATH=${PATH#"$root/usr/bin:"}
unset MANPATH

echo "== Windows installer $(basename "$setup") under Wine"
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all
# No Mono or Gecko installers, and no desktop menu entries made on this
# machine from the Start menu's.
export WINEDLLOVERRIDES='mscoree,mshtml=,winemenubuilder.exe=d'
unset DISPLAY WAYLAND_DISPLAY
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
quiet() { "$@" </dev/null >/dev/null 2>&1; }
mkdir -p "$WINEPREFIX"
# Headless: the null display driver (cmake/Wine.cmake); the prefix made by
# the first command starts again to take it.
quiet wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11,null /f
quiet wineserver -k || true
quiet wineserver -w || true

c="$WINEPREFIX/drive_c"
programs="$c/Program Files/Quelmar"
menu="$c/ProgramData/Microsoft/Windows/Start Menu/Programs"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quelmar'
value() { wine reg query "$key" /v "$1" </dev/null 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"; }
# The four numbers of the fixed file information (VS_FIXEDFILEINFO).
file_version() {
    local at words
    at=$(LC_ALL=C grep -m1 -obUaP '\xbd\x04\xef\xfe' "$1" | cut -d: -f1)
    read -r -a words <<<"$(od -An -tu2 -j $((at + 8)) -N 8 "$1")"
    echo "${words[1]}.${words[0]}.${words[3]}.${words[2]}"
}
string_value() { strings -el "$1" | grep -A1 -xF "$2" | sed -n 2p; }
quad=$(sed -n 's/^QUELMAR_VERSION_QUAD:INTERNAL=//p' "$QUELMAR_ROOT/build-package/windows/CMakeCache.txt")

check "the installer runs silently (/S)" timeout 300 wine "$setup" /S </dev/null
check "quelmar.exe is the Release build, in Program Files (64-bit)" \
    cmp "$programs/quelmar.exe" "$QUELMAR_ROOT/build-package/windows/app/quelmar.exe"
check "nothing went to Program Files (x86)" test ! -e "$c/Program Files (x86)/Quelmar"
check "the uninstaller is beside it" test -f "$programs/uninstall.exe"
check "quelmar.exe's version resource: ProductVersion $version" \
    same "$(string_value "$programs/quelmar.exe" ProductVersion)" "$version"
check "quelmar.exe's file version $quad" same "$(file_version "$programs/quelmar.exe")" "$quad"
check "the installer's own version $quad" same "$(file_version "$setup")" "$quad"
lnk_strings() { strings -a "$1"; strings -a -el "$1"; }
plain=$(lnk_strings "$menu/Quelmar.lnk" 2>&1)
simulated=$(lnk_strings "$menu/Quelmar (balanza simulada).lnk" 2>&1)
check "Start menu: Quelmar runs quelmar.exe" has "$plain" 'C:\Program Files\Quelmar\quelmar.exe'
check "Start menu: Quelmar has no arguments" lacks "$plain" "--"
check "Start menu: Quelmar (balanza simulada) runs quelmar.exe" \
    has "$simulated" 'C:\Program Files\Quelmar\quelmar.exe'
check "Start menu: Quelmar (balanza simulada) has the argument --simulate" grep -qxF -e "--simulate" <<<"$simulated"
check 'C:\velsor\ exists' test -d "$c/velsor"
check "Add or Remove Programs: DisplayName Quelmar" same "$(value DisplayName)" "Quelmar"
check "Add or Remove Programs: DisplayVersion $version" same "$(value DisplayVersion)" "$version"
check "Add or Remove Programs: UninstallString the uninstaller" \
    same "$(value UninstallString)" '"C:\Program Files\Quelmar\uninstall.exe"'

# The installed program on the emulated driver with no scale: its start-up
# box, answered by packaging/windows/answer-box.nsi, and then it ends.
makensis -V1 -DOUTFILE="$work/answer-box.exe" "$QUELMAR_ROOT/packaging/windows/answer-box.nsi" >/dev/null
started() {
    local program answered=0 ended=0
    timeout 120 wine 'C:\Program Files\Quelmar\quelmar.exe' --no-scale </dev/null >/dev/null 2>&1 &
    program=$!
    timeout 120 wine "$work/answer-box.exe" "$(winepath -w "$work/box.txt" 2>/dev/null)" </dev/null >/dev/null 2>&1 ||
        answered=$?
    wait "$program" || ended=$?
    [ -f "$work/box.txt" ] && iconv -f UTF-16LE -t UTF-8 "$work/box.txt" && echo
    echo "answer-box: $answered, quelmar.exe: $ended"
    [ $answered -eq 0 ] && [ $ended -eq 0 ]
}
check "quelmar.exe --no-scale starts, shows its box and ends" started
check "its box: No hay dispositivos USB conectados!" \
    same "$(iconv -f UTF-16LE -t UTF-8 "$work/box.txt" 2>&1)" "No hay dispositivos USB conectados!"

# The uninstaller as Add or Remove Programs runs it, silent. It copies itself
# to the temporary folder and starts that copy: wait until every program of
# the prefix has ended.
printf 'calibración' >"$c/velsor/usb.ini"
uninstaller=$(value UninstallString | tr -d '"')
check "the uninstaller runs silently (/S)" timeout 120 wine "$uninstaller" /S </dev/null
check "every program of the uninstall ended" timeout 120 wineserver -w
check "the program's folder is gone" test ! -e "$programs"
check "Start menu: Quelmar is gone" test ! -e "$menu/Quelmar.lnk"
check "Start menu: Quelmar (balanza simulada) is gone" test ! -e "$menu/Quelmar (balanza simulada).lnk"
gone_from_registry() { if wine reg query "$key" </dev/null; then return 1; fi; }
check "Add or Remove Programs: the entry is gone" gone_from_registry
check 'C:\velsor\ is kept with the file put in it' same "$(cat "$c/velsor/usb.ini" 2>&1)" "calibración"

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
