#!/usr/bin/python3
"""Writes a corpus of today's mail (maildir/<user>/cur/...) and expectations.json.

Every message is written by Python's email package: encoded words in UTF-8 ("B" and "Q"),
Shift_JIS, EUC-JP and ISO-2022-JP, mixed and adjacent words, words split inside a character,
DKIM-signed and ARC-sealed headers, space- and TAB-folded fields, multipart/alternative mail
with Base64 and quoted-printable parts, HTML-only mail and raw 8-bit UTF-8 headers.

The expected list entries are what Python's email package reads from the same bytes, not
what this repository's rules say:
- sender and subject: the first From and Subject fields as Python's parser finds them, read
  as unstructured text by policy.default (RFC 2047, adjacent words joined), with the leading
  whitespace after the colon kept and TAB characters removed, as the list shows them;
- body: Python's get_body(("plain", "html")) of the message as a TOP of TOP_LINES lines
  returns it, its payload decoded by Python's codec for the part's charset (a character cut
  by the end of the reply is dropped), HTML reduced to its text by html.parser under the rules
  below, the lines joined the way the list joins them (U+3000 before each line and after the
  last), with the checker's default "Notstr" characters removed.

Run it with Debian's python3 from anywhere; the output lands beside this script. The C++
tests read only the output.
"""

import base64
import codecs
import email
import html.parser
import json
import os
import re
import shutil
from email import policy
from email.header import Header
from email.message import EmailMessage
from email.mime.text import MIMEText
from email.utils import formataddr

HERE = os.path.dirname(os.path.abspath(__file__))
MAILDIR = os.path.join(HERE, "maildir")
TOP_LINES = 40
USER = "today"

NOTSTR = ("┌┐┘└├┬┤┴┼━┃┏┛┓┗┣┳┫┻╋┠┯┨┷┿┝┰┥┸╂―／＼～∥｜（）〔〕［］｛｝〈〉《》「」『』【】＋－±×÷＝＜＞≦≧∞∴♂♀"
          "℃￥＄￠￡％＃＆＊＠§☆★○●◎◇◆□■△▲▽▼※〒→←↑↓〓∈∋⊆⊇⊂⊃∪∩∧∨⇒⇔∀∃∠⊥⌒∂∇≡≒≪≫√∽∝∵∫∬Å‰♯♭♪†‡¶◯")
# JIS X 0208 positions that code page 932 and Python's JIS codecs map to different Unicode
# characters (wave dash, double vertical line, minus, cent, pound, not, backslash); the
# Japanese texts below stay clear of them.
JIS_VARIANTS = "〜‖−¢£¬＼～∥－￠￡￢"
SMTP = policy.SMTP  # CR LF lines
DATE = "Tue, 02 Jul 2024 10:{:02d}:00 +0900"

DKIM = ("DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=example.com; s=s2024;\r\n"
        "\th=From:Date:Subject:Message-ID:Content-Type:MIME-Version; t=1719882000;\r\n"
        "\tbh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=;\r\n"
        "\tb=dGhpcyBpcyBub3QgYSByZWFsIHNpZ25hdHVyZSBidXQgaXQgbG9va3MgbGlrZSBvbmU=\r\n")
ARC = ("ARC-Seal: i=1; a=rsa-sha256; t=1719882000; cv=none; d=relay.example.net; s=arc;\r\n"
       "\tb=c2VhbGVkIGJ5IHRoZSByZWxheQ==\r\n"
       "ARC-Message-Signature: i=1; a=rsa-sha256; c=relaxed/relaxed; d=relay.example.net;\r\n"
       "\ts=arc; h=from:to:subject:date:message-id; bh=ZmFrZQ==; b=ZmFrZQ==\r\n"
       "ARC-Authentication-Results: i=1; mx.example.net; dkim=pass header.d=example.com;\r\n"
       "\tspf=pass smtp.mailfrom=example.com; dmarc=pass header.from=example.com\r\n")
