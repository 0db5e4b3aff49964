#!/usr/bin/env bash
# The Debian packages as a maintainer checks them. cpack makes libztaccess1, libztaccess-dev and
# ztaccess-tools from the Release build and each is unpacked with dpkg -x. Every NEEDED entry of
# every library and program in them must come from the package set (the package itself or one
# it depends on) or from a declared Debian dependency (the package that provides that library on
# this machine); every library exports exactly what its version script lists; the files are
# where each kind of package keeps them.
# Usage: debian_packages_test.sh RELEASE_BUILD_DIR NAME=VERSION_SCRIPT...
set -euo pipefail
release=$(cd "$1" && pwd)
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

(cd "$work" && cpack --config "$release/CPackConfig.cmake" -B "$work/debs" > "$work/cpack.log") ||
  { cat "$work/cpack.log"; fail "cpack"; }
packages=(libztaccess1 libztaccess-dev ztaccess-tools)
[ "$(find "$work/debs" -maxdepth 1 -name '*.deb' | wc -l)" -eq ${#packages[@]} ] || fail "not exactly ${packages[*]}"
declare -A debs depends
for pkg in "${packages[@]}"; do
  debs[$pkg]=$(find "$work/debs" -maxdepth 1 -name "${pkg}_*.deb")
  [ -n "${debs[$pkg]}" ] || fail "no $pkg package"
  dpkg-deb --info "${debs[$pkg]}"
  mkdir -p "$work/root/$pkg"
  dpkg-deb -x "${debs[$pkg]}" "$work/root/$pkg"
  # The names it depends on, padded with spaces for whole-word matching.
  depends[$pkg]=" $(dpkg-deb -f "${debs[$pkg]}" Depends | sed 's/([^)]*)//g; s/[,|]/ /g' | tr -s ' ') "
done

# The package of the set that holds a library of this file name, if any.
package_in_set() {
  for pkg in "${packages[@]}"; do
    if [ -n "$(find "$work/root/$pkg" -path '*/lib/*' -name "$1" -print -quit)" ]; then
      echo "$pkg"
      return
    fi
  done
}
# The installed Debian package that provides this library here, if any.
system_package() {
  local path
  path=$(ldconfig -p | awk -v name="$1" '$1 == name && /x86-64/ { print $NF; exit }')
  [ -n "$path" ] || return 0
  # dpkg records a library under /lib or /usr/lib, whichever its package ships.
  for candidate in "$path" "/usr${path#/usr}" "${path#/usr}"; do
    if dpkg -S "$candidate" > "$work/dpkg-S" 2>/dev/null; then
      sed -n '1s/[:,].*//p' "$work/dpkg-S"
      return
    fi
  done
}

checked=0
for pkg in "${packages[@]}"; do
  while IFS= read -r -d '' file; do
    readelf -h "$file" > /dev/null 2>&1 || continue
    where=$pkg:${file#"$work/root/$pkg"}
    dynamic=$(readelf -d "$file")
    runpath=$(sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p' <<< "$dynamic")
    [[ -z $runpath || $runpath == '$ORIGIN'* ]] || fail "$where has the RUNPATH $runpath"
    for needed in $(sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' <<< "$dynamic"); do
      [[ $needed != lib[atml]san.so* && $needed != libubsan.so* ]] ||
        fail "$where needs the sanitizer runtime $needed: packages come from a plain build"
      holder=$(package_in_set "$needed")
      if [ -n "$holder" ]; then
        [[ $holder == "$pkg" || ${depends[$pkg]} == *" $holder "* ]] ||
          fail "$where needs $needed of $holder, which $pkg does not depend on"
      else
        provider=$(system_package "$needed")
        [ -n "$provider" ] || fail "$where needs $needed, which no package provides"
        [[ ${depends[$pkg]} == *" $provider "* ]] ||
          fail "$where needs $needed of $provider, not among the dependencies of $pkg:${depends[$pkg]}"
      fi
    done
    checked=$((checked + 1))
  done < <(find "$work/root/$pkg" -type f -print0)
done
echo "NEEDED entries of $checked libraries and programs resolve within the packages and their dependencies"

# The runtime package holds the versioned libraries only, each exporting exactly its version script.
runtime=$work/root/libztaccess1
[ -z "$(find "$runtime" \( -type f -o -type l \) ! -name '*.so.[0-9]*')" ] || fail "libztaccess1 holds more than versioned libraries"
for entry in "$@"; do
  name=${entry%%=*}
  map=${entry#*=}
  library=$(find "$runtime" -type f -name "lib$name.so.*")
  [ -n "$library" ] || fail "libztaccess1 lacks lib$name"
  expected=$(sed -n '/global:/,/local:/p' "$map" | sed -n 's/^[[:space:]]*\([A-Za-z_][A-Za-z0-9_]*\);.*/\1/p' | sort)
  exported=$(nm -D --defined-only "$library" | awk '{ sub(/@.*/, "", $3); print $3 }' | sort)
  [ "$expected" == "$exported" ] ||
    { diff <(echo "$expected") <(echo "$exported") || true; fail "lib$name does not export exactly $map"; }
  dev=$work/root/libztaccess-dev
  [ -L "$(find "$dev" -name "lib$name.so")" ] || fail "libztaccess-dev lacks the link lib$name.so"
  [ -f "$dev/usr/include/zt/$name.h" ] || fail "libztaccess-dev lacks $name.h"
  [ -n "$(find "$dev" -path "*/pkgconfig/$name.pc")" ] || fail "libztaccess-dev lacks $name.pc"
done
echo "$# libraries export exactly their version scripts"

[ -n "$(find "$work/root/libztaccess-dev" -path '*/cmake/ztaccess/ztaccessConfig.cmake')" ] || fail "no CMake package"
tools=$work/root/ztaccess-tools
grep -qx "ExecStart=/usr/bin/ztsi-proxy --base-dir /var/lib/ztsi-proxy" "$tools/lib/systemd/system/ztsi-proxy.service" ||
  fail "the unit does not start /usr/bin/ztsi-proxy"
[ "$(readlink "$tools/var/lib/ztsi-proxy/config")" == /etc/ztsi-proxy ] || fail "the proxy's base folder does not read /etc/ztsi-proxy"
for config in system.json logger.json; do
  [ -f "$tools/etc/ztsi-proxy/$config" ] || fail "/etc/ztsi-proxy/$config missing"
  dpkg-deb -I "${debs[ztaccess-tools]}" conffiles | grep -qx "/etc/ztsi-proxy/$config" ||
    fail "/etc/ztsi-proxy/$config is no conffile"
done
[ -z "$(find "$work/root" -path '*/etc/ztaccess*')" ] || fail "a package installs a CA that the SDKs would trust"
echo "the Debian packages are complete"
