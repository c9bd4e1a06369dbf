#!/usr/bin/python3
"""A local SMTP relay for the tests.

Listens on 127.0.0.1 (port 0 gives a free one), offers AUTH LOGIN and PLAIN
over plain TCP and accepts mail only after a login with the one account and
password given on the command line. It writes one line per event on stdout:

  LISTENING <port>
  AUTH {"mechanism": ..., "login": ..., "success": true|false}
  MESSAGE {"mailFrom": ..., "rcptTos": [...], "login": ..., "content": <base64>}

"content" is the message exactly as received after DATA, with the transparency
dots removed. The server ends when its standard input closes, so it never
outlives the test that started it.
"""

import argparse
import asyncio
import base64
import json
import logging
import ssl
import sys
import warnings

warnings.simplefilter("ignore")
logging.getLogger("mail.log").setLevel(logging.CRITICAL)

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword  # noqa: E402


def emit(kind, record):
    sys.stdout.write(kind + " " + json.dumps(record) + "\n")
    sys.stdout.flush()


def text(data):
    if isinstance(data, bytes):
        return data.decode("utf-8", errors="replace")
    return data if data is not None else ""


class Handler:
    async def handle_DATA(self, server, session, envelope):
        login = ""
        if isinstance(session.auth_data, LoginPassword):
            login = text(session.auth_data.login)
        emit("MESSAGE", {
            "mailFrom": text(envelope.mail_from),
            "rcptTos": [text(r) for r in envelope.rcpt_tos],
            "login": login,
            "content": base64.b64encode(envelope.original_content).decode("ascii"),
        })
        return "250 2.0.0 Message accepted"


def make_authenticator(account, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        success = (isinstance(auth_data, LoginPassword)
                   and auth_data.login == account.encode("utf-8")
                   and auth_data.password == password.encode("utf-8"))
        login = text(auth_data.login) if isinstance(auth_data, LoginPassword) else ""
        emit("AUTH", {"mechanism": mechanism, "login": login, "success": success})
        return AuthResult(success=success, handled=False, auth_data=auth_data)
    return authenticate


async def serve(args):
    loop = asyncio.get_running_loop()
    authenticator = make_authenticator(args.account, args.password)

    context = None
    if args.tls != "none":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
    starttls = context if args.tls == "starttls" else None

    def factory():
        return SMTP(Handler(), hostname="relay.test", authenticator=authenticator,
                    auth_require_tls=False, auth_required=True, tls_context=starttls,
                    require_starttls=starttls is not None, loop=loop)

    server = await loop.create_server(factory, host=args.host, port=args.port,
                                      ssl=context if args.tls == "implicit" else None)
    sys.stdout.write("LISTENING %d\n" % server.sockets[0].getsockname()[1])
    sys.stdout.flush()
    # Standard input closes when the test process ends, however it ends.
    await loop.run_in_executor(None, sys.stdin.buffer.read)
    server.close()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--account", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--tls", choices=["none", "starttls", "implicit"], default="none")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    asyncio.run(serve(parser.parse_args()))


if __name__ == "__main__":
    main()