RECEIVED = ("Return-Path: <bounce@example.com>\r\n"
            "Received: from mx.example.net (mx.example.net [192.0.2.1])\r\n"
            "\tby pop.example.jp with ESMTPS id 4WCx; Tue, 02 Jul 2024 10:00:01 +0900\r\n")


def check_japanese(text):
    assert not any(c in JIS_VARIANTS for c in text), text


def word(text, charset, encoding="b"):
    """One encoded word written by Python's email package."""
    check_japanese(text)
    if encoding == "b":
        return email.base64mime.header_encode(text.encode(charset), charset)
    return email.quoprimime.header_encode(text.encode(charset), charset)


def split_words(text, charset="utf-8"):
    """Two "B" words over the text's bytes, split inside its second character."""
    data = text.encode(charset)
    cut = len(text[0].encode(charset)) + 1
    return (email.base64mime.header_encode(data[:cut], charset),
            email.base64mime.header_encode(data[cut:], charset))


def message(sender, subject, minute):
    msg = EmailMessage(policy=SMTP)
    msg["From"] = sender
    msg["To"] = "user@example.jp"
    msg["Subject"] = subject
    msg["Date"] = DATE.format(minute)
    msg["Message-ID"] = "<{}.corpus@example.com>".format(minute)
    return msg


def raw_headers(pairs):
    """Header lines as given (already encoded and folded by the email package)."""
    return "".join("{}: {}\r\n".format(k, v) for k, v in pairs)


def plain_ascii_message(head, body, minute):
    """A message from raw header lines and a 7-bit body, via the email package's parser."""
    text = (head + "Date: " + DATE.format(minute) + "\r\n"
            "Message-ID: <{}.corpus@example.com>\r\n\r\n".format(minute) + body)
    return email.message_from_string(text, policy=SMTP)


def render(msg, prepend=""):
    data = msg.as_bytes(policy=msg.policy.clone(linesep="\r\n"))
    assert b"\n" not in data.replace(b"\r\n", b""), data
    if not data.endswith(b"\r\n"):
        data += b"\r\n"
    return RECEIVED.encode() + prepend.encode() + data


