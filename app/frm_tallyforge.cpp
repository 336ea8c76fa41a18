#include "app/frm_tallyforge.h"

#include "app/about_texts.h"
#include "app/add_command.h"
#include "app/box_names.h"
#include "app/command_button.h"
#include "app/create_command.h"
#include "app/frame.h"
#include "app/message_dialog.h"
#include "app/number_box.h"
#include "app/open_command.h"
#include "app/option_button.h"
#include "app/qt_platform.h"
#include "app/shortcut_passthrough.h"
#include "app/unit_list.h"

#include "trigfile/game_limits.h"
#include "trigfile/leading_number.h"
#include "trigfile/trigger_series.h"

#include <QAccessible>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStyleOption>
#include <QTimer>

namespace {

// The layout is measured in twips, 15 to a pixel at 96 dots per inch, from
// the top-left corner of the control's container.
QRect twips(int left, int top, int width, int height) {
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

constexpr int kCheckHeight = 255;  // check boxes and option buttons
constexpr int kKillBoxLimit = 7;   // kill step, kill maximum, amounts
constexpr int kUnitBoxLimit = 3;   // unit numbers never pass three digits
constexpr int kSwitchBoxLimit = 3; // switch numbers run to 256
static_assert(trigfile::kHighestUnitNumber < 1000 && trigfile::kSwitchCount < 1000,
              "the highest unit and switch numbers fit their boxes");

// What a too-high switch or unit number becomes, as the box shows it.
QString highestSwitchText() {
    return QString::number(trigfile::kSwitchCount);
}
QString unitReplacingTooHighText() {
    return QString::number(trigfile::kUnitReplacingTooHigh);
}

QFont windowFont(int points, bool bold) {
    QFont font;
    // The program was drawn for MS Sans Serif; where it is missing, a sans
    // serif of the same size and weight stands in. The narrower families
    // come first so that the captions still fit their boxes.
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Helvetica"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(points);
    font.setBold(bold);
    return font;
}

// Check marks and option marks with their caption as close as the program
// has always drawn them; the wider gap of most widget styles would push the
// longest captions ("Units and Buildings") out of their boxes. The focus
// outline is a dotted white line: the styles' own outlines are drawn for a
// light ground and all but vanish on black.
class CloseMarksStyle : public QProxyStyle {
  public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (metric == PM_CheckBoxLabelSpacing || metric == PM_RadioButtonLabelSpacing) {
            return 3;
        }
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        if (element != PE_FrameFocusRect) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        // As the styles do: the outline shows once the keyboard has been used.
        if (!(option->state & State_KeyboardFocusChange)) {
            return;
        }
        painter->save();
        painter->setPen(QPen(Qt::white, 1, Qt::DotLine));
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
        painter->restore();
    }
};

// Colours of a box: its background and its text.
void colourBox(QWidget* widget, const QColor& background, const QColor& text) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Text, text);
    widget->setPalette(palette);
}

// The client area: frames, labels, option buttons and check boxes are white
// on black; check marks and option marks are black in white boxes. Every
// colour is the window's own, so that a dark desktop scheme cannot turn the
// marks dark on the black ground.
void colourClientArea(QWidget* client) {
    QPalette palette = client->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, Qt::white);
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::Text, Qt::black);
    client->setPalette(palette);
    client->setAutoFillBackground(true);
}

// A scroll bar in the classic light grey with black arrows, whatever the
// desktop's scheme and the black list it scrolls.
void colourScrollBar(QWidget* scrollBar) {
    scrollBar->setPalette(QPalette(QColor(212, 208, 200)));
}

template <typename Widget> Widget* place(Widget* widget, const char* name, const QRect& geometry) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

QLabel* caption(QWidget* container, const char* name, const char* text, int left, int top) {
    auto* label =
        place(new QLabel(QString::fromLatin1(text), container), name, twips(left, top, 1215, 495));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

NumberBox* numberBox(QWidget* container, const char* name, NumberBox::Lines lines, int limit,
                     const QRect& geometry) {
    auto* box = place(new NumberBox(lines, limit, container), name, geometry);
    box->setFont(windowFont(12, true));
    colourBox(box, Qt::white, Qt::black);
    return box;
}

} // namespace

