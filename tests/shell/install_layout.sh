#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the layout: the two
# programs, the language packs, the desktop entry and the icon it names.
#
#   install_layout.sh BUILD_DIR
set -uo pipefail
build=${1:?usage: install_layout.sh BUILD_DIR}
prefix=$(mktemp -d "${TMPDIR:-/tmp}/pelidor-install-test-XXXXXX")
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }

failures=0
check() {
    if ! eval "$2"; then
        echo "FAIL: $1"
        failures=$((failures + 1))
    fi
}
check "bin/pelidor" '[ -x "$prefix/bin/pelidor" ]'
check "bin/pelidor-scan" '[ -x "$prefix/bin/pelidor-scan" ]'
check "English.ini in share/pelidor/Languages" '[ -f "$prefix/share/pelidor/Languages/English.ini" ]'
desktop="$prefix/share/applications/pelidor.desktop"
check "desktop entry" '[ -f "$desktop" ]'
check "desktop entry starts the installed program" \
    'grep -qx "Exec=pelidor" "$desktop" && [ -x "$prefix/bin/pelidor" ]'
icon=$(sed -n 's/^Icon=//p' "$desktop" 2>/dev/null)
check "icon named by the desktop entry" '[ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ]'
check "desktop entry is an application" 'grep -qx "Type=Application" "$desktop"'
if command -v desktop-file-validate >/dev/null 2>&1; then
    check "desktop-file-validate" 'desktop-file-validate "$desktop"'
fi
[ $failures -eq 0 ] && echo "install layout: all checks passed"
exit $((failures != 0))