def cases():
    out = []
    add = lambda description, data: out.append((description, data))

    m = message(formataddr(("山田太郎", "taro@example.jp")), "来週の会議について", 1)
    m.set_content("田中さん\nお疲れさまです。\n会議は【第一会議室】です。\n", cte="base64")
    add("UTF-8 words (Python chooses B), Base64 body", render(m))

    m = message("sender@example.com", "x", 2)
    del m["From"], m["Subject"]
    m["From"] = Header("佐藤 花子", "utf-8").encode() + " <hanako@example.com>"
    m["Subject"] = word("ご注文の確認 #1234", "utf-8", "q")
    m.set_content("ご注文ありがとうございます。\n発送は明日です。\n", cte="quoted-printable")
    add("UTF-8 Q words, quoted-printable body", render(m))

    head = raw_headers([
        ("From", word("営業部", "shift_jis") + " <eigyo@example.co.jp>"),
        ("To", "user@example.jp"),
        ("Subject", "Re: " + word("見積もりの件", "shift_jis") + " " +
         word("（再送）", "euc-jp") + " [2]"),
        ("MIME-Version", "1.0"),
        ("Content-Type", 'text/plain; charset="euc-jp"'),
        ("Content-Transfer-Encoding", "base64"),
    ])
    body = base64.encodebytes("お見積もりを添付します。\nご確認ください。\n".encode("euc-jp"))
    add("Shift_JIS and EUC-JP words with text around them, EUC-JP Base64 body",
        render(plain_ascii_message(head, body.decode().replace("\n", "\r\n"), 3)))

    m = MIMEText("明日の打ち合わせは十時からです。\nよろしくお願いします。\n", "plain", "iso-2022-jp")
    m["From"] = formataddr(("鈴木一郎", "suzuki@example.jp"), charset="iso-2022-jp")
    m["To"] = "user@example.jp"
    m["Subject"] = Header("打ち合わせの時間", "iso-2022-jp")
    m["Date"] = DATE.format(4)
    add("ISO-2022-JP words and body, as Japanese mail always was", render(m))

    first, second = split_words("日本語の件名です")
    head = raw_headers([
        ("From", word("生田", "utf-8") + " " + word("昇", "utf-8") + " <ikuta@example.jp>"),
        ("To", "user@example.jp"),
        ("Subject", first + "\r\n " + second),
        ("MIME-Version", "1.0"),
        ("Content-Type", "text/plain; charset=utf-8"),
        ("Content-Transfer-Encoding", "8bit"),
    ])
    m = plain_ascii_message(head, "", 5)
    m.set_content("二つの語に分かれた名前です。\n", cte="8bit")
    add("Adjacent words: a name in two words, a subject split inside a character", render(m))

    m = message(formataddr(("高橋", "takahashi@example.com")), "署名付きのメール", 6)
    m["X-Original-Subject"] = "Fwd: old subject"
    m["Resent-From"] = "relay@example.net"
    m.set_content("DKIM と ARC の署名が付いています。\n", cte="base64")
    add("DKIM-signed and ARC-sealed, X-Original-Subject and Resent-From",
        render(m, prepend=ARC + DKIM))

    long_subject = ("Quarterly report: revenue, costs, headcount and the plans for the next "
                    "quarter as discussed in the meeting")
    head = raw_headers([
        ("From", '"Report Robot"\r\n <robot@example.com>'),
        ("To", "user@example.jp"),
        ("Subject", Header(long_subject, "us-ascii").encode(linesep="\r\n")),
        ("MIME-Version", "1.0"),
        ("Content-Type", "text/plain; charset=us-ascii"),
    ])
    assert "\r\n " in head
    add("Space-folded ASCII subject and a sender folded before its address",
        render(plain_ascii_message(head, "See the attached figures.\r\n", 7)))

    japanese_long = "【ご案内】来月の定例会議は会場を変更して本社ビル十二階の大会議室で開催いたします"
    head = raw_headers([
        ("From", Header("株式会社サンプル 総務部", "utf-8").encode(linesep="\r\n") +
         "\r\n\t<soumu@example.co.jp>"),
        ("To", "user@example.jp"),
        ("Subject", Header(japanese_long, "utf-8").encode(linesep="\r\n").replace("\r\n ", "\r\n\t")),
        ("MIME-Version", "1.0"),
        ("Content-Type", "text/plain; charset=utf-8"),
        ("Content-Transfer-Encoding", "quoted-printable"),
    ])
    assert "\r\n\t" in head
    m = plain_ascii_message(head, "", 8)
    m.set_content("会場が変わります。\n", cte="quoted-printable")
    add("TAB-folded UTF-8 subject and sender", render(m))

    m = message(formataddr(("ニュース配信", "news@example.com")), "今週のお知らせ", 9)
    m.set_content("テキスト版の本文です。\n詳しくはウェブ版をご覧ください。\n", cte="quoted-printable")
    m.add_alternative("<html><body><p>HTML版の本文です。</p></body></html>\n", subtype="html",
                      cte="base64")
    add("multipart/alternative: quoted-printable text, Base64 HTML", render(m))

    m = message("shop@example.com", "セールのご案内", 10)
    m.set_content("<html><head><title>セール</title><style>p {color: red}</style></head>\n"
                  "<body><h1>夏のセール</h1><p>全品&nbsp;20%&nbsp;オフ &amp; 送料無料</p>\n"
                  "<p>期間：7月&#8209;8月<br>お早めに</p><script>track();</script>\n"
                  "<table><tr><td>商品A</td><td>1,000円</td></tr></table></body></html>\n",
                  subtype="html", cte="quoted-printable")
    add("HTML-only mail", render(m))

    m = message("docs@example.com", "資料を送ります", 11)
    m.set_content("資料を添付しました。\nご確認ください。\n", cte="base64")
    m.add_attachment(b"%PDF-1.4 fake\n" * 20, maintype="application", subtype="pdf",
                     filename="資料.pdf")
    add("multipart/mixed: Base64 text and a PDF attachment", render(m))

    m = EmailMessage(policy=policy.SMTPUTF8)
    m["From"] = "田中 一郎 <tanaka@example.jp>"
    m["To"] = "user@example.jp"
    m["Subject"] = "メール件名：生の UTF-8"
    m["Date"] = DATE.format(12)
    m.set_content("ヘッダーも本文も 8 ビットの UTF-8 です。\n", cte="8bit")
    data = render(m)
    assert "メール件名".encode() in data
    add("Raw 8-bit UTF-8 headers and body", data)

    m = message(formataddr(("ログ", "log@example.com")), "長い本文", 13)
    m.set_content("".join("{} 行目：処理は正常に終了しました。\n".format(n) for n in range(1, 200)),
                  cte="base64")
    add("Base64 body longer than the TOP reply, cut inside a character", render(m))

    m = message("alert@example.com", "html and text inside mixed", 14)
    m.set_content("first text part\n")
    m.make_mixed()
    inner = EmailMessage(policy=SMTP)
    inner.set_content("<p>not this one</p>\n", subtype="html")
    m.attach(inner)
    add("multipart/mixed: the first text part wins", render(m))
    return out


