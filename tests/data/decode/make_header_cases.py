#!/usr/bin/env python3
"""Writes header_cases.txt: header values, texts and whole TOP replies made by Python's own
email package and codecs, with the text each should come out as. The C++ tests read the file,
so they need no Python at run time. Run it again after changing the cases:

    python3 tests/data/decode/make_header_cases.py

Each line of the output is one case, fields separated by one space, every field after the
second in lower-case hex ("-" for an empty field):

    words   NAME  value              bytes after encoded-word decoding
    jis     NAME  ISO-2022-JP bytes  code page 932 bytes
    from    NAME  value after "From:"     sender as UTF-8
    subject NAME  value after "Subject:"  subject as UTF-8
    message NAME  TOP reply  Notstr  sender  subject  body   (texts as UTF-8)
"""

import base64
import os
from email.header import Header
from email.message import Message
from email import policy
from email.policy import compat32
from email.utils import formataddr

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "header_cases.txt")

UPPER = "=?ISO-2022-JP?B?"


def jis(text):
    """ISO-2022-JP bytes of a text that code page 932 holds as well, so that the Shift_JIS
    result can be compared with the text itself."""
    data = text.encode("iso-2022-jp")
    assert data.decode("iso-2022-jp") == text
    assert text.encode("cp932").decode("cp932") == text, text
    return data


def word(text):
    """One encoded word as Python's email package writes it (lower-case marker)."""
    encoded = Header(text, "iso-2022-jp", maxlinelen=0).encode()
    assert encoded.startswith("=?iso-2022-jp?b?") and encoded.count("?=") == 1, encoded
    return encoded


def upper(encoded):
    return encoded.replace("=?iso-2022-jp?b?", UPPER)


def decode_words_like_python(value):
    """Bytes of a value whose encoded words are each decoded with the base64 module."""
    out = b""
    rest = value
    while UPPER in rest:
        before, rest = rest.split(UPPER, 1)
        encoded, rest = rest.split("?=", 1)
        out += before.encode("latin-1") + base64.b64decode(encoded)
    return out + rest.encode("latin-1")


def unstructured_text(value):
    """What Python's email package reads from an unstructured field value (RFC 2047)."""
    return str(policy.default.header_fetch_parse("X-Unstructured", value))


cases = []


def add(kind, name, *fields):
    assert " " not in name
    hexed = [(f if isinstance(f, bytes) else f.encode("utf-8")).hex() or "-" for f in fields]
    cases.append(" ".join([kind, name] + hexed))


# --- encoded-word decoding on its own -------------------------------------------------------
w_notice = word("重要なお知らせ")
w_meeting = word("会議室の変更")
add("words", "one_word", upper(w_notice), jis("重要なお知らせ"))
value = "Re: " + upper(w_notice) + " " + upper(w_meeting) + " (2)"
add("words", "two_words_with_text", value, decode_words_like_python(value))
everything = bytes(range(256))
value = UPPER + base64.b64encode(everything).decode() + "?="
add("words", "every_byte_value", value, everything)
for length in range(1, 7):  # all three padding forms, twice each
    data = bytes(range(0x41, 0x41 + length))
    value = "[" + UPPER + base64.b64encode(data).decode() + "?=]"
    add("words", "padding_%d" % length, value, b"[" + data + b"]")

# --- ISO-2022-JP to code page 932 -----------------------------------------------------------
for name, text in [
    ("hiragana", "あいうえお、かきくけこ。ぁゎゐゑをん"),
    ("katakana", "アイウエオ ヴヵヶ ー・"),
    ("kanji", "東京都千代田区丸の内一丁目 漢字試験 熙鵬"),
    ("mixed_ascii", "Re: 会議の件 (10:00-12:00) です\r\nよろしく\r\n"),
    ("symbols", "【重要】「確認」『書類』〒100-0001 ★☆○●◎ ※〓∴∵"),
    ("fullwidth", "ＡＢＣ ０１２ ｘｙｚ"),
    ("lines", "一行目\r\n二行目\r\n\r\n四行目"),
]:
    data = jis(text)
    add("jis", name, data, text.encode("cp932"))

# --- single header values -------------------------------------------------------------------
name_word = word("山田太郎")
add("from", "display_name_and_address", " " + formataddr(("山田太郎", "taro@example.jp"),
                                                          charset="iso-2022-jp"),
    " 山田太郎 <taro@example.jp>")
add("from", "upper_case_marker", " " + upper(name_word) + " <taro@example.jp>",
    " 山田太郎 <taro@example.jp>")
add("from", "plain_address", " info@example.com", " info@example.com")
# The space between two adjacent encoded words is not part of the text (RFC 2047, 6.2).
add("from", "two_words", " " + word("株式会社") + " " + word("営業部") + " <sales@example.co.jp>",
    " 株式会社営業部 <sales@example.co.jp>")
add("from", "quoted_plain_name", ' "Taro Yamada" <taro@example.jp>',
    ' "Taro Yamada" <taro@example.jp>')

add("subject", "lower_case_marker", " " + w_notice, " 重要なお知らせ")
add("subject", "mixed_case_marker", " " + w_notice.replace("=?iso-2022-jp?b?", "=?Iso-2022-Jp?b?"),
    " 重要なお知らせ")
add("subject", "two_words_with_space", " " + w_notice + " " + w_meeting,
    " 重要なお知らせ会議室の変更")
add("subject", "adjacent_words", " " + w_notice + w_meeting, " 重要なお知らせ会議室の変更")
add("subject", "text_around", " Re: " + w_meeting + " [2/3]", " Re: 会議室の変更 [2/3]")
add("subject", "raw_iso2022jp", " Fw: " + jis("来週の予定").decode("ascii"), " Fw: 来週の予定")
add("subject", "empty_word", " a " + UPPER + "?= b", " a  b")
add("subject", "missing_end_marker", " Re: " + upper(w_notice)[:-2],
    " Re: " + upper(w_notice)[:-2])
