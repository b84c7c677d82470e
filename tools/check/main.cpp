// velkora-check: checks the accounts of the user's settings (or one account given on the
// command line) once, as the tray program's mail check does, without a desktop, and prints
// the mail list as JSON lines. See kUsage.

#include <QCoreApplication>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checker/dialup/Dialup.h"
#include "checker/net/PosixSocketApi.h"
#include "checker/shell/Checker.h"
#include "checker/shell/HeadlessServices.h"
#include "common/Accounts.h"
#include "common/CertificatePin.h"
#include "common/IniSettingsStore.h"
#include "common/qt/QtEventLoop.h"
#include "tools/check/JsonText.h"
#include "tools/check/OverlaySettingsStore.h"

namespace velkora {
namespace {

constexpr int kExitChecked = 0;
constexpr int kExitErrors = 1;
constexpr int kExitUsage = 2;
constexpr int kDefaultTimeLimitSeconds = 600;
constexpr int kLongestTimeLimitSeconds = 24 * 60 * 60;

constexpr const char* kUsage =
    R"(使い方: velkora-check [--account ホスト ポート ユーザー パスワード [--tls | --starttls]
                       [--pin 指紋]] [--time-limit 秒] [--no-cache]
       velkora-check --help

設定でチェックが有効になっているアカウントをすべて、メニューの「ﾒｰﾙﾁｪｯｸ(&L)」と同じように
一度チェックします。トレイアイコン、キャラクター、音、ポップアップは使わず、ダイヤルアップの
接続も切断もしません。設定は $XDG_CONFIG_HOME/velkora/orvane.ini (既定は
~/.config/velkora/orvane.ini) から読み、書き換えません。

  --account ホスト ポート ユーザー パスワード
        設定のアカウントの代わりに、このアカウントだけをチェックします。ほかの設定
        ("Talkcnt"、"Notstr" など) は設定ファイルか、その既定値のとおりです。
        パスワードに - を指定すると、標準入力の1行目から読みます (コマンドラインの
        パスワードは、同じマシンのほかのユーザーからも見えます)。
  --tls
        --account のサーバーに、最初から TLS で接続します (POP3S、ふつうはポート 995)。
  --starttls
        --account のサーバーに接続してから STLS で TLS に切り替えます (ふつうはポート
        110)。サーバーが STLS に対応していなければ、パスワードを送らずにエラーになります。
  --pin 指紋
        --account のサーバーの証明書として、この SHA-256 指紋 (AB:CD:... の形) の証明書
        だけを信頼します。自己署名の証明書を使う自宅のサーバーなどのためのものです。
  --time-limit 秒
        全体の制限時間 (既定 600 秒)。過ぎるとそこまでの結果を出力して終了します。
        各アカウントの時間切れ ("Timeupval") はそれとは別に働きます。
  --no-cache
        前回までのチェックで受け取ったメールのキャッシュ ($XDG_CACHE_HOME/velkora、既定は
        ~/.cache/velkora) を使わず、すべてのメールをサーバーから読み直します。キャッシュは
        読みも書きもしません。キャッシュを使っても使わなくても、一覧は同じになるはずです。
  --help
        この説明を表示します。

標準出力: 見つかったメール1通につき1行の JSON (UTF-8) を、一覧の順に書きます。
  {"account": アカウント番号, "sender": "差出人", "subject": "件名", "body": "本文"}
  文字列はポップアップに表示されるとおりです。
標準エラー出力: エラー1件につき1行。エラー表示の設定にかかわらず、すべて書きます。
  サーバーが時間切れまでに応答しなかったアカウントもエラーです。

終了ステータス:
  0  チェックしたすべてのアカウントがエラーなく終わった
  1  エラーがあった、または全体の制限時間を過ぎた
  2  使い方の誤り
)";

struct Options {
    bool help = false;
    std::optional<Account> account;
    int timeLimitSeconds = kDefaultTimeLimitSeconds;
    int16_t tlsmode = Account::kPlain;
    std::optional<std::string> pin;
    bool noCache = false;
};

struct UsageError {
    std::string text;
};

std::optional<int> parseNumber(std::string_view text, int lowest, int highest) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != text.npos) {
        return std::nullopt;
    }
    const int value = std::stoi(std::string(text));
    if (value < lowest || value > highest) {
        return std::nullopt;
    }
    return value;
}

