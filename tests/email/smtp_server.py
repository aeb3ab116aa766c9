#!/usr/bin/python3
"""A loopback SMTP server for the e-mail tests.

Listens on 127.0.0.1 on a free port and prints "READY <port>" once it accepts
connections; stops when its standard input is closed. Every accepted message
is stored in a numbered folder below --folder: message.eml (the bytes
received), attachment-N (each attachment decoded by Python's own MIME parser)
and, written last, record.json (envelope, TLS state, login and the parsed
headers and body).

Options: --cert/--key offer STARTTLS and require it before MAIL; --user and
--password require AUTH with exactly these credentials. Messages over a size
are refused with 552, as mail servers do: --size-limit N announces the limit
(EHLO SIZE), so the refusal comes to MAIL with a larger SIZE, or after the
data; --refuse-over N answers the whole data with 552; --drop-over N answers
552 as soon as the data passes N bytes and closes the connection.
"""

import argparse
import base64
import email
import email.policy
import json
import logging
import os
import socket
import ssl
import sys
import warnings

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword

warnings.simplefilter("ignore")
logging.disable(logging.CRITICAL)


class Recorder:
    def __init__(self, folder, refuse_over=None):
        self.folder = folder
        self.count = 0
        self.refuse_over = refuse_over

    async def handle_DATA(self, server, session, envelope):
        if self.refuse_over is not None and len(envelope.original_content) > self.refuse_over:
            return "552 5.3.4 Message size exceeds fixed maximum message size"
        self.count += 1
        target = os.path.join(self.folder, str(self.count))
        os.makedirs(target)
        content = envelope.original_content
        with open(os.path.join(target, "message.eml"), "wb") as out:
            out.write(content)

        parsed = email.message_from_bytes(content, policy=email.policy.default)
        names = []
        for index, part in enumerate(parsed.iter_attachments()):
            names.append(part.get_filename())
            with open(os.path.join(target, "attachment-%d" % index), "wb") as out:
                out.write(part.get_payload(decode=True))
        body = parsed.get_body(preferencelist=("plain",))

        login = session.auth_data if isinstance(session.auth_data, LoginPassword) else None
        record = {
            "mailFrom": envelope.mail_from,
            "rcptTos": envelope.rcpt_tos,
            "tls": session.ssl is not None,
            "login": base64.b64encode(login.login).decode() if login else None,
            "password": base64.b64encode(login.password).decode() if login else None,
            "from": str(parsed["from"]),
            "to": str(parsed["to"]),
            "subject": str(parsed["subject"]),
            "body": body.get_content() if body is not None else None,
            "attachments": names,
            "defects": len(parsed.defects),
        }
        partial = os.path.join(target, "record.json.part")
        with open(partial, "w", encoding="utf-8") as out:
            json.dump(record, out)
        os.rename(partial, os.path.join(target, "record.json"))
        return "250 Message accepted"


class Credentials:
    def __init__(self, user, password):
        self.user = user.encode("utf-8")
        self.password = password.encode("utf-8")

    def __call__(self, server, session, envelope, mechanism, auth_data):
        if not isinstance(auth_data, LoginPassword):
            return AuthResult(success=False, handled=False)
        accepted = auth_data.login == self.user and auth_data.password == self.password
        return AuthResult(success=accepted, handled=False, auth_data=auth_data)


class DroppingSMTP(SMTP):
    """Answers 552 and hangs up once the data passes its limit."""

    def __init__(self, handler, drop_over, **options):
        super().__init__(handler, **options)
        self.drop_over = drop_over

    async def smtp_DATA(self, arg):
        if not self.envelope.rcpt_tos:
            return await super().smtp_DATA(arg)
        await self.push("354 End data with <CR><LF>.<CR><LF>")
        received = 0
        while self.transport is not None:
            line = await self._reader.readuntil(b"\r\n")
            if line == b".\r\n":
                break
            received += len(line)
            if received > self.drop_over:
                await self.push("552 5.3.4 Message too big, closing connection")
                self.transport.close()
                return
        await self.push("451 Only large messages are expected here")


class SizedController(Controller):
    def __init__(self, handler, drop_over=None, **options):
        self.drop_over = drop_over
        super().__init__(handler, **options)

    def factory(self):
        if self.drop_over is None:
            return super().factory()
        return DroppingSMTP(self.handler, self.drop_over, **self.SMTP_kwargs)


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--folder", required=True)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--user")
    parser.add_argument("--password")
    parser.add_argument("--size-limit", type=int)
    parser.add_argument("--refuse-over", type=int)
    parser.add_argument("--drop-over", type=int)
    args = parser.parse_args()

    # No size announced unless asked for.
    options = {"data_size_limit": args.size_limit}
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
        options.update(tls_context=context, require_starttls=True)
    if args.user is not None:
        options.update(
            authenticator=Credentials(args.user, args.password or ""),
            auth_required=True,
            auth_require_tls=bool(args.cert),
        )

    port = free_port()
    controller = SizedController(Recorder(args.folder, args.refuse_over), args.drop_over,
                                 hostname="127.0.0.1", port=port, **options)
    controller.start()
    print("READY %d" % port, flush=True)
    try:
        sys.stdin.read()
    finally:
        controller.stop()


if __name__ == "__main__":
    main()
