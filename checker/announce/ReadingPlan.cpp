#include "checker/announce/ReadingPlan.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace velkora {

namespace {

// Template numbers 1..6 as indexes 0..5.
constexpr std::size_t kOpening = 0;
constexpr std::size_t kAccount = 1;
constexpr std::size_t kSender = 2;
constexpr std::size_t kBody = 4;
constexpr std::size_t kClosing = 5;

// One left-to-right pass; the inserted text is not searched again.
void replaceAll(std::string& text, const std::string& placeholder, const std::string& value) {
    std::string result;
    std::size_t from = 0;
    for (std::size_t at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, from)) {
        result.append(text, from, at - from);
        result += value;
        from = at + placeholder.size();
    }
    if (from == 0) {
        return;
    }
    result.append(text, from, std::string::npos);
    text = std::move(result);
}

// The account column as a number: its leading decimal digits, 0 when there are none.
long accountNumberOf(const std::string& text) {
    long value = 0;
    const char* first = text.data();
    const char* last = text.data() + text.size();
    while (first != last && *first == ' ') {
        ++first;
    }
    if (first != last && *first == '+') {
        ++first;
    }
    auto [ptr, ec] = std::from_chars(first, last, value);
    (void)ptr;
    return ec == std::errc() ? value : 0;
}

struct RowSnapshot {
    std::string sender;
    std::string subject;
    std::string account;
    std::string body;
};

RowSnapshot snapshot(const MailList& list, std::size_t row) {
    return {list.cell(row, MailList::kSenderColumn), list.cell(row, MailList::kSubjectColumn),
            list.cell(row, MailList::kAccountColumn), list.cell(row, MailList::kBodyColumn)};
}

// The account bookkeeping of the full reading, applied to one row: a row that names an
// account other than the previous one starts that account's numbering at 1; an empty
// account cell keeps the previous account.
void advanceAccount(const std::string& accountText, long& previousAccount, int16_t& perAccount) {
    if (accountText.empty()) {
        return;
    }
    const long number = accountNumberOf(accountText);
    if (number != previousAccount) {
        previousAccount = number;
        perAccount = 1;
    }
}

ExpansionContext mailContext(const RowSnapshot& row, std::size_t mailCount, std::string name,
                             int16_t perAccount, int16_t speed) {
    ExpansionContext context;
    context.mailCount = mailCount;
    context.accountName = std::move(name);
    context.perAccountNumber = std::to_string(perAccount);
    context.sender = row.sender;
    context.subject = row.subject;
    context.body = row.body;
    context.speed = speed;
    return context;
}

}  // namespace

std::string expandTemplate(const std::string& templateText, const ExpansionContext& context) {
    std::string text = templateText;
    replaceAll(text, "@1", std::to_string(context.mailCount));
    replaceAll(text, "@2", context.accountName);
    replaceAll(text, "@3", context.perAccountNumber);
    replaceAll(text, "@4", context.sender);
    replaceAll(text, "@5", context.subject);
    replaceAll(text, "@6", context.body);
    text.erase(std::remove(text.begin(), text.end(), '\x10'), text.end());
    text += " \\Spd=";
    text += std::to_string(context.speed);
    text += "\\";
    return text;
}

std::string accountName(const SettingsStore& store, long accountNumber) {
    return store.read("Aname" + std::to_string(accountNumber), "");
}

SpeechTemplates SpeechTemplates::from(const AppSettings& settings) {
    SpeechTemplates templates;
    templates.text = settings.Talkstr;
    templates.animation = settings.Actkind;
    templates.enabled = {settings.Option8value == 1, settings.Option9value == 1,
                         settings.Check2value == 1,  settings.Check3value == 1,
                         settings.Check1value == 1,  settings.Check4value == 1};
    templates.speed = settings.Pitchval;
    return templates;
}

FullReadingPlan::FullReadingPlan(const MailList& list, const AppSettings& settings,
                                 const SettingsStore& store, ReadingState& state)
    : list_(list), store_(store), state_(state), templates_(SpeechTemplates::from(settings)) {
    state_.perAccountNumber = 0;
}

