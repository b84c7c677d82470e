#include "options/gui/OptionsDialog.h"

#include <filesystem>
#include <system_error>

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "common/Accounts.h"
#include "common/ProductInfo.h"
#include "common/Settings.h"
#include "options/ControlValues.h"
#include "options/gui/AccountForm.h"

namespace velkora {

namespace {

QString qs(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

std::string utf8(const QString& text) {
    return text.toStdString();
}

QCheckBox* checkBox(QWidget* parent, const char* name, const char* caption, const char* tip) {
    auto* box = new QCheckBox(QString::fromUtf8(caption), parent);
    box->setObjectName(QLatin1String(name));
    if (tip) {
        box->setToolTip(QString::fromUtf8(tip));
    }
    return box;
}

QLineEdit* textBox(QWidget* parent, const char* name, const char* tip) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    if (tip) {
        box->setToolTip(QString::fromUtf8(tip));
    }
    return box;
}

// A number box wide enough for six digits and a sign.
QLineEdit* numberBox(QWidget* parent, const char* name, const char* tip) {
    QLineEdit* box = textBox(parent, name, tip);
    box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("-000000")) + 12);
    box->setAlignment(Qt::AlignRight);
    return box;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, const char* tip) {
    auto* b = new QPushButton(QString::fromUtf8(caption), parent);
    b->setObjectName(QLatin1String(name));
    if (tip) {
        b->setToolTip(QString::fromUtf8(tip));
    }
    return b;
}

QPushButton* browseButton(QWidget* parent, const char* name) {
    QPushButton* b = button(parent, name, "...", nullptr);
    b->setFixedWidth(b->fontMetrics().horizontalAdvance(QStringLiteral("....")) + 16);
    return b;
}

QComboBox* dropDown(QWidget* parent, const char* name, const char* tip) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    if (tip) {
        list->setToolTip(QString::fromUtf8(tip));
    }
    return list;
}

QLabel* label(QWidget* parent, const char* caption, const char* tip = nullptr) {
    auto* l = new QLabel(QString::fromUtf8(caption), parent);
    if (tip) {
        l->setToolTip(QString::fromUtf8(tip));
    }
    return l;
}

bool isFile(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    return !error && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

// Fills a list while it does not repaint, so that it repaints once.
template <typename Fill>
void fillQuietly(QWidget* widget, Fill fill) {
    widget->setUpdatesEnabled(false);
    fill();
    widget->setUpdatesEnabled(true);
}

// Draws an account's row in its own colours also while it is chosen, and marks the chosen
// row with a frame instead of the selection colour, which would hide them.
class AccountRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem plain(option);
        const bool chosen = plain.state & QStyle::State_Selected;
        plain.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        QStyledItemDelegate::paint(painter, plain, index);
        if (!chosen) {
            return;
        }
        painter->save();
        QPen pen(option.palette.color(QPalette::Highlight));
        pen.setWidth(2);
        painter->setPen(pen);
        const QRect r = option.rect.adjusted(1, 1, -1, -1);
        painter->drawLine(r.topLeft(), r.topRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        if (index.column() == 0) {
            painter->drawLine(r.topLeft(), r.bottomLeft());
        }
        if (index.column() == index.model()->columnCount() - 1) {
            painter->drawLine(r.topRight(), r.bottomRight());
        }
        painter->restore();
    }
};

constexpr int kGeneralTab = 0;
constexpr int kSpeechTab = 1;
constexpr int kAgentTab = 3;

}  // namespace

OptionsDialog::OptionsDialog(OptionsServices services, QWidget* parent)
    : QDialog(parent), s_(std::move(services)), accounts_(s_.store) {
    setObjectName(QStringLiteral("optionform"));
    setWindowTitle(QStringLiteral("OPTION"));

    tabs_ = new QTabWidget(this);
    tabs_->addTab(buildGeneralTab(), QStringLiteral("全般"));
    tabs_->addTab(buildSpeechTab(), QStringLiteral("読上げ＆ｱｸｼｮﾝ"));
    tabs_->addTab(buildAccountTab(), QStringLiteral("ｱｶｳﾝﾄ"));
    tabs_->addTab(buildAgentTab(), QStringLiteral("ｴｰｼﾞｪﾝﾄ詳細"));

    Command1 = button(this, "Command1", "ﾊﾞｰｼﾞｮﾝ情報", "ﾊﾞｰｼﾞｮﾝ情報はここから確認できます");
    OkBt = button(this, "OkBt", "OK", "設定を保存して閉じます");
    CancelBt = button(this, "CancelBt", "ｷｬﾝｾﾙ", "ｱｶｳﾝﾄ以外の変更は保存せずに閉じます");
    OkBt->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Command1);
    buttons->addStretch();
    buttons->addWidget(OkBt);
    buttons->addWidget(CancelBt);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addLayout(buttons);

    connect(Command1, &QPushButton::clicked, this, &OptionsDialog::showVersion);
    connect(OkBt, &QPushButton::clicked, this, [this] {
        if (savedata()) {
            accept();
        }
    });
    // Esc and the title bar's close reject the dialog as well.
    connect(CancelBt, &QPushButton::clicked, this, &QDialog::reject);
}

