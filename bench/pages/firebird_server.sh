# A private Firebird server for the page benchmarks, on 127.0.0.1: its own
# root folder (plugins and messages linked from the installed server, the
# character-set module copied, since the server loads it only from inside its
# root), configuration, security database and port. Sourced after
# scripts/functions.sh.
#   start_firebird_server dir [server-mode]
#     sets fb_pid, fb_port and fb_password; the server's files go in DIR;
#     SERVER-MODE is the server's ServerMode (default Super)
start_firebird_server() {  # dir [server-mode]
  local dir=$1 mode=${2:-Super} root name
  root=$(dirname "$(ls -d /usr/lib/*/firebird/3.0/plugins | head -n 1)")
  [ -x /usr/sbin/firebird ] || { echo "/usr/sbin/firebird is missing (firebird3.0-server)" >&2; return 1; }
  mkdir -p "$dir/lock" "$dir/tmp" "$dir/intl"
  for name in UDF plugins lib firebird.msg plugins.conf; do ln -sfn "$root/$name" "$dir/$name"; done
  cp "$root/intl/libfbintl.so" "$dir/intl/"
  ln -sfn "$root/intl/fbintl.conf" "$dir/intl/fbintl.conf"
  fb_port=$(free_port)
  fb_password=qv-bench-secret
  cat > "$dir/firebird.conf" <<CONF
RemoteServicePort = $fb_port
RemoteBindAddress = 127.0.0.1
ServerMode = $mode
SecurityDatabase = $dir/security3.fdb
CONF
  : > "$dir/databases.conf"
  env -u ISC_USER -u ISC_PASSWORD FIREBIRD="$dir" FIREBIRD_LOCK="$dir/lock" \
      FIREBIRD_TMP="$dir/tmp" isql-fb -q > "$dir/server.log" 2>&1 <<SQL ||
CREATE DATABASE '$dir/security3.fdb' USER 'SYSDBA';
CREATE OR ALTER USER SYSDBA PASSWORD '$fb_password' USING PLUGIN Srp;
COMMIT;
SQL
    { echo "creating the security database failed:" >&2; cat "$dir/server.log" >&2; return 1; }
  env -u ISC_USER -u ISC_PASSWORD FIREBIRD="$dir" FIREBIRD_LOCK="$dir/lock" \
      FIREBIRD_TMP="$dir/tmp" /usr/sbin/firebird >> "$dir/server.log" 2>&1 &
  fb_pid=$!
  wait_port "$fb_port" "$fb_pid" && return 0
  echo "the Firebird server did not start:" >&2; cat "$dir/server.log" >&2
  return 1
}