// One row of the action-type table: what each kind makes of the "Actions"
// frame. The captions are the core's, so that a refusal names the box the
// user sees.
struct frmTallyforge::ActionRow {
    int amountLimit;
    bool scoreKindsShown;
    const char* amountCaption;
    bool gasShown;
};

frmTallyforge::frmTallyforge(Platform& platform, QWidget* parent)
    : QMainWindow(parent), platform_(platform),
      folder_(initialSaveFolder()), cdbsave{QStringLiteral("Save as"),
                                            QStringLiteral("Triggers.trg"), initialSaveFolder(),
                                            QStringLiteral("Starcraft triggers (*.trg)|*.trg*")},
      cdbopen{QString::fromLatin1(opentexts::kOpenTitle), initialSaveFolder(),
              QString::fromLatin1(opentexts::kOpenFilter)},
      cdbaddtrg(AddCommand::dialogueFor(AddCommand::Into::TriggerFile, initialSaveFolder())),
      cdbaddmap(AddCommand::dialogueFor(AddCommand::Into::Map, initialSaveFolder())) {
    setObjectName(QStringLiteral("frmTallyforge"));
    setWindowTitle(QStringLiteral("Tallyforge"));
    setWindowIcon(QIcon(QStringLiteral(":/icon.png")));
    // A fixed single border: the close box and system menu, nothing to
    // minimise, maximise or resize.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    client->setFixedSize(675, 289);
    client->setFont(windowFont(8, false));
    colourClientArea(client);
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    buildMenu();
    Picture1 = place(new QLabel(client), "Picture1", twips(120, 0, 5775, 735));
    Picture1->setPixmap(QPixmap(QStringLiteral(":/banner.jpg")));
    Picture1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    buildConditions(client);
    buildActionType(client);
    buildActions(client);
    buildButtons(client);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);

    auto* marks = new CloseMarksStyle;
    marks->setParent(this);
    for (QAbstractButton* button : client->findChildren<QAbstractButton*>()) {
        if (button->inherits("QCheckBox") || button->inherits("QRadioButton")) {
            button->setStyle(marks);
        }
    }

    connectHandlers();
    buildTabOrder();
    Form_Load();
    txtkillamount->setFocus();
}

void frmTallyforge::buildMenu() {
    // File comes first, left of Help; the menu bar keeps its height, so the
    // client area keeps its size.
    titlefile = menuBar()->addMenu(QStringLiteral("&File"));
    titlefile->setObjectName(QStringLiteral("titlefile"));
    menuopen = titlefile->addAction(QStringLiteral("&Open..."));
    menuopen->setObjectName(QStringLiteral("menuopen"));
    menuopen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    titlefile->addSeparator();
    menuaddtrg = titlefile->addAction(QStringLiteral("A&dd to trigger file..."));
    menuaddtrg->setObjectName(QStringLiteral("menuaddtrg"));
    menuaddmap = titlefile->addAction(QStringLiteral("Add to &map..."));
    menuaddmap->setObjectName(QStringLiteral("menuaddmap"));
    for (QAction* add : {menuaddtrg, menuaddmap}) {
        add->setEnabled(false); // the poll enables them with Create
    }
    titlefile->setToolTipsVisible(true); // why an Add is greyed
    titlefile->addSeparator();
    // Checked while a message is set, so the menu says so.
    menumessage = titlefile->addAction(QString::fromLatin1(messagetexts::kMenuText));
    menumessage->setObjectName(QStringLiteral("menumessage"));
    menumessage->setCheckable(true);
    titlehelp = menuBar()->addMenu(QStringLiteral("&Help"));
    titlehelp->setObjectName(QStringLiteral("titlehelp"));
    menuhelp = titlehelp->addAction(QStringLiteral("&Help"));
    menuhelp->setObjectName(QStringLiteral("menuhelp"));
    menuhelp->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    menuabout = titlehelp->addAction(QStringLiteral("&About"));
    menuabout->setObjectName(QStringLiteral("menuabout"));
    menuabout->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
}