OptionsDialog::~OptionsDialog() = default;

QWidget* OptionsDialog::buildGeneralTab() {
    auto* tab = new QWidget;
    timerbox1 = numberBox(tab, "timerbox1", "0ならﾁｪｯｸしません");
    option6 = checkBox(tab, "option6", "ｵﾌﾗｲﾝ時無効", "ｵﾌﾗｲﾝの時は指定時間ごとのﾁｪｯｸをしません");
    timerbox3 = numberBox(tab, "timerbox3", "この時間が経過すると次をチェックします");
    option3 =
        checkBox(tab, "option3", "ｴﾗｰﾒｯｾｰｼﾞは表示しない", "ｴﾗｰで接続できなくても報告しません");
    option4 = checkBox(tab, "option4", "起動時にｴｰｼﾞｪﾝﾄ表示", "起動時にエージェントを表示します");
    option5 = checkBox(tab, "option5", "起動時にﾒｰﾙ確認", "起動すると自動的にﾒｰﾙをﾁｪｯｸします");
    Check5 = checkBox(tab, "Check5", "読上げ後ｴｰｼﾞｪﾝﾄ非表示", nullptr);
    option7 = checkBox(tab, "option7", "チェック後に回線切断", "チェック完了後に回線を切断します");
    soption7 = checkBox(tab, "soption7", "新着メールがあるときは切断しない", nullptr);
    AgentBox = textBox(tab, "AgentBox", "使用するエージェントを指定してください");
    Command3 = browseButton(tab, "Command3");
    Notstrbox = textBox(tab, "Notstrbox", "メール中の以下の文字は読み上げません");

    auto* arrival = new QGroupBox(QStringLiteral("ﾒｰﾙ到着時"), tab);
    option1 = checkBox(arrival, "option1", "ﾎﾟｯﾌﾟｱｯﾌﾟ", "ﾎﾟｯﾌﾟｱｯﾌﾟを表示します");
    timerbox2 = numberBox(arrival, "timerbox2", "0ならﾎﾞﾀﾝを押さないと消えません");
    option2 = checkBox(arrival, "option2", "ｻｳﾝﾄﾞ", "音を鳴らします");
    Wavbox = textBox(arrival, "Wavbox", nullptr);
    Command2 = browseButton(arrival, "Command2");

    for (int i = 0; i < 2; ++i) {
        const auto n = static_cast<std::size_t>(i);
        Mailerbox[n] = textBox(tab, i == 0 ? "Mailerbox1" : "Mailerbox2",
                               "起動するﾒｰﾗｰの場所を指定してください");
        RefBt[n] = browseButton(tab, i == 0 ? "RefBt1" : "RefBt2");
        connect(RefBt[n], &QPushButton::clicked, this, [this, i] { chooseMailer(i); });
    }
    DialList = dropDown(tab, "DialList", "どの接続を使うか選択してください");
    DialList->setMinimumContentsLength(16);
    redialbox = numberBox(tab, "redialbox", "0ならﾘﾀﾞｲｱﾙしません");

    // Checking: the interval and the time-up on the left, what goes with them on the right.
    auto* checking = new QGridLayout;
    auto* interval = new QHBoxLayout;
    interval->addWidget(timerbox1);
    interval->addWidget(label(tab, "分おきにチェック"));
    interval->addStretch();
    auto* timeup = new QHBoxLayout;
    timeup->addWidget(label(tab, "タイムアップ"));
    timeup->addWidget(timerbox3);
    timeup->addWidget(label(tab, "分"));
    timeup->addStretch();
    checking->addLayout(interval, 0, 0);
    checking->addWidget(option6, 0, 1);
    checking->addLayout(timeup, 1, 0);
    checking->addWidget(option3, 1, 1);
    checking->addWidget(option4, 2, 0);
    checking->addWidget(option5, 2, 1);
    checking->addWidget(Check5, 3, 0);
    checking->addWidget(option7, 4, 0);
    checking->addWidget(soption7, 4, 1);
    checking->setColumnStretch(0, 1);
    checking->setColumnStretch(1, 1);

    auto* arrivalLayout = new QGridLayout(arrival);
    auto* popup = new QHBoxLayout;
    popup->addWidget(timerbox2);
    popup->addWidget(label(arrival, "秒後に閉じる"));
    popup->addStretch();
    arrivalLayout->addWidget(option1, 0, 0);
    arrivalLayout->addLayout(popup, 0, 1, 1, 3);
    arrivalLayout->addWidget(option2, 1, 0);
    arrivalLayout->addWidget(label(arrival, "WAVﾌｧｲﾙの場所:"), 1, 1);
    arrivalLayout->addWidget(Wavbox, 1, 2);
    arrivalLayout->addWidget(Command2, 1, 3);
    arrivalLayout->setColumnStretch(2, 1);

    // In the order of keyboard focus: the character, the characters left unread, what
    // happens on arrival, then the mail programs with their labels, boxes and "..." aligned.
    auto* paths = new QGridLayout;
    paths->addWidget(label(tab, "ｴｰｼﾞｪﾝﾄ:"), 0, 0);
    paths->addWidget(AgentBox, 0, 1);
    paths->addWidget(Command3, 0, 2);
    auto* notstr = new QHBoxLayout;
    notstr->addWidget(label(tab, "表示、読み上げをしない文字:"));
    notstr->addWidget(Notstrbox, 1);
    paths->addLayout(notstr, 1, 0, 1, 3);
    paths->addWidget(arrival, 2, 0, 1, 3);
    paths->addWidget(label(tab, "ﾒｰﾗｰ1:"), 3, 0);
    paths->addWidget(Mailerbox[0], 3, 1);
    paths->addWidget(RefBt[0], 3, 2);
    paths->addWidget(label(tab, "ﾒｰﾗｰ2:"), 4, 0);
    paths->addWidget(Mailerbox[1], 4, 1);
    paths->addWidget(RefBt[1], 4, 2);
    paths->setColumnStretch(1, 1);

    auto* dial = new QHBoxLayout;
    dial->addWidget(label(tab, "使用する接続:"));
    dial->addWidget(DialList, 1);
    dial->addSpacing(24);
    dial->addWidget(label(tab, "ﾘﾀﾞｲｱﾙ:"));
    dial->addWidget(redialbox);
    dial->addStretch();

    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(checking);
    layout->addSpacing(6);
    layout->addLayout(paths);
    layout->addLayout(dial);
    layout->addStretch();

    connect(Command2, &QPushButton::clicked, this, &OptionsDialog::chooseWav);
    connect(Command3, &QPushButton::clicked, this, &OptionsDialog::chooseAgent);
    connect(option1, &QCheckBox::clicked, this, [this] {
        if (!option1->isChecked()) {
            timerbox2->setText(QStringLiteral("0"));
        }
        applyDependencies();
    });
    connect(option7, &QCheckBox::clicked, this, [this] {
        if (!option7->isChecked()) {
            soption7->setChecked(false);
        }
        applyDependencies();
    });
    return tab;
}

