# A private Firebird server for the page benchmarks, on 127.0.0.1, run by
# BUILD/qv_firebird_server (the tests' own server starter). Sourced after
# scripts/functions.sh.
#   start_firebird_server build [server-mode]
#     sets fb_helper (the starter: stop_pid ends the server and removes its
#     folder), fb_pid (the server process), fb_port, fb_folder and fb_password;
#     SERVER-MODE is the server's ServerMode (default the server's own)
start_firebird_server() {  # build [server-mode]
  local out _
  out=$(mktemp)
  "$1/qv_firebird_server" ${2:+"$2"} > "$out" &
  fb_helper=$!
  for _ in $(seq 300); do
    if read -r fb_port fb_pid fb_folder fb_password < "$out" 2>/dev/null && [ -n "$fb_password" ]; then
      rm -f "$out"
      return 0
    fi
    kill -0 "$fb_helper" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$out"
  echo "the Firebird server did not start" >&2
  return 1
}