Options parseOptions(const std::vector<std::string>& args) {
    Options options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--account") {
            if (options.account) {
                throw UsageError{"--account は1回だけ指定できます"};
            }
            if (i + 4 >= args.size()) {
                throw UsageError{"--account にはホスト、ポート、ユーザー、パスワードが必要です"};
            }
            const auto port = parseNumber(args[i + 2], 1, 65535);
            if (!port) {
                throw UsageError{"ポートは 1 から 65535 までの数です: " + args[i + 2]};
            }
            Account account;
            account.Aname = args[i + 1];
            account.Hname = args[i + 1];
            // Stored as the signed 16-bit value that the settings hold; sent as its 16 bits.
            account.Portno = static_cast<int16_t>(static_cast<uint16_t>(*port));
            account.Uname = args[i + 3];
            account.Passw = args[i + 4];
            options.account = account;
            i += 4;
        } else if (arg == "--tls" || arg == "--starttls") {
            const int16_t mode = arg == "--tls" ? Account::kImplicitTls : Account::kStartTls;
            if (options.tlsmode != Account::kPlain && options.tlsmode != mode) {
                throw UsageError{"--tls と --starttls は同時に指定できません"};
            }
            options.tlsmode = mode;
        } else if (arg == "--pin") {
            const auto pin = i + 1 < args.size() ? normalizeFingerprint(args[i + 1]) : std::nullopt;
            if (!pin) {
                throw UsageError{"--pin には証明書の SHA-256 指紋 (32 バイトの16進数) が必要です"};
            }
            options.pin = *pin;
            ++i;
        } else if (arg == "--no-cache") {
            options.noCache = true;
        } else if (arg == "--time-limit") {
            const auto seconds = i + 1 < args.size()
                                     ? parseNumber(args[i + 1], 1, kLongestTimeLimitSeconds)
                                     : std::nullopt;
            if (!seconds) {
                throw UsageError{"--time-limit には 1 から 86400 までの秒数が必要です"};
            }
            options.timeLimitSeconds = *seconds;
            ++i;
        } else {
            throw UsageError{"不明な引数です: " + arg};
        }
    }
    if ((options.tlsmode != Account::kPlain || options.pin) && !options.account) {
        throw UsageError{"--tls、--starttls、--pin は --account と一緒に指定します"};
    }
    if (options.pin && options.tlsmode == Account::kPlain) {
        throw UsageError{"--pin は --tls か --starttls と一緒に指定します"};
    }
    if (options.account) {
        options.account->Tlsmode = options.tlsmode;
        options.account->Tlspin = options.pin.value_or("");
    }
    return options;
}

// The text on one line: line breaks and other control characters become spaces, and blanks
// at either end go.
std::string oneLine(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        out += (byte < 0x20 || byte == 0x7F) ? ' ' : c;
    }
    const std::size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

// The error boxes of the check, as lines on standard error naming the account.
class ErrorLines final : public MessageBoxes {
public:
    void show(MessageIcon, const std::string&, const std::string& text) override { report(text); }
    void report(const std::string& text) {
        const int16_t account = checker->checkState().currentAccountNumber;
        std::cerr << "アカウント" << account << " (" << checker->cycle().currentAccount().Aname
                  << "): " << oneLine(text) << std::endl;
        ++count;
        lastAccountWithError = account;
    }

    Checker* checker = nullptr;
    int count = 0;
    int16_t lastAccountWithError = 0;
};

int run(const Options& options) {
    IniSettingsStore userStore;
    OverlaySettingsStore store(userStore);
    // Every error is reported, whatever the setting that silences the error boxes.
    store.write("Option3value", "0");
    if (options.account) {
        store.write("accountno", "1");
        saveAccount(store, 1, *options.account);
    }

    QtEventLoop loop;
    PosixSocketApi api(loop);
    ErrorLines errors;
    HeadlessDesktop desktop;
    Checker checker(desktop.services(loop, api, errors, store),
                    options.noCache ? ReplyCacheOptions::off() : ReplyCacheOptions::standard());
    errors.checker = &checker;
    checker.cycle().onAccountTimedOut = [&] {
        // A connection that failed has said so already; the time-up only moves it on.
        if (errors.lastAccountWithError != checker.checkState().currentAccountNumber) {
            errors.report("時間切れまでにサーバーから応答がありませんでした");
        }
    };
    checker.loadSettings();

    bool overTime = false;
    std::unique_ptr<Timer> limit = loop.createTimer();
    limit->setHandler([&] {
        overTime = true;
        limit->setEnabled(false);
    });
    limit->setInterval(options.timeLimitSeconds * 1000);
    limit->setEnabled(true);

    checker.mailCheck();
    loop.runUntil([&] { return !checker.checkState().checkInProgress || overTime; });

    const MailList& list = checker.mailList();
    for (std::size_t row = 1; row < list.rowCount(); ++row) {
        std::cout << mailRowJson(list.row(row)) << '\n';
    }
    std::cout.flush();
    if (overTime) {
        std::cerr << "全体の制限時間 (" << options.timeLimitSeconds
                  << " 秒) を過ぎたため、チェックを打ち切りました" << std::endl;
        return kExitErrors;
    }
    return errors.count == 0 ? kExitChecked : kExitErrors;
}

}  // namespace
}  // namespace velkora

int main(int argc, char** argv) {
    using namespace velkora;
    Options options;
    try {
        options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
        if (options.account && options.account->Passw == "-") {
            std::getline(std::cin, options.account->Passw);
            if (!options.account->Passw.empty() && options.account->Passw.back() == '\r') {
                options.account->Passw.pop_back();
            }
        }
        if (options.account) {
            // Refused here rather than half-way: a password the settings cannot hold.
            scramblePassword(options.account->Passw);
        }
    } catch (const UsageError& error) {
        std::cerr << "velkora-check: " << error.text << "\n\n" << kUsage;
        return kExitUsage;
    } catch (const AccountSaveError& error) {
        std::cerr << "velkora-check: " << error.what() << "\n";
        return kExitUsage;
    }
    if (options.help) {
        std::cout << kUsage;
        return kExitChecked;
    }
    QCoreApplication application(argc, argv);
    return run(options);
}