QWidget* OptionsDialog::buildSpeechTab() {
    static constexpr const char* kRowLabels[6] = {"最初",   "ﾒｰﾙ毎1", "ﾒｰﾙ毎2",
                                                  "ﾒｰﾙ毎3", "ﾒｰﾙ毎4", "最後"};
    static constexpr const char* kTemplateTips[6] = {
        "メール到着時、再度読み上げ時の最初に一度だけ読み上げられます",
        "メール一通毎に読み上げられます",
        "メール一通毎に読み上げられます",
        "メール一通毎に読み上げられます",
        "メール一通毎に読み上げられます",
        "全てのメールの読み上げ終了後に読み上げられます"};
    // The keys follow the control names: rows 3 and 5 are Check2 and Check1.
    static constexpr const char* kSpeakBoxes[6] = {"option8", "option9", "Check2",
                                                   "Check3",  "Check1",  "Check4"};
    auto* tab = new QWidget;
    auto* rows = new QGridLayout;
    for (int i = 0; i < 6; ++i) {
        const auto n = static_cast<std::size_t>(i);
        Text1[n] = textBox(tab, qPrintable(QStringLiteral("Text1_%1").arg(i)), kTemplateTips[n]);
        speakBoxes_[n] = checkBox(tab, kSpeakBoxes[n], "読み上げ", "チェックすると読み上げます");
        Combo1[n] = dropDown(tab, qPrintable(QStringLiteral("Combo1_%1").arg(i)), nullptr);
        Combo1[n]->setMinimumContentsLength(18);
        Command4[n] =
            button(tab, qPrintable(QStringLiteral("Command4_%1").arg(i)), "Play", nullptr);
        connect(Command4[n], &QPushButton::clicked, this, [this, i] { playAction(i); });

        auto* action = new QHBoxLayout;
        action->addWidget(Combo1[n]);
        action->addWidget(Command4[n]);
        action->addStretch();
        rows->addWidget(label(tab, kRowLabels[n]), 2 * i, 0);
        rows->addWidget(Text1[n], 2 * i, 1);
        rows->addWidget(speakBoxes_[n], 2 * i, 2);
        rows->addLayout(action, 2 * i + 1, 1, 1, 2);
        rows->setRowMinimumHeight(2 * i + 1, 0);
    }
    rows->setColumnStretch(1, 1);
    rows->setVerticalSpacing(4);

    auto* variables = new QGroupBox(QStringLiteral("変数一覧"), tab);
    auto* variableLayout = new QGridLayout(variables);
    static constexpr const char* kVariables[6] = {
        "@1 ・・・ メール総数", "@2 ・・・ アカウント", "@3 ・・・ アカウント別メール番号",
        "@4 ・・・ 差出人",     "@5 ・・・ 件名",       "@6 ・・・ 本文"};
    for (int i = 0; i < 6; ++i) {
        variableLayout->addWidget(label(variables, kVariables[i]), i % 3, i / 3);
    }
    talkcntbox = numberBox(variables, "talkcntbox", "指定された行数読み上げます");
    auto* lines = new QHBoxLayout;
    lines->addWidget(label(variables, "（読み上げ行数"));
    lines->addWidget(talkcntbox);
    lines->addWidget(label(variables, "行）"));
    lines->addStretch();
    variableLayout->addLayout(lines, 2, 2);
    variableLayout->setColumnStretch(2, 1);

    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(rows);
    layout->addWidget(variables);
    layout->addStretch();
    return tab;
}

