#pragma once

#include <QWidget>
#include <array>

#include "checker/shell/MailForm.h"

class QPushButton;
class QTableView;

namespace velkora {

class MailListModel;

// The popup window: the mail list grid under its header row, "OK" and the two mail-program
// buttons, laid out from the form's twips at the screen's twips per pixel. Hiding it (its
// buttons, the close timer or the title bar's close button) never touches the rows.
class MailFormWindow final : public QWidget, public MailFormView {
public:
    MailFormWindow(MailForm& form, MailList& list, int twipsPerPixel);
    ~MailFormWindow() override;

    void setCaption(const std::string& caption) override;
    void setColumnWidths(const std::array<int, 4>& twips) override;
    void setGridTip(const std::string& tip) override;
    void setMailerButton(int index, const MailerCaption& caption) override;
    void showWindow() override;
    void hideWindow() override;

    QTableView& grid() { return *grid_; }
    QPushButton& okButton() { return *ok_; }
    QPushButton& mailerButton(int index) { return *mailers_[static_cast<std::size_t>(index - 1)]; }

private:
    int pixels(int twips) const;
    void applyColumnWidths();

    MailForm& form_;
    int twipsPerPixel_;
    MailListModel* model_ = nullptr;
    QTableView* grid_ = nullptr;
    QPushButton* ok_ = nullptr;
    std::array<QPushButton*, 2> mailers_{};
    std::array<int, 4> columnTwips_{};
};

}  // namespace velkora
