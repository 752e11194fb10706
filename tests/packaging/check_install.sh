#!/bin/sh
# Installs the build into a fresh staging folder and checks what lands there: both programs,
# the man pages, the desktop entry, the icon in every size and the AppStream metainfo, then that
# desktop-file-validate and appstreamcli accept them (each where it is installed) and, where
# dpkg-deb is at hand, that the Debian package carries the files and names the Qt runtime and
# the C library, and where lintian is installed, that it finds no error and no warning in it.
#
#   check_install.sh BUILD_DIR
set -u
build=$1
id=org.tessary.Tessary
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
failures=0

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if ! cmake --install "$build" --prefix "$staging/usr" >"$staging/install.log" 2>&1; then
    cat "$staging/install.log"
    fail "cmake --install"
    exit 1
fi

root=$staging/usr
for f in bin/tessary bin/analyser-sim; do
    [ -x "$root/$f" ] || fail "$f missing or not executable"
done
for f in share/man/man1/tessary.1.gz share/man/man1/analyser-sim.1.gz \
         share/doc/tessary/copyright share/doc/tessary/changelog.gz \
         share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg \
         share/icons/hicolor/48x48/apps/$id.png \
         share/icons/hicolor/128x128/apps/$id.png \
         share/icons/hicolor/256x256/apps/$id.png; do
    [ -s "$root/$f" ] || fail "$f missing or empty"
done

# A PNG states its size in the IHDR chunk: width at bytes 16..19, height at 20..23.
for size in 48 128 256; do
    png=$root/share/icons/hicolor/${size}x$size/apps/$id.png
    [ -f "$png" ] || continue
    dims=$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8 }')
    [ "$dims" = "${size}x$size" ] || fail "icon ${size}x$size is $dims"
done

desktop=$root/share/applications/$id.desktop
metainfo=$root/share/metainfo/$id.metainfo.xml
grep -qx "Icon=$id" "$desktop" || fail "desktop entry does not name the icon $id"
grep -qx "Exec=tessary" "$desktop" || fail "desktop entry does not start tessary"
grep -q "<id>$id</id>" "$metainfo" || fail "metainfo id is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
    || fail "metainfo does not launch $id.desktop"

if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
else
    echo "note: desktop-file-validate not installed (package desktop-file-utils), not run"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
else
    echo "note: appstreamcli not installed (package appstream), not run"
fi
if command -v groff >/dev/null; then
    for page in tessary analyser-sim; do
        warnings=$(gzip -dc "$root/share/man/man1/$page.1.gz" | groff -man -ww -z 2>&1)
        [ -z "$warnings" ] || fail "man page $page: $warnings"
    done
fi

# The program must at least start far enough to answer for itself: the simulator's --help.
"$root/bin/analyser-sim" --help | grep -q "^Usage: analyser-sim" || fail "installed analyser-sim --help"

if command -v dpkg-deb >/dev/null && [ -f "$build/CPackConfig.cmake" ]; then
    if cpack -G DEB --config "$build/CPackConfig.cmake" -B "$staging/deb" >"$staging/cpack.log" 2>&1; then
        deb=$(ls "$staging"/deb/tessary_*.deb 2>/dev/null | head -n 1)
        if [ -n "$deb" ]; then
            depends=$(dpkg-deb -f "$deb" Depends)
            for p in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 libqt6network6 libqt6sql6-sqlite qt6-qpa-plugins; do
                echo "$depends" | grep -q "\\b$p\\b" || fail "package does not depend on $p: $depends"
            done
            contents=$(dpkg-deb -c "$deb")
            for f in ./usr/bin/tessary ./usr/bin/analyser-sim ./usr/share/applications/$id.desktop \
                     ./usr/share/metainfo/$id.metainfo.xml ./usr/share/man/man1/tessary.1.gz \
                     ./usr/share/man/man1/analyser-sim.1.gz ./usr/share/doc/tessary/copyright \
                     ./usr/share/doc/tessary/changelog.gz; do
                echo "$contents" | grep -q " $f\$" || fail "package lacks $f"
            done
            # The changelog's latest entry names the version being packaged.
            version=$(dpkg-deb -f "$deb" Version)
            logged=$(gzip -dc "$root/share/doc/tessary/changelog.gz" | sed -n '1s/^tessary (\([^)]*\)).*/\1/p')
            [ "$logged" = "$version" ] || fail "changelog names version '$logged', the package is $version"
            if command -v lintian >/dev/null; then
                # Every tag of severity error or warning fails; info and pedantic ones do not.
                lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$staging/lintian.log" 2>&1
                status=$?
                tags=$(grep -E '^[EW]: ' "$staging/lintian.log")
                if [ "$status" -ne 0 ] || [ -n "$tags" ]; then
                    cat "$staging/lintian.log"
                    fail "lintian finds errors or warnings in the package"
                fi
            else
                echo "note: lintian not installed, the package is not checked against Debian's rules"
            fi
        else
            fail "cpack made no tessary_*.deb"
        fi
    else
        cat "$staging/cpack.log"
        fail "cpack -G DEB"
    fi
else
    echo "note: dpkg-deb not installed, the Debian package is not checked"
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "installation complete"
