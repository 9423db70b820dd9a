#!/usr/bin/env bash
# Checks of the Debian package as dpkg-buildpackage makes it from debian/. "build" copies the
# source tree (its tracked files as they stand, and new files git does not ignore) to a scratch
# folder, builds the source and binary packages there with the offline tests, and unpacks the .deb;
# "reproducible" builds it again in another folder under other conditions and compares the bytes;
# "autopkgtest" installs the .deb into this machine and runs debian/tests against it; the other
# checks examine the unpacked tree (the demo check starts the build folder's verdal too); "clean"
# removes it all.
#   package_test.sh build|layout|programs|demo|desktop-entry|lintian|udev-rule|reproducible|
#                   autopkgtest|clean
# Environment: VERDAL_BUILD (the build folder), VERDAL_SOURCE.
set -euo pipefail

build=${VERDAL_BUILD:?}
source=${VERDAL_SOURCE:?}
version=$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)
arch=$(dpkg --print-architecture)
scratch=$build/package-test
out=$scratch/a
root=$scratch/root
deb=$out/verdal_${version}_$arch.deb
jobs=$(nproc)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

need() {
    command -v "$1" >/dev/null || fail "$1 is missing; scripts/install-deps installs it"
}

field() {
    dpkg-deb -f "$deb" "$1"
}

# The source tree's files as git sees them, with their changes not yet committed, copied to $1.
copy_source() {
    git -C "$source" rev-parse --git-dir >/dev/null 2>&1 ||
        fail "$source is not a git checkout; the package is built from the files git tracks"
    mkdir -p "$1"
    (cd "$source" && git ls-files -z --cached --others --exclude-standard |
        tar --null --ignore-failed-read -T - -cf -) | tar -xf - -C "$1"
}

# Runs the command after $1 (dpkg-buildpackage, with what it needs before it) in folder $1, its
# output kept in $1.log.
package() {
    local tree=$1
    shift
    need dpkg-buildpackage
    local start=$SECONDS
    if ! (cd "$tree" && "$@") >"$tree.log" 2>&1; then
        tail -n 60 "$tree.log" >&2
        fail "$* failed in $tree; its output is in $tree.log"
    fi
    echo "$* in $tree: $((SECONDS - start)) s"
}

# Runs the command after $1 where root may with no network but loopback, so that nothing can be
# fetched, and under the host name $1; elsewhere just runs it.
isolated() {
    local host=$1
    shift
    if [[ $(id -u) == 0 ]] && unshare --net --uts true 2>/dev/null; then
        unshare --net --uts sh -c "ip link set lo up && hostname $host && exec \"\$@\"" sh "$@"
    else
        "$@"
    fi
}

case ${1:-} in
build)
    rm -rf "$scratch"
    copy_source "$out/verdal-$version"
    options="${DEB_BUILD_OPTIONS:+$DEB_BUILD_OPTIONS }parallel=$jobs"
    package "$out/verdal-$version" isolated verdal-build env DEB_BUILD_OPTIONS="$options" \
        dpkg-buildpackage -us -uc
    [[ " $options " == *" nocheck "* ]] || grep -E '^[0-9]+% tests passed' "$out/verdal-$version.log" ||
        fail "the build ran no tests"
    for product in "$deb" "$out/verdal_$version.dsc" "$out/verdal_${version}_$arch.changes"; do
        [[ -f $product ]] || fail "dpkg-buildpackage wrote no $product"
    done
    dpkg-deb -x "$deb" "$root"
    ;;