class TextOfHtml(html.parser.HTMLParser):
    """HTML to lines: hidden elements left out, block elements and <br> end lines, table cells
    set apart by a space, whitespace collapsed outside <pre>, lines trimmed, empty ones dropped."""

    HIDDEN = {"title", "script", "style", "template"}
    BLOCKS = {"address", "article", "aside", "blockquote", "body", "br", "caption", "center",
              "dd", "div", "dl", "dt", "fieldset", "figcaption", "figure", "footer", "form",
              "h1", "h2", "h3", "h4", "h5", "h6", "header", "hr", "html", "li", "main", "nav",
              "ol", "p", "pre", "section", "table", "tbody", "tr", "ul"}

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.lines, self.line, self.hidden, self.pre = [], "", 0, 0

    def end_line(self):
        if self.line.rstrip(" "):
            self.lines.append(self.line.rstrip(" "))
        self.line = ""

    def space(self):
        if self.line and not self.line.endswith(" "):
            self.line += " "

    def handle_starttag(self, tag, attrs):
        if tag in self.HIDDEN:
            self.hidden += 1
        elif tag in self.BLOCKS:
            self.end_line()
        elif tag in ("td", "th"):
            self.space()
        self.pre += tag == "pre"

    def handle_endtag(self, tag):
        if tag in self.HIDDEN:
            self.hidden = max(0, self.hidden - 1)
        elif tag in self.BLOCKS:
            self.end_line()
        self.pre -= tag == "pre" and self.pre > 0

    def handle_data(self, data):
        if self.hidden:
            return
        for c in data:
            if self.pre and c in "\r\n":
                self.end_line()
            elif c in " \t\r\n\f":
                self.space()
            else:
                self.line += c


def html_lines(text):
    parser = TextOfHtml()
    parser.feed(text)
    parser.close()
    parser.end_line()
    return parser.lines


def listed_lines(lines):
    """Lines as the list shows a body: U+3000 before each line and after the last."""
    text = "\u3000" + "".join(line + "\u3000" for line in lines)
    for c in NOTSTR:
        text = text.replace(c, "")
    return text


def unstructured(raw_value):
    """Python's reading of a field value as unstructured text (RFC 2047), TABs removed, the
    whitespace after the colon kept as the list keeps it."""
    parsed = email.message_from_bytes(b"X-Value:" + raw_value + b"\r\n\r\n", policy=policy.default)
    text = str(parsed["X-Value"])
    unfolded = raw_value.replace(b"\r\n", b"").replace(b"\t", b"")
    leading = unfolded[:len(unfolded) - len(unfolded.lstrip(b" "))].decode()
    return leading + text.replace("\t", "")


