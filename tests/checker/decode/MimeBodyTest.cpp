#include "checker/decode/MimeBody.h"

#include <gtest/gtest.h>

#include <string>

#include "checker/decode/HeaderFields.h"
#include "checker/decode/HtmlText.h"

namespace velkora {
namespace {

// The body text of a whole message (header section, empty line, body).
std::string bodyOf(const std::string& message) {
    const HeaderAndBody split = splitMessage(message);
    return split.body ? mimeBodyText(split.header, *split.body) : "<no body>";
}

const std::string kAlternative =
    "MIME-Version: 1.0\r\nContent-Type: multipart/alternative;\r\n"
    "\tboundary=\"==b 1==\"\r\n\r\n"
    "This is a multi-part message in MIME format.\r\n"
    "--==b 1==\r\nContent-Type: text/plain; charset=\"utf-8\"\r\n"
    "Content-Transfer-Encoding: base64\r\n\r\n"
    "5pel5pys6KqeCuS6jOihjOebrgo=\r\n"  // "日本語\n二行目\n"
    "--==b 1==\r\nContent-Type: text/html; charset=utf-8\r\n\r\n<p>html</p>\r\n"
    "--==b 1==--\r\n";

TEST(MimeBodyText, TakesTheFirstPlainTextPartDecoded) {
    EXPECT_EQ(bodyOf(kAlternative), "\r\n日本語\r\n二行目\r\n");
    // Quoted-printable with a soft line break; a part without its closing boundary.
    EXPECT_EQ(bodyOf("Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                     "Content-Type: text/plain; charset=iso-8859-1\r\n"
                     "Content-Transfer-Encoding: Quoted-Printable\r\n\r\n"
                     "caf=E9 au=\r\n lait =3D ok\r\n"),
              "\r\ncafé au lait = ok\r\n");
    // An attachment is skipped; a nested alternative is searched.
    EXPECT_EQ(bodyOf("Content-Type: multipart/mixed; boundary=o\r\n\r\n--o\r\n"
                     "Content-Type: text/plain\r\nContent-Disposition: attachment\r\n\r\nno\r\n"
                     "--o\r\nContent-Type: multipart/alternative; boundary=i\r\n\r\n"
                     "--i\r\n\r\nyes\r\n--i--\r\n--o--\r\n"),
              "\r\nyes\r\n");
    // A single-part ISO-2022-JP body reads as the old mail did, line breaks and all.
    EXPECT_EQ(bodyOf("Content-Type: text/plain; charset=ISO-2022-JP\r\n\r\n"
                     "\x1b$B$\"\x1b(B\r\n.\r\n"),
              "\r\nあ\r\n.\r\n");
}

TEST(MimeBodyText, FallsBackToHtmlAndShowsNoScaffolding) {
    EXPECT_EQ(bodyOf("Content-Type: multipart/related; boundary=r\r\n\r\n--r\r\n"
                     "Content-Type: text/html; charset=utf-8\r\n\r\n"
                     "<html><head><title>t</title><style>p{}</style></head>\r\n"
                     "<body><p>Hello,&nbsp;<b>world</b> &amp; you</p>line<br>two</body></html>\r\n"
                     "--r\r\nContent-Type: text/plain\r\n\r\nnot the start part\r\n--r--\r\n"),
              "\r\nHello,\u00a0world & you\r\nline\r\ntwo\r\n");
    // The TOP reply ends before the text part begins, or inside its header section.
    const std::string head = "Content-Type: multipart/mixed; boundary=b\r\n\r\npreamble\r\n";
    EXPECT_EQ(bodyOf(head), "");
    EXPECT_EQ(bodyOf(head + "--b\r\nContent-Type: text/plain\r\n"), "");
    // A Base64 text cut by the reply in mid-character loses only that character.
    EXPECT_EQ(bodyOf("Content-Type: text/plain; charset=utf-8\r\n"
                     "Content-Transfer-Encoding: base64\r\n\r\n5pel5pys\r\n5p==\r\n"),
              "\r\n日本\r\n");
    // No text part at all, or a multipart without its boundary.
    EXPECT_EQ(bodyOf("Content-Type: image/png\r\n\r\niVBORw0KGgo=\r\n"), "");
    EXPECT_EQ(bodyOf("Content-Type: multipart/mixed\r\n\r\n--b\r\n\r\nx\r\n"), "");
}

TEST(HtmlToText, KeepsTheReadableTextInLines) {
    EXPECT_EQ(htmlToText("<table><tr><td>a</td><td>b</td></tr><tr><th>c</th></tr></table>"),
              "a b\r\nc\r\n");
    EXPECT_EQ(htmlToText("<pre>x  y\nz</pre><!-- hidden --><script>var a;</script>&#x65E5;"),
              "x y\r\nz\r\n日\r\n");
    EXPECT_EQ(htmlToText("<div>  spaced \n\t out  </div><div></div>broken <p>tags"),
              "spaced out\r\nbroken\r\ntags\r\n");
}

}  // namespace
}  // namespace velkora
