# Shared by run.sh and test.sh: install what a fresh Debian 12 machine lacks, then build into build/.
# Sourced, not run.

PACKAGES="cmake g++ make qt6-base-dev qt6-base-dev-tools libqt6printsupport6 libqt6sql6-sqlite qt6-qpa-plugins qt6-svg-dev
libgl-dev fonts-dejavu-core fonts-dejavu-extra fonts-liberation2 locales xvfb xauth poppler-utils
clang libclang-rt-14-dev desktop-file-utils appstream dpkg-dev lintian"

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing() {
    local missing=""
    for p in $PACKAGES; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
    done
    if [ -n "$missing" ]; then
        echo "Installing:$missing"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing
    fi
    # The tests also run under a locale whose decimal separator is a comma.
    if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
        as_root sh -c "sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen && locale-gen >/dev/null"
    fi
}

build() {
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSARY_WERROR="${TESSARY_WERROR:-OFF}" >/dev/null
    cmake --build build -j "$(nproc)"
}