QWidget* OptionsDialog::buildAccountTab() {
    auto* tab = new QWidget;
    accountList = new QTableWidget(0, 2, tab);
    accountList->setObjectName(QStringLiteral("accountList"));
    accountList->setToolTip(QStringLiteral("ﾀﾞﾌﾞﾙｸﾘｯｸは編集と同じです"));
    // Two columns under one fixed, empty header row.
    accountList->setHorizontalHeaderLabels({QString(), QString()});
    accountList->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    accountList->horizontalHeader()->setHighlightSections(false);
    accountList->verticalHeader()->hide();
    accountList->setSelectionBehavior(QAbstractItemView::SelectRows);
    accountList->setSelectionMode(QAbstractItemView::SingleSelection);
    accountList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    accountList->setWordWrap(false);
    // A list of whole rows: Tab leaves it for "追加", "編集" and "削除" instead of walking
    // its cells (and choosing another account on the way).
    accountList->setTabKeyNavigation(false);
    accountList->setItemDelegate(new AccountRowDelegate(accountList));

    addbutton = button(tab, "addbutton", "追加", "ｱｶｳﾝﾄを新しく追加します");
    editbutton = button(tab, "editbutton", "編集", "選択したｱｶｳﾝﾄの登録情報を編集します");
    delbutton = button(tab, "delbutton", "削除", "選択したｱｶｳﾝﾄを削除します");
    for (QPushButton* b : {addbutton, editbutton, delbutton}) {
        b->setAutoDefault(false);
    }
    editbutton->setEnabled(false);
    delbutton->setEnabled(false);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(addbutton);
    buttons->addWidget(editbutton);
    buttons->addWidget(delbutton);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(tab);
    layout->addWidget(accountList, 1);
    layout->addLayout(buttons);

    connect(accountList, &QTableWidget::pressed, this,
            [this](const QModelIndex& index) { chooseAccountRow(index.row()); });
    // Keyboard moves choose a row too, so edit and delete never act on another row than
    // the one the user sees chosen.
    connect(accountList, &QTableWidget::currentCellChanged, this, [this](int row) {
        if (!settingAccountRow_ && row >= 0) {
            chooseAccountRow(row);
        }
    });
    connect(accountList, &QTableWidget::doubleClicked, this, [this](const QModelIndex& index) {
        chooseAccountRow(index.row());
        openAccountEditor(true);
    });
    connect(addbutton, &QPushButton::clicked, this, [this] { openAccountEditor(false); });
    connect(editbutton, &QPushButton::clicked, this, [this] { openAccountEditor(true); });
    connect(delbutton, &QPushButton::clicked, this, &OptionsDialog::deleteAccount);
    return tab;
}