std::optional<ReadingStep> FullReadingPlan::next() {
    while (pending_.empty()) {
        switch (phase_) {
            case Phase::Opening:
                addTemplate(kOpening, contextWithoutMail());
                phase_ = Phase::Rows;
                break;
            case Phase::Rows:
                if (nextRow_ > list_.mailCount()) {
                    phase_ = Phase::Closing;
                } else {
                    readRow();
                }
                break;
            case Phase::Closing:
                addTemplate(kClosing, contextWithoutMail());
                phase_ = Phase::Done;
                break;
            case Phase::Done:
                return std::nullopt;
        }
    }
    ReadingStep step = std::move(pending_.front());
    pending_.pop_front();
    return step;
}

void FullReadingPlan::addTemplate(std::size_t index, const ExpansionContext& context) {
    if (templates_.enabled[index]) {
        pending_.push_back(
            {templates_.animation[index], expandTemplate(templates_.text[index], context)});
    }
}

void FullReadingPlan::readRow() {
    const RowSnapshot row = snapshot(list_, nextRow_);
    advanceAccount(row.account, previousAccount_, perAccountNumber_);
    // Read at the moment it is needed: the options program may have renamed the account.
    std::string name = accountName(store_, previousAccount_);
    // This plan counts on its own, so a second reading started during a pause cannot disturb
    // the numbering; the shared state only mirrors the latest values for the list window.
    state_.currentAccountName = name;
    state_.perAccountNumber = perAccountNumber_;
    const ExpansionContext context =
        mailContext(row, list_.mailCount(), std::move(name), perAccountNumber_, templates_.speed);
    for (std::size_t index = kAccount; index <= kBody; ++index) {
        addTemplate(index, context);
    }
    ++perAccountNumber_;
    ++nextRow_;
}

ExpansionContext FullReadingPlan::contextWithoutMail() const {
    // The opening and closing texts belong to no mail: only the count and the speed apply.
    ExpansionContext context;
    context.mailCount = list_.mailCount();
    context.speed = templates_.speed;
    return context;
}

std::vector<ReadingStep> fullReadingPlan(const MailList& list, const AppSettings& settings,
                                         const SettingsStore& store, ReadingState& state) {
    FullReadingPlan plan(list, settings, store, state);
    std::vector<ReadingStep> steps;
    while (auto step = plan.next()) {
        steps.push_back(std::move(*step));
    }
    return steps;
}

std::vector<ReadingStep> singleMailPlan(const MailList& list, std::size_t row,
                                        const AppSettings& settings, const SettingsStore& store,
                                        ReadingState& state) {
    std::vector<ReadingStep> steps;
    if (row == 0 || row > list.mailCount()) {
        return steps;
    }
    const SpeechTemplates templates = SpeechTemplates::from(settings);

    // "@2" and "@3" get the same values the full reading gives this row.
    long account = 0;
    int16_t perAccount = 0;
    for (std::size_t earlier = 1; earlier < row; ++earlier) {
        advanceAccount(list.cell(earlier, MailList::kAccountColumn), account, perAccount);
        ++perAccount;
    }
    const RowSnapshot mail = snapshot(list, row);
    advanceAccount(mail.account, account, perAccount);

    std::string name = accountName(store, account);
    if (!mail.account.empty()) {
        state.currentAccountName = name;
        if (templates.enabled[kAccount]) {
            steps.push_back({templates.animation[kAccount], name + "宛て"});
        }
    }
    const ExpansionContext context =
        mailContext(mail, list.mailCount(), std::move(name), perAccount, templates.speed);
    for (std::size_t index = kSender; index <= kBody; ++index) {
        if (templates.enabled[index]) {
            steps.push_back(
                {templates.animation[index], expandTemplate(templates.text[index], context)});
        }
    }
    return steps;
}

}  // namespace velkora
