#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include <QDialog>
#include <QString>

#include "common/MessageBox.h"
#include "common/SettingsStore.h"
#include "options/AccountList.h"
#include "options/AgentPreview.h"
#include "options/OptionsForm.h"
#include "options/gui/Choosers.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QTabWidget;
class QTableWidget;

namespace velkora {

// What the options dialog works with; everything outlives the dialog.
struct OptionsServices {
    SettingsStore& store;
    MessageBoxes& messageBoxes;
    Choosers& choosers;
    AgentPreview& preview;
    // The dial-up entries in enumeration order.
    std::function<std::vector<std::string>()> listDialEntries;
    // The system's font families, in its own order.
    std::vector<std::string> fontFamilies;
    PreviewScreen screen;
    // The default of "Agentnm".
    std::string agentDefault;
    // Where the WAV and mail-program choosers start, and where the character chooser starts.
    QString programFolder;
    QString characterFolder;
};

// The options dialog "OPTION" with its four tabs. loaddata() fills it from the store; OK
// stores every setting and accepts the dialog, Cancel and the title bar's close store
// nothing. Account changes are stored as they are made.
class OptionsDialog final : public QDialog {
public:
    explicit OptionsDialog(OptionsServices services, QWidget* parent = nullptr);
    ~OptionsDialog() override;

    // Reads every setting and the accounts into the controls, with the wait cursor.
    void loaddata();

private:
    QWidget* buildGeneralTab();
    QWidget* buildSpeechTab();
    QWidget* buildAccountTab();
    QWidget* buildAgentTab();

    std::array<QCheckBox*, kFlagBoxCount> flagBoxes() const;
    void showForm();
    OptionsForm formFromControls() const;
    bool savedata();
    void focusNumberBox(NumberBox box);

    // Loads "Agentnm" into the preview and refills the action lists; false, with a message,
    // when the file is refused (the previous character and lists stay).
    bool SetAgent();
    void playAction(int row);
    void showVersion();
    void applyDependencies();
    void chooseWav();
    void chooseAgent();
    void chooseMailer(int index);

    void fillAccountList();
    void showAccountRow(int16_t row);
    void markAccountRow(int16_t row);
    void setAccountColumnWidths();
    void chooseAccountRow(int row);
    void openAccountEditor(bool editMode);
    void deleteAccount();
    void updateAccountButtons();

    void showBox(MessageIcon icon, const std::string& text);

    OptionsServices s_;
    OptionsForm form_;
    AccountList accounts_;
    bool agentLoaded_ = false;
    int waitCursorDepth_ = 0;
    bool settingAccountRow_ = false;

    QTabWidget* tabs_;

    // "全般"
    QLineEdit* timerbox1;
    QCheckBox* option6;
    QLineEdit* timerbox3;
    QCheckBox* option3;
    QCheckBox* option4;
    QCheckBox* option5;
    QCheckBox* Check5;
    QCheckBox* option7;
    QCheckBox* soption7;
    QLineEdit* AgentBox;
    QPushButton* Command3;
    QLineEdit* Notstrbox;
    QCheckBox* option1;
    QLineEdit* timerbox2;
    QCheckBox* option2;
    QLineEdit* Wavbox;
    QPushButton* Command2;
    std::array<QLineEdit*, 2> Mailerbox{};
    std::array<QPushButton*, 2> RefBt{};
    QComboBox* DialList;
    QLineEdit* redialbox;

    // "読上げ＆ｱｸｼｮﾝ"
    std::array<QLineEdit*, 6> Text1{};
    std::array<QCheckBox*, 6> speakBoxes_{};  // option8, option9, Check2, Check3, Check1, Check4
    std::array<QComboBox*, 6> Combo1{};
    std::array<QPushButton*, 6> Command4{};
    QLineEdit* talkcntbox;

    // "ｱｶｳﾝﾄ"
    QTableWidget* accountList;
    QPushButton* addbutton;
    QPushButton* editbutton;
    QPushButton* delbutton;

    // "ｴｰｼﾞｪﾝﾄ詳細"
    QScrollBar* scr_Vol;
    QLineEdit* txt_Vol;
    QScrollBar* scr_Pitch;
    QComboBox* Combo2;
    QComboBox* Combo3;
    QLabel* lbl_Sample;

    QPushButton* Command1;
    QPushButton* OkBt;
    QPushButton* CancelBt;
};

}  // namespace velkora
