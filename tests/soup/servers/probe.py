#!/usr/bin/python3
"""Port checks for start.

probe.py free PORT...
    exit 1 (naming them) if any of the ports on 127.0.0.1 is taken.
probe.py wait SECONDS CA_FILE NAME:PORT:MODE:GREETING:PIDFILE...
    waits until each port answers with a line starting with GREETING; MODE is connect
    (accepting is enough), plain, tls (verified against CA_FILE) or anytls (handshake only,
    GREETING empty). Prints the names
    that did not get ready (their process died or time ran out) and exits 1 if there are any.
"""

import os
import socket
import ssl
import sys
import time


def free(ports):
    busy = []
    for port in ports:
        s = socket.socket()
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            s.bind(("127.0.0.1", int(port)))
        except OSError:
            busy.append(port)
        finally:
            s.close()
    for port in busy:
        print("port %s on 127.0.0.1 is already in use" % port, file=sys.stderr)
    return 1 if busy else 0


def answers(port, mode, greeting, ca_file):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=2) as raw:
            sock = raw
            if mode == "connect":  # a server that says nothing first (spamd)
                return True
            if mode == "tls":
                sock = ssl.create_default_context(cafile=ca_file).wrap_socket(
                    raw, server_hostname="localhost")
            elif mode == "anytls":
                ctx = ssl.create_default_context()
                ctx.check_hostname = False
                ctx.verify_mode = ssl.CERT_NONE
                ctx.wrap_socket(raw, server_hostname="localhost").close()
                return True
            line = sock.makefile("rb").readline()
            return line.decode("latin-1").startswith(greeting)
    except (OSError, ssl.SSLError):
        return False


def alive(pidfile):
    try:
        with open(pidfile) as f:
            pid = int(f.read().split()[0])
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rpartition(")")[2].split()[0] != "Z"
    except (OSError, ValueError, IndexError):
        return False


def wait(seconds, ca_file, servers):
    todo = [server.split(":", 4) for server in servers]
    deadline = time.monotonic() + float(seconds)
    failed = []
    while todo and time.monotonic() < deadline:
        for server in list(todo):
            name, port, mode, greeting, pidfile = server
            if answers(int(port), mode, greeting, ca_file):
                todo.remove(server)
            elif not alive(pidfile):
                failed.append(name)
                todo.remove(server)
        if todo:
            time.sleep(0.1)
    names = failed + [server[0] for server in todo]
    for name in sorted(set(names)):
        print(name)
    return 1 if names else 0


if __name__ == "__main__":
    if sys.argv[1:2] == ["free"]:
        sys.exit(free(sys.argv[2:]))
    if sys.argv[1:2] == ["wait"]:
        sys.exit(wait(sys.argv[2], sys.argv[3], sys.argv[4:]))
    sys.exit(__doc__)
