#!/usr/bin/env python3
"""Writes the test mailboxes (maildir/<user>/cur/...) and expectations.json.

The mail is encoded by Python's email package, not by anything in this repository, so the
checker is tested against an encoder it does not share code with. The expected list entries
are derived from the raw bytes written here with the checker's extraction rules: each field
where its name begins a header line, unfolded (line breaks out, TABs dropped), every
ISO-2022-JP "B" encoded word decoded in place and the space between two adjacent words
dropped, JIS X 0208 turned into Shift_JIS by the usual arithmetic, the
body from the blank line on as a TOP of `TOP_LINES` lines returns it, filtered by the checker's
default list of characters not to show, CR LF turned into U+3000.

Run it from anywhere; the output lands beside this script. The C++ tests read only the output.
"""

import base64
import io
import json
import os
import re
import shutil

from email import policy
from email.generator import BytesGenerator
from email.header import Header
from email.mime.text import MIMEText
from email.utils import formataddr

HERE = os.path.dirname(os.path.abspath(__file__))
MAILDIR = os.path.join(HERE, "maildir")
TOP_LINES = 10  # the checker's default body lines per TOP

# The checker's default filter list for bodies.
NOTSTR = ("┌┐┘└├┬┤┴┼━┃┏┛┓┗┣┳┫┻╋┠┯┨┷┿┝┰┥┸╂―／＼～∥｜（）〔〕［］｛｝〈〉《》「」『』【】＋－±×÷＝＜＞≦≧∞∴♂♀"
          "℃￥＄￠￡％＃＆＊＠§☆★○●◎◇◆□■△▲▽▼※〒→←↑↓〓∈∋⊆⊇⊂⊃∪∩∧∨⇒⇔∀∃∠⊥⌒∂∇≡≒≪≫√∽∝∵∫∬Å‰♯♭♪†‡¶◯")
assert len(NOTSTR) == 137

CRLF_POLICY = policy.compat32.clone(linesep="\r\n")
DATE = "Mon, 04 Mar 2024 09:{:02d}:00 +0900"


def jis_to_unicode(data):
    """ISO-2022-JP bytes to text the way the checker does it: JIS X 0208 pairs go to Shift_JIS
    by arithmetic and are then read as code page 932."""
    out = bytearray()
    kanji = False
    i = 0
    while i < len(data):
        if data[i] == 0x1B and data[i + 1:i + 3] in (b"$B", b"$@"):
            kanji = True
            i += 3
        elif data[i] == 0x1B and data[i + 1:i + 3] in (b"(B", b"(J"):
            kanji = False
            i += 3
        elif kanji and data[i] not in (0x0D, 0x0A):
            j1, j2 = data[i], data[i + 1]
            s1 = ((j1 + 1) >> 1) + (0x70 if j1 <= 0x5E else 0xB0)
            s2 = j2 + (0x1F if j1 & 1 else 0x7E)
            if j1 & 1 and s2 >= 0x7F:
                s2 += 1
            out += bytes((s1, s2))
            i += 2
        else:
            out.append(data[i])
            i += 1
    return out.decode("cp932")


ENCODED_WORD = re.compile(rb"=\?iso-2022-jp\?b\?([A-Za-z0-9+/=]*)\?=", re.IGNORECASE)


ADJACENT_WORDS = re.compile(rb"(\?=)[ \t]+(?==\?iso-2022-jp\?b\?)", re.IGNORECASE)


def decode_value(raw):
    """Every ISO-2022-JP "B" word decoded in place; text around words stays, the space between
    two adjacent words goes."""
    raw = ADJACENT_WORDS.sub(rb"\1", raw)
    return jis_to_unicode(ENCODED_WORD.sub(lambda m: base64.b64decode(m.group(1)), raw))


def field_value(text, name):
    """The unfolded value of the field whose name begins a line of the header section."""
    header = text[:text.find(b"\r\n\r\n") + 2]
    lines = header.split(b"\r\n")
    for i, line in enumerate(lines):
        if line.upper().startswith(name):
            value = line[len(name):]
            for more in lines[i + 1:]:
                if not more.startswith((b" ", b"\t")):
                    break
                value += more
            return value.replace(b"\t", b"")
    raise AssertionError(name)


def expected_subject(text):
    return decode_value(field_value(text, b"SUBJECT:"))


def expected_sender(text):
    return decode_value(field_value(text, b"FROM:"))


def expected_body(message_bytes):
    """The body as a TOP reply carries it: from the second CR LF of the blank line, at most
    TOP_LINES lines; the reply's closing "." line is framing, not text."""
    head_end = message_bytes.find(b"\r\n\r\n")
    lines = message_bytes[head_end + 4:].split(b"\r\n")
    if lines and lines[-1] == b"":
        lines.pop()
    reply_body = b"\r\n" + b"".join(line + b"\r\n" for line in lines[:TOP_LINES])
    text = jis_to_unicode(reply_body)
    for ch in NOTSTR:
        text = text.replace(ch, "")
    return text.replace("\r\n", "\u3000")


def render(msg, upper_markers=True):
    buf = io.BytesIO()
    BytesGenerator(buf, policy=CRLF_POLICY).flatten(msg)
    data = buf.getvalue()
    if upper_markers:
        data = data.replace(b"=?iso-2022-jp?b?", b"=?ISO-2022-JP?B?")
    return data


