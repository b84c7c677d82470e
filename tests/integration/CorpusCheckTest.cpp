// Today's mail, written by Python's email package and served by a private Dovecot, against
// what Python's email package reads from the same bytes (tests/data/corpus/make_corpus.py).

#include <gtest/gtest.h>

#include <string>

#include "tests/integration/CheckRig.h"
#include "tests/support/DovecotServer.h"

namespace velkora::test {
namespace {

using namespace std::chrono_literals;

TEST(CorpusCheckTest, EveryRowReadsAsPythonReadsTheMail) {
    if (DovecotServer::findBinary().empty()) {
        GTEST_SKIP() << "dovecot is not installed (scripts/setup.sh installs it)";
    }
    const MailExpectations expected = MailExpectations::load("corpus");
    DovecotServer server;
    for (const auto& [user, mails] : expected.mailboxes) {
        server.addUser(user, "pw-" + user);
        server.copyMaildir(user, MailExpectations::maildirOf(user, "corpus"));
    }
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;

    CheckRig rig;
    for (const auto& [user, mails] : expected.mailboxes) {
        rig.addAccount(user, "127.0.0.1", server.port(), user, "pw-" + user, 0, 0xFFFFFF);
    }
    rig.setSetting("Option3value", "0");  // any error would show as a box
    rig.setSetting("Talkcnt", std::to_string(expected.topLines));
    rig.load();
    ASSERT_TRUE(rig.runCheck(15s)) << "the check did not end";
    EXPECT_TRUE(rig.boxes.boxes.empty()) << rig.boxes.boxes.front().text;

    const auto rows = rig.rows();
    std::size_t row = 0;
    for (const auto& [user, mails] : expected.mailboxes) {
        for (const ExpectedMail& mail : mails) {
            ASSERT_LT(row, rows.size());
            SCOPED_TRACE(mail.description);
            EXPECT_EQ(rows[row].cells[MailList::kSenderColumn], mail.sender);
            EXPECT_EQ(rows[row].cells[MailList::kSubjectColumn], mail.subject);
            EXPECT_EQ(rows[row].cells[MailList::kBodyColumn], mail.body);
            ++row;
        }
    }
    EXPECT_EQ(rows.size(), row);
}

}  // namespace
}  // namespace velkora::test
