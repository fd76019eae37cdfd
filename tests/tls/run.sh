#!/usr/bin/env bash
# HTTPS walk with curl: the built server beside a fresh demo database, with a
# certificate made here by openssl, serving plain HTTP and TLS side by side.
# The same pages over both, the session cookie Secure only over TLS, a session
# logged on over TLS worth nothing on the plain port, TLS 1.1 refused, a
# silent TLS client cut by HandshakeTimeout, a bad certificate failing the
# start with the file's name, SIGHUP loading a renewed certificate, and
# RedirectHttp sending plain-port visitors to HTTPS.
# Usage: tests/tls/run.sh [BUILD_FOLDER]   (default: build)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
work="$build/tls"

for tool in "$build/qvweb" "$build/qvdemo" /usr/bin/openssl /usr/bin/curl; do
  [ -x "$tool" ] || { echo "tls: $tool is missing"; echo "tls: 0 passed, 1 failed"; exit 1; }
done
rm -rf "$work"
mkdir -p "$work/htdocs"
"$build/qvdemo" --db "$work/qvmain.fdb" >/dev/null
cp "$root/assets/qv_logo_jpg.jpg" "$work/htdocs/"
cp "$build/qvweb" "$work/qvweb"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
  -subj /CN=localhost -keyout "$work/server.key" -out "$work/server.crt" 2>/dev/null
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
port=$(free_port)
tls_port=$(free_port)
write_ini() {  # certificate file [RedirectHttp]
  cat > "$work/qvweb.ini" <<INI
[APP]
Port=$port
HtDocs=$work/htdocs
LoginTimeout=10
[TLS]
Port=$tls_port
Certificate=$1
Key=$work/server.key
HandshakeTimeout=1
RedirectHttp=${2:-0}
[DB]
DBName=$work/qvmain.fdb
User=SYSDBA
INI
}

passed=0
failed=0
check() {  # name condition...
  local name=$1; shift
  if "$@"; then echo "ok - $name"; passed=$((passed + 1)); else echo "not ok - $name"; failed=$((failed + 1)); fi
}

# A certificate that cannot be read fails the start and names the file.
write_ini "$work/missing.crt"
set +e
(cd "$work" && timeout 20 ./qvweb) > "$work/bad.log" 2>&1
bad_status=$?
set -e
check "a missing certificate fails the start" test "$bad_status" -ne 0 -a "$bad_status" -ne 124
check "the failure names the certificate file" grep -q "$work/missing.crt" "$work/bad.log"

write_ini "$work/server.crt"
(cd "$work" && exec ./qvweb) > "$work/server.log" 2>&1 &
server=$!
trap 'kill -TERM "$server" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  if (exec 3<>"/dev/tcp/127.0.0.1/$tls_port") 2>/dev/null; then break; fi
  kill -0 "$server" 2>/dev/null || break
  sleep 0.1
done

https=(curl -sS --cacert "$work/server.crt" --resolve "localhost:$tls_port:127.0.0.1")
tls="https://localhost:$tls_port"
plain="http://127.0.0.1:$port"
# A visit over TLS: main menu, log on, list, a property, log off.
"${https[@]}" -D "$work/first.head" -c "$work/tls.jar" -o "$work/first.html" "$tls/"
check "main menu over TLS" grep -q "NOT LOGGED IN" "$work/first.html"
check "the cookie is Secure over TLS" \
  grep -qE '^Set-Cookie: IDHTTPSESSIONID=[A-Za-z0-9]{15}; path=/; secure; HttpOnly; SameSite=Lax' "$work/first.head"
check "pages say they are ISO-8859-1 HTML" grep -qi '^Content-Type: text/html; charset=ISO-8859-1' "$work/first.head"
first_id=$(awk '$6 == "IDHTTPSESSIONID" {print $7}' "$work/tls.jar")
"${https[@]}" -b "$work/tls.jar" -c "$work/tls.jar" -D "$work/login.head" -o "$work/login.html" \
  --data 'uName=demo&uPass=demo' "$tls/DOLOGIN"
