"""A loopback SMTP server on aiosmtpd that stores each mail as FOLDER/NNNN.json and each logon as
FOLDER/auth-NNNN.json. AUTH is offered without TLS too, so credentials sent in clear text are seen.

    python3 store_handler.py FOLDER HOST:PORT [--refuse ADDRESS] [--starttls PEM | --smtps PEM]
"""

import argparse
import asyncio
import email
import json
import logging
import os
import ssl
from email import policy

from aiosmtpd.smtp import SMTP, AuthResult


def over_tls(server, session):
    return session.ssl is not None or server.transport.get_extra_info("sslcontext") is not None


class StoreMessages:
    def __init__(self, folder, refused):
        self.folder = folder
        self.refused = refused
        self.count = 0

    def store(self, prefix, record):
        self.count += 1
        name = os.path.join(self.folder, "%s%04d" % (prefix, self.count))
        with open(name + ".tmp", "w", encoding="utf-8") as f:
            json.dump(record, f)
        # Renamed only when complete, so a reader never sees half a record.
        os.rename(name + ".tmp", name + ".json")

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address == self.refused:
            return "550 5.1.1 Mailbox unavailable"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        raw = envelope.original_content or envelope.content
        message = email.message_from_bytes(raw, policy=policy.default)
        self.store("", {
            "mail_from": envelope.mail_from,
            "rcpt_tos": list(envelope.rcpt_tos),
            "subject": str(message["Subject"] or ""),
            "body": message.get_content(),
            "raw": raw.decode("latin-1"),
            "tls": over_tls(server, session),
        })
        return "250 Message accepted"

    def authenticate(self, server, session, envelope, mechanism, auth_data):
        self.store("auth-", {
            "login": bytes(auth_data.login).hex(),
            "password": bytes(auth_data.password).hex(),
            "tls": over_tls(server, session),
        })
        return AuthResult(success=True)


def tls_context(pem):
    if not pem:
        return None
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(pem)
    return context


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("listen")
    parser.add_argument("--refuse", default="")
    parser.add_argument("--starttls", metavar="PEM", help="certificate and key, offered with STARTTLS")
    parser.add_argument("--smtps", metavar="PEM", help="certificate and key, TLS from the start")
    args = parser.parse_args()
    host, port = args.listen.rsplit(":", 1)
    handler = StoreMessages(args.folder, args.refuse)

    def factory():
        return SMTP(handler, authenticator=handler.authenticate, auth_require_tls=False,
                    tls_context=tls_context(args.starttls), require_starttls=False)

    # Refused handshakes are what some tests are about; their tracebacks would only fill the test log.
    logging.basicConfig(level=logging.CRITICAL)
    loop = asyncio.new_event_loop()
    loop.set_exception_handler(lambda loop, context: None)
    loop.run_until_complete(loop.create_server(factory, host=host, port=int(port),
                                               ssl=tls_context(args.smtps)))
    loop.run_forever()


if __name__ == "__main__":
    main()