QWidget* OptionsDialog::buildAgentTab() {
    auto* tab = new QWidget;
    scr_Vol = new QScrollBar(Qt::Horizontal, tab);
    scr_Vol->setObjectName(QStringLiteral("scr_Vol"));
    scr_Vol->setRange(kVolumeBarMinimum, kVolumeBarMaximum);
    scr_Vol->setSingleStep(512);
    scr_Vol->setPageStep(4096);
    txt_Vol = textBox(tab, "txt_Vol", nullptr);
    txt_Vol->setFixedWidth(txt_Vol->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) +
                           12);
    txt_Vol->setAlignment(Qt::AlignRight);
    scr_Pitch = new QScrollBar(Qt::Horizontal, tab);
    scr_Pitch->setObjectName(QStringLiteral("scr_Pitch"));
    scr_Pitch->setRange(kPitchBarMinimum, kPitchBarMaximum);
    scr_Pitch->setSingleStep(1);
    scr_Pitch->setPageStep(10);

    auto* bars = new QGridLayout;
    bars->addWidget(label(tab, "読み上げ時音量:",
                          "読上げ時の音量を設定します(マスターボリュームが0の時は無効になります)"),
                    0, 0);
    bars->addWidget(scr_Vol, 0, 1);
    bars->addWidget(txt_Vol, 0, 2);
    bars->addWidget(label(tab, "読み上げ速度:", "読み上げる速さを設定します"), 1, 0);
    bars->addWidget(scr_Pitch, 1, 1);
    bars->setColumnStretch(1, 1);

    auto* balloon = new QGroupBox(QStringLiteral("フキダシの設定"), tab);
    Combo2 = dropDown(balloon, "Combo2", nullptr);
    Combo2->setMinimumContentsLength(20);
    Combo3 = dropDown(balloon, "Combo3", nullptr);
    fillQuietly(Combo3, [this] {
        for (int size : kBalloonFontSizes) {
            Combo3->addItem(QString::number(size));
        }
    });
    lbl_Sample = new QLabel(QStringLiteral("サンプル画面"), balloon);
    lbl_Sample->setObjectName(QStringLiteral("lbl_Sample"));
    lbl_Sample->setFrameStyle(QFrame::Box | QFrame::Plain);
    lbl_Sample->setAlignment(Qt::AlignCenter);
    lbl_Sample->setFixedHeight(140);
    lbl_Sample->setAutoFillBackground(true);
    QPalette samplePalette = lbl_Sample->palette();
    samplePalette.setColor(QPalette::Window, Qt::white);
    samplePalette.setColor(QPalette::WindowText, Qt::black);
    lbl_Sample->setPalette(samplePalette);

    auto* fonts = new QHBoxLayout;
    fonts->addWidget(label(balloon, "ﾌｫﾝﾄ:"));
    fonts->addWidget(Combo2, 1);
    fonts->addSpacing(16);
    fonts->addWidget(label(balloon, "ｻｲｽﾞ:"));
    fonts->addWidget(Combo3);
    auto* balloonLayout = new QVBoxLayout(balloon);
    balloonLayout->addLayout(fonts);
    balloonLayout->addWidget(lbl_Sample);
    balloonLayout->addWidget(label(balloon, "フキダシの設定は次回起動時に有効になります"));

    auto* layout = new QVBoxLayout(tab);
    layout->addLayout(bars);
    layout->addSpacing(8);
    layout->addWidget(balloon);
    layout->addStretch();

    connect(scr_Vol, &QScrollBar::valueChanged, this,
            [this](int position) { txt_Vol->setText(qs(volumeText(position))); });
    // A volume typed into the box moves the bar, without rewriting what was typed.
    connect(txt_Vol, &QLineEdit::textEdited, this, [this](const QString& typed) {
        if (auto value = parseInt32(utf8(typed))) {
            const QSignalBlocker quiet(scr_Vol);
            scr_Vol->setValue(volumeBarPosition(*value));
        }
    });
    connect(scr_Pitch, &QScrollBar::valueChanged, this,
            [this](int position) { form_.Pitchval = static_cast<int16_t>(position); });
    connect(Combo2, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0) {
            return;
        }
        form_.HukifontN = utf8(Combo2->itemText(index));
        QFont font = lbl_Sample->font();
        font.setFamily(Combo2->itemText(index));
        lbl_Sample->setFont(font);
    });
    connect(Combo3, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0) {
            return;
        }
        form_.HukifontS = static_cast<int16_t>(kBalloonFontSizes[static_cast<std::size_t>(index)]);
        QFont font = lbl_Sample->font();
        font.setPointSize(form_.HukifontS);
        lbl_Sample->setFont(font);
    });
    return tab;
}

