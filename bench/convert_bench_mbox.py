#!/usr/bin/python3
"""Writes an mbox of generated messages with a realistic mix, and (with
--split DIR) the same messages as one .eml file each.

Mix: 55 % plain text (1-6 KB, a third of them with non-ASCII text in
quoted-printable), 25 % multipart/alternative text and HTML (4-24 KB),
15 % multipart/mixed with one or two attachments (8-300 KB, base64),
5 % forwards with a nested message/rfc822 that has an attachment.
Usage: convert_bench_mbox.py COUNT OUT.mbox [--split DIR]"""
import base64
import os
import random
import sys

WORDS = ("the report meeting budget quarter project release review draft schedule customer invoice "
         "team update question answer follow plan travel office numbers figures summary notes").split()
UNICODE = ["Grüße", "Köln", "Καλημέρα", "こんにちは", "Привет", "año", "café", "naïve"]


def text(rng, size, non_ascii=False):
    out, n = [], 0
    while n < size:
        line = " ".join(rng.choice(WORDS) for _ in range(rng.randint(6, 14)))
        if non_ascii and rng.random() < 0.3:
            line += " " + rng.choice(UNICODE)
        out.append(line)
        n += len(line) + 1
    return "\n".join(out) + "\n"


def qp(s):
    import quopri
    return quopri.encodestring(s.encode("utf-8")).decode("ascii")


def b64(data):
    s = base64.b64encode(data).decode()
    return "\n".join(s[i:i + 76] for i in range(0, len(s), 76))


def headers(rng, i, subject):
    day = 1 + i % 28
    return ("From: Sender %d <sender%d@example.com>\nTo: Receiver <receiver@example.org>\n"
            "Cc: Copy %d <copy%d@example.net>\nSubject: %s\nDate: Mon, %02d Jan 2024 %02d:%02d:00 +0000\n"
            "Message-ID: <bench-%d@example.com>\nMIME-Version: 1.0\n" %
            (i % 97, i % 97, i % 13, i % 13, subject, day, i % 24, i % 60, i))


def message(rng, i):
    kind = rng.random()
    subject = "%s %s %d" % (rng.choice(WORDS).capitalize(), rng.choice(WORDS), i)
    if rng.random() < 0.2:
        subject = "=?UTF-8?Q?" + qp(rng.choice(UNICODE)).replace("=\n", "").replace(" ", "_") + "?= " + subject
    h = headers(rng, i, subject)
    if kind < 0.55:
        non_ascii = rng.random() < 0.33
        body = text(rng, rng.randint(1000, 6000), non_ascii)
        if non_ascii:
            return h + "Content-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: quoted-printable\n\n" + qp(body)
        return h + "Content-Type: text/plain; charset=us-ascii\n\n" + body
    if kind < 0.80:
        body = text(rng, rng.randint(2000, 12000))
        html = "<html><body>" + "".join("<p>%s</p>" % l for l in body.splitlines()) + "</body></html>\n"
        return (h + 'Content-Type: multipart/alternative; boundary="a%d"\n\n--a%d\nContent-Type: text/plain; charset=us-ascii\n\n'
                % (i, i) + body + "\n--a%d\nContent-Type: text/html; charset=us-ascii\n\n" % i + html + "\n--a%d--\n" % i)
    parts = ['Content-Type: multipart/mixed; boundary="m%d"\n\n--m%d\nContent-Type: text/plain; charset=us-ascii\n\n' % (i, i)
             + text(rng, rng.randint(500, 3000))]
    if kind < 0.95:
        for k in range(rng.randint(1, 2)):
            data = rng.randbytes(rng.choice([8000, 30000, 60000, 120000, 300000]))
            parts.append("\n--m%d\nContent-Type: application/pdf; name=\"file%d.pdf\"\nContent-Disposition: attachment; "
                         "filename=\"file%d.pdf\"\nContent-Transfer-Encoding: base64\n\n" % (i, k, k) + b64(data) + "\n")
    else:
        inner = (headers(rng, i + 1000000, "Inner " + subject) + 'Content-Type: multipart/mixed; boundary="n%d"\n\n'
                 "--n%d\nContent-Type: text/plain; charset=us-ascii\n\n" % (i, i) + text(rng, 800) +
                 "\n--n%d\nContent-Type: image/png; name=\"i.png\"\nContent-Disposition: attachment; filename=\"i.png\"\n"
                 "Content-Transfer-Encoding: base64\n\n" % i + b64(rng.randbytes(20000)) + "\n--n%d--\n" % i)
        parts.append("\n--m%d\nContent-Type: message/rfc822\n\n" % i + inner)
    return h + "".join(parts) + "\n--m%d--\n" % i


def main():
    count, out = int(sys.argv[1]), sys.argv[2]
    split = sys.argv[4] if len(sys.argv) > 4 and sys.argv[3] == "--split" else None
    if split:
        os.makedirs(split, exist_ok=True)
    rng = random.Random(2024)
    with open(out, "w", encoding="utf-8", newline="\n") as f:
        for i in range(count):
            m = message(rng, i)
            f.write("From sender@example.com Mon Jan  1 10:00:00 2024\n")
            lines = m.split("\n")
            f.write("\n".join(">" + l if l.lstrip(">").startswith("From ") else l for l in lines))
            f.write("\n\n")
            if split:
                with open(os.path.join(split, "%07d.eml" % i), "w", encoding="utf-8", newline="\n") as e:
                    e.write(m)


if __name__ == "__main__":
    main()
