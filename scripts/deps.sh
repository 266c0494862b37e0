# Installs the Debian packages named as arguments that are not installed yet.
ensure_packages() {
    local missing=()
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        apt-get update -qq
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
    fi
}

BUILD_PACKAGES=(cmake ninja-build g++ qt6-base-dev libgl-dev libgtest-dev libgmock-dev
                libbenchmark-dev xvfb xauth fonts-liberation2 qt6-charts-dev)
# The "Excel worksheet" log kind writes into a LibreOffice Calc sheet over UNO;
# the SDK is needed to build that server and its tests.
OFFICE_PACKAGES=(libreoffice-calc-nogui libreoffice-dev)
