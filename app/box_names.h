#pragma once

#include "trigfile/trigger_series.h"

// The captions of the window's boxes, and refusals worded by them, so that a
// refusal names the box the user has to change. Plain C++, without Qt.
namespace boxnames {

inline constexpr const char* kKillStepCaption = "How often does it fire?";
inline constexpr const char* kKillMaxCaption = "Up to what number of kills?";
inline constexpr const char* kUnitCaption = "Number for unit needed to kill?";
inline constexpr const char* kOreCaption = "How much ore per kill?";
inline constexpr const char* kPointsCaption = "How many points per kill?";
inline constexpr const char* kSwitchCaption = "Set what switch number?";
inline constexpr const char* kGasCaption = "How much gas per kill?";
// The message has no box of its own: refusals name its dialogue.
inline constexpr const char* kMessageDialogueTitle = "Reward message";

// The window's inputs, by the captions above: The box "How often does it fire?".
extern const trigfile::InputNames kBoxNames;

} // namespace boxnames
