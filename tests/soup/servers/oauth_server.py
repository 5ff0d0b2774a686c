#!/usr/bin/python3
"""Token introspection for dovecot's oauth2 passdb in the SOUP tests (RFC 7662 style).

POST /introspect with the form field token=...: the one token per test user that is good is
"valid-<user>"; it is active and names that user. Anything else is inactive.

usage: oauth_server.py --port N
"""

import argparse
import json
import re
import signal
import sys
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def judge(token):
    m = re.fullmatch(r"valid-(user\d\d|alice)", token or "")
    return {"active": True, "username": m.group(1)} if m else {"active": False}


class Introspect(BaseHTTPRequestHandler):
    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        form = urllib.parse.parse_qs(self.rfile.read(length).decode("utf-8", "replace"))
        body = json.dumps(judge((form.get("token") or [""])[0])).encode()
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, fmt, *args):  # tokens stay out of the log
        sys.stderr.write("introspect %s\n" % (args[1] if len(args) > 1 else ""))


if __name__ == "__main__":
    ap = argparse.ArgumentParser()
    ap.add_argument("--port", type=int, required=True)
    server = ThreadingHTTPServer(("127.0.0.1", ap.parse_args().port), Introspect)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    server.serve_forever()
