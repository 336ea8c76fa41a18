#pragma once

#include "app/listing_text.h"
#include "app/platform.h"
#include "safefile/byte_sink.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QProgressDialog>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

// A disk that takes its time over every write, so that a modest series
// lasts long enough for the progress box.
class SlowDisk : public trigfile::ByteSink {
  public:
    explicit SlowDisk(trigfile::ByteSink& file) : file_(file) {}
    void write(const std::uint8_t* data, std::size_t size) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        file_.write(data, size);
    }

  private:
    trigfile::ByteSink& file_;
};

// A disk that holds every write until the test lets it go (or ten seconds
// pass), so that the progress box is certain to be up before the work ends,
// however slowly the box comes on a loaded machine or under Wine.
class HeldDisk : public trigfile::ByteSink {
  public:
    HeldDisk(trigfile::ByteSink& file, const std::atomic<bool>& released)
        : file_(file), released_(released) {}
    void write(const std::uint8_t* data, std::size_t size) override {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!released_ && std::chrono::steady_clock::now() < giveUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        file_.write(data, size);
    }

  private:
    trigfile::ByteSink& file_;
    const std::atomic<bool>& released_;
};

// Meets each progress box as it comes up, as the user would: the box lives
// only inside a write or add and shows late, so the tests cannot reach it
// from outside. An event filter on the application sees every widget shown.
class ProgressBoxWatcher : public QObject {
  public:
    explicit ProgressBoxWatcher(std::function<void(QProgressDialog&)> shown)
        : shown_(std::move(shown)) {
        QCoreApplication::instance()->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && !event->spontaneous()) {
            if (auto* box = qobject_cast<QProgressDialog*>(watched)) {
                // Queued, so that it runs once show() is done, outside the
                // write's tick, and the box keeps counting.
                QTimer::singleShot(0, box, [this, box] { shown_(*box); });
            }
        }
        return false;
    }

  private:
    std::function<void(QProgressDialog&)> shown_;
};

// A listing box as the window asked for it, its text read whole.
struct ShownListing {
    QString title;
    QString text;
    bool offerFill = false;
};

// Answers the window's questions from a script and records what was asked.
// An unscripted save dialogue is cancelled and an unscripted Yes/No question
// answered No, so a test that forgot a line ends instead of looping.
class ScriptedPlatform : public Platform {
  public:
    std::deque<std::optional<QString>> savedNames; // nullopt: the user cancels
    std::deque<MessageAnswer> answers;             // for Yes/No questions
    std::function<void(const MessageRequest&)> onMessage;
    std::function<void(QProgressDialog&)> onProgressShown; // the user at the progress box
    int progressBoxesShown = 0;

    std::deque<std::optional<QString>> openedNames; // nullopt: the user cancels
    std::deque<ListingAnswer> listingAnswers;       // unscripted: Close

    std::deque<MessageDialogueAnswer> messageAnswers; // unscripted: Cancel
    std::vector<MessageDialogueRequest> messageDialogues;

    std::vector<MessageRequest> messages;
    std::vector<OpenRequest> openDialogues;
    std::vector<ShownListing> listings;
    std::vector<SaveRequest> dialogues;
    QStringList log; // "save", "open" and the title of each box, in order

    MessageAnswer showMessage(const MessageRequest& request) override {
        messages.push_back(request);
        log << request.title;
        if (onMessage) {
            onMessage(request);
        }
        if (request.buttons == MessageButtons::Ok) {
            return MessageAnswer::Ok;
        }
        if (answers.empty()) {
            return MessageAnswer::No;
        }
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::optional<QString> chooseSaveFile(const SaveRequest& request) override {
        dialogues.push_back(request);
        log << QStringLiteral("save");
        if (savedNames.empty()) {
            return std::nullopt;
        }
        const std::optional<QString> name = savedNames.front();
        savedNames.pop_front();
        return name;
    }

    std::optional<QString> chooseOpenFile(const OpenRequest& request) override {
        openDialogues.push_back(request);
        log << QStringLiteral("open");
        if (openedNames.empty()) {
            return std::nullopt;
        }
        const std::optional<QString> name = openedNames.front();
        openedNames.pop_front();
        return name;
    }

    ListingAnswer showListing(const ListingRequest& request) override {
        // Read as the box reads it, line by line.
        QString text;
        for (std::size_t i = 0; i < request.text->lineCount(); ++i) {
            text += request.text->line(i) + '\n';
        }
        listings.push_back({request.title, text, request.offerFill});
        log << request.title;
        if (listingAnswers.empty()) {
            return ListingAnswer::Close;
        }
        const ListingAnswer answer = listingAnswers.front();
        listingAnswers.pop_front();
        return answer;
    }

    MessageDialogueAnswer editMessage(const MessageDialogueRequest& request) override {
        messageDialogues.push_back(request);
        log << QStringLiteral("message");
        if (messageAnswers.empty()) {
            return {};
        }
        const MessageDialogueAnswer answer = messageAnswers.front();
        messageAnswers.pop_front();
        return answer;
    }

  private:
    ProgressBoxWatcher progressBoxes_{[this](QProgressDialog& box) {
        ++progressBoxesShown;
        if (onProgressShown) {
            onProgressShown(box);
        }
    }};
};
