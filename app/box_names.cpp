#include "app/box_names.h"

#include <string>

namespace boxnames {
namespace {

using trigfile::Input;

const char* caption(Input input) {
    switch (input) {
    case Input::KillStep:
        return kKillStepCaption;
    case Input::KillMax:
        return kKillMaxCaption;
    case Input::Unit:
        return kUnitCaption;
    case Input::Ore:
        return kOreCaption;
    case Input::Points:
        return kPointsCaption;
    case Input::Switch:
        return kSwitchCaption;
    case Input::Gas:
        return kGasCaption;
    case Input::Message:
        return kMessageDialogueTitle;
    }
    return "";
}

// The message's dialogue, as a refusal names it after its opening word.
std::string messageInDialogue() {
    std::string text = "message in the \"";
    text += kMessageDialogueTitle;
    text += "\" dialogue";
    return text;
}

std::string quotedCaption(Input input) {
    if (input == Input::Message) {
        return "the " + messageInDialogue();
    }
    std::string text = "\"";
    text += caption(input);
    text += '"';
    return text;
}

std::string boxSubject(Input input) {
    if (input == Input::Message) {
        return "The " + messageInDialogue();
    }
    return "The box " + quotedCaption(input);
}

} // namespace

const trigfile::InputNames kBoxNames{boxSubject, quotedCaption};

} // namespace boxnames
