#!/usr/bin/env bash
# The Debian package from build to purge, on this very machine: builds it,
# checks it with lintian, installs it with dpkg, checks the installed settings
# with qvweb -t, runs the installed server as the account quorvale the way its
# systemd unit does (its very command lines, a private /tmp, the state folder
# as working folder): it starts without its database and answers 503, serves
# pages once qvdemo made the database, rotates its log through logrotate's
# own hook; then purges the package, which keeps the database, and checks
# that nothing else of it is left. Last, "qvweb -install" of the build makes
# the account and writes the packaged unit. Needs root. One package test
# runs at a time on a machine (a lock; another waits), and none touches a
# machine where the package's settings, state or log folder is already
# there; the machine ends as it was (a trap purges the package and removes
# what the test made, also when a check fails).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
work="$build/package"

package=quorvale-web
account=quorvale
settings=/etc/quorvale/qvweb.ini
unit=/lib/systemd/system/qvweb.service
database=/var/lib/quorvale/qvmain.gdb

if [ "$(id -u)" -ne 0 ]; then
  echo "package: needs root to install the package; not run"
  echo "package: 0 passed, 0 failed, 1 skipped"
  exit 0
fi
# One package test at a time: two at once would both find the folders free
# and purge each other's package. The lock goes with the test's process.
lock=/run/lock/quorvale-package-test.lock
mkdir -p "$(dirname "$lock")"
exec 9>"$lock"
if ! flock -n 9; then
  echo "package: another package test runs on this machine; waiting for it"
  flock -w 3600 9 || { echo "package: the other package test did not end within an hour"; echo "package: 0 passed, 1 failed"; exit 1; }
fi
# Whether the package is installed, and whether anything of it is (its
# settings stay after a removal until the purge).
installed() { dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q ' installed$'; }
present() { dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -qv 'not-installed$'; }
if present; then
  echo "package: $package is on this machine; the test installs and purges it, so purge it first"
  echo "package: 0 passed, 1 failed"
  exit 1
fi

# The package's purge deletes its state and log folders. Folders it did not
# make (an administrator's database from a "qvweb -install" of a build, an
# earlier installation's logs) are not the test's to lose: leave the machine
# alone and say why.
for folder in /etc/quorvale /var/lib/quorvale /var/log/quorvale /run/quorvale; do
  if [ -e "$folder" ] || [ -L "$folder" ]; then
    echo "package: $folder exists and is not this test's; the package's purge could delete it, so the test is not run"
    echo "package: 0 passed, 0 failed, 1 skipped"
    exit 0
  fi
done

passed=0
failed=0
check() {  # name command...
  local name=$1; shift
  if "$@"; then echo "ok - $name"; passed=$((passed + 1)); else echo "not ok - $name"; failed=$((failed + 1)); fi
}
# Runs a command as the service's account the way the unit runs it: its own
# /tmp (where the embedded engine keeps its lock files), the file system
# read-only but for the state and log folders, /home and /root hidden, the
# state folder as working folder, no new privileges. It takes the caller's
# place: run it in a subshell, or in the background.
as_service() {
  exec unshare --mount --propagation private -- sh -c '
    mount -t tmpfs -o mode=1777 tmpfs /tmp || exit 1
    for folder in /var/lib/quorvale /var/log/quorvale /run/quorvale; do mount --bind "$folder" "$folder" || exit 1; done
    mount -o remount,bind,ro / || exit 1
    for folder in /home /root; do [ ! -d "$folder" ] || mount -t tmpfs -o ro,mode=0755 tmpfs "$folder" || exit 1; done
    cd /var/lib/quorvale &&
    exec setpriv --reuid=quorvale --regid=quorvale --init-groups --no-new-privs "$@"' sh "$@"
}
not() { ! "$@"; }
# Runs the command until it succeeds, for three seconds at most (the access
# log is written in batches).
eventually() {
  local _
  for _ in $(seq 1 30); do "$@" && return 0; sleep 0.1; done
  return 1
}
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

