# Sourced by the set-up scripts: ensure_packages PACKAGE... makes sure the
# Debian packages are installed. As root it installs the missing ones with
# apt-get; as another user it prints the one command that would, and stops.

ensure_packages() {
    local package missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    ((${#missing[@]} > 0)) || return 0
    if ((EUID != 0)); then
        echo "These Debian packages are missing. Install them as root, then run this again:" >&2
        echo "    apt-get update && apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # Errors still show; debconf's note that it has no apt-utils does not.
    apt-get install -y -qq --no-install-recommends "${missing[@]}" 2>&1 >/dev/null |
        { grep -v '^debconf: delaying package configuration' >&2 || true; }
}
