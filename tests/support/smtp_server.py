#!/usr/bin/python3
"""SMTP server on 127.0.0.1 for the mail tests, over aiosmtpd.

Prints "PORT <n>" once it listens. Every accepted message is written to OUTDIR as msg-N.eml (the
raw DATA), msg-N.att-K (each attachment, decoded) and msg-N.json (envelope, decoded headers,
attachment names and types), the JSON last so a reader that sees it sees everything. Runs until
stdin closes or it is terminated.
"""
import argparse
import email
import email.policy
import json
import os
import socket
import ssl
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult


class Saver:
    def __init__(self, outdir, refuse):
        self.outdir = outdir
        self.refuse = refuse
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.refuse:
            return "550 5.1.1 Mailbox unavailable"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.outdir, "msg-%d" % self.count)
        raw = envelope.original_content or envelope.content
        with open(base + ".eml", "wb") as f:
            f.write(raw)
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        attachments = []
        texts = []
        for k, part in enumerate(msg.walk()):
            if part.is_multipart():
                continue
            if part.get_content_disposition() == "attachment":
                path = "%s.att-%d" % (base, k)
                with open(path, "wb") as f:
                    f.write(part.get_payload(decode=True))
                attachments.append({"filename": part.get_filename(),
                                    "content_type": part.get_content_type(),
                                    "path": path})
            elif part.get_content_type() == "text/plain":
                texts.append(part.get_content())
        transport = server.transport
        info = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "tls": session.ssl is not None or transport.get_extra_info("sslcontext") is not None,
            "login": (session.login_data.decode() if isinstance(session.login_data, bytes)
                      else session.login_data),
            "header_names": [name for name, _ in msg.items()],
            "headers": {name: str(value) for name, value in msg.items()},
            "multipart": msg.is_multipart(),
            "texts": texts,
            "attachments": attachments,
        }
        with open(base + ".json.tmp", "w") as f:
            json.dump(info, f)
        os.rename(base + ".json.tmp", base + ".json")
        return "250 2.0.0 Message accepted"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("outdir")
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--implicit-tls", action="store_true")
    parser.add_argument("--auth", help="LOGIN:PASSWORD that the server requires")
    parser.add_argument("--refuse", action="store_true", help="refuse every recipient")
    args = parser.parse_args()

    kwargs = {}
    context = None
    if args.cert:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)
    if context and args.implicit_tls:
        kwargs["ssl_context"] = context
    elif context:
        kwargs["tls_context"] = context
    if args.auth:
        login, password = args.auth.split(":", 1)

        def authenticator(server, session, envelope, mechanism, auth_data):
            ok = (auth_data.login.decode() == login and auth_data.password.decode() == password)
            return AuthResult(success=ok, handled=False, auth_data=auth_data)

        kwargs["authenticator"] = authenticator
        kwargs["auth_required"] = True
        # aiosmtpd counts only STARTTLS as TLS; with implicit TLS the link is already private,
        # and without a certificate the server offers login in clear (to see that we refuse it).
        kwargs["auth_require_tls"] = bool(args.cert) and not args.implicit_tls

    port = free_port()
    controller = Controller(Saver(args.outdir, args.refuse), hostname="127.0.0.1", port=port,
                            **kwargs)
    controller.start()
    print("PORT %d" % port, flush=True)
    try:
        sys.stdin.read()
    finally:
        controller.stop()


if __name__ == "__main__":
    main()
