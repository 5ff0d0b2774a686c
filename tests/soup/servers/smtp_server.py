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

from base64 import b64decode

from aiosmtpd.smtp import MISSING, SMTP, AuthResult, LoginPassword

USER, PASSWORD = b"alice", b"secret"


def bearer_user(blob):
    """The user of an XOAUTH2 or OAUTHBEARER response whose token is "valid-<user>", else None."""
    fields = dict(p.split(b"=", 1) for p in blob.split(b"\x01") if b"=" in p)
    user = fields.get(b"user")
    if blob.startswith(b"n,"):  # OAUTHBEARER's GS2 header: n,a=user,
        m = re.match(rb"n,a=([^,]*),", blob)
        user = m.group(1) if m else None
    return user if user and fields.get(b"auth") == b"Bearer valid-" + user else None


async def oauth(server, args, mechanism):
    blob = await server.challenge_auth("") if len(args) == 1 else b64decode(args[1])
    if blob is MISSING:
        return AuthResult(success=False, handled=True)
    user = bearer_user(blob)
    if user is None:
        # As the big providers do: a JSON error as a challenge, answered empty (XOAUTH2) or
        # with 0x01 (OAUTHBEARER), then the refusal.
        error = b'{"status":"invalid_token","scope":"mail"}'
        if await server.challenge_auth(error) is MISSING:
            return AuthResult(success=False, handled=True)
        return AuthResult(success=False, handled=False)
    return AuthResult(success=True, auth_data=LoginPassword(user, mechanism.encode()))


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

    async def auth_XOAUTH2(self, server, args):
        return await oauth(server, args, "XOAUTH2")

    async def auth_OAUTHBEARER(self, server, args):
        return await oauth(server, args, "OAUTHBEARER")

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
        # Beside it: how the client logged in and what it asked of MAIL FROM.
        login = session.auth_data  # set by the OAuth2 mechanisms only
        with open(os.path.join(self.folder, "%06d.env" % self.count), "w") as f:
            f.write("login: %s\n" % ("%s %s" % (login.login.decode(), login.password.decode())
                                      if login else "password or none"))
            f.write("mail-options: %s\n" % " ".join(envelope.mail_options))
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
                    auth_require_tls=False, enable_SMTPUTF8=True, loop=loop, **kw)

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
