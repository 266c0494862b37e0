# Package helpers shared by run.sh and test.sh.

package_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

# Installs the Debian packages named as arguments that are not installed yet.
# An argument "a|b" is met by either package as it is installed; when neither
# is, the first one is installed. Nothing installed is ever removed: when apt
# could only install by removing a package, nothing is installed, the package
# in the way is named and the function returns 1.
ensure_packages() {
    local missing=() wanted choice met pkg
    for wanted in "$@"; do
        met=
        IFS='|' read -ra choice <<<"$wanted"
        for pkg in "${choice[@]}"; do
            if package_installed "$pkg"; then
                met=1
                break
            fi
        done
        [ -n "$met" ] || missing+=("${choice[0]}")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    echo "Installing: ${missing[*]}"
    apt-get update -qq || true
    if DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-remove "${missing[@]}"; then
        return 0
    fi
    # A dry run without --no-remove shows what apt would have taken away.
    local removals
    removals=$(apt-get install -s "${missing[@]}" 2>/dev/null |
               sed -n 's/^Remv \([^ ]*\).*/\1/p' | tr '\n' ' ')
    if [ -n "$removals" ]; then
        echo "Not installing ${missing[*]}: apt would remove the installed ${removals% }." >&2
    else
        echo "apt-get could not install ${missing[*]}." >&2
    fi
    return 1
}

BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev libgl-dev libgtest-dev libgmock-dev
                libbenchmark-dev xvfb xauth fonts-liberation2 qt6-charts-dev ccache
                libsqlite3-dev libcurl4-openssl-dev libmosquitto-dev
                mosquitto mosquitto-clients influxdb influxdb-client openssl)
# Compiler launcher for the configure steps: a rebuild compiles only what changed.
# Paths inside the checkout are hashed relative to it, so another clone of the
# same sources (a CI checkout) finds the same cache entries.
COMPILER_LAUNCHER=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true
# The "Excel worksheet" log writes into a LibreOffice Calc sheet over UNO and
# needs the office and its SDK to build. Either office is taken as installed:
# the full one shows the sheet in a window, the one without a GUI only serves
# the tests.
OFFICE_PACKAGES=("libreoffice-calc|libreoffice-calc-nogui" libreoffice-dev)

# Installs the office packages; when apt refuses, everything else is built and
# the worksheet log is left out. Sets OFFICE_CMAKE_ARGS for the configure step.
ensure_office_packages() {
    if ensure_packages "${OFFICE_PACKAGES[@]}"; then
        OFFICE_CMAKE_ARGS=(-DKELVALOG_WORKSHEET=ON)
    else
        echo "Building Kelvalog without the \"Excel worksheet\" log." >&2
        OFFICE_CMAKE_ARGS=(-DKELVALOG_WORKSHEET=OFF)
    fi
}

# The Debian package: dpkg-shlibdeps (dpkg-dev, file) finds its library
# dependencies; desktop-file-validate checks its menu entry, lintian the whole
# package.
PACKAGING_PACKAGES=(dpkg-dev file desktop-file-utils lintian)