void frmTallyforge::buildConditions(QWidget* client) {
    Frame2 = place(new Frame(QStringLiteral("Conditions"), client), "Frame2",
                   twips(120, 720, 6495, 3495));
    Frame3 =
        place(new Frame(QStringLiteral("Players"), Frame2), "Frame3", twips(120, 240, 2295, 3135));

    for (int i = 0; i < 8; ++i) {
        const QString name = QStringLiteral("chkp%1").arg(i + 1);
        chkp[i] = new QCheckBox(QStringLiteral("Player %1").arg(i + 1), Frame3);
        chkp[i]->setObjectName(name);
        chkp[i]->setGeometry(twips(120, 240 + 360 * i, 975, kCheckHeight));
    }
    for (int i = 0; i < 4; ++i) {
        chkf[i] = new QCheckBox(QStringLiteral("Force %1").arg(i + 1), Frame3);
        chkf[i]->setObjectName(QStringLiteral("chkf%1").arg(i + 1));
        chkf[i]->setGeometry(twips(1080, 240 + 600 * i, 855, kCheckHeight));
    }
    chkap = place(new QCheckBox(QStringLiteral("All Players"), Frame3), "chkap",
                  twips(1080, 2760, 1095, kCheckHeight));

    Label1 = caption(Frame2, "Label1", boxnames::kKillStepCaption, 2520, 240);
    txtkillamount = numberBox(Frame2, "txtkillamount", NumberBox::Lines::Single, kKillBoxLimit,
                              twips(2520, 720, 1215, 495));
    Label2 = caption(Frame2, "Label2", boxnames::kKillMaxCaption, 2520, 1320);
    txtkillsupto = numberBox(Frame2, "txtkillsupto", NumberBox::Lines::Multi, kKillBoxLimit,
                             twips(2520, 1800, 1215, 495));
    Label4 = caption(Frame2, "Label4", boxnames::kUnitCaption, 2520, 2400);
    txtunittype = numberBox(Frame2, "txtunittype", NumberBox::Lines::Single, kUnitBoxLimit,
                            twips(2520, 2880, 1215, 450));
    txtunittype->setText(unitReplacingTooHighText());
    // Each caption names its box, for screen readers too.
    Label1->setBuddy(txtkillamount);
    Label2->setBuddy(txtkillsupto);
    Label4->setBuddy(txtunittype);

    txtunitlist = place(new UnitList(Frame2), "txtunitlist", twips(3840, 360, 2535, 3015));
    colourBox(txtunitlist, Qt::black, Qt::white);
    colourScrollBar(txtunitlist->verticalScrollBar());
    txtunitlist->setAccessibleName(QStringLiteral("Unit list"));
    txtunitlist->setAccessibleDescription(
        QStringLiteral("Unit numbers and names, for the box \"%1\"")
            .arg(QString::fromLatin1(boxnames::kUnitCaption)));
}

void frmTallyforge::buildActionType(QWidget* client) {
    Frame1 = place(new Frame(QStringLiteral("Action Type"), client), "Frame1",
                   twips(6720, 0, 3255, 615));
    optcash = place(new OptionButton(QStringLiteral("Money"), Frame1), "optcash",
                    twips(120, 240, 855, kCheckHeight));
    optscore = place(new OptionButton(QStringLiteral("Score"), Frame1), "optscore",
                     twips(1200, 240, 735, kCheckHeight));
    optswitch = place(new OptionButton(QStringLiteral("Switch"), Frame1), "optswitch",
                      twips(2280, 240, 855, kCheckHeight));
    actionTypeGroup = new QButtonGroup(Frame1);
    actionTypeGroup->addButton(optcash);
    actionTypeGroup->addButton(optscore);
    actionTypeGroup->addButton(optswitch);
}

