#!/usr/bin/python3
"""Reads one mail message from standard input with Python's own email parser
and writes what it understood as one JSON object on standard output."""

import base64
import email
import email.policy
import json
import sys


def part_record(part):
    body = part.get_payload(decode=True)
    if body is None:
        body = b""
    charset = part.get_content_charset() or ""
    try:
        text = body.decode(charset or "ascii")
    except (LookupError, UnicodeDecodeError):
        text = ""
    return {
        "contentType": part.get_content_type(),
        "charset": charset,
        "transferEncoding": str(part.get("Content-Transfer-Encoding", "")),
        "disposition": part.get_content_disposition() or "",
        "filename": part.get_filename() or "",
        "body": base64.b64encode(body).decode("ascii"),
        "text": text,
        "defects": [type(d).__name__ for d in part.defects],
    }


def main():
    message = email.message_from_bytes(sys.stdin.buffer.read(), policy=email.policy.default)
    headers = [[name, str(value)] for name, value in message.items()]
    record = {
        "headers": headers,
        "contentType": message.get_content_type(),
        "boundary": message.get_boundary() or "",
        "multipart": message.is_multipart(),
        "defects": [type(d).__name__ for d in message.defects],
        "parts": [],
    }
    sender = message["From"]
    if sender is not None and sender.addresses:
        record["fromName"] = sender.addresses[0].display_name
        record["fromAddress"] = sender.addresses[0].addr_spec
    to = message["To"]
    record["toAddresses"] = [a.addr_spec for a in to.addresses] if to is not None else []
    if message.is_multipart():
        for part in message.iter_parts():
            record["parts"].append(part_record(part))
    else:
        record["parts"].append(part_record(message))
    json.dump(record, sys.stdout)


if __name__ == "__main__":
    main()
