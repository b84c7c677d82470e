"""The demo's mailboxes: everyday Japanese mail as mail programs of the checker's era sent it
(ISO-2022-JP bodies, "B" encoded words in From and Subject), for two accounts.

write_maildirs(folder) writes folder/<user>/cur/<message files> and returns the users with
their passwords and account details.
"""

import os
from email import policy
from email.generator import BytesGenerator
from email.mime.text import MIMEText
import base64
import io

# Account name, POP3 user, password, text colour and background colour (0x00BBGGRR).
ACCOUNTS = [
    ("仕事", "suzuki", "demo-work", 0x000000, 0xF0E0C0),   # black on light blue
    ("プライベート", "ichiro", "demo-home", 0x000080, 0xD0F0FF),  # dark red on cream
]

MAIL = {
    "suzuki": [
        ("佐藤 美咲", "misaki.sato@example.co.jp", "来週の打ち合わせの日程について",
         "鈴木さん\n\nお疲れさまです。佐藤です。\n"
         "来週の打ち合わせですが、火曜日の午後二時からでいかがでしょうか。\n"
         "会議室は三階の第二会議室を予約しておきます。\n"
         "資料は前日までに共有フォルダに置いておきます。\n"
         "よろしくお願いいたします。\n"),
        ("経理部", "keiri@example.co.jp", "経費精算の締め切りは今月二十五日です",
         "各位\n\n今月分の経費精算の締め切りは二十五日の金曜日です。\n"
         "領収書の原本を添えて、経理部までご提出ください。\n"
         "期限を過ぎた分は翌月の精算となります。\n"),
        ("田中 健一", "k.tanaka@example.co.jp", "Re: 見積書の件",
         "鈴木さん\n\n見積書を確認しました。ありがとうございます。\n"
         "数量を百個から百二十個に変更したいのですが、\n"
         "単価は変わらないでしょうか。\nお手数ですがご確認をお願いします。\n"),
    ],
    "ichiro": [
        ("母", "haha@example.ne.jp", "お正月の予定",
         "一郎へ\n\n元気にしていますか。\nお正月は何日に帰ってきますか。\n"
         "おせちを用意するので、早めに教えてください。\n風邪をひかないようにね。\n"),
        ("山本 書店", "info@books.example.jp", "ご注文の商品を発送しました",
         "山田 一郎 様\n\nこのたびはご注文いただき、誠にありがとうございます。\n"
         "本日、ご注文の商品を発送いたしました。\n"
         "お届けは明後日の予定です。\n"),
    ],
}

# Lines are written as they are given: the folding above is the mail program's own.
CRLF_POLICY = policy.compat32.clone(linesep="\r\n", max_line_length=0)


def encoded_words(text, limit=75):
    """"B" encoded words in ISO-2022-JP, as Japanese mail programs wrote them: a long text is
    cut into several words of at most `limit` characters, one per line, the lines after the
    first starting with a TAB."""
    words = []
    start = 0
    while start < len(text):
        end = len(text)
        while True:
            data = base64.b64encode(text[start:end].encode("iso-2022-jp")).decode("ascii")
            word = f"=?ISO-2022-JP?B?{data}?="
            if len(word) <= limit or end - start == 1:
                break
            end -= 1
        words.append(word)
        start = end
    return "\r\n\t".join(words)


def message_bytes(user, index, sender_name, sender_address, subject, body):
    mail = MIMEText(body, "plain", "iso-2022-jp")
    mail["From"] = f"{encoded_words(sender_name)} <{sender_address}>"
    mail["To"] = f"{user}@example.jp"
    mail["Subject"] = encoded_words(subject)
    mail["Date"] = f"Mon, 16 Dec 2024 09:{10 + index:02d}:00 +0900"
    mail["Message-ID"] = f"<{index}.{user}@example.jp>"
    out = io.BytesIO()
    BytesGenerator(out, policy=CRLF_POLICY).flatten(mail)
    return out.getvalue()


def write_maildirs(folder):
    for user, messages in MAIL.items():
        cur = os.path.join(folder, user, "cur")
        os.makedirs(cur, exist_ok=True)
        for index, (name, address, subject, body) in enumerate(messages, start=1):
            path = os.path.join(cur, f"17343{index:05d}.M{index}P1.velkora:2,S")
            with open(path, "wb") as file:
                file.write(message_bytes(user, index, name, address, subject, body))
    return ACCOUNTS
