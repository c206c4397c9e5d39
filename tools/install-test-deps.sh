#!/usr/bin/env bash
# The Debian packages the tests need beyond what `make demo` needs (a C++
# compiler, CMake, make). Installs the missing ones when run as root, saying
# which; otherwise names them with the command to run and fails at once, so
# that no test run stops halfway for a missing package.
#   tools/install-test-deps.sh          check, and install as root
#   tools/install-test-deps.sh --list   print the list and do nothing else
set -euo pipefail

# The Python test suite package is named after Debian's python3 (3.11 on
# Debian 12), which may differ from a python3 found first on PATH.
debian_python_version() {
  if [ -x /usr/bin/python3 ]; then
    /usr/bin/python3 -c 'import sys; print("%d.%d" % sys.version_info[:2])'
  else
    apt-cache show --no-all-versions python3 2>/dev/null |
      sed -n 's/^Depends:.*\bpython3\.\([0-9][0-9]*\) .*/3.\1/p' | head -n 1
  fi
}

packages=(
  cmake g++ make python3 libgtest-dev googletest util-linux clang-format
  # The Windows program is cross-built and tested under Wine, its window
  # under Xvfb.
  g++-mingw-w64-x86-64-posix wine wine64 fonts-wine xvfb xauth xdotool
  imagemagick
  # Real mbox readers count the messages of the packed files.
  mutt procmail mailutils grepmail
  # The manual page's lint; the Debian package (dpkg-shlibdeps finds its
  # dependencies, CPack finds the binaries with file) and its lint.
  groff-base mandoc dpkg-dev file lintian
  # The listing order's case table is checked against UnicodeData.txt.
  unicode-data
  # The system calls a small source costs are counted.
  strace
)
# The packed test messages are those of Python's e-mail package tests.
python_version=$(debian_python_version || true)
if [ -n "$python_version" ]; then
  packages+=("libpython$python_version-testsuite")
else
  echo "install-test-deps: cannot tell Debian's python3 version;" \
    "install python3 first" >&2
  exit 1
fi

if [ "${1:-}" = --list ]; then
  printf '%s\n' "${packages[@]}"
  exit 0
fi

if ! command -v dpkg-query >/dev/null 2>&1; then
  echo "install-test-deps: not a Debian system; make sure these are" \
    "installed: ${packages[*]}" >&2
  exit 0
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  [ "${status:0:2}" = ii ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "The tests need packages that are not installed: ${missing[*]}" >&2
  echo "Install them with:" >&2
  echo "  sudo apt-get install ${missing[*]}" >&2
  exit 1
fi

echo "Installing the packages the tests need: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Waits for another apt run instead of failing on its lock.
apt_options=(-o DPkg::Lock::Timeout=600 -qq)
apt-get "${apt_options[@]}" update
apt-get "${apt_options[@]}" install -y --no-install-recommends "${missing[@]}"
