#!/usr/bin/env python3
"""Checks reply message files against RFC 5322 with Python's email package in strict mode.

Usage: check_rfc5322.py FILE...   Prints one line per fault and exits 1 when there is any.
"""
import email.policy
import email.utils
import sys
from email.parser import BytesParser

ADDRESS_HEADERS = ("from", "reply-to", "to")
REQUIRED = ("message-id", "from", "date", "subject")


def faults_of(path):
    with open(path, "rb") as f:
        data = f.read()
    faults = []
    if b"\r" in data or b"\0" in data:
        faults.append("CR or NUL byte")
    for number, line in enumerate(data.split(b"\n"), 1):
        if len(line) > 998:
            faults.append("line %d longer than 998 bytes" % number)
    head = data.split(b"\n\n", 1)[0]
    if any(b > 127 for b in head):
        faults.append("8-bit byte in the header")
    try:
        msg = BytesParser(policy=email.policy.strict).parsebytes(data)
    except Exception as error:  # strict mode raises on every message defect
        return faults + ["parser: %s: %s" % (type(error).__name__, error)]
    faults += ["message defect: %r" % d for d in msg.defects]
    names = [name.lower() for name in msg.keys()]
    for name in REQUIRED:
        if names.count(name) != 1:
            faults.append("%s occurs %d times" % (name, names.count(name)))
    if names.count("to") + names.count("newsgroups") != 1:
        faults.append("needs exactly one To or Newsgroups")
    for name, value in msg.items():
        faults += ["%s: %r" % (name, d) for d in getattr(value, "defects", ())]
        if name.lower() in ADDRESS_HEADERS:
            for address in value.addresses:
                if not address.username or not address.domain:
                    faults.append("%s: incomplete address %r" % (name, str(address)))
    if msg["date"] is not None and msg["date"].datetime is None:
        faults.append("Date does not parse")
    message_id = str(msg.get("message-id", ""))
    if not (message_id.startswith("<") and message_id.endswith(">") and "@" in message_id):
        faults.append("Message-ID %r is no msg-id" % message_id)
    return faults


def main(paths):
    bad = 0
    for path in paths:
        for fault in faults_of(path):
            print("%s: %s" % (path, fault))
            bad += 1
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
