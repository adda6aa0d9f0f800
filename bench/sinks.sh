# Sourced by the benchmark scripts: a loopback smtp-sink, socat in front of
# it for implicit TLS with a throw-away certificate, and starttls_front.py
# in front of it for STARTTLS. Expects $work and the array pids (killed by
# the caller's cleanup); sets clear_port, tls_port and starttls_port.
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

start_sinks() {
    clear_port=$(free_port)
    /usr/sbin/smtp-sink -c -u nobody "127.0.0.1:$clear_port" 1000 >/dev/null &
    pids+=($!)
    openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=localhost -days 1 \
        -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
    tls_port=$(free_port)
    socat "openssl-listen:$tls_port,bind=127.0.0.1,reuseaddr,fork,cert=$work/cert.pem,key=$work/key.pem,verify=0" \
        "tcp:127.0.0.1:$clear_port" 2>/dev/null &
    pids+=($!)
    starttls_port=$(free_port)
    "$(command -v /usr/bin/python3 || command -v python3)" "$(dirname "${BASH_SOURCE[0]}")/starttls_front.py" \
        "$starttls_port" "$clear_port" "$work/cert.pem" "$work/key.pem" &
    pids+=($!)
    sleep 0.5
}