layout)
    expected=(
        usr/bin/verdal
        usr/bin/verdal-cli
        usr/lib/udev/rules.d/60-verdal.rules
        usr/lib/verdal/verdal-catalogue-service
        usr/lib/verdal/verdal-devsim
        usr/lib/verdal/verdal-window
        usr/share/applications/verdal.desktop
        usr/share/doc/verdal/changelog.gz
        usr/share/doc/verdal/copyright
        usr/share/icons/hicolor/scalable/apps/verdal.svg
        usr/share/locale/de/LC_MESSAGES/verdal.mo
        usr/share/locale/es/LC_MESSAGES/verdal.mo
        usr/share/locale/fr/LC_MESSAGES/verdal.mo
        usr/share/locale/ja/LC_MESSAGES/verdal.mo
        usr/share/locale/ko/LC_MESSAGES/verdal.mo
        usr/share/man/man1/verdal-catalogue-service.1.gz
        usr/share/man/man1/verdal-cli.1.gz
        usr/share/man/man1/verdal-devsim.1.gz
        usr/share/man/man1/verdal.1.gz
        usr/share/metainfo/org.verdal.verdal.metainfo.xml
    )
    actual=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
    wanted=$(printf '%s\n' "${expected[@]}" | LC_ALL=C sort)
    [[ $actual == "$wanted" ]] ||
        fail "the package holds other files than expected:"$'\n'"$(diff <(echo "$wanted") <(echo "$actual") || true)"
    for program in usr/bin/verdal usr/bin/verdal-cli usr/lib/verdal/verdal-devsim \
        usr/lib/verdal/verdal-catalogue-service usr/lib/verdal/verdal-window; do
        [[ -x $root/$program ]] || fail "$program is not executable"
    done

    [[ $(field Package) == verdal ]] || fail "Package: $(field Package)"
    [[ $(field Version) == "$version" ]] || fail "Version: $(field Version), not $version"
    [[ -n $(field Maintainer) ]] || fail "no Maintainer"
    [[ $(field Description) == *golf* ]] || fail "Description: $(field Description)"
    # The window is WebKitGTK's: no browser is needed. Japanese and Korean pages want their fonts.
    recommends=$(field Recommends)
    [[ $recommends == *xdg-utils* && $recommends == *fonts-ipafont-gothic* &&
        $recommends == *fonts-nanum* && $recommends != *chromium* ]] ||
        fail "Recommends: $recommends"
    depends=$(field Depends)
    [[ $depends != *chromium* ]] || fail "Depends names a browser: $depends"
    for library in libc6 libcurl4 libsqlite3-0 libstdc++6 libtinyxml2 libgumbo \
        libwebkit2gtk-4.1-0 libgtk-3-0 librsvg2-common; do
        [[ $depends == *"$library"* ]] || fail "Depends lacks $library: $depends"
    done

    need man
    for page in "$root"/usr/share/man/man1/*.1.gz; do
        name=$(basename "$page" .1.gz)
        text=$(MANWIDTH=100 man -l "$page" 2>"$scratch/man-errors") ||
            fail "man cannot show $page: $(cat "$scratch/man-errors")"
        [[ $text == *NAME*"$name"*SYNOPSIS* && $text == *--help* ]] ||
            fail "the man page of $name lacks its name or usage:"$'\n'"$text"
        # In English whatever the language of the build.
        [[ $text == *"show this text"* ]] ||
            fail "the man page of $name is not in English:"$'\n'"$text"
    done
    ;;

programs)
    # One version everywhere: the package, both programs and the main page's title band.
    [[ $("$root/usr/bin/verdal" --version) == "verdal $version" ]] ||
        fail "verdal --version: $("$root/usr/bin/verdal" --version)"
    [[ $("$root/usr/bin/verdal-cli" --version) == "verdal-cli $version" ]] ||
        fail "verdal-cli --version: $("$root/usr/bin/verdal-cli" --version)"
    grep -q ">v $version<" "$source/res/pages/201.html" ||
        fail "the main page does not show v $version"
    ;;

demo)
    # verdal finds its helpers beside itself in the build folder and in usr/lib/verdal from
    # usr/bin when installed: the package's own test of the demo runs on each.
    for bin in "$build/bin" "$root/usr/bin"; do
        [[ -x $bin/verdal ]] || fail "no $bin/verdal"
        work=$(mktemp -d "$scratch/demo.XXXXXX")
        PATH=$bin:$PATH AUTOPKGTEST_TMP=$work "$source/debian/tests/demo" >&2 ||
            fail "the demo of $bin/verdal fails"
        rm -rf "$work"
    done
    ;;

desktop-entry)
    need desktop-file-validate
    need appstreamcli
    entry=$root/usr/share/applications/verdal.desktop
    metainfo=$root/usr/share/metainfo/org.verdal.verdal.metainfo.xml
    desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"
    # Pedantic: not even a hint.
    appstreamcli validate --pedantic --no-net "$metainfo" || fail "appstreamcli rejects $metainfo"
    [[ $(appstreamcli validate --pedantic --no-net "$metainfo" 2>&1) == *"Validation was successful."* ]] ||
        fail "appstreamcli has something to say of $metainfo: $(appstreamcli validate --pedantic --no-net "$metainfo" 2>&1)"
    grep -qx 'Exec=verdal' "$entry" || fail "the desktop entry does not start verdal"
    # Docks group the window under the entry by its class (the window tests compare the two).
    grep -qx 'StartupWMClass=verdal' "$entry" || fail "the desktop entry names no StartupWMClass=verdal"
    icon=$(sed -n 's/^Icon=//p' "$entry")
    [[ -f $root/usr/share/icons/hicolor/scalable/apps/$icon.svg ]] ||
        fail "the desktop entry's icon $icon is not installed"
    grep -q '<launchable type="desktop-id">verdal.desktop</launchable>' "$metainfo" ||
        fail "the metainfo does not launch verdal.desktop"
    released=$(date -u -d "$(dpkg-parsechangelog -l "$source/debian/changelog" -S Date)" +%F)
    grep -q "<release version=\"$version\" date=\"$released\"/>" "$metainfo" ||
        fail "the metainfo does not name release $version of $released"
    ;;

lintian)
    # Debian's own judge of the upload, the source package and the binary ones: no error, no
    # warning, and none of the hardening tags, which it reports only as information.
    need lintian
    changes=$out/verdal_${version}_$arch.changes
    report=$(lintian --info --tag-display-limit 0 "$changes" 2>&1 | grep -v 'running with root privileges' || true)
    faults=$(grep -E '^(E|W): |hardening-' <<<"$report" || true)
    [[ -z $faults ]] || fail "lintian finds fault with the upload:"$'\n'"$report"
    ;;

udev-rule)
    rule=$root/usr/lib/udev/rules.d/60-verdal.rules
    # uaccess is applied by 73-seat-late.rules, so the tag must be set by an earlier file.
    number=$(basename "$rule" | cut -d- -f1)
    ((10#$number < 73)) || fail "$rule is read after 73-seat-late.rules"
    lines=$(grep -Ev '^[[:space:]]*(#|$)' "$rule")
    [[ $(wc -l <<<"$lines") == 1 ]] || fail "one rule expected in $rule: $lines"
    for part in 'SUBSYSTEM=="tty"' 'ATTRS{idVendor}=="067b"' 'TAG+="uaccess"' \
        'ENV{ID_MM_DEVICE_IGNORE}="1"'; do
        [[ $lines == *"$part"* ]] || fail "the rule lacks $part: $lines"
    done
    # Every key is a NAME{ATTR} with ==, += or = and a double-quoted value.
    key='[A-Z]+(\{[A-Za-z_]+\})?(==|!=|\+=|=)"[^"]*"'
    [[ $lines =~ ^$key(,[[:space:]]*$key)*[[:space:]]*$ ]] || fail "the rule does not parse: $lines"
    ;;

reproducible)
    # The same source built again, in another folder at another depth, later, in another time
    # zone, locale and language, umask, home and host name, without its tests: the packages must
    # come out byte for byte the same.
    elsewhere=$scratch/b/elsewhere/deeper
    rm -rf "$scratch/b"
    copy_source "$elsewhere/verdal"
    mkdir -p "$scratch/b/home"
    package "$elsewhere/verdal" isolated verdal-elsewhere env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
        HOME="$scratch/b/home" TZ=Pacific/Kiritimati LANG=C.UTF-8 LC_ALL=C.UTF-8 LANGUAGE=de \
        DEB_BUILD_OPTIONS="nocheck parallel=$jobs" \
        sh -c 'umask 0002 && exec dpkg-buildpackage -us -uc -b'
    differing=()
    for ours in "$out"/*.deb; do
        theirs=$elsewhere/$(basename "$ours")
        cmp -s "$ours" "$theirs" && continue
        differing+=("$(basename "$ours")")
        # diffoscope says where, byte by byte as far as it must.
        if command -v diffoscope >/dev/null; then
            diffoscope --text - "$ours" "$theirs" 2>&1 | head -n 80 >&2 || true
        fi
    done
    ((${#differing[@]} == 0)) || fail "the two builds differ in ${differing[*]}"
    echo "identical: $(cd "$out" && sha256sum ./*.deb)"
    ;;

autopkgtest)
    # The null runner installs the package into this machine, which only root may do.
    need autopkgtest
    if [[ $(id -u) != 0 ]]; then
        echo "autopkgtest installs the package into this machine; run as root to check it"
        exit 77
    fi
    # A machine that had no verdal installed before has none after.
    installed=$(dpkg-query -W -f='${Status}' verdal 2>/dev/null || true)
    code=0
    autopkgtest --output-dir "$scratch/autopkgtest" "$deb" "$out/verdal_$version.dsc" -- null || code=$?
    [[ $installed == "install ok installed" ]] || dpkg --purge verdal >/dev/null || true
    ((code == 0)) || fail "autopkgtest failed ($code); its record is in $scratch/autopkgtest"
    ;;

clean)
    rm -rf "$scratch"
    ;;

*)
    fail "unknown check ${1:-}"
    ;;
esac