account_before=no
getent passwd "$account" >/dev/null && account_before=yes
server=""
installed_unit=""
made_database=no
# What the purge keeps of the test's own: the database qvdemo made, and the
# state folder when nothing else is left in it; the runtime folder.
remove_own_state() {
  [ "$made_database" = no ] || rm -f "$database"
  made_database=no
  rmdir /var/lib/quorvale 2>/dev/null
  rm -rf /run/quorvale
}
cleanup() {
  [ -z "$server" ] || { kill -TERM "$server" 2>/dev/null; wait "$server" 2>/dev/null; }
  if present; then
    dpkg --purge "$package" >/dev/null 2>&1
  fi
  remove_own_state
  [ -z "$installed_unit" ] || "$build/qvweb" -uninstall -silent >/dev/null 2>&1
  # Pages the test's own man formatted (systemd-analyze looks the manual up).
  for page in /var/cache/man/cat8/qvweb.8.gz /var/cache/man/cat1/qvdemo.1.gz; do
    [ -e "$page" ] && ! grep -qxF "$page" "$work/man-cache.before" 2>/dev/null && rm -f "$page"
  done
  if [ "$account_before" = no ] && getent passwd "$account" >/dev/null; then
    deluser --system --quiet "$account" >/dev/null 2>&1
    getent group "$account" >/dev/null && delgroup --system --quiet "$account" >/dev/null 2>&1
  fi
  true
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
rm -rf "$work"
mkdir -p "$work"

# Build and lintian.
"$root/scripts/build-deb.sh" "$work/deb" > "$work/build.log" 2>&1
deb=$(ls "$work"/deb/"$package"_*.deb 2>/dev/null | head -n 1)
check "the package builds" test -f "$deb"
echo "package: built in ${SECONDS} s"
[ -f "$deb" ] || { cat "$work/build.log"; echo "package: $passed passed, $failed failed"; exit 1; }
lintian --fail-on error,warning "$deb" > "$work/lintian.txt" 2>&1
lintian_status=$?
sed 's/^/lintian: /' "$work/lintian.txt" | grep -v 'running with root privileges'
check "lintian finds no error and no warning" test "$lintian_status" -eq 0
version=$(dpkg-deb -f "$deb" Version)
# An upgrade leaves the running server alone until the new one is checked
# (postinst restarts it then): nothing stops it before.
dpkg-deb -e "$deb" "$work/control"
check "no maintainer script stops the service before an upgrade" \
  bash -c "! grep -q stop '$work/control/preinst' 2>/dev/null && ! grep -qE 'upgrade.*stop|stop.*upgrade' '$work/control/prerm'"

# What matches the package's names before it comes, to tell what it leaves.
traces() {
  find /etc /usr /var /lib /opt /srv -xdev -path /var/cache/man -prune -o \
    \( -iname '*qvweb*' -o -iname '*quorvale*' \) -print 2>/dev/null | sort
}
traces > "$work/traces.before"
ls -d /var/cache/man/cat8/qvweb.8.gz /var/cache/man/cat1/qvdemo.1.gz > "$work/man-cache.before" 2>/dev/null

# Install.
dpkg -i "$deb" > "$work/install.log" 2>&1
check "dpkg installs the package" installed
cat "$work/install.log"
# Its files; folders are shared with other packages, but for its own three.
dpkg -L "$package" | while read -r path; do [ -d "$path" ] || echo "$path"; done > "$work/files"
printf '%s\n' /etc/quorvale /usr/share/quorvale /usr/share/doc/"$package" >> "$work/files"
check "the server, qvdemo and the logo are installed" \
  test -x /usr/sbin/qvweb -a -x /usr/bin/qvdemo -a -f /usr/share/quorvale/htdocs/qv_logo_jpg.jpg
check "the data answers' guide and OpenAPI description are in the doc folder" \
  test -f /usr/share/doc/"$package"/api.md -a -f /usr/share/doc/"$package"/openapi.json
check "qvweb --version names the package's version" \
  test "$(/usr/sbin/qvweb --version | head -n 1)" = "qvweb $version"
check "the settings file is a conffile" \
  bash -c "dpkg-query -W -f='\${Conffiles}' $package | grep -q ' $settings '"
check "the settings file is root:quorvale 0640" test "$(stat -c '%U:%G %a' "$settings")" = "root:$account 640"
uid=$(id -u "$account" 2>/dev/null)
check "the account quorvale is a system account without a shell" \
  test -n "$uid" -a "${uid:-1000}" -lt 1000 -a "$(getent passwd "$account" | cut -d: -f7)" = /usr/sbin/nologin
check "the state and log folders belong to the account" \
  test "$(stat -c '%U:%G %a' /var/lib/quorvale /var/log/quorvale | sort -u)" = "$account:$account 750"
check "the unit is enabled at boot" \
  test "$(readlink /etc/systemd/system/multi-user.target.wants/qvweb.service)" = "$unit"
check "postinst says the service waits for its database" grep -q "enabled but not started" "$work/install.log"
for line in "User=quorvale" "Type=notify" 'ExecReload=/bin/kill -HUP $MAINPID' "StateDirectory=quorvale" \
  "LogsDirectory=quorvale" "RuntimeDirectory=quorvale" "Restart=on-failure" \
  "Wants=network-online.target" "After=network-online.target nss-lookup.target" \
  "ExecStartPre=/usr/sbin/qvweb -t --settings-only -c $settings" \
  "ExecStart=/usr/sbin/qvweb -c $settings --pid-file /run/quorvale/qvweb.pid"; do
  check "the unit has $line" grep -qxF "$line" "$unit"
done
# The sandbox, option by option (systemd-analyze security weighs them below).
hardening=(NoNewPrivileges=yes ProtectSystem=strict ProtectHome=yes PrivateTmp=yes PrivateDevices=yes
  ProtectKernelTunables=yes ProtectKernelModules=yes ProtectKernelLogs=yes ProtectControlGroups=yes
  ProtectClock=yes ProtectHostname=yes ProtectProc=invisible
  "RestrictAddressFamilies=AF_UNIX AF_INET AF_INET6" RestrictNamespaces=yes RestrictRealtime=yes
  RestrictSUIDSGID=yes LockPersonality=yes SystemCallArchitectures=native
  SystemCallFilter=@system-service UMask=0027 CapabilityBoundingSet=CAP_NET_BIND_SERVICE)
missing=""
for line in "${hardening[@]}"; do grep -qxF "$line" "$unit" || missing="$missing $line"; done
check "the unit has every sandbox option${missing:+ (missing:$missing)}" test -z "$missing"
if command -v systemd-analyze >/dev/null; then
  check "systemd-analyze verify accepts the unit" \
    bash -c "systemd-analyze verify '$unit' 2>&1 | grep -q . && exit 1 || exit 0"
  # Offline, so also where systemd does not run; 0 is best, 10 worst.
  systemd-analyze security --offline=true --no-pager "$unit" > "$work/security.txt" 2>&1
  exposure=$(sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p' "$work/security.txt")
  echo "package: systemd-analyze security: exposure ${exposure:-unknown} (0 best, 10 worst)"
  check "systemd-analyze security rates the unit's exposure below 3 (${exposure:-not rated})" \
    awk -v e="${exposure:-99}" 'BEGIN { exit !(e < 3) }'
fi
# (The redirections go inside: on check itself they would swallow its line.)
check "logrotate reads its file" bash -c "logrotate -d /etc/logrotate.d/quorvale-web > '$work/logrotate-d.txt' 2>&1"
check "the manual page renders without a warning" \
  bash -c "man --warnings -l /usr/share/man/man8/qvweb.8.gz 2>&1 >/dev/null | grep -q . && exit 1 || exit 0"
MANWIDTH=200 man -l /usr/share/man/man8/qvweb.8.gz 2>/dev/null > "$work/qvweb.8.txt"
# Every key of the settings file stands in the manual, and every key the
# program knows stands in the settings file.
keys=$(grep -E '^[A-Za-z]+=' "$settings" | cut -d= -f1 | sort -u)
missing=""
for key in $keys; do grep -qw "$key" "$work/qvweb.8.txt" || missing="$missing $key"; done
check "the manual describes every setting${missing:+ (missing:$missing)}" test -z "$missing"
# The program's own list: its effective settings for an empty file.
: > "$work/empty.ini"
known=$(/usr/sbin/qvweb --print-config -c "$work/empty.ini" 2>/dev/null |
  awk '/^\[/ { section = substr($0, 2, length($0) - 2) } /^[A-Za-z]+=/ { print section, substr($0, 1, index($0, "=") - 1) }')
missing=""
while read -r section key; do
  [ -n "$key" ] || continue
  awk -v s="[$section]" -v k="$key" '
    /^\[/ { inside = (toupper($0) == toupper(s)) } inside && index($0, k "=") == 1 { found = 1 }
    END { exit !found }' "$settings" || missing="$missing [$section]$key"
done <<< "$known"
check "the settings file lists every key the program knows${missing:+ (missing:$missing)}" \
  test -n "$known" -a -z "$missing"

# The packaged binary reads the package's settings file without -c.
/usr/sbin/qvweb --print-config > "$work/print-config.txt" 2> "$work/print-config.err"
check "qvweb without -c reads $settings" bash -c "grep -q '^DBName=$database\$' '$work/print-config.txt' && ! grep -q 'not found' '$work/print-config.err'"

# The unit's own command lines, as systemd runs them; the runtime folder
# as systemd makes it.
pre_start=$(sed -n 's/^ExecStartPre=//p' "$unit")
start=$(sed -n 's/^ExecStart=//p' "$unit")
pid_file=/run/quorvale/qvweb.pid
install -d -o "$account" -g "$account" -m 0755 /run/quorvale

# Before the database exists: the full check fails on it, the unit's
# pre-start check (settings only) passes, so a database that is down at
# boot does not fail the unit.
(as_service /usr/sbin/qvweb -t -c "$settings") > "$work/check1.txt" 2>&1
status=$?
cat "$work/check1.txt"
check "qvweb -t without a database fails" test "$status" -eq 1
check "... naming the missing database" grep -qF "$database" "$work/check1.txt"
(as_service $pre_start) > "$work/pre-start.txt" 2>&1
status=$?
cat "$work/pre-start.txt"
check "the unit's pre-start check passes without the database" test "$status" -eq 0

# The installed server as the account, on a free loopback port set in the
# installed settings as an administrator would; started without its
# database, it answers 503, then serves pages once the database is there.
port=$(free_port)
sed -i "s/^Port=80\$/Port=$port/; 0,/^Address=\$/s//Address=127.0.0.1/" "$settings"
as_service $start > "$work/server.out" 2> "$work/server.err" &
server=$!
for _ in $(seq 1 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done
base="http://127.0.0.1:$port"
curl -sS -o /dev/null -D "$work/down.head" "$base/" 2>&1
check "without its database the server answers 503 with Retry-After" \
  bash -c "head -n 1 '$work/down.head' | grep -q ' 503 ' && grep -qi '^Retry-After: 5' '$work/down.head'"
check "the server runs as the account" test "$(ps -o user= -p "$server" 2>/dev/null | tr -d ' ')" = "$account"
check "the PID file names the server" test "$(cat "$pid_file" 2>/dev/null)" = "$(pgrep -u "$account" -x qvweb | head -n 1)"
qvdemo --db "$database" --properties 20 --quiet > "$work/qvdemo.txt" 2>&1 && chown "$account:$account" "$database"
made_database=yes
check "qvdemo makes the database the settings name" test -f "$database"
curl -sS -o "$work/menu.html" "$base/" 2>&1
check "once the database is there, the main menu is served" grep -q "NOT LOGGED IN" "$work/menu.html"
(as_service /usr/sbin/qvweb -t -c "$settings") > "$work/check2.txt" 2>&1
status=$?
cat "$work/check2.txt"
check "qvweb -t beside the running server passes" test "$status" -eq 0
curl -sS -o "$work/logo.jpg" "$base/image/qv_logo_jpg.jpg"
check "the logo comes from the installed HtDocs" cmp -s "$work/logo.jpg" /usr/share/quorvale/htdocs/qv_logo_jpg.jpg
curl -sS -c "$work/jar" -o /dev/null "$base/"
curl -sS -b "$work/jar" -c "$work/jar" -o "$work/logon.html" --data 'uName=demo&uPass=demo' "$base/DOLOGIN"
curl -sS -b "$work/jar" -o "$work/list.html" "$base/list"
check "a logged-on visitor gets the property list" grep -q 'propinfo?propid=' "$work/list.html"
curl -sS -b "$work/jar" -o "$work/auth.html" "$base/auth?propid=1"
check "the working folder is the state folder, writable by the account" \
  test "$(stat -c %U /var/lib/quorvale/Authorizations.sql 2>/dev/null)" = "$account"
check "the access log is written in the log folder" eventually grep -q '"GET /list ' /var/log/quorvale/access.log
# A rotation by logrotate with its own hook, which finds the server through
# the PID file (systemd does not run here, or is not asked): new lines go to
# a new file of the account's.
logrotate -f -s "$work/logrotate.state" /etc/logrotate.d/quorvale-web > "$work/logrotate.txt" 2>&1
check "logrotate rotates the access log" test -f /var/log/quorvale/access.log.1
curl -sS -o /dev/null "$base/?after-rotation"
check "after logrotate's hook the server writes to the new log" eventually grep -q 'after-rotation' /var/log/quorvale/access.log
check "the new log belongs to the account" test "$(stat -c %U /var/log/quorvale/access.log)" = "$account"
kill -HUP "$server"
sleep 1
curl -sS -o "$work/menu2.html" "$base/"
check "SIGHUP reloads and the server goes on" grep -q "NOT LOGGED IN" "$work/menu2.html"
kill -TERM "$server"
wait "$server"
status=$?
server=""
check "the server stops cleanly" test "$status" -eq 0
check "... and removes its PID file" test ! -e "$pid_file"
[ "$failed" -eq 0 ] || { echo "--- server stderr"; cat "$work/server.err"; }

# What root sees that the account does not: a settings file of root's
# alone, a logo in a folder of root's alone. Root's -t names both; the
# account's own check and start say "permission denied" about the logo.
mkdir -m 0700 "$work/private"
cp /usr/share/quorvale/htdocs/qv_logo_jpg.jpg "$work/private/"
sed "s|^HtDocs=.*|HtDocs=$work/private|" "$settings" > "$work/private.ini"
chown "root:$account" "$work/private.ini"
chmod 0640 "$work/private.ini"
/usr/sbin/qvweb -t --settings-only -c "$work/private.ini" > "$work/root-check.txt" 2>&1
status=$?
cat "$work/root-check.txt"
check "root's -t fails where the account cannot read the logo" \
  bash -c "[ $status -eq 1 ] && grep -qF 'the account $account cannot read the logo $work/private/qv_logo_jpg.jpg' '$work/root-check.txt'"
(as_service /usr/sbin/qvweb -t --settings-only -c "$work/private.ini") > "$work/account-check.txt" 2>&1
status=$?
denied="[APP] HtDocs: logo $work/private/qv_logo_jpg.jpg cannot be read: Permission denied"
check "the account's -t says permission denied" \
  bash -c "[ $status -eq 1 ] && grep -qF '$denied' '$work/account-check.txt'"
: > "$work/private.err"
(as_service /usr/sbin/qvweb -c "$work/private.ini" > /dev/null 2> "$work/private.err") &
private=$!
eventually grep -qF "$denied" "$work/private.err"
check "the account's start warns with the same line" grep -qF "warning qvweb: $work/private.ini: $denied" "$work/private.err"
kill -TERM "$private" 2>/dev/null; wait "$private" 2>/dev/null
chmod 0600 "$work/private.ini"
/usr/sbin/qvweb -t --settings-only -c "$work/private.ini" > "$work/root-check2.txt" 2>&1
check "root's -t fails where the account cannot read the settings file" \
  grep -qF "error: $work/private.ini: the account $account cannot read the settings file" "$work/root-check2.txt"
cp "$unit" "$work/packaged.service"

# Purge: nothing of the package stays but its account and the database.
dpkg --purge "$package" > "$work/purge.log" 2>&1
check "dpkg purges the package" not present
cat "$work/purge.log"
check "the purge keeps the database and says so" \
  bash -c "[ -f '$database' ] && grep -qF '$database' '$work/purge.log'"
check "... and deletes the rest of the state folder" \
  test "$(find /var/lib/quorvale -mindepth 1 2>/dev/null)" = "$database"
remove_own_state
left=""
while read -r path; do
  [ -e "$path" ] && left="$left $path"
done < "$work/files"
check "no file of the package is left${left:+ (left:$left)}" test -z "$left"
traces > "$work/traces.after"
left=$(comm -13 "$work/traces.before" "$work/traces.after" | tr '\n' ' ')
check "nothing named after it is left${left:+ (left: $left)}" test -z "$left"
left=$(find /etc /usr /var /lib /opt /srv /run -xdev -uid "$uid" 2>/dev/null | tr '\n' ' ')
check "no file of the account is left${left:+ (left: $left)}" test -z "$left"
check "no enabling link is left" test ! -e /etc/systemd/system/multi-user.target.wants/qvweb.service -a ! -L /etc/systemd/system/multi-user.target.wants/qvweb.service
check "the account stays, as Debian does with system accounts" bash -c "getent passwd $account >/dev/null"

# "qvweb -install" of the build: makes the missing account and writes the
# packaged unit, for the build's own paths.
if [ -x "$build/qvweb" ] && [ "$account_before" = no ] && [ ! -e /etc/systemd/system/qvWebService.service ]; then
  deluser --system --quiet "$account" >/dev/null 2>&1
  delgroup --system --quiet "$account" >/dev/null 2>&1
  installed_unit=yes
  "$build/qvweb" -install -silent -c "$settings" > "$work/install-switch.txt" 2>&1
  check "-install succeeds" test $? -eq 0
  check "-install warns that the account cannot read the settings (purged)" \
    grep -q "account quorvale cannot read $settings" "$work/install-switch.txt"
  check "-install makes the system account" bash -c "[ \$(id -u $account) -lt 1000 ]"
  sed "s|$build/qvweb|/usr/sbin/qvweb|g" /etc/systemd/system/qvWebService.service > "$work/switch.service"
  check "-install writes the packaged unit" diff -u "$work/packaged.service" "$work/switch.service"
  "$build/qvweb" -uninstall -silent >/dev/null 2>&1
  check "-uninstall removes it" test ! -e /etc/systemd/system/qvWebService.service
  installed_unit=""
fi

echo "package: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