void frmTallyforge::buildActions(QWidget* client) {
    Frame4 =
        place(new Frame(QStringLiteral("Actions"), client), "Frame4", twips(6720, 720, 3255, 2415));
    lblorescore = caption(Frame4, "lblorescore", boxnames::kOreCaption, 120, 240);
    txtoreamount = numberBox(Frame4, "txtoreamount", NumberBox::Lines::Multi, kKillBoxLimit,
                             twips(120, 720, 1215, 495));
    lblvanish = caption(Frame4, "lblvanish", boxnames::kGasCaption, 120, 1320);
    txtgasamount = numberBox(Frame4, "txtgasamount", NumberBox::Lines::Single, kKillBoxLimit,
                             twips(120, 1800, 1215, 495));
    lblorescore->setBuddy(txtoreamount);
    lblvanish->setBuddy(txtgasamount);

    scoreKindGroup = new QButtonGroup(Frame4);
    for (int i = 0; i < 8; ++i) {
        // The two longest captions have wider buttons.
        const int width = (i == 3 || i == 6) ? 1695 : 1455;
        const std::string_view name = trigfile::kScoreKindNames[static_cast<std::size_t>(i)];
        scoreKinds[i] = new OptionButton(
            QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())), Frame4);
        scoreKinds[i]->setObjectName(QStringLiteral("Option%1").arg(i + 1));
        scoreKinds[i]->setGeometry(twips(1440, 240 + 240 * i, width, kCheckHeight));
        scoreKinds[i]->hide();
        scoreKindGroup->addButton(scoreKinds[i], i);
    }
    // A Score trigger always has a kind, even if the user never picks one.
    scoreKinds[0]->setChecked(true);
}

void frmTallyforge::buildButtons(QWidget* client) {
    cmdcreate = place(new CommandButton(QStringLiteral("&Create"), client), "cmdcreate",
                      twips(6720, 3240, 3255, 495));
    cmdcreate->setEnabled(false); // the poll enables it
    cmdquit = place(new CommandButton(QStringLiteral("&Quit"), client), "cmdquit",
                    twips(6720, 3840, 3255, 375));
    // Buttons keep the desktop's own colours on the black client area.
    for (QPushButton* button : {cmdcreate, cmdquit}) {
        button->setPalette(QPalette());
        button->setAutoDefault(false);
    }
}

void frmTallyforge::connectHandlers() {
    connect(cmdcreate, &QPushButton::clicked, this, &frmTallyforge::cmdcreate_Click);
    connect(cmdquit, &QPushButton::clicked, this, &frmTallyforge::cmdquit_Click);
    // An option button's handler runs whenever it becomes selected, by the
    // mouse, the keyboard or the program; the handler checks its own button.
    connect(optcash, &QRadioButton::toggled, this, &frmTallyforge::optcash_Click);
    connect(optscore, &QRadioButton::toggled, this, &frmTallyforge::optscore_Click);
    connect(optswitch, &QRadioButton::toggled, this, &frmTallyforge::optswitch_Click);
    connect(txtoreamount, &NumberBox::changed, this, &frmTallyforge::txtoreamount_Change);
    connect(txtunittype, &NumberBox::changed, this, &frmTallyforge::txtunittype_Change);
    connect(Timer1, &QTimer::timeout, this, &frmTallyforge::Timer1_Timer);
    connect(menuopen, &QAction::triggered, this, &frmTallyforge::menuopen_Click);
    connect(menuaddtrg, &QAction::triggered, this, &frmTallyforge::menuaddtrg_Click);
    connect(menuaddmap, &QAction::triggered, this, &frmTallyforge::menuaddmap_Click);
    connect(menumessage, &QAction::triggered, this, &frmTallyforge::menumessage_Click);
    connect(menuhelp, &QAction::triggered, this, &frmTallyforge::menuhelp_Click);
    connect(menuabout, &QAction::triggered, this, &frmTallyforge::menuabout_Click);

    // Quit is the window's cancel button: Esc anywhere presses it.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, cmdquit, &QPushButton::click);

    auto* passthrough = new ShortcutPassthrough(
        {menuopen->shortcut(), menuhelp->shortcut(), menuabout->shortcut(), escape->key()}, this);
    for (QWidget* box : std::initializer_list<QWidget*>{txtkillamount, txtkillsupto, txtunittype,
                                                        txtoreamount, txtgasamount, txtunitlist}) {
        passthrough->watch(box);
    }
}