void OptionsDialog::loaddata() {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    ++waitCursorDepth_;

    // The connection list, from the last enumerated entry to the first.
    const std::vector<std::string> entries =
        dialListEntries(s_.listDialEntries ? s_.listDialEntries() : std::vector<std::string>{});
    fillQuietly(DialList, [&] {
        const QSignalBlocker quiet(DialList);
        DialList->clear();
        for (const std::string& entry : entries) {
            DialList->addItem(qs(entry));
        }
    });

    accounts_.load();
    fillAccountList();

    form_ = loadOptionsForm(s_.store, s_.agentDefault);
    if (isFile(form_.Agentnm)) {
        agentLoaded_ = false;
        SetAgent();
    } else {
        showBox(MessageIcon::Warning,
                "エージェントが見つかりません\r\nエージェントを指定して下さい");
    }
    showForm();
    setAccountColumnWidths();

    --waitCursorDepth_;
    QGuiApplication::restoreOverrideCursor();
}

std::array<QCheckBox*, kFlagBoxCount> OptionsDialog::flagBoxes() const {
    // In the order of FlagBox; the speech rows hold option8, option9, Check2, Check3, Check1,
    // Check4.
    return {option1,        option2,        option3,        option4,        option5,
            option6,        option7,        soption7,       Check5,         speakBoxes_[0],
            speakBoxes_[1], speakBoxes_[4], speakBoxes_[2], speakBoxes_[3], speakBoxes_[5]};
}

void OptionsDialog::showForm() {
    const auto boxes = flagBoxes();
    for (std::size_t i = 0; i < kFlagBoxCount; ++i) {
        boxes[i]->setChecked(form_.flags[i]);
    }
    timerbox1->setText(qs(form_.number(NumberBox::timerbox1)));
    timerbox2->setText(qs(form_.number(NumberBox::timerbox2)));
    timerbox3->setText(qs(form_.number(NumberBox::timerbox3)));
    redialbox->setText(qs(form_.number(NumberBox::redialbox)));
    Mailerbox[0]->setText(qs(form_.Mailerdir1));
    Mailerbox[1]->setText(qs(form_.Mailerdir2));
    Wavbox->setText(qs(form_.Wavdir));
    AgentBox->setText(qs(form_.Agentnm));
    talkcntbox->setText(qs(form_.number(NumberBox::talkcntbox)));
    Notstrbox->setText(qs(form_.Notstr));
    for (std::size_t i = 0; i < 6; ++i) {
        Text1[i]->setText(qs(form_.Talkstr[i]));
    }
    // Long paths and the character list read from their beginning.
    for (QLineEdit* box : findChildren<QLineEdit*>()) {
        box->setCursorPosition(0);
    }

    // The bars show the nearest end of a value they cannot hold; the working values keep it.
    {
        const QSignalBlocker quietVolume(scr_Vol);
        const QSignalBlocker quietPitch(scr_Pitch);
        txt_Vol->setText(qs(form_.number(NumberBox::txt_Vol)));
        scr_Vol->setValue(
            volumeBarPosition(parseInt32(form_.number(NumberBox::txt_Vol)).value_or(30000)));
        scr_Pitch->setValue(pitchBarPosition(form_.Pitchval));
    }

    {
        const QSignalBlocker quietFonts(Combo2);
        const QSignalBlocker quietSizes(Combo3);
        const std::vector<std::string> fonts = balloonFontNames(s_.fontFamilies);
        fillQuietly(Combo2, [&] {
            Combo2->clear();
            for (const std::string& name : fonts) {
                Combo2->addItem(qs(name));
            }
        });
        const auto font = firstIndexOf(fonts, form_.HukifontN);
        Combo2->setCurrentIndex(font ? static_cast<int>(*font) : -1);
        const int size = Combo3->findText(QString::number(form_.HukifontS), Qt::MatchExactly);
        Combo3->setCurrentIndex(size);
    }
    QFont sample = lbl_Sample->font();
    sample.setFamily(qs(form_.HukifontN));
    if (form_.HukifontS > 0) {
        sample.setPointSize(form_.HukifontS);
    }
    lbl_Sample->setFont(sample);

    DialList->setCurrentIndex(
        form_.Defdialno >= 0 && form_.Defdialno < DialList->count() ? form_.Defdialno : -1);
    applyDependencies();
}

OptionsForm OptionsDialog::formFromControls() const {
    OptionsForm form = form_;
    const auto boxes = flagBoxes();
    for (std::size_t i = 0; i < kFlagBoxCount; ++i) {
        form.flags[i] = boxes[i]->isChecked();
    }
    form.number(NumberBox::timerbox1) = utf8(timerbox1->text());
    form.number(NumberBox::timerbox2) = utf8(timerbox2->text());
    form.number(NumberBox::timerbox3) = utf8(timerbox3->text());
    form.number(NumberBox::redialbox) = utf8(redialbox->text());
    form.number(NumberBox::talkcntbox) = utf8(talkcntbox->text());
    form.number(NumberBox::txt_Vol) = utf8(txt_Vol->text());
    form.Agentnm = utf8(AgentBox->text());
    form.Notstr = utf8(Notstrbox->text());
    for (std::size_t i = 0; i < 6; ++i) {
        form.Talkstr[i] = utf8(Text1[i]->text());
        form.selectedAction[i] = Combo1[i]->currentIndex() >= 0
                                     ? std::optional(utf8(Combo1[i]->currentText()))
                                     : std::nullopt;
    }
    form.Mailerdir1 = utf8(Mailerbox[0]->text());
    form.Mailerdir2 = utf8(Mailerbox[1]->text());
    form.Wavdir = utf8(Wavbox->text());
    // The list has no selection only when it could not show the stored entry (no dial-up
    // entries now, or fewer than before): the stored choice stays rather than becoming -1.
    if (DialList->currentIndex() >= 0) {
        form.Defdialno = static_cast<int16_t>(DialList->currentIndex());
    }
    form.accountno = accounts_.count();
    return form;
}

