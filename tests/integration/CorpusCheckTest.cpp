// Today's mail, written by Python's email package and served by a private Dovecot, checked
// with velkora-check against what Python's email package reads from the same bytes
// (tests/data/corpus/make_corpus.py).

#include <gtest/gtest.h>

#include <string>

#include "common/Accounts.h"
#include "tests/integration/CheckTool.h"
#include "tests/support/DovecotServer.h"

namespace velkora::test {
namespace {

TEST(CorpusCheckTest, EveryRowReadsAsPythonReadsTheMail) {
    if (DovecotServer::findBinary().empty()) {
        GTEST_SKIP() << "dovecot is not installed (scripts/setup.sh installs it)";
    }
    const auto expected = loadExpectations("corpus");
    DovecotServer server;
    for (const auto& [user, mails] : expected) {
        server.addUser(user, "pw-" + user);
        server.copyMaildir(user, maildirOf(user, "corpus"));
    }
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;

    CheckTool tool;
    for (const auto& [user, mails] : expected) {
        addAccount(*tool.store, {.Aname = user,
                                 .Hname = "127.0.0.1",
                                 .Portno = static_cast<int16_t>(server.port()),
                                 .Uname = user,
                                 .Passw = "pw-" + user});
    }
    tool.store->write("Talkcnt", std::to_string(expectedTopLines("corpus")));
    const ToolRun run = tool.run({});
    EXPECT_EQ(run.exitCode, 0) << run.err;

    const auto rows = run.rows();
    std::size_t row = 0;
    int account = 0;
    for (const auto& [user, mails] : expected) {
        ++account;
        for (const ExpectedMail& mail : mails) {
            ASSERT_LT(row, rows.size());
            SCOPED_TRACE(mail.description);
            EXPECT_EQ(rows[row].value("account").toInt(-1), account);
            EXPECT_EQ(rows[row].value("sender").toString().toStdString(), mail.sender);
            EXPECT_EQ(rows[row].value("subject").toString().toStdString(), mail.subject);
            EXPECT_EQ(rows[row].value("body").toString().toStdString(), mail.body);
            ++row;
        }
    }
    EXPECT_EQ(rows.size(), row);
}

}  // namespace
}  // namespace velkora::test
