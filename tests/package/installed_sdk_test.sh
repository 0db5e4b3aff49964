#!/usr/bin/env bash
# The installed SDK as an integrator uses it: installs the Release build into a scratch prefix
# with `cmake --install --prefix`, checks what landed there, builds a C driver through
# pkg-config and a C++ application through find_package(ztaccess) outside the source tree, and
# runs both against the real broker: the driver registers a device, the application finds it
# and gets its GetParam answer.
# Usage: installed_sdk_test.sh RELEASE_BUILD_DIR SOURCE_DIR LIBRARY...
set -euo pipefail
release=$(cd "$1" && pwd)
source=$2
shift 2
libraries=("$@")
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d)
broker_pid=""
driver_pid=""
cleanup() {
  for pid in $driver_pid $broker_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

prefix=$work/prefix
cmake --install "$release" --prefix "$prefix" > "$work/install.log"
pc_file=$(find "$prefix" -name ztdm.pc)
[ -n "$pc_file" ] || fail "no ztdm.pc below $prefix"
libdir=$(dirname "$(dirname "$pc_file")")

# Each library: the link chain lib<name>.so -> .so.<major> -> .so.<major>.<minor>.<patch>, the
# soname with the major version, no path into the build tree, its header and its .pc.
for name in "${libraries[@]}"; do
  link=$libdir/lib$name.so
  soname=$(readlink "$link") || fail "$link is not a link"
  [[ $soname =~ ^lib$name\.so\.[0-9]+$ ]] || fail "$link points to $soname"
  [[ $(readlink "$libdir/$soname") =~ ^$soname\.[0-9]+\.[0-9]+$ ]] || fail "$soname is not a link to the full version"
  readelf -d "$link" | grep -q "SONAME.*\[$soname\]" || fail "lib$name.so lacks the soname $soname"
  [ -f "$prefix/include/zt/$name.h" ] || fail "include/zt/$name.h missing"
  [ -f "$libdir/pkgconfig/$name.pc" ] || fail "$name.pc missing"
done
for elf in "$libdir"/lib*.so.*.*.* "$prefix"/bin/*; do
  runpath=$(readelf -d "$elf" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  [[ -z $runpath || $runpath == '$ORIGIN'* ]] || fail "$elf has the RUNPATH $runpath"
done
# Every installed header compiles as C on its own, with nothing but the installed headers.
for header in "$prefix"/include/zt/*.h; do
  echo "#include \"$(basename "$header")\"" | cc -fsyntax-only -Wall -Werror -x c -I "$prefix/include/zt" - ||
    fail "$header does not compile on its own from include/zt"
done
grep -qx "ExecStart=$prefix/bin/ztsi-proxy --base-dir $prefix/var/lib/ztsi-proxy" \
  "$prefix/lib/systemd/system/ztsi-proxy.service" || fail "the unit does not start the installed proxy"
[ -f "$prefix/var/lib/ztsi-proxy/config/system.json" ] || fail "the proxy's base folder has no configuration"
[ -f "$prefix/share/ztaccess/examples/test-ca.crt" ] || fail "the test CA example is missing"
[ ! -e "$prefix/etc/ztaccess" ] || fail "something was installed as a trusted CA in etc/ztaccess"

# The driver through pkg-config, the application through find_package, both outside the tree.
export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2046
cc -Wall -Wextra -Werror -o "$work/probe_driver" "$here/probe_driver.c" $(pkg-config --cflags --libs ztdm) \
  -Wl,-rpath,"$(pkg-config --variable=libdir ztdm)"
cmake -S "$here/probe_application" -B "$work/application" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" > "$work/application.log" || { cat "$work/application.log"; fail "configure"; }
cmake --build "$work/application" >> "$work/application.log" || { cat "$work/application.log"; fail "build"; }

# The real broker on a free port: a port that refuses connections is taken, and a broker that
# exits at once lost the port to someone else, so another one is tried.
for _ in 1 2 3 4 5; do
  port=$((20000 + RANDOM % 40000))
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && continue
  "$source/scripts/local-broker" "$port" "$work/broker" > "$work/broker.log" 2>&1 &
  broker_pid=$!
  for _ in $(seq 100); do
    kill -0 "$broker_pid" 2>/dev/null || break
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break 2
    sleep 0.1
  done
  kill "$broker_pid" 2>/dev/null || true
  wait "$broker_pid" 2>/dev/null || true
  broker_pid=""
done
[ -n "$broker_pid" ] || { cat "$work/broker.log"; fail "no broker could be started"; }

# The SDKs trust the CA given by ZT_CA_FILE: the installed example of the broker's test CA.
export ZT_CA_FILE=$prefix/share/ztaccess/examples/test-ca.crt
device=probe-$$
"$work/probe_driver" "127.0.0.1:$port" "$device" > "$work/driver.log" 2>&1 &
driver_pid=$!
answer=$(timeout 120 "$work/application/probe_application" "127.0.0.1:$port" "$device") ||
  { cat "$work/driver.log"; fail "the application got no answer from the driver"; }
echo "$answer"
[[ $answer == *'"code":0'* && $answer == *'installed-sdk'* ]] || fail "unexpected answer: $answer"
kill -TERM "$driver_pid"
wait "$driver_pid" || { cat "$work/driver.log"; fail "the driver did not stop cleanly"; }
driver_pid=""
grep -qx "registered $device" "$work/driver.log" || fail "the driver did not register its device"
echo "the installed SDK links and works from outside the tree"
