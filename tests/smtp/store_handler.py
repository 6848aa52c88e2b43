"""aiosmtpd handlers for the pager tests.

StoreMessages FOLDER: stores each received message as FOLDER/NNNN.json with the envelope sender and
recipients, the decoded subject and the decoded text body.
RefuseRecipient FOLDER ADDRESS: the same, but answers RCPT TO for ADDRESS with 550.
"""

import email
import json
import os
from email import policy


class StoreMessages:
    def __init__(self, folder, refused=()):
        self.folder = folder
        self.refused = set(refused)
        self.count = 0

    @classmethod
    def from_cli(cls, parser, *args):
        if len(args) != 1:
            parser.error("StoreMessages takes the folder to store messages in")
        return cls(args[0])

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refused:
            return "550 5.1.1 Mailbox unavailable"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        raw = envelope.original_content or envelope.content
        message = email.message_from_bytes(raw, policy=policy.default)
        self.count += 1
        record = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": list(envelope.rcpt_tos),
            "subject": str(message["Subject"] or ""),
            "to": str(message["To"] or ""),
            "body": message.get_content(),
            "raw": raw.decode("latin-1"),
        }
        name = os.path.join(self.folder, "%04d" % self.count)
        with open(name + ".tmp", "w", encoding="utf-8") as f:
            json.dump(record, f)
        # Renamed only when complete, so a reader never sees half a message.
        os.rename(name + ".tmp", name + ".json")
        return "250 Message accepted"


class RefuseRecipient(StoreMessages):
    @classmethod
    def from_cli(cls, parser, *args):
        if len(args) != 2:
            parser.error("RefuseRecipient takes the folder and the address to refuse")
        return cls(args[0], refused=(args[1],))
