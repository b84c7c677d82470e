#include "checker/shell/MailForm.h"

#include <utility>

#include "common/Settings.h"

namespace velkora {

std::string mailFormCaption(int16_t totalMessages) {
    return std::to_string(totalMessages) + "通のメールが届いています!";
}

std::array<int, 4> mailFormColumnWidths(int16_t totalMessages) {
    int text = totalMessages > MailFormLayout::kNarrowAbove ? MailFormLayout::kNarrowTextColumn
                                                            : MailFormLayout::kTextColumn;
    return {text, text, MailFormLayout::kAccountColumn, 0};
}

int closeDelayMilliseconds(int16_t closetimerval) {
    return closetimerval > 0 ? closetimerval * 1000 : 0;
}

MailForm::MailForm(MailFormServices services)
    : services_(services), closetimer_(services.loop.createTimer()) {
    mailerCaptions_.fill({std::string(kUnregisteredMailer), false});
    // The timer is not stopped when it has hidden the window: it fires again after each
    // interval, harmlessly, until the next showing sets its interval anew.
    closetimer_->setHandler([this] { hide(); });
    closetimer_->setInterval(0);
    closetimer_->setEnabled(true);
}

MailForm::~MailForm() = default;

void MailForm::attachView(MailFormView& view) {
    view_ = &view;
    view_->setGridTip(gridTip_);
    for (int index = 1; index <= 2; ++index) {
        view_->setMailerButton(index, mailerCaptions_[index - 1]);
    }
    view_->hideWindow();
}

void MailForm::showPopup(int16_t totalMessages) {
    MailList& list = services_.mailList;
    list.setHeader({"差出人", "件名", "", list.cell(0, MailList::kBodyColumn)});
    // Setting the interval starts the count anew; 0 stops it.
    closetimer_->setInterval(closeDelayMilliseconds(services_.settings.Closetimerval));
    if (view_ != nullptr) {
        view_->setCaption(mailFormCaption(totalMessages));
        view_->setColumnWidths(mailFormColumnWidths(totalMessages));
        view_->showWindow();
    }
}

void MailForm::setMailerButton(int index, const std::string& caption, bool enabled) {
    if (index < 1 || index > 2) {
        return;
    }
    mailerCaptions_[index - 1] = {caption, enabled};
    if (view_ != nullptr) {
        view_->setMailerButton(index, mailerCaptions_[index - 1]);
    }
}

void MailForm::clickRow(std::size_t row) {
    const MailList& list = services_.mailList;
    long accountNumber = 0;
    if (row < list.rowCount()) {
        accountNumber = parseInt16(list.cell(row, MailList::kAccountColumn)).value_or(0);
    }
    std::string name = accountName(services_.store, accountNumber);
    services_.readingState.currentAccountName = name;
    gridTip_ = std::string(kAccountTipPrefix) + name;
    if (view_ != nullptr) {
        view_->setGridTip(gridTip_);
    }
}

void MailForm::doubleClickRow(std::size_t row) {
    if (row == 0 || row >= services_.mailList.rowCount() || !readMail) {
        return;
    }
    readMail(row);
}

void MailForm::okPressed() {
    hide();
}

void MailForm::mailerPressed(int index) {
    hide();
    if (startMailer) {
        startMailer(index);
    }
}

void MailForm::hide() {
    if (view_ != nullptr) {
        view_->hideWindow();
    }
}

}  // namespace velkora