void frmTallyforge::buildTabOrder() {
    // Tab index order; frames, labels and the banner never take the focus.
    const QList<QWidget*> order{
        txtkillamount, txtkillsupto,  txtunittype,   txtoreamount,  txtgasamount,  cmdquit,
        cmdcreate,     optscore,      optcash,       chkp[0],       chkp[1],       chkp[2],
        chkp[3],       chkp[4],       chkp[5],       chkp[6],       chkp[7],       chkf[0],
        chkf[1],       chkf[2],       chkf[3],       chkap,         txtunitlist,   scoreKinds[7],
        scoreKinds[6], scoreKinds[5], scoreKinds[4], scoreKinds[3], scoreKinds[2], scoreKinds[1],
        scoreKinds[0], optswitch};
    for (qsizetype i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

trigfile::KillRewardSettings frmTallyforge::readWindow() const {
    auto value = [](const QCheckBox* box) {
        switch (box->checkState()) {
        case Qt::Checked:
            return trigfile::CheckValue::Ticked;
        case Qt::PartiallyChecked:
            return trigfile::CheckValue::Greyed;
        case Qt::Unchecked:
            break;
        }
        return trigfile::CheckValue::Cleared;
    };
    trigfile::KillRewardSettings settings = trigfile::readSettings(
        trigfile::BoxTexts{txtkillsupto->text().toStdString(), txtkillamount->text().toStdString(),
                           txtoreamount->text().toStdString(), txtgasamount->text().toStdString(),
                           txtunittype->text().toStdString()});
    settings.actionKind = optswitch->isChecked()  ? trigfile::ActionKind::Switch
                          : optscore->isChecked() ? trigfile::ActionKind::Score
                                                  : trigfile::ActionKind::Money;
    settings.scoreKind = std::max(0, scoreKindGroup->checkedId());
    for (std::size_t i = 0; i < chkp.size(); ++i) {
        settings.players[i] = value(chkp[i]);
    }
    settings.allPlayers = value(chkap);
    for (std::size_t i = 0; i < chkf.size(); ++i) {
        settings.forces[i] = value(chkf[i]);
    }
    settings.message = message_;
    return settings;
}

void frmTallyforge::Form_Load() {
    optcash->setChecked(true); // runs optcash_Click at once
    Timer1->start();
}

void frmTallyforge::cmdcreate_Click() {
    // The write runs while the window stays alive; one Create at a time.
    if (creating_) {
        return;
    }
    creating_ = true;
    folder_.offerTo(cdbsave);
    CreateCommand(platform_, cdbsave, disk_).run(readWindow());
    folder_.keepFrom(cdbsave);
    creating_ = false;
}

void frmTallyforge::menuaddtrg_Click() {
    runAdd(AddCommand::Into::TriggerFile, cdbaddtrg);
}

void frmTallyforge::menuaddmap_Click() {
    runAdd(AddCommand::Into::Map, cdbaddmap);
}

void frmTallyforge::runAdd(AddCommand::Into into, OpenRequest& dialogue) {
    // Like Create: the window stays alive while the file is written, and
    // nothing else that writes can start meanwhile.
    if (creating_) {
        return;
    }
    creating_ = true;
    folder_.offerTo(dialogue);
    AddCommand(platform_, dialogue, into, disk_).run(readWindow());
    folder_.keepFrom(dialogue);
    creating_ = false;
}

void frmTallyforge::closeEvent(QCloseEvent* event) {
    // Closing in the middle of a write would leave it half done; the
    // progress box's Cancel is the way out then.
    if (creating_) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

void frmTallyforge::applyActionRow(const ActionRow& row) {
    txtoreamount->setCharacterLimit(row.amountLimit);
    for (QRadioButton* kind : scoreKinds) {
        kind->setVisible(row.scoreKindsShown);
    }
    lblorescore->setText(QString::fromLatin1(row.amountCaption));
    // The box is named by its caption, which has just changed.
    QAccessibleEvent renamed(txtoreamount, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&renamed);
    lblvanish->setVisible(row.gasShown);
    txtgasamount->setVisible(row.gasShown);
    // An amount typed for one kind never carries over to another.
    txtoreamount->setText(QString());
}

void frmTallyforge::optcash_Click() {
    if (optcash->isChecked()) {
        applyActionRow({kKillBoxLimit, false, boxnames::kOreCaption, true});
    }
}

void frmTallyforge::optscore_Click() {
    if (optscore->isChecked()) {
        applyActionRow({kKillBoxLimit, true, boxnames::kPointsCaption, false});
    }
}

void frmTallyforge::optswitch_Click() {
    if (optswitch->isChecked()) {
        applyActionRow({kSwitchBoxLimit, false, boxnames::kSwitchCaption, false});
    }
}

void frmTallyforge::txtoreamount_Change() {
    // StarCraft has 256 switches; the run started by setText finds 256 and
    // leaves it.
    const double number = trigfile::leadingNumber(txtoreamount->text().toStdString());
    if (number > trigfile::kSwitchCount && optswitch->isChecked()) {
        txtoreamount->setText(highestSwitchText());
        txtoreamount->setCaretPosition(static_cast<int>(highestSwitchText().size()));
    }
}

void frmTallyforge::txtunittype_Change() {
    // Past the list's last number the unit becomes "Men", not the highest.
    const double number = trigfile::leadingNumber(txtunittype->text().toStdString());
    if (number > trigfile::kHighestUnitNumber) {
        txtunittype->setText(unitReplacingTooHighText());
        txtunittype->setCaretPosition(static_cast<int>(unitReplacingTooHighText().size()));
    }
}

void frmTallyforge::Timer1_Timer() {
    // Presence of text and ticks only, never the numbers nor what is shown:
    // the hidden gas box counts, and a greyed check box counts as ticked.
    bool anyTicked = chkap->checkState() != Qt::Unchecked;
    for (const QCheckBox* box : chkp) {
        anyTicked = anyTicked || box->checkState() != Qt::Unchecked;
    }
    for (const QCheckBox* box : chkf) {
        anyTicked = anyTicked || box->checkState() != Qt::Unchecked;
    }
    const bool blocked = (txtoreamount->text().isEmpty() && txtgasamount->text().isEmpty()) ||
                         txtunittype->text().isEmpty() || txtkillsupto->text().isEmpty() ||
                         txtkillamount->text().isEmpty() || !anyTicked;
    cmdcreate->setEnabled(!blocked);
    const QString preview = createPreview(blocked);
    if (preview != cmdcreate->toolTip()) {
        cmdcreate->setToolTip(preview);
        // What the tooltip tells a mouse user, a screen reader reads out.
        cmdcreate->setAccessibleDescription(preview);
    }
    // The Add commands need the same inputs as Create; greyed, they say
    // what is missing in Create's words.
    const QString addTip = blocked ? preview : QString();
    for (QAction* add : {menuaddtrg, menuaddmap}) {
        add->setEnabled(!blocked);
        add->setToolTip(addTip);
        add->setStatusTip(addTip);
    }
}

QString frmTallyforge::createPreview(bool blocked) const {
    if (blocked) {
        const std::pair<const NumberBox*, const char*> needed[] = {
            {txtkillamount, boxnames::kKillStepCaption},
            {txtkillsupto, boxnames::kKillMaxCaption},
            {txtunittype, boxnames::kUnitCaption}};
        for (const auto& [box, caption] : needed) {
            if (box->text().isEmpty()) {
                return QStringLiteral("Fill in \"%1\" first.").arg(QString::fromLatin1(caption));
            }
        }
        if (txtoreamount->text().isEmpty() && txtgasamount->text().isEmpty()) {
            // Either box will do while the gas box is shown.
            if (txtgasamount->isVisibleTo(this)) {
                return QStringLiteral("Fill in \"%1\" or \"%2\" first.")
                    .arg(lblorescore->text(), lblvanish->text());
            }
            return QStringLiteral("Fill in \"%1\" first.").arg(lblorescore->text());
        }
        return QStringLiteral("Tick at least one player or force first.");
    }
    return CreateCommand::preview(readWindow());
}

void frmTallyforge::menuopen_Click() {
    // Filling the window in the middle of a write would change nothing of
    // the file but confuse the user: one command at a time.
    if (creating_) {
        return;
    }
    // The file is read while the window stays alive: nothing else starts,
    // and the window does not close, until it is shown or cancelled.
    creating_ = true;
    folder_.offerTo(cdbopen);
    const auto settings =
        OpenCommand(platform_, cdbopen, reading_)
            .run([this](const trigfile::KillRewardSettings& s) { return windowHolds(s); });
    folder_.keepFrom(cdbopen);
    creating_ = false;
    if (settings) {
        fillWindow(*settings);
    }
}

namespace {

// A whole number as the user would type it.
QString typed(double value) {
    return QString::number(static_cast<qint64>(value));
}

// The texts the number boxes get for a series: kill step, kill maximum,
// unit, amount, gas.
std::array<QString, 5> boxTexts(const trigfile::KillRewardSettings& s) {
    const bool gas = s.actionKind == trigfile::ActionKind::Money && s.gasAmount > 0;
    return {typed(s.killStep), typed(s.killMax), typed(s.unitId), typed(s.amount),
            gas ? typed(s.gasAmount) : QString()};
}

} // namespace

bool frmTallyforge::windowHolds(const trigfile::KillRewardSettings& s) const {
    const auto texts = boxTexts(s);
    const int amountLimit =
        s.actionKind == trigfile::ActionKind::Switch ? kSwitchBoxLimit : kKillBoxLimit;
    const int limits[] = {txtkillamount->characterLimit(), txtkillsupto->characterLimit(),
                          txtunittype->characterLimit(), amountLimit,
                          txtgasamount->characterLimit()};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (texts[i].size() > limits[i]) {
            return false;
        }
    }
    return true;
}

void frmTallyforge::fillWindow(const trigfile::KillRewardSettings& s) {
    // The action type first: choosing it empties the amount box.
    QRadioButton* kind = s.actionKind == trigfile::ActionKind::Score    ? optscore
                         : s.actionKind == trigfile::ActionKind::Switch ? optswitch
                                                                        : optcash;
    kind->setChecked(true);
    if (s.actionKind == trigfile::ActionKind::Score) {
        scoreKinds[static_cast<std::size_t>(s.scoreKind)]->setChecked(true);
    }
    const auto texts = boxTexts(s);
    NumberBox* boxes[] = {txtkillamount, txtkillsupto, txtunittype, txtoreamount, txtgasamount};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        boxes[i]->setText(texts[i]);
    }
    const auto state = [](trigfile::CheckValue v) {
        return v == trigfile::CheckValue::Ticked ? Qt::Checked : Qt::Unchecked;
    };
    for (std::size_t i = 0; i < chkp.size(); ++i) {
        chkp[i]->setCheckState(state(s.players[i]));
    }
    chkap->setCheckState(state(s.allPlayers));
    for (std::size_t i = 0; i < chkf.size(); ++i) {
        chkf[i]->setCheckState(state(s.forces[i]));
    }
    message_ = s.message;
    showMessageSet();
}

void frmTallyforge::menumessage_Click() {
    const MessageDialogueAnswer answer = platform_.editMessage({message_, readWindow()});
    switch (answer.choice) {
    case MessageDialogueAnswer::Choice::Set:
        message_ = answer.message;
        break;
    case MessageDialogueAnswer::Choice::Remove:
        message_.reset();
        break;
    case MessageDialogueAnswer::Choice::Cancel:
        break;
    }
    showMessageSet();
}

void frmTallyforge::showMessageSet() {
    // The triggered action toggles its own check; the message decides it.
    menumessage->setChecked(message_.has_value());
}

void frmTallyforge::menuhelp_Click() {
    platform_.showMessage(MessageRequest{helpText(), QStringLiteral("Help"), MessageButtons::Ok,
                                         MessageIcon::None, MessageAnswer::Ok});
}

void frmTallyforge::menuabout_Click() {
    platform_.showMessage(MessageRequest{aboutText(), QStringLiteral("Tallyforge"),
                                         MessageButtons::Ok, MessageIcon::None, MessageAnswer::Ok});
}

void frmTallyforge::cmdquit_Click() {
    if (creating_) {
        return;
    }
    // The folder used last is already kept: there is nothing to ask or save.
    QCoreApplication::quit();
}
