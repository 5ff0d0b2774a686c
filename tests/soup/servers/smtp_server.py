#!/usr/bin/python3
"""SMTP sink for the SOUP tests: a plain port with STARTTLS and an implicit-TLS port.

Each accepted message becomes one file in the store folder, the envelope in two LF-ended
lines, then the message exactly as received (CRLF, dot-unstuffed), so tests can compare bytes.

usage: smtp_server.py --store DIR --cert PEM --key PEM --port N --tls-port N
"""

import argparse
import asyncio
import logging
import os
import re
import signal
import ssl

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

USER, PASSWORD = b"alice", b"secret"


def authenticate(server, session, envelope, mechanism, auth_data):
    ok = (isinstance(auth_data, LoginPassword)
          and auth_data.login == USER and auth_data.password == PASSWORD)
    # handled=False: aiosmtpd then sends the 535 itself.
    return AuthResult(success=ok, handled=False)


class Store:
    def __init__(self, folder):
        self.folder = folder
        names = [n for n in os.listdir(folder) if re.fullmatch(r"\d{6}\.eml", n)]
        self.count = max((int(n[:6]) for n in names), default=0)

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.rsplit("@", 1)[0] == "refused":
            return "550 5.1.1 Recipient refused (test)"
        envelope.rcpt_tos.append(address)
        envelope.rcpt_options.extend(rcpt_options)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        data = envelope.original_content
        header = re.split(rb"\r?\n\r?\n", data, maxsplit=1)[0]
        if re.search(rb"(?im)^X-Test-Refuse:[ \t]*yes[ \t]*\r?$", header):
            return "554 5.6.0 Message refused (test)"
        self.count += 1
        name = os.path.join(self.folder, "%06d.eml" % self.count)
        tmp = os.path.join(self.folder, ".%06d.tmp" % self.count)
        head = "X-MailFrom: %s\nX-RcptTo: %s\n" % (envelope.mail_from or "",
                                                   ", ".join(envelope.rcpt_tos))
        with open(tmp, "wb") as f:
            f.write(head.encode("utf-8", "surrogateescape") + data)
        # Rename so a test polling the folder never sees half a message.
        os.rename(tmp, name)
        return "250 OK stored as %06d" % self.count


async def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--store", required=True)
    ap.add_argument("--cert", required=True)
    ap.add_argument("--key", required=True)
    ap.add_argument("--port", type=int, required=True)
    ap.add_argument("--tls-port", type=int, required=True)
    args = ap.parse_args()

    logging.basicConfig(level=logging.INFO, format="%(asctime)s %(name)s %(message)s")
    ctx = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    ctx.load_cert_chain(args.cert, args.key)
    store = Store(args.store)
    loop = asyncio.get_running_loop()

    def smtp(**kw):
        return SMTP(store, hostname="localhost", authenticator=authenticate,
                    auth_require_tls=False, loop=loop, **kw)

    # Plain port: STARTTLS offered, AUTH allowed before TLS too (it is loopback), not required.
    plain = await loop.create_server(lambda: smtp(tls_context=ctx), "127.0.0.1", args.port)
    # Implicit TLS: aiosmtpd only counts STARTTLS as TLS, hence auth_require_tls=False here too.
    tls = await loop.create_server(lambda: smtp(auth_required=True), "127.0.0.1",
                                   args.tls_port, ssl=ctx)
    stop = asyncio.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(sig, stop.set)
    logging.info("listening on 127.0.0.1:%d (STARTTLS) and 127.0.0.1:%d (TLS)",
                 args.port, args.tls_port)
    await stop.wait()
    plain.close()
    tls.close()


if __name__ == "__main__":
    import warnings
    warnings.filterwarnings("ignore", message="Requiring AUTH while not requiring TLS")
    asyncio.run(main())
