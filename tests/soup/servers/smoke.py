#!/usr/bin/python3
"""Checks by hand that the servers of `start DIR` behave as the SOUP tests expect.

usage: smoke.py DIR   (prints one line per check, exits 1 on the first failure)
"""

import os
import poplib
import smtplib
import socket
import ssl
import sys
import time

env = {}
with open(os.path.join(sys.argv[1], "servers.env")) as f:
    for line in f:
        key, _, value = line.rstrip("\n").partition("=")
        env[key] = value
ctx = ssl.create_default_context(cafile=env["CA_FILE"])


def check(what, ok):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        sys.exit(1)


# --- POP3: a seeded message comes back byte for byte (dot-stuffing undone by poplib).
body = b"From: a@example.test\r\nSubject: seeded\r\n\r\n.leading dot\r\nFrom the start\r\n..two\r\n"
maildir = os.path.join(env["POP3_HOME_ROOT"], "user01", "Maildir")
name = os.path.join(maildir, "new", "%d.smoke.localhost" % time.time_ns())
with open(name + ".tmp", "wb") as f:
    f.write(body)
os.chown(name + ".tmp", int(env["POP3_UID"]), int(env["POP3_GID"]))
os.rename(name + ".tmp", name)
for label, pop in (("POP3+STLS", lambda: poplib.POP3("127.0.0.1", int(env["POP3_PORT"]))),
                   ("POP3S", lambda: poplib.POP3_SSL("localhost", int(env["POP3S_PORT"]),
                                                     context=ctx))):
    p = pop()
    if label == "POP3+STLS":
        check("POP3 offers STLS", "STLS" in p.capa())
        p.stls(context=ctx)
    p.user("user01")
    p.pass_("secret")
    count, _ = p.stat()
    lines = p.retr(count)[1]
    check(label + " RETR gives the seeded bytes", b"\r\n".join(lines) + b"\r\n" == body)
    p.quit()
p = poplib.POP3("127.0.0.1", int(env["POP3_PORT"]))
p.user("user40")
try:
    p.pass_("wrong")
    check("POP3 refuses a wrong password", False)
except poplib.error_proto:
    check("POP3 refuses a wrong password", True)

# --- SMTP.
def stored():
    return sorted(n for n in os.listdir(env["SMTP_DIR"]) if n.endswith(".eml"))


msg = b"From: alice@example.test\r\nTo: bob@example.test\r\nSubject: hi\r\n\r\n.dot\r\nbody\r\n"
before = stored()
s = smtplib.SMTP("127.0.0.1", int(env["SMTP_PORT"]))
s.ehlo()
check("SMTP offers STARTTLS and AUTH before TLS",
      s.has_extn("starttls") and "PLAIN" in s.esmtp_features.get("auth", ""))
s.starttls(context=ctx)
s.ehlo()
s.login("alice", "secret")
s.sendmail("alice@example.test", ["bob@example.test", "carol@example.test"], msg)
s.quit()
new = [n for n in stored() if n not in before]
check("SMTP stored one file", len(new) == 1)
with open(os.path.join(env["SMTP_DIR"], new[0]), "rb") as f:
    data = f.read()
check("stored file: envelope lines and exact bytes", data ==
      b"X-MailFrom: alice@example.test\nX-RcptTo: bob@example.test, carol@example.test\n" + msg)

s = smtplib.SMTP("127.0.0.1", int(env["SMTP_PORT"]))
s.login("alice", "secret")  # before TLS: allowed on loopback
code, _ = s.docmd("MAIL FROM:<alice@example.test>")
code2, _ = s.docmd("RCPT TO:<refused@example.test>")
check("RCPT to refused@ gets 550", code == 250 and code2 == 550)
s.rset()
try:
    s.sendmail("alice@example.test", ["bob@example.test"],
               b"Subject: no\r\nX-Test-Refuse: yes\r\n\r\nbody\r\n")
    check("X-Test-Refuse: yes gets 554", False)
except smtplib.SMTPDataError as e:
    check("X-Test-Refuse: yes gets 554", e.smtp_code == 554)
s.quit()
try:
    smtplib.SMTP("127.0.0.1", int(env["SMTP_PORT"])).login("alice", "nope")
    check("SMTP refuses a wrong password", False)
except smtplib.SMTPAuthenticationError:
    check("SMTP refuses a wrong password", True)