bool OptionsDialog::savedata() {
    const OptionsForm form = formFromControls();
    try {
        if (auto error = saveOptionsForm(s_.store, form)) {
            showBox(MessageIcon::Warning, error->message);
            focusNumberBox(error->box);
            return false;
        }
    } catch (const SettingsStoreError& error) {
        showBox(MessageIcon::Stop, std::string("設定を保存できませんでした\r\n") + error.what());
        return false;
    }
    return true;
}

void OptionsDialog::focusNumberBox(NumberBox box) {
    QLineEdit* edits[kNumberBoxCount] = {timerbox1, timerbox2,  timerbox3,
                                         redialbox, talkcntbox, txt_Vol};
    const int tabs[kNumberBoxCount] = {kGeneralTab, kGeneralTab, kGeneralTab,
                                       kGeneralTab, kSpeechTab,  kAgentTab};
    const auto n = static_cast<std::size_t>(box);
    tabs_->setCurrentIndex(tabs[n]);
    edits[n]->setFocus();
    edits[n]->selectAll();
}

bool OptionsDialog::SetAgent() {
    const PreviewLoad result = s_.preview.load(form_.Agentnm);
    if (!result.loaded) {
        // The previous character and its lists stay.
        std::string text = "エージェントを読み込めませんでした\r\n" + form_.Agentnm;
        if (!result.reason.empty()) {
            text += "\r\n" + result.reason;
        }
        showBox(MessageIcon::Warning, text);
        return false;
    }
    agentLoaded_ = true;
    const PreviewPoint point = previewPosition(s_.store, s_.screen);
    s_.preview.showAt(point.left, point.top);

    const std::vector<std::string> entries = actionEntries(result.animationNames);
    for (std::size_t i = 0; i < 6; ++i) {
        QComboBox* list = Combo1[i];
        fillQuietly(list, [&] {
            list->clear();
            for (const std::string& entry : entries) {
                list->addItem(qs(entry));
            }
            const auto stored = firstIndexOf(entries, form_.Actkind[i]);
            list->setCurrentIndex(stored ? static_cast<int>(*stored) : -1);
        });
    }
    return true;
}

void OptionsDialog::playAction(int row) {
    QComboBox* list = Combo1[static_cast<std::size_t>(row)];
    if (!agentLoaded_ || list->currentIndex() < 0) {
        return;
    }
    s_.preview.play(utf8(list->currentText()));
}

void OptionsDialog::showVersion() {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"), qs(versionBoxText()),
                    QMessageBox::Ok, this);
    box.exec();
}

void OptionsDialog::applyDependencies() {
    timerbox2->setEnabled(option1->isChecked());
    soption7->setEnabled(option7->isChecked());
}

void OptionsDialog::chooseWav() {
    const QString path =
        s_.choosers.chooseFile(this, {QStringLiteral("WAVﾌｧｲﾙ"), QStringLiteral("*.wav"), false},
                               s_.programFolder, QStringLiteral("WAVﾌｧｲﾙの選択"));
    if (!path.isEmpty()) {
        Wavbox->setText(path);
    }
}

void OptionsDialog::chooseAgent() {
    const QString path = s_.choosers.chooseFile(
        this, {QStringLiteral("エージェント"), QStringLiteral("*.acs"), false}, s_.characterFolder,
        QStringLiteral("エージェントの選択"));
    if (path.isEmpty()) {
        return;
    }
    const QString previous = AgentBox->text();
    const std::string previousAgent = form_.Agentnm;
    AgentBox->setText(path);
    form_.Agentnm = utf8(path);
    if (!SetAgent()) {
        // The previous character stays, and with it the file that names it.
        AgentBox->setText(previous);
        form_.Agentnm = previousAgent;
    }
}