def japanese(sender_name, sender_addr, subject, body, minute, subject_ws=" ", to="taro@example.jp"):
    msg = MIMEText(body, "plain", "iso-2022-jp")
    msg["From"] = formataddr((sender_name, sender_addr), charset="iso-2022-jp")
    msg["To"] = to
    msg["Subject"] = Header(subject, "iso-2022-jp", continuation_ws=subject_ws)
    msg["Date"] = DATE.format(minute)
    msg["Message-ID"] = "<{}.{}@example.jp>".format(minute, sender_addr.split("@")[0])
    return msg


def plain(sender, subject, body, minute, to):
    msg = MIMEText(body, "plain", "us-ascii")
    msg["From"] = sender
    msg["To"] = to
    if subject is not None:
        msg["Subject"] = subject
    msg["Date"] = DATE.format(minute)
    msg["Message-ID"] = "<{}.plain@example.com>".format(minute)
    return msg


def mailboxes():
    long_subject = "来週の定例会議の議題と資料の事前共有についてのお願いと確認事項のまとめ"
    taro = []

    taro.append(("Japanese sender, subject and body with filtered characters", render(japanese(
        "山田太郎", "yamada@example.jp", "会議の資料について",
        "田中さん\nお疲れさまです。山田です。\n【重要】明日の会議は★午後三時★からです。\n"
        "資料は「共有フォルダ」に置きました。\nよろしくお願いします。\n",
        1))))

    folded_tab = japanese("佐藤花子", "sato@example.jp", long_subject,
                          "議題は三つです。\n一、予算\n二、日程\n三、担当\n", 2, subject_ws="\t")
    taro.append(("Long subject folded with a TAB", render(folded_tab)))

    folded_space = japanese("鈴木一郎", "suzuki@example.jp", long_subject,
                            "前回の議事録を添付します。\n", 3, subject_ws=" ")
    taro.append(("Long subject folded with a space", render(folded_space)))

    taro.append(("Plain ASCII mail with a body longer than one TOP", render(plain(
        "Bob Smith <bob@example.com>", "Build report for March",
        "".join("Line {} of the build report.\n".format(n) for n in range(1, 15)),
        4, "taro@example.jp"))))

    mixed = japanese("高橋", "takahashi@example.jp", "", "返信ありがとうございます。\n以上です。\n", 5)
    del mixed["Subject"]
    subject = Header("Re: ", "us-ascii")
    subject.append("議事録の件", "iso-2022-jp")
    subject.append(" (2)", "us-ascii")
    mixed["Subject"] = subject
    taro.append(("Lower-case markers, text around an encoded word",
                 render(mixed, upper_markers=False)))

    hanako = [
        ("Second account, Japanese", render(japanese(
            "経理部", "keiri@example.jp", "経費精算の締め切り",
            "今月の締め切りは二十五日です。\n", 6, to="hanako@example.jp"))),
        ("Second account, ASCII", render(plain(
            "alerts@example.com", "Disk usage above 90%",
            "Host: mail01\nUsage: 91%\n", 7, "hanako@example.jp"))),
    ]

    nosubject = [
        ("No Subject header", render(plain(
            "Carol <carol@example.com>", None, "This message has no subject line.\n", 8,
            "jiro@example.jp"))),
    ]
    return {"taro": taro, "hanako": hanako, "nosubject": nosubject}


def main():
    shutil.rmtree(MAILDIR, ignore_errors=True)
    expectations = {"topLines": TOP_LINES, "mailboxes": {}}
    for user, messages in mailboxes().items():
        cur = os.path.join(MAILDIR, user, "cur")
        os.makedirs(cur)
        entries = []
        for index, (description, data) in enumerate(messages, start=1):
            # Dovecot numbers new maildir files in the order of their names.
            name = "17095{:05d}.M{}P100.velkora:2,S".format(index, index)
            with open(os.path.join(cur, name), "wb") as f:
                f.write(data)
            assert all(b < 0x80 for b in data), "mail must be 7bit"
            entry = {"description": description, "file": name,
                     "sender": expected_sender(data), "body": expected_body(data)}
            # A message without a Subject header is listed with an empty subject.
            entry["subject"] = expected_subject(data) if b"\r\nSubject:" in data else ""
            entries.append(entry)
        expectations["mailboxes"][user] = entries

    # The expectations must agree with what the texts were before encoding wherever the
    # checker's rules and RFC 2047 agree, which keeps the rule emulation above honest.
    taro = expectations["mailboxes"]["taro"]
    assert taro[0]["sender"] == " 山田太郎 <yamada@example.jp>", taro[0]["sender"]
    assert taro[0]["subject"] == " 会議の資料について"
    assert taro[0]["body"].startswith("\u3000田中さん\u3000")
    assert "重要明日の会議は午後三時からです。" in taro[0]["body"]
    assert taro[1]["subject"] == " 来週の定例会議の議題と資料の事前共有についてのお願いと確認事項のまとめ"
    assert taro[2]["subject"] == taro[1]["subject"]
    assert taro[3]["body"].endswith("Line 10 of the build report.\u3000")
    assert taro[4]["subject"] == " Re: 議事録の件 (2)"

    with open(os.path.join(HERE, "expectations.json"), "w", encoding="utf-8") as f:
        json.dump(expectations, f, ensure_ascii=False, indent=2)
        f.write("\n")


if __name__ == "__main__":
    main()
