#include "app/message_dialog.h"

#include "app/box_names.h"
#include "trigfile/trigger_series.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

QString messagePreview(const trigfile::KillRewardSettings& settings,
                       const trigfile::RewardMessage& message) {
    if (message.text.empty()) {
        return QStringLiteral("No message: the triggers give their rewards in silence.");
    }
    trigfile::KillRewardSettings with = settings;
    with.message = message;
    const trigfile::SeriesPlan plan =
        trigfile::planSeries(trigfile::normalise(with), boxnames::kBoxNames);
    if (!plan.ok()) {
        return QString::fromStdString(plan.reason());
    }
    const trigfile::TriggerSeries& series = *plan;
    const auto text = [&](std::uint32_t kills) {
        return QString::fromStdString(
            trigfile::messageText(message.text, kills, series.message->amount));
    };
    const QString first = QStringLiteral("First trigger (%1 kills): %2")
                              .arg(series.threshold(0))
                              .arg(text(series.threshold(0)));
    if (series.recordCount == 1) {
        return first;
    }
    return first + QStringLiteral("\nLast trigger (%1 kills): %2")
                       .arg(series.lastThreshold())
                       .arg(text(series.lastThreshold()));
}

MessageDialog::MessageDialog(const MessageDialogueRequest& request, QWidget* owner)
    : QDialog(owner), settings_(request.settings) {
    setWindowTitle(QString::fromLatin1(boxnames::kMessageDialogueTitle));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromLatin1(messagetexts::kPrompt), this));
    text_ = new QLineEdit(this);
    text_->setObjectName(QStringLiteral("txtmessage"));
    layout->addWidget(text_);
    layout->addWidget(new QLabel(QString::fromLatin1(messagetexts::kEncodingPrompt), this));
    encoding_ = new QComboBox(this);
    encoding_->setObjectName(QStringLiteral("cboencoding"));
    for (const EncodingChoice& choice : kEncodingChoices) {
        encoding_->addItem(QString::fromLatin1(choice.name));
    }
    layout->addWidget(encoding_);
    preview_ = new QLabel(this);
    preview_->setObjectName(QStringLiteral("lblpreview"));
    preview_->setWordWrap(true);
    preview_->setTextFormat(Qt::PlainText);
    layout->addWidget(preview_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* remove =
        buttons->addButton(QString::fromLatin1(messagetexts::kRemove), QDialogButtonBox::ResetRole);
    remove->setEnabled(request.current.has_value());
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(remove, &QPushButton::clicked, this, [this] {
        removed_ = true;
        accept();
    });

    if (request.current) {
        text_->setText(QString::fromStdString(request.current->text));
        for (int i = 0; i < static_cast<int>(std::size(kEncodingChoices)); ++i) {
            if (kEncodingChoices[i].encoding == request.current->encoding) {
                encoding_->setCurrentIndex(i);
            }
        }
    }
    connect(text_, &QLineEdit::textChanged, this, &MessageDialog::updatePreview);
    connect(encoding_, &QComboBox::currentIndexChanged, this, &MessageDialog::updatePreview);
    updatePreview();
}

trigfile::RewardMessage MessageDialog::typed() const {
    const int index = std::max(0, encoding_->currentIndex());
    return {text_->text().toStdString(), kEncodingChoices[index].encoding};
}

void MessageDialog::updatePreview() {
    preview_->setText(messagePreview(settings_, typed()));
}

MessageDialogueAnswer MessageDialog::answer() const {
    using Choice = MessageDialogueAnswer::Choice;
    if (result() != QDialog::Accepted) {
        return {Choice::Cancel, {}};
    }
    // OK on an empty text takes the message away, as Remove does.
    if (removed_ || text_->text().isEmpty()) {
        return {Choice::Remove, {}};
    }
    return {Choice::Set, typed()};
}
