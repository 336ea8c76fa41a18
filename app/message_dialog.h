#pragma once

#include "trigfile/kill_reward_settings.h"
#include "trigfile/reward_message.h"

#include <QDialog>
#include <QString>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;

// The "Reward message" dialogue: the message every trigger of the series
// shows when its reward lands, its encoding, and a preview of the first and
// last trigger's texts. The window asks through the platform, so tests
// answer it without a person.
struct MessageDialogueRequest {
    std::optional<trigfile::RewardMessage> current; // the message set now, if any
    trigfile::KillRewardSettings settings;          // the window's, for the preview
};

struct MessageDialogueAnswer {
    enum class Choice { Cancel, Set, Remove };
    Choice choice = Choice::Cancel;
    trigfile::RewardMessage message; // for Set
};

namespace messagetexts {
inline constexpr char kMenuText[] = "Reward &message...";
inline constexpr char kPrompt[] =
    "Message ({kills}: the trigger's kills, {amount}: its reward; {{ and }}: braces):";
inline constexpr char kEncodingPrompt[] = "Encoding:";
inline constexpr char kRemove[] = "&Remove";
} // namespace messagetexts

// The encodings offered, in the order the dialogue lists them, with their
// names there. The first leaves the encoding to the map the series is added
// to (RewardMessage::encoding).
struct EncodingChoice {
    std::optional<trigfile::TextEncoding> encoding;
    const char* name;
};
inline constexpr EncodingChoice kEncodingChoices[] = {
    {std::nullopt, "The map's own (else UTF-8)"},
    {trigfile::TextEncoding::Utf8, "UTF-8 (StarCraft: Remastered)"},
    {trigfile::TextEncoding::Korean, "CP949 (Korean)"},
    {trigfile::TextEncoding::Western, "CP1252 (Western)"},
};

// What the preview shows for a message and the window's settings: the first
// and the last trigger's texts, or why the series cannot be written.
QString messagePreview(const trigfile::KillRewardSettings& settings,
                       const trigfile::RewardMessage& message);

// The real dialogue, shown by QtPlatform.
class MessageDialog : public QDialog {
  public:
    MessageDialog(const MessageDialogueRequest& request, QWidget* owner);

    MessageDialogueAnswer answer() const;

  private:
    trigfile::RewardMessage typed() const;
    void updatePreview();

    trigfile::KillRewardSettings settings_;
    QLineEdit* text_ = nullptr;
    QComboBox* encoding_ = nullptr;
    QLabel* preview_ = nullptr;
    bool removed_ = false;
};
