#pragma once

#include "add_to_map.h"
#include "background_write.h"
#include "platform.h"

#include <QStringList>

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <thread>
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

// Answers the window's questions from a script and records what was asked.
// An unscripted save dialogue is cancelled and an unscripted Yes/No question
// answered No, so a test that forgot a line ends instead of looping.
class ScriptedPlatform : public Platform {
  public:
    std::deque<std::optional<QString>> savedNames; // nullopt: the user cancels
    std::deque<MessageAnswer> answers;             // for Yes/No questions
    std::function<void(const MessageRequest&)> onMessage;
    trigfile::SinkWrapper disk; // a slow or failing disk for Create and trigger-file adds
    std::function<void(QProgressDialog&)> onProgressShown; // the user at the progress box
    int progressBoxesShown = 0;

    std::deque<std::optional<QString>> openedNames; // nullopt: the user cancels
    std::deque<ListingAnswer> listingAnswers;       // unscripted: Close

    std::vector<MessageRequest> messages;
    std::vector<OpenRequest> openDialogues;
    std::vector<ListingRequest> listings;
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
        listings.push_back(request);
        log << request.title;
        if (listingAnswers.empty()) {
            return ListingAnswer::Close;
        }
        const ListingAnswer answer = listingAnswers.front();
        listingAnswers.pop_front();
        return answer;
    }

    // The real add and progress box; an add to a trigger file goes over the
    // scripted disk, when there is one.
    trigfile::AddOutcome addSeries(const std::filesystem::path& target,
                                   const trigfile::TriggerSeries& series) override {
        trigfile::AddOutcome outcome;
        const bool overDisk =
            disk && maparchive::targetOf(target) == maparchive::Target::TriggerFile;
        runWithProgress(
            nullptr, addingTitle(target), series.recordCount,
            [&](trigfile::WriteProgress& progress) {
                outcome = trigfile::failuresAsOutcome([&] {
                    return overDisk ? trigfile::addToTriggerFile(target, series, &progress, disk)
                                    : maparchive::addSeries(target, series, &progress);
                });
            },
            [this](QProgressDialog& box) {
                ++progressBoxesShown;
                if (onProgressShown) {
                    onProgressShown(box);
                }
            });
        return outcome;
    }

    // The real background write and progress box, over the scripted disk.
    trigfile::WriteOutcome writeFile(const std::filesystem::path& target,
                                     const trigfile::TriggerSeries& series) override {
        return runInBackground(
            nullptr, series.recordCount,
            [&](trigfile::WriteProgress& progress) {
                return trigfile::writeTriggerFile(target, series, &progress, disk);
            },
            [this](QProgressDialog& box) {
                ++progressBoxesShown;
                if (onProgressShown) {
                    onProgressShown(box);
                }
            });
    }
};
