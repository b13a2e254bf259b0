#!/usr/bin/env bash
# Installs the packages on this machine as a user would, checks the installed programs, then removes
# the packages and checks that none of their files is left behind (configuration files excepted).
# Needs root. Usage: install-check.sh PACKAGE_FOLDER [INSTALLED_CLIENT_TEST]
# INSTALLED_CLIENT_TEST, when given, is the test program that starts the installed client offscreen
# against the installed development server (tst_installed_client); it runs with TALLY_PREFIX=/usr.
set -euo pipefail
folder=$(realpath "$1")
client_test=${2:+$(realpath "$2")}
export DEBIAN_FRONTEND=noninteractive
[ "$(id -u)" -eq 0 ] || { echo "install-check: needs root" >&2; exit 2; }

mapfile -t debs < <(ls "$folder"/tallyway*.deb)
[ ${#debs[@]} -gt 0 ] || { echo "install-check: no tallyway*.deb in $folder" >&2; exit 2; }
packages=()
for deb in "${debs[@]}"; do packages+=("$(dpkg-deb -f "$deb" Package)"); done

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
check() { # description command...
    local what=$1
    shift
    if "$@" >/tmp/install-check.out 2>&1; then
        echo "ok: $what"
    else
        fail "$what"
        sed 's/^/    /' /tmp/install-check.out | head -20
    fi
}

# A run cut short earlier may have left them installed.
installed=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" && installed+=("$p")
done
[ ${#installed[@]} -eq 0 ] || apt-get remove -y -q "${installed[@]}"

# Which of the packages' folders exist before, so that shared ones (/usr/bin) are not expected to go.
mapfile -t paths < <(for deb in "${debs[@]}"; do dpkg-deb -c "$deb"; done | awk '{print $NF}' |
    sed -e 's|^\./|/|' -e 's|/$||' | grep -v '^$' | sort -u)
existed=()
for path in "${paths[@]}"; do [ -e "$path" ] && existed+=("$path"); done

apt-get install -y -q "${debs[@]}"

cd /tmp
check "tallyview --version" bash -c '[ "$(command -v tallyview)" = /usr/bin/tallyview ] && tallyview --version | grep -q "^tallyview [0-9]"'
check "tallyctl --help" bash -c '/usr/bin/tallyctl --help | grep -q "^Usage: tallyctl"'
check "man tallyctl" bash -c 'MANPAGER=cat man tallyctl | grep -q "EXIT STATUS"'
check "qsed --help" bash -c '/usr/bin/qsed --help | grep -q "^Usage: qsed"'
check "qsed runs a script" bash -c '[ "$(echo foo | /usr/bin/qsed -e s/foo/bar/)" = bar ]'
check "exl loads Quaystone through its configuration" \
    bash -c '[ "$(echo foo | /usr/bin/exl -e "sed(line, \"s/foo/bar/\")")" = bar ]'
check "tallyway-devserver --help" bash -c '/usr/bin/tallyway-devserver --help | grep -q -- --listen'
for page in tallyview tallyctl qsed exl tallyway-devserver; do
    check "man $page" bash -c "MANPAGER=cat man $page | grep -q NAME"
done
check "desktop entry" desktop-file-validate /usr/share/applications/tallyview.desktop
check "AppStream data" appstreamcli validate --no-net /usr/share/metainfo/com.brackwater.tallyview.metainfo.xml
check "icon" test -f /usr/share/icons/hicolor/48x48/apps/tallyview.png
if [ -n "$client_test" ]; then
    check "the installed client starts with its welcome page and the shipped reports" \
        env TALLY_PREFIX=/usr QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 "$client_test"
fi

mapfile -t conffiles < <(for p in "${packages[@]}"; do dpkg-query -W -f='${Conffiles}\n' "$p"; done |
    awk 'NF {print $1}')
apt-get remove -y -q "${packages[@]}"

for path in "${paths[@]}"; do
    [ -e "$path" ] || [ -L "$path" ] || continue
    printf '%s\n' "${existed[@]}" | grep -qx -- "$path" && continue
    printf '%s\n' "${conffiles[@]}" | grep -qx -- "$path" && continue
    fail "left behind after removal: $path"
done
[ $failures -eq 0 ] || { echo "install-check: $failures failures"; exit 1; }
echo "install-check: installed, checked and removed ${packages[*]}"