add("subject", "missing_end_marker_lower_case", " Re: " + w_notice[:-2], " Re: " + w_notice[:-2])
add("subject", "missing_end_after_word", " " + w_meeting + " / " + w_notice[:-2],
    " 会議室の変更 / " + w_notice[:-2])
add("subject", "literal_end_marker_after_word", " " + w_meeting + " ?= end",
    " 会議室の変更 ?= end")
add("subject", "utf8_word", " =?UTF-8?B?" + base64.b64encode("件名".encode()).decode() + "?=",
    " " + unstructured_text("=?UTF-8?B?" + base64.b64encode("件名".encode()).decode() + "?="))
add("subject", "q_encoding", " =?ISO-2022-JP?Q?=1B$B7oL>=1B(B?=",
    " " + unstructured_text("=?ISO-2022-JP?Q?=1B$B7oL>=1B(B?="))
add("subject", "plain", " Meeting at 10:00", " Meeting at 10:00")

short_texts = ["あ", "あい", "あいう", "あいうえ"]
padded = [t for t in short_texts if word(t).endswith("==?=")]
single = [t for t in short_texts if word(t).endswith("=?=") and not word(t).endswith("==?=")]
assert padded and single
add("subject", "double_padding", " " + word(padded[0]), " " + padded[0])
add("subject", "single_padding", " " + word(single[0]), " " + single[0])

long_text = "【ご案内】来月の定例会議は会場を変更して本社ビル十二階の大会議室で開催いたします"
folded = Header(long_text, "iso-2022-jp").encode(linesep="\r\n")
assert "\r\n " in folded, folded
# A folded value is unfolded; the space between its adjacent encoded words goes.
add("subject", "folded_with_tab", " " + folded.replace("\r\n ", "\r\n\t"), " " + long_text)
add("subject", "folded_with_space", " " + folded, " " + unstructured_text(folded))
assert unstructured_text(folded) == long_text

# --- whole TOP replies ----------------------------------------------------------------------
POLICY = compat32.clone(linesep="\r\n")


def reply(headers, body_bytes):
    raw = b"".join(k.encode() + b": " + v.encode() + b"\r\n" for k, v in headers)
    return b"+OK\r\n" + raw + b"\r\n" + body_bytes + b".\r\n"


def expected_body(top, notstr, codec):
    body = top[top.index(b"\r\n\r\n") + 2:].decode(codec)
    for c in notstr:
        body = body.replace(c, "")
    return body.replace("\r\n", "\u3000")


def message_case(name, sender, subject_header, subject_text, body_text, notstr, extra=()):
    msg = Message()
    msg["Return-Path"] = "<sender@example.jp>"
    msg["Received"] = "from mail.example.jp by pop.example.jp; Mon, 1 Jun 2024 09:00:00 +0900"
    for k, v in extra:
        msg[k] = v
    msg["From"] = sender[0]
    msg["To"] = "user@example.jp"
    msg["Subject"] = subject_header
    msg["Date"] = "Mon, 1 Jun 2024 09:00:00 +0900"
    msg["MIME-Version"] = "1.0"
    msg.set_payload(body_text, charset="iso-2022-jp")
    raw = msg.as_bytes(policy=POLICY)
    assert b"\n" not in raw.replace(b"\r\n", b""), raw
    if not raw.endswith(b"\r\n"):
        raw += b"\r\n"
    top = b"+OK\r\n" + raw + b".\r\n"
    add("message", name, top, notstr, sender[1], subject_text,
        expected_body(top, notstr, "iso-2022-jp"))


message_case("japanese_mail",
             (formataddr(("佐藤花子", "hanako@example.jp"), charset="iso-2022-jp"),
              " 佐藤花子 <hanako@example.jp>"),
             Header("明日の打ち合わせについて", "iso-2022-jp"), " 明日の打ち合わせについて",
             "お疲れさまです。\n明日は十時からです。\n資料をご確認ください。\n", "")
message_case("notstr_in_body",
             ("=?iso-2022-jp?b?" + base64.b64encode(jis("総務部")).decode() + "?= <soumu@example.jp>",
              " 総務部 <soumu@example.jp>"),
             Header("【重要】お知らせ", "iso-2022-jp"), " 【重要】お知らせ",
             "【重要】お知らせ\n★会場：本社「大会議室」\n", "【】★「」")
message_case("earlier_x_header",
             ("info@example.com", " info@example.com"),
             Header("本当の件名", "iso-2022-jp"), " 本当の件名",
             "本文です。\n", "",
             extra=[("X-Original-Subject", Header("古い件名", "iso-2022-jp"))])
message_case("long_subject_folded_by_python",
             ("info@example.com", " info@example.com"),
             Header(long_text, "iso-2022-jp"), " " + long_text,
             "以上\n", "")

sjis_top = reply([("From", "kaori@example.jp"), ("Subject", "Shift_JIS body"),
                  ("Content-Type", "text/plain; charset=Shift_JIS")],
                 "ＳＪＩＳの本文です\r\n２行目\r\n".encode("cp932"))
add("message", "eight_bit_shift_jis_body", sjis_top, "", " kaori@example.jp", " Shift_JIS body",
    expected_body(sjis_top, "", "cp932"))

with open(OUT, "w", encoding="ascii", newline="\n") as f:
    f.write("# Made by make_header_cases.py; do not edit by hand.\n")
    for line in cases:
        f.write(line + "\n")
print("wrote %d cases to %s" % (len(cases), OUT))