check "log on over TLS" grep -q 'href="/LOGOFF"' "$work/login.html"
tls_id=$(awk '$6 == "IDHTTPSESSIONID" {print $7}' "$work/tls.jar")
check "the log-on gives a new session identifier" test -n "$tls_id" -a "$tls_id" != "$first_id"
check "the log-on answer is kept by no cache" grep -qi '^Cache-Control: no-store' "$work/login.head"
"${https[@]}" -b "$work/tls.jar" -o "$work/tls_list.html" "$tls/list"
check "property list over TLS" grep -q 'propinfo?propid=' "$work/tls_list.html"
"${https[@]}" -b "$work/tls.jar" -o "$work/tls_prop.html" "$tls/propinfo?propid=1"
# The same pages over plain HTTP, byte for byte.
curl -sS -D "$work/plain.head" -c "$work/plain.jar" -o /dev/null "$plain/"
curl -sS -b "$work/plain.jar" -c "$work/plain.jar" -o /dev/null --data 'uName=demo&uPass=demo' "$plain/DOLOGIN"
curl -sS -b "$work/plain.jar" -o "$work/plain_list.html" "$plain/list"
curl -sS -b "$work/plain.jar" -o "$work/plain_prop.html" "$plain/propinfo?propid=1"
check "the same list page over both" cmp -s "$work/tls_list.html" "$work/plain_list.html"
check "the same property page over both" cmp -s "$work/tls_prop.html" "$work/plain_prop.html"
check "no Secure flag over plain HTTP" bash -c "! grep -qi 'secure' '$work/plain.head'"
curl -sS -b "IDHTTPSESSIONID=$tls_id" -o "$work/stolen.html" "$plain/list"
check "a session logged on over TLS is not usable on the plain port" grep -q "NOT LOGGED IN" "$work/stolen.html"
"${https[@]}" -b "$work/tls.jar" -c "$work/tls.jar" -o "$work/logoff.html" "$tls/LOGOFF"
check "log off over TLS" grep -q "NOT LOGGED IN" "$work/logoff.html"
check "TLS 1.1 is refused" bash -c "! curl -s -o /dev/null --tlsv1.1 --tls-max 1.1 --ciphers DEFAULT@SECLEVEL=0 -k '$tls/'"
check "TLS 1.2 is accepted" "${https[@]}" -o /dev/null --tlsv1.2 --tls-max 1.2 "$tls/"
# A client that connects and says nothing: ReadTimeout (60 s) would keep it,
# HandshakeTimeout=1 closes it.
silent_client_cut() {
  local status
  exec 3<>"/dev/tcp/127.0.0.1/$tls_port"
  set +e
  timeout 10 cat <&3 >/dev/null
  status=$?
  set -e
  exec 3<&-
  [ "$status" -eq 0 ]
}
check "a silent TLS client is cut at HandshakeTimeout" silent_client_cut

# SIGHUP reads the certificate again: new connections get the new one.
subject() { curl -sk -v -o /dev/null "$tls/" 2>&1 | sed -n 's/^\*  subject: //p'; }
check "the first certificate is served" test "$(subject)" = "CN=localhost"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
  -subj /CN=renewed -keyout "$work/server.key" -out "$work/server.crt" 2>/dev/null
kill -HUP "$server"
# True once the named check holds, within about five seconds (a reload's time).
eventually() {  # function expected
  local _
  for _ in $(seq 1 50); do
    [ "$("$1")" = "$2" ] && return 0
    sleep 0.1
  done
  return 1
}
check "SIGHUP loads the renewed certificate" eventually subject "CN=renewed"

# RedirectHttp: the plain port sends visitors to the same page over HTTPS,
# and HTTPS answers tell the browser to stay there.
write_ini "$work/server.crt" 1
kill -HUP "$server"
redirected() { curl -s -o /dev/null -w '%{http_code} %{redirect_url}' -H 'Host: localhost' "$plain/list?page=2"; }
check "RedirectHttp sends the plain port to HTTPS" \
  eventually redirected "301 https://localhost:$tls_port/list?page=2"
check "HTTPS answers carry Strict-Transport-Security" \
  bash -c "curl -sk -D - -o /dev/null '$tls/' | grep -qi '^Strict-Transport-Security: max-age=31536000'"

kill -TERM "$server"
set +e
wait "$server"
status=$?
set -e
trap - EXIT
check "the server stops cleanly" test "$status" -eq 0
echo "tls: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
