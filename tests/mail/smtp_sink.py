#!/usr/bin/python3
"""A real SMTP server for the mail tests.

Listens on a free port of 127.0.0.1 (or on PORT when given: a server started
again where the last one was), prints the port on a line of its own and
stores every mail it accepts in OUTDIR/mailN (N from 1), decoded with Python's
own mail library, so the station's encoder is checked by a decoder it shares
nothing with. Ends when standard input closes (the test is over).

Files of a mail folder:
  helo, mailfrom, rcpt (one per line)   the SMTP envelope
  raw                                   the message as received (dot-stuffing undone)
  headers                               "Name: value" of every field, unfolded, in order
  to                                    the To fields, one per line
  subject                               the Subject, RFC 2047 words decoded
  body                                  the body, transfer encoding undone
  date                                  the Date field as Unix seconds
  defects                               parser complaints, one per line (empty when none)
"""

import asyncio
import email
import email.header
import email.policy
import email.utils
import os
import sys

from aiosmtpd.smtp import SMTP


class Sink:
    def __init__(self, outdir):
        self.outdir = outdir
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        final = os.path.join(self.outdir, "mail%d" % self.count)
        work = final + ".part"
        os.mkdir(work)

        def put(name, data):
            if isinstance(data, str):
                data = data.encode("utf-8", "surrogateescape")
            with open(os.path.join(work, name), "wb") as f:
                f.write(data)

        raw = envelope.original_content
        put("helo", session.host_name or "")
        put("mailfrom", envelope.mail_from or "")
        put("rcpt", "\n".join(envelope.rcpt_tos))
        put("raw", raw)

        msg = email.message_from_bytes(raw)
        strict = email.message_from_bytes(raw, policy=email.policy.strict)
        defects = [repr(d) for d in msg.defects + strict.defects]
        headers = []
        for name, value in msg.items():
            text = str(value).replace("\r\n", "").replace("\n", "")
            headers.append("%s: %s" % (name, text))
        put("headers", "\n".join(headers))
        put("to", "\n".join(str(v) for v in msg.get_all("To", [])))
        subject = msg.get("Subject")
        if subject is not None:
            put("subject", str(email.header.make_header(email.header.decode_header(subject))))
        body = msg.get_payload(decode=True)
        put("body", body if body is not None else b"")
        date = msg.get("Date")
        try:
            put("date", str(int(email.utils.parsedate_to_datetime(date).timestamp())))
        except Exception as e:  # noqa: BLE001 - reported to the test as a defect
            defects.append("Date: %r" % e)
        put("defects", "\n".join(defects))
        os.rename(work, final)
        return "250 OK stored"


async def main():
    outdir = sys.argv[1]
    port = int(sys.argv[2]) if len(sys.argv) > 2 else 0
    loop = asyncio.get_running_loop()
    sink = Sink(outdir)
    server = await loop.create_server(
        lambda: SMTP(sink, hostname="sink.test", decode_data=False, data_size_limit=None),
        host="127.0.0.1",
        port=port,
        reuse_address=True,
    )
    print(server.sockets[0].getsockname()[1], flush=True)

    done = loop.create_future()

    def on_stdin():
        if not os.read(0, 4096) and not done.done():
            done.set_result(None)

    loop.add_reader(0, on_stdin)
    await done
    server.close()


if __name__ == "__main__":
    asyncio.run(main())
