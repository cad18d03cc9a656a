#!/usr/bin/env bash
# Makes the Debian package from a build folder, checks it with lintian, unpacks it into a
# temporary root and uses it there: the programs through their links, and as the normal user
# nobody a web file that must land in that user's own data folder.
#   check-package.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1 work=$2
for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
    command -v $tool >/dev/null ||
        { echo "SKIP: $tool is missing (tools/install-deps --test)"; exit 77; }
done

rm -rf "$work"
mkdir -p "$work"
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
deb=$work/quillet_1.2.0.0_amd64.deb
[ -f "$deb" ] || { echo "no $deb"; ls "$work"; exit 1; }

fail() { echo "FAIL: $*"; exit 1; }
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for wanted in ./usr/lib/quillet/quillet ./usr/lib/quillet/quillet-cli ./usr/lib/quillet/sitepack \
    ./usr/lib/quillet/mimetype.ini ./usr/lib/quillet/qlt.ini ./usr/lib/quillet/installed-layout \
    ./usr/bin/quillet ./usr/share/man/man1/quillet-cli.1.gz \
    ./usr/share/doc/quillet/copyright ./usr/share/doc/quillet/changelog.gz; do
    grep -qx "$wanted" <<<"$contents" || fail "$wanted is not in the package"
done
if grep -E 'bench|devsim|_test|/pmf|qlt\.log|cil\.cnf' <<<"$contents"; then
    fail "the package carries files that only the build or a test needs"
fi
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6widgets6 libc6 curl qt6-qpa-plugins; do
    grep -q "$dep" <<<"$depends" || fail "Depends lacks $dep: $depends"
done

lintian --fail-on error --tag-display-limit 0 "$deb"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
chmod 755 "$root"
dpkg-deb -x "$deb" "$root/fs"
[ "$(readlink "$root/fs/usr/bin/quillet-cli")" = ../lib/quillet/quillet-cli ] ||
    fail "the link in bin/ is not relative"
version=$("$root/fs/usr/bin/quillet-cli" --version)
[ "$version" = "quillet-cli 1.2.0.0" ] || fail "quillet-cli --version said '$version'"

mkdir -p "$root/site"
printf '<html><body>Tank 2</body></html>\n' >"$root/site/index.htm"
(cd "$root/site" && "$root/fs/usr/bin/sitepack" /o "$root/by-hand.pmf") >"$root/sitepack.log" ||
    { cat "$root/sitepack.log"; fail "sitepack"; }
[ -s "$root/by-hand.pmf" ] || fail "sitepack wrote no web file"

if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null; then
    echo "package checked; the run as a normal user needs root to switch users"
    exit 0
fi
# A normal user who can read the installed programs and write only its own home.
home=$root/home
mkdir -p "$home"
chown 65534:65534 "$home"
chmod -R a+rX "$root/site"
out=$(setpriv --reuid=65534 --regid=65534 --clear-groups \
    env -u XDG_CONFIG_HOME -u XDG_DATA_HOME HOME="$home" ASAN_OPTIONS=detect_leaks=0 \
    "$root/fs/usr/bin/quillet-cli" create "$root/site" 2>&1) || { echo "$out"; fail "create as nobody"; }
file=$home/.local/share/quillet/pmf/site/site_WEB1_01.pmf
[ "$(tail -n1 <<<"$out")" = "$file" ] || { echo "$out"; fail "the web file is not in $file"; }
[ -s "$file" ] || fail "$file is empty"
[ -f "$home/.config/quillet/qlt.ini" ] || fail "the user's settings were not seeded"
[ ! -e "$root/fs/usr/lib/quillet/pmf" ] || fail "something was written into the program folder"
echo "package checked, web file created as nobody: $file"