def raw_field(data, name):
    """The raw value of the first field `name` of the header section, folding and the
    whitespace after the colon included (Python's parser strips that whitespace)."""
    msg = email.message_from_bytes(data, policy=policy.compat32)
    for field, value in msg.raw_items():
        if field.lower() == name.lower():
            break
    else:
        return None
    header = data[:data.index(b"\r\n\r\n") + 2]
    at = re.search(rb"(?im)^" + name.encode() + rb":", header).end()
    raw = re.match(rb"(.*?)\r\n(?![ \t])", header[at:], re.S).group(1)
    written = value.encode("ascii", "surrogateescape").replace(b"\r\n", b"\n")
    assert raw.lstrip(b" \t") == written.replace(b"\n", b"\r\n"), (raw, written)
    return raw


def top_reply(data):
    head_end = data.index(b"\r\n\r\n") + 4
    lines = data[head_end:].split(b"\r\n")
    if lines and lines[-1] == b"":
        lines.pop()
    return data[:head_end] + b"".join(line + b"\r\n" for line in lines[:TOP_LINES])


def expected_body(data):
    msg = email.message_from_bytes(top_reply(data), policy=policy.default)
    part = msg.get_body(("plain", "html"))
    if part is None:
        return ""
    payload = part.get_payload(decode=True)
    charset = part.get_content_charset()
    if charset in (None, "us-ascii"):
        try:
            text = payload.decode("utf-8")
        except UnicodeDecodeError:
            text = payload.decode("cp932", errors="replace")
    else:
        decoder = codecs.getincrementaldecoder(charset)(errors="replace")
        text = decoder.decode(payload, final=False)  # a character cut by TOP stays out
    if part.get_content_subtype() == "html":
        return listed_lines(html_lines(text))
    lines = re.split(r"\r\n|\r|\n", text)
    if lines and lines[-1] == "":
        lines.pop()
    return listed_lines(lines)


def main():
    shutil.rmtree(MAILDIR, ignore_errors=True)
    cur = os.path.join(MAILDIR, USER, "cur")
    os.makedirs(cur)
    entries = []
    for index, (description, data) in enumerate(cases(), start=1):
        name = "17198{:05d}.M{}P200.corpus:2,S".format(index, index)
        with open(os.path.join(cur, name), "wb") as f:
            f.write(data)
        sender, subject = raw_field(data, "From"), raw_field(data, "Subject")
        entries.append({
            "description": description, "file": name,
            "sender": unstructured(sender) if sender is not None else "",
            "subject": unstructured(subject) if subject is not None else "",
            "body": expected_body(data),
        })

    with open(os.path.join(HERE, "expectations.json"), "w", encoding="utf-8") as f:
        json.dump({"topLines": TOP_LINES, "mailboxes": {USER: entries}}, f,
                  ensure_ascii=False, indent=2)
        f.write("\n")

    # Spot checks that the readings above are what a person reads in these mails.
    by = {e["description"].split(":")[0]: e for e in entries}
    assert by["UTF-8 words (Python chooses B), Base64 body"]["sender"] == " 山田太郎 <taro@example.jp>"
    assert by["Adjacent words"]["sender"] == " 生田昇 <ikuta@example.jp>"
    assert by["Adjacent words"]["subject"] == " 日本語の件名です"
    assert by["DKIM-signed and ARC-sealed, X-Original-Subject and Resent-From"]["subject"] == \
        " 署名付きのメール"
    assert by["Raw 8-bit UTF-8 headers and body"]["subject"] == " メール件名：生の UTF-8"
    assert by["HTML-only mail"]["body"].startswith("\u3000夏のセール\u3000")
    cut = by["Base64 body longer than the TOP reply, cut inside a character"]["body"]
    assert "\u30001 行目" in cut and "199 行目" not in cut

if __name__ == "__main__":
    main()
