#pragma once

#include "app/add_command.h"
#include "app/open_command.h"
#include "app/platform.h"
#include "app/remembered_folder.h"

#include "trigfile/kill_reward_settings.h"
#include "trigfile/trigger_file.h"

#include <QMainWindow>

#include <array>
#include <optional>
#include <utility>

class Frame;
class NumberBox;
class UnitList;
class QAction;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QTimer;

// The program's only window. Its controls hold every input; the handlers,
// named after the control and its event, read what they need when they run.
class frmTallyforge : public QMainWindow {
    Q_OBJECT

  public:
    explicit frmTallyforge(Platform& platform, QWidget* parent = nullptr);

    // A slow disk under Create's writes and the adds to a trigger file: the
    // window tests' only way to keep a write running long enough for its
    // progress box (see CreateCommand).
    void setDiskForTests(trigfile::SinkWrapper disk) { disk_ = std::move(disk); }
    // A slow file under Open's reads, likewise (see OpenCommand).
    void setReadingForTests(OpenCommand::SourceWrapper reading) { reading_ = std::move(reading); }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // The controls as the Create command reads them.
    trigfile::KillRewardSettings readWindow() const;

    // Whether the boxes can hold these settings' numbers, and filling them in.
    bool windowHolds(const trigfile::KillRewardSettings& settings) const;
    void fillWindow(const trigfile::KillRewardSettings& settings);

    void buildMenu();
    void buildConditions(QWidget* client);
    void buildActionType(QWidget* client);
    void buildActions(QWidget* client);
    void buildButtons(QWidget* client);
    void connectHandlers();
    void buildTabOrder();

    struct ActionRow;
    void applyActionRow(const ActionRow& row);

    void Form_Load();
    void cmdcreate_Click();
    void optcash_Click();
    void optscore_Click();
    void optswitch_Click();
    void txtoreamount_Change();
    void txtunittype_Change();
    void Timer1_Timer();
    void menuopen_Click();
    void menuaddtrg_Click();
    void menuaddmap_Click();
    void menumessage_Click();
    void showMessageSet();
    void runAdd(AddCommand::Into into, OpenRequest& dialogue);
    void menuhelp_Click();
    void menuabout_Click();
    void cmdquit_Click();

    // What Create would do with the window as it is, for the button's tooltip.
    QString createPreview(bool blocked) const;

    Platform& platform_;
    RememberedFolder folder_; // where every file dialogue opens
    SaveRequest cdbsave;
    OpenRequest cdbopen;
    OpenRequest cdbaddtrg; // the dialogues of the two Add commands
    OpenRequest cdbaddmap;
    bool creating_ = false; // a Create, add or Open is running: no second one, no closing
    trigfile::SinkWrapper disk_;
    OpenCommand::SourceWrapper reading_;
    std::optional<trigfile::RewardMessage> message_; // set in the "Reward message" dialogue

    QMenu* titlefile = nullptr;
    QAction* menuopen = nullptr;
    QAction* menuaddtrg = nullptr;
    QAction* menuaddmap = nullptr;
    QAction* menumessage = nullptr;
    QMenu* titlehelp = nullptr;
    QAction* menuhelp = nullptr;
    QAction* menuabout = nullptr;

    QLabel* Picture1 = nullptr;
    Frame* Frame1 = nullptr;
    Frame* Frame2 = nullptr;
    Frame* Frame3 = nullptr;
    Frame* Frame4 = nullptr;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label4 = nullptr;
    NumberBox* txtkillamount = nullptr;
    NumberBox* txtkillsupto = nullptr;
    NumberBox* txtunittype = nullptr;
    UnitList* txtunitlist = nullptr;

    std::array<QCheckBox*, 8> chkp{};
    std::array<QCheckBox*, 4> chkf{};
    QCheckBox* chkap = nullptr;

    QRadioButton* optcash = nullptr;
    QRadioButton* optscore = nullptr;
    QRadioButton* optswitch = nullptr;
    QButtonGroup* actionTypeGroup = nullptr;

    QLabel* lblorescore = nullptr;
    NumberBox* txtoreamount = nullptr;
    QLabel* lblvanish = nullptr;
    NumberBox* txtgasamount = nullptr;
    std::array<QRadioButton*, 8> scoreKinds{}; // Option1 ... Option8
    QButtonGroup* scoreKindGroup = nullptr;

    QPushButton* cmdcreate = nullptr;
    QPushButton* cmdquit = nullptr;
    QTimer* Timer1 = nullptr;
};