s = smtplib.SMTP_SSL("localhost", int(env["SMTPS_PORT"]), context=ctx)
s.ehlo()
code, _ = s.docmd("MAIL FROM:<alice@example.test>")
check("SMTPS wants AUTH first (530)", code == 530)
s.rset()
s.login("alice", "secret")
before = stored()
s.sendmail("alice@example.test", ["dave@example.test"], msg)
s.quit()
new = [n for n in stored() if n not in before]
with open(os.path.join(env["SMTP_DIR"], new[0]), "rb") as f:
    check("SMTPS stored with its envelope",
          f.read().startswith(b"X-MailFrom: alice@example.test\nX-RcptTo: dave@example.test\n"))


# --- NNTP, on raw sockets to see the codes.
class Nntp:
    def __init__(self, port, tls=False):
        sock = socket.create_connection(("127.0.0.1", port), timeout=10)
        if tls:
            sock = ctx.wrap_socket(sock, server_hostname="localhost")
        self.f = sock.makefile("rwb")
        self.greeting = self.line()

    def line(self):
        return self.f.readline().decode().rstrip("\r\n")

    def cmd(self, text):
        self.f.write(text.encode() + b"\r\n")
        self.f.flush()
        return self.line()

    def block(self):
        out = []
        while (line := self.line()) != ".":
            out.append(line[1:] if line.startswith("..") else line)
        return out

    def post(self, group, subject):
        reply = self.cmd("POST")
        if not reply.startswith("340"):
            return reply
        art = ("From: Tester <tester@example.test>\r\nNewsgroups: %s\r\nSubject: %s\r\n\r\n"
               "..dotted line\r\nbody\r\n.\r\n" % (group, subject))
        self.f.write(art.encode())
        self.f.flush()
        return self.line()


if "NNTP_PORT" in env:  # not when start ran as a normal user (no INN then)
    n = Nntp(int(env["NNTP_PORT"]))
    check("NNTP greets 200 (posting allowed): " + n.greeting, n.greeting.startswith("200"))
    check("MODE READER answers 200", n.cmd("MODE READER").startswith("200"))
    subject = "smoke %d" % time.time_ns()
    reply = n.post("tw.g01", subject)
    check("POST to tw.g01: " + reply, reply.startswith("240"))
    deadline = time.time() + 2
    while True:
        group = n.cmd("GROUP tw.g01").split()
        article = n.cmd("ARTICLE " + group[3])
        lines = n.block() if article.startswith("220") else []
        if "Subject: " + subject in lines or time.time() > deadline:
            break
        time.sleep(0.1)
    check("GROUP/ARTICLE shows the post", "Subject: " + subject in lines and ".dotted line" in lines)
    n.cmd("QUIT")

    n = Nntp(int(env["NNTP_AUTH_PORT"]))
    check("AUTH port greets: " + n.greeting, n.greeting[:3] in ("200", "201"))
    check("GROUP before AUTHINFO gets 480", n.cmd("GROUP tw.test").startswith("480"))
    check("AUTHINFO USER gets 381", n.cmd("AUTHINFO USER reader").startswith("381"))
    check("AUTHINFO PASS gets 281", n.cmd("AUTHINFO PASS secret").startswith("281"))
    check("GROUP after AUTHINFO gets 211", n.cmd("GROUP tw.test").startswith("211"))
    reply = n.post("tw.test", subject + " auth")
    check("POST after AUTHINFO: " + reply, reply.startswith("240"))
    n.cmd("QUIT")
    n = Nntp(int(env["NNTP_AUTH_PORT"]))
    n.cmd("AUTHINFO USER reader")
    check("wrong AUTHINFO PASS gets 481", n.cmd("AUTHINFO PASS wrong").startswith("481"))

    if "NNTPS_PORT" in env:
        n = Nntp(int(env["NNTPS_PORT"]), tls=True)
        check("NNTPS greets 200 over verified TLS", n.greeting.startswith("200"))
        check("NNTPS GROUP tw.g01", n.cmd("GROUP tw.g01").startswith("211"))
        n.cmd("QUIT")

# --- The bad TLS port must fail verification.
try:
    with socket.create_connection(("127.0.0.1", int(env["BAD_TLS_PORT"])), timeout=5) as raw:
        ctx.wrap_socket(raw, server_hostname="localhost")
    check("BAD_TLS_PORT fails verification", False)
except ssl.SSLCertVerificationError:
    check("BAD_TLS_PORT fails verification", True)
print("all checks passed")