void OptionsDialog::chooseMailer(int index) {
    const QString path =
        s_.choosers.chooseFile(this, {QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝ"), QString(), true},
                               s_.programFolder, QStringLiteral("ﾒｰﾗｰの選択"));
    if (!path.isEmpty()) {
        Mailerbox[static_cast<std::size_t>(index)]->setText(path);
    }
}

void OptionsDialog::fillAccountList() {
    fillQuietly(accountList, [this] {
        settingAccountRow_ = true;
        accountList->setRowCount(0);
        for (int16_t row = 1; row <= accounts_.count(); ++row) {
            showAccountRow(row);
        }
        settingAccountRow_ = false;
        if (accounts_.count() > 0) {
            markAccountRow(accounts_.count());
        }
    });
}

void OptionsDialog::markAccountRow(int16_t row) {
    // The row becomes the list's current row; it shows as chosen only while edit and delete
    // act on it.
    const auto mode = accounts_.editAndDeleteEnabled()
                          ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
                          : QItemSelectionModel::Clear;
    settingAccountRow_ = true;
    accountList->selectionModel()->setCurrentIndex(accountList->model()->index(row - 1, 0), mode);
    settingAccountRow_ = false;
}

void OptionsDialog::showAccountRow(int16_t row) {
    const Account& account = accounts_.accounts()[static_cast<std::size_t>(row - 1)];
    if (accountList->rowCount() < row) {
        accountList->setRowCount(row);
    }
    const Rgb text = rgbOf(account.Scolor1);
    const Rgb background = rgbOf(account.Scolor2);
    const std::string cells[2] = {accountRowText(account), accountMark(account)};
    for (int column = 0; column < 2; ++column) {
        auto* item = new QTableWidgetItem(qs(cells[column]));
        item->setForeground(QColor(text.red, text.green, text.blue));
        item->setBackground(QColor(background.red, background.green, background.blue));
        if (column == 1) {
            item->setTextAlignment(Qt::AlignCenter);
        }
        accountList->setItem(row - 1, column, item);
    }
}

void OptionsDialog::setAccountColumnWidths() {
    const AccountColumnWidths widths = accountColumnWidths(accounts_.count());
    const int twips = s_.screen.twipsPerPixelX > 0 ? s_.screen.twipsPerPixelX : 15;
    accountList->setColumnWidth(0, (widths.name + twips / 2) / twips);
    accountList->setColumnWidth(1, (widths.mark + twips / 2) / twips);
}

void OptionsDialog::chooseAccountRow(int row) {
    if (row < 0 || row >= accounts_.count()) {
        return;
    }
    accounts_.choose(static_cast<int16_t>(row + 1));
    updateAccountButtons();
}

void OptionsDialog::openAccountEditor(bool editMode) {
    AccountForm editor(this, s_.choosers, s_.messageBoxes,
                       [this, editMode](const Account& account) -> std::optional<std::string> {
                           try {
                               const int16_t row = accounts_.store(editMode, account);
                               showAccountRow(row);
                               markAccountRow(row);
                           } catch (const AccountSaveError& error) {
                               return error.what();
                           } catch (const SettingsStoreError& error) {
                               return std::string("ｱｶｳﾝﾄを保存できませんでした\r\n") + error.what();
                           }
                           return std::nullopt;
                       });
    if (editMode) {
        editor.intoform(accounts_.accountToEdit());
    }
    editor.exec();
}

void OptionsDialog::deleteAccount() {
    std::optional<int16_t> removed;
    try {
        removed = accounts_.removeChosen();
    } catch (const SettingsStoreError& error) {
        // The renumbering may have stopped half-way: show the accounts as they are stored.
        accounts_.load();
        fillAccountList();
        showBox(MessageIcon::Stop, std::string("ｱｶｳﾝﾄを削除できませんでした\r\n") + error.what());
        return;
    }
    if (removed) {
        settingAccountRow_ = true;
        accountList->removeRow(*removed - 1);
        accountList->clearSelection();
        settingAccountRow_ = false;
    }
    // The button goes disabled; the keyboard goes back to the list, not on to the next
    // button outside the tab, which Enter would then press instead of OK.
    if (delbutton->hasFocus()) {
        accountList->setFocus();
    }
    updateAccountButtons();
}

void OptionsDialog::updateAccountButtons() {
    editbutton->setEnabled(accounts_.editAndDeleteEnabled());
    delbutton->setEnabled(accounts_.editAndDeleteEnabled());
}

void OptionsDialog::showBox(MessageIcon icon, const std::string& text) {
    // The box wants the ordinary pointer even while the dialog is loading.
    for (int i = 0; i < waitCursorDepth_; ++i) {
        QGuiApplication::restoreOverrideCursor();
    }
    s_.messageBoxes.show(icon, kProductName, text);
    for (int i = 0; i < waitCursorDepth_; ++i) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
}

}  // namespace velkora
