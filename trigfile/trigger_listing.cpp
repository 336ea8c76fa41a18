#include "trigfile/trigger_listing.h"

#include "base/number_text.h"
#include "trigfile/game_text.h"
#include "trigfile/series_recognition.h"
#include "trigfile/text_spool.h"
#include "trigfile/unit_names.h"

#include <array>
#include <sstream>
#include <string_view>
#include <vector>

namespace trigfile {
namespace {

std::string number(std::uint64_t n) {
    return std::to_string(n);
}

// A name from a table, or the kind of value and its number.
template <std::size_t N>
std::string named(const std::array<std::string_view, N>& names, std::uint32_t value,
                  std::string_view kind) {
    if (value < N && !names[value].empty()) {
        return std::string(names[value]);
    }
    return std::string(kind) + " " + number(value);
}

// Player groups, as field values and as execution-table bytes.
constexpr std::array<std::string_view, 27> kPlayerGroups{"Player 1",
                                                         "Player 2",
                                                         "Player 3",
                                                         "Player 4",
                                                         "Player 5",
                                                         "Player 6",
                                                         "Player 7",
                                                         "Player 8",
                                                         "Player 9",
                                                         "Player 10",
                                                         "Player 11",
                                                         "Player 12",
                                                         "",
                                                         "Current Player",
                                                         "Foes",
                                                         "Allies",
                                                         "Neutral Players",
                                                         "All Players",
                                                         "Force 1",
                                                         "Force 2",
                                                         "Force 3",
                                                         "Force 4",
                                                         "",
                                                         "",
                                                         "",
                                                         "",
                                                         "Non Allied Victory Players"};

constexpr std::array<std::string_view, 24> kConditionTypes{"",
                                                           "Countdown Timer",
                                                           "Command",
                                                           "Bring",
                                                           "Accumulate",
                                                           "Kill",
                                                           "Command the Most",
                                                           "Commands the Most At",
                                                           "Most Kills",
                                                           "Highest Score",
                                                           "Most Resources",
                                                           "Switch",
                                                           "Elapsed Time",
                                                           "Mission Briefing",
                                                           "Opponents",
                                                           "Deaths",
                                                           "Command the Least",
                                                           "Command the Least At",
                                                           "Least Kills",
                                                           "Lowest Score",
                                                           "Least Resources",
                                                           "Score",
                                                           "Always",
                                                           "Never"};

constexpr std::array<std::string_view, 60> kActionTypes{"",
                                                        "Victory",
                                                        "Defeat",
                                                        "Preserve Trigger",
                                                        "Wait",
                                                        "Pause Game",
                                                        "Unpause Game",
                                                        "Transmission",
                                                        "Play WAV",
                                                        "Display Text Message",
                                                        "Center View",
                                                        "Create Unit with Properties",
                                                        "Set Mission Objectives",
                                                        "Set Switch",
                                                        "Set Countdown Timer",
                                                        "Run AI Script",
                                                        "Run AI Script At Location",
                                                        "Leader Board (Control)",
                                                        "Leader Board (Control At Location)",
                                                        "Leader Board (Resources)",
                                                        "Leader Board (Kills)",
                                                        "Leader Board (Points)",
                                                        "Kill Unit",
                                                        "Kill Unit At Location",
                                                        "Remove Unit",
                                                        "Remove Unit At Location",
                                                        "Set Resources",
                                                        "Set Score",
                                                        "Minimap Ping",
                                                        "Talking Portrait",
                                                        "Mute Unit Speech",
                                                        "Unmute Unit Speech",
                                                        "Leaderboard Computer Players",
                                                        "Leaderboard Goal (Control)",
                                                        "Leaderboard Goal (Control At Location)",
                                                        "Leaderboard Goal (Resources)",
                                                        "Leaderboard Goal (Kills)",
                                                        "Leaderboard Goal (Points)",
                                                        "Move Location",
                                                        "Move Unit",
                                                        "Leaderboard (Greed)",
                                                        "Set Next Scenario",
                                                        "Set Doodad State",
                                                        "Set Invincibility",
                                                        "Create Unit",
                                                        "Set Deaths",
                                                        "Order",
                                                        "Comment",
                                                        "Give Units to Player",
                                                        "Modify Unit Hit Points",
                                                        "Modify Unit Energy",
                                                        "Modify Unit Shield Points",
                                                        "Modify Unit Resource Amount",
                                                        "Modify Unit Hanger Count",
                                                        "Pause Timer",
                                                        "Unpause Timer",
                                                        "Draw",
                                                        "Set Alliance Status",
                                                        "Disable Debug Mode",
                                                        "Enable Debug Mode"};

constexpr std::array<std::string_view, 3> kResources{"ore", "gas", "ore and gas"};

// Condition comparisons: 0, 1 and 10 for numbers; 2 and 3 for switches.
constexpr std::array<std::string_view, 11> kComparisons{"at least", "at most", "", "", "",       "",
                                                        "",         "",        "", "", "exactly"};

// Action modifiers (7 to 9) and switch states (4 to 6, 11).
constexpr std::array<std::string_view, 12> kModifiers{
    "", "", "", "", "set", "clear", "toggle", "set to", "add", "subtract", "", "randomize"};

std::string player(std::uint32_t group) {
    return named(kPlayerGroups, group, "player group");
}

std::string resource(std::uint32_t type) {
    return named(kResources, type, "resource type");
}

std::string scoreKind(std::uint32_t kind) {
    if (kind < kScoreKindNames.size()) {
        return std::string(kScoreKindNames[kind]);
    }
    return "score kind " + number(kind);
}

std::string comparison(std::uint8_t c) {
    return named(kComparisons, c, "comparison");
}

std::string modifier(std::uint8_t m) {
    return named(kModifiers, m, "modifier");
}

std::string location(std::uint32_t l) {
    return l == 0 ? "anywhere" : "location " + number(l);
}

// The fields of a slot, to say which of them the words cover: every field
// the words leave out is shown by its number where it is not what the map
// editors write there.
enum ConditionField : unsigned {
    kCondLocation = 1u << 0,
    kCondPlayer = 1u << 1,
    kCondQuantity = 1u << 2,
    kCondUnit = 1u << 3,
    kCondComparison = 1u << 4,
    kCondResource = 1u << 5,
    kCondEvery = (1u << 6) - 1,
};
enum ActionField : unsigned {
    kActLocation = 1u << 0,
    kActText = 1u << 1,
    kActSound = 1u << 2,
    kActTime = 1u << 3,
    kActPlayer = 1u << 4,
    kActAmount = 1u << 5,
    kActUnitOrType = 1u << 6,
    kActModifier = 1u << 7,
    kActEvery = (1u << 8) - 1,
};

// Every field of a condition by number, for types the listing has no words for.
std::string conditionNumbers(const DecodedCondition& c) {
    return "player group " + number(c.playerGroup) + ", quantity " + number(c.quantity) +
           ", unit " + number(c.unitType) + ", comparison " + number(c.comparison) +
           ", resource type " + number(c.resourceType) + ", location " + number(c.location);
}

// An action's string in words: its text quoted, or its number and why not.
std::string stringWords(std::uint32_t string, const ActionExtras& extras) {
    if (string == 0) {
        return "no string";
    }
    if (extras.text) {
        return "\"" + escapedText(*extras.text) + "\"";
    }
    return "string " + number(string) + " (no such string)";
}

// The text field among the numbers: "text 4 \"Points\"".
std::string textNumber(std::uint32_t string, const ActionExtras& extras) {
    if (string == 0) {
        return "text 0";
    }
    return "text " + number(string) + " " +
           (extras.text ? stringWords(string, extras) : "(no such string)");
}

std::string actionNumbers(const DecodedAction& a, const ActionExtras& extras) {
    return "player group " + number(a.playerGroup) + ", number " + number(a.amountOrSwitch) +
           ", type " + number(a.resourceOrScore) + ", modifier " + number(a.modifierOrState) +
           ", location " + number(a.location) + ", " + textNumber(a.text, extras) + ", sound " +
           number(a.sound) + ", time " + number(a.time) + " ms";
}

// The flags the map editors write on an action of a type: "always display"
// on all but those that show nothing while the game runs.
std::uint8_t editorsActionFlags(std::uint8_t type) {
    switch (type) {
    case 12: // Set Mission Objectives
    case 17: // the leader boards
    case 18:
    case 19:
    case 20:
    case 21:
    case 32:
    case 33:
    case 34:
    case 35:
    case 36:
    case 37:
    case 47: // Comment
    case 58: // debug mode
    case 59:
        return 0;
    default:
        return type < kActionTypes.size() ? kActionAlwaysDisplay : 0;
    }
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        text += i == 0 ? "" : (i + 1 == parts.size() ? " and " : ", ");
        text += parts[i];
    }
    return text;
}

// The trigger's non-empty slots.
std::size_t conditionCount(const DecodedTrigger& t) {
    std::size_t n = 0;
    for (const auto& c : t.conditions) {
        n += c.type != 0;
    }
    return n;
}
std::size_t actionCount(const DecodedTrigger& t) {
    std::size_t n = 0;
    for (const auto& a : t.actions) {
        n += a.type != 0;
    }
    return n;
}

std::string counted(std::size_t n, std::string_view one, std::string_view many) {
    return number(n) + " " + std::string(n == 1 ? one : many);
}

std::string triggerRange(std::size_t first, std::size_t count) {
    if (count == 1) {
        return "Trigger " + number(first + 1);
    }
    return "Triggers " + number(first + 1) + " to " + number(first + count);
}

std::string executionFlagsText(std::uint32_t flags) {
    std::vector<std::string> parts;
    if (flags & kTriggerPreserved) {
        parts.push_back("preserved");
    }
    if (flags & kTriggerDisabled) {
        parts.push_back("disabled");
    }
    const std::uint32_t other = flags & ~(kTriggerPreserved | kTriggerDisabled);
    if (other != 0) {
        parts.push_back("execution flags " + number(other));
    }
    return joined(parts);
}

// The thresholds of a series after its first: "10", "10 and 15", "10, 15, ..., 50".
std::string laterThresholds(const TriggerSeries& s) {
    const std::uint32_t later = s.recordCount - 1;
    if (later == 1) {
        return number(s.threshold(1));
    }
    if (later == 2) {
        return number(s.threshold(1)) + " and " + number(s.threshold(2));
    }
    return number(s.threshold(1)) + ", " + number(s.threshold(2)) + (later > 3 ? ", ..., " : ", ") +
           number(s.lastThreshold());
}

void appendDetails(std::string& out, const TriggerView& trigger, const DecodedTrigger& t) {
    const std::size_t index = trigger.index;
    out += "Trigger " + number(index + 1) + ", for " + ownersText(t.executionTable);
    const std::string flags = executionFlagsText(t.executionFlags);
    out += flags.empty() ? ":\n" : " (" + flags + "):\n";
    out += "  Conditions:\n";
    bool any = false;
    for (const auto& c : t.conditions) {
        if (const std::string text = describeCondition(c); !text.empty()) {
            out += "    " + text + "\n";
            any = true;
        }
    }
    out += any ? "" : "    (none)\n";
    out += "  Actions:\n";
    any = false;
    for (std::size_t slot = 0; slot < t.actions.size(); ++slot) {
        const DecodedAction& a = t.actions[slot];
        if (a.type == 0) {
            continue;
        }
        out += "    " + describeAction(a, extrasOf(trigger, slot, a)) + "\n";
        any = true;
    }
    out += any ? "" : "    (none)\n";
}

// The first text a trigger's actions show, cut for its summary line, or "".
std::string firstText(const TriggerView& trigger, const DecodedTrigger& t) {
    for (std::size_t slot = 0; slot < t.actions.size(); ++slot) {
        const DecodedAction& a = t.actions[slot];
        if (a.type == 0 || a.text == 0) {
            continue;
        }
        const ActionExtras extras = extrasOf(trigger, slot, a);
        return extras.text ? "\"" + escapedText(*extras.text, kSummaryTextCharacters) + "\""
                           : "string " + number(a.text) + " (no such string)";
    }
    return {};
}

} // namespace

std::string ownersText(const std::array<std::uint8_t, record::kExecutionTableSize>& table) {
    std::vector<std::string> owners;
    for (std::uint32_t i = 0; i < table.size(); ++i) {
        if (table[i] == 1) {
            owners.push_back(player(i));
        } else if (table[i] != 0) {
            owners.push_back(player(i) + " (value " + number(table[i]) + ")");
        }
    }
    return owners.empty() ? "no one" : joined(owners);
}

namespace {

// Condition types whose unit field names a unit; the map editors set the
// unit-type bit of their flags.
bool conditionNamesUnit(std::uint8_t type) {
    switch (type) {
    case 2: // Command
    case 3: // Bring
    case kConditionKill:
    case 6: // Command the Most (At), Most Kills
    case 7:
    case 8:
    case 15: // Deaths
    case 16: // Command the Least (At), Least Kills
    case 17:
    case 18:
        return true;
    default:
        return false;
    }
}

// Action types whose unit-or-type field names a unit.
bool actionNamesUnit(std::uint8_t type) {
    switch (type) {
    case 7:  // Transmission: the speaker
    case 11: // Create Unit with Properties
    case 17: // leader boards of units
    case 18:
    case 20:
    case 22: // Kill Unit, Kill Unit At Location, Remove Unit, Remove Unit At Location
    case 23:
    case 24:
    case 25:
    case 29: // Talking Portrait
    case 33: // leader board goals of units
    case 34:
    case 36:
    case 38: // Move Location, Move Unit
    case 39:
    case 42: // Set Doodad State, Set Invincibility, Create Unit, Set Deaths, Order
    case 43:
    case 44:
    case 45:
    case 46:
    case 48: // Give Units to Player, Modify Unit Hit Points, Energy, Shields, Hangar
    case 49:
    case 50:
    case 51:
    case 53:
        return true;
    default:
        return false;
    }
}

std::string conditionWords(const DecodedCondition& c, unsigned& covered) {
    const std::string who = player(c.playerGroup);
    const std::string amount = comparison(c.comparison) + " " + number(c.quantity);
    const unsigned compared = kCondComparison | kCondQuantity;
    switch (c.type) {
    case 1:
        covered = compared;
        return "Countdown timer is " + amount + " game seconds.";
    case 2:
        covered = compared | kCondPlayer | kCondUnit;
        return who + " commands " + amount + " of " + unitText(c.unitType) + ".";
    case 3:
        covered = compared | kCondPlayer | kCondUnit | kCondLocation;
        return who + " brings " + amount + " of " + unitText(c.unitType) + " to " +
               location(c.location) + ".";
    case 4:
        covered = compared | kCondPlayer | kCondResource;
        return who + " accumulates " + amount + " " + resource(c.resourceType) + ".";
    case kConditionKill:
        covered = compared | kCondPlayer | kCondUnit;
        return who + " kills " + amount + " of " + unitText(c.unitType) + ".";
    case 11: {
        // The switch number is in the resource byte, its state in the comparison.
        covered = kCondResource | kCondComparison;
        const std::string state = c.comparison == 2   ? "is set"
                                  : c.comparison == 3 ? "is cleared"
                                                      : "has state " + number(c.comparison);
        return "Switch " + number(c.resourceType + 1u) + " " + state + ".";
    }
    case 12:
        covered = compared;
        return "Elapsed scenario time is " + amount + " game seconds.";
    case 14:
        covered = compared | kCondPlayer;
        return who + " has " + amount + " opponents remaining.";
    case 15:
        covered = compared | kCondPlayer | kCondUnit;
        return who + " has suffered " + amount + " deaths of " + unitText(c.unitType) + ".";
    case 21:
        covered = compared | kCondPlayer | kCondResource;
        return who + " " + scoreKind(c.resourceType) + " score is " + amount + ".";
    case 22:
        covered = 0;
        return "Always.";
    case 23:
        covered = 0;
        return "Never.";
    default:
        covered = kCondEvery;
        return named(kConditionTypes, c.type, "Condition type") + ": " + conditionNumbers(c) + ".";
    }
}

// "Create 2 Marine (0) at location 3 for Player 1"
std::string createWords(const DecodedAction& a) {
    return "Create " + number(a.modifierOrState) + " " + unitText(a.resourceOrScore) + " at " +
           location(a.location) + " for " + player(a.playerGroup);
}

std::string actionWords(const DecodedAction& a, const ActionExtras& extras, unsigned& covered) {
    const std::string who = player(a.playerGroup);
    const std::string text = stringWords(a.text, extras);
    switch (a.type) {
    case 1:
    case 2:
    case 3:
    case 5:
    case 6:
    case 56:
        covered = 0;
        return std::string(kActionTypes[a.type]) + ".";
    case 4:
        covered = kActTime;
        return "Wait for " + number(a.time) + " milliseconds.";
    case 9:
        covered = kActText;
        return "Display text message: " + text + ".";
    case 11:
        // The properties are the trigger file's block after the record; a
        // map gives the number of its unit-properties slot instead.
        covered = kActModifier | kActUnitOrType | kActLocation | kActPlayer | kActAmount;
        return createWords(a) + " with properties: " +
               (extras.unitProperties ? describeUnitProperties(*extras.unitProperties)
                                      : "slot " + number(a.amountOrSwitch)) +
               ".";
    case 12:
        covered = kActText;
        return "Set mission objectives: " + text + ".";
    case kActionSetSwitch:
        covered = kActAmount | kActModifier;
        return "Switch " + number(a.amountOrSwitch + 1ull) + ": " + modifier(a.modifierOrState) +
               ".";
    case kActionSetResources:
        covered = kActPlayer | kActModifier | kActAmount | kActUnitOrType;
        return "Modify resources for " + who + ": " + modifier(a.modifierOrState) + " " +
               number(a.amountOrSwitch) + " " + resource(a.resourceOrScore) + ".";
    case kActionSetScore:
        covered = kActPlayer | kActModifier | kActAmount | kActUnitOrType;
        return "Modify score for " + who + ": " + modifier(a.modifierOrState) + " " +
               number(a.amountOrSwitch) + " " + scoreKind(a.resourceOrScore) + " points.";
    case 44:
        covered = kActModifier | kActUnitOrType | kActLocation | kActPlayer;
        return createWords(a) + ".";
    case 45:
        covered = kActPlayer | kActModifier | kActAmount | kActUnitOrType;
        return "Modify death counts for " + who + ": " + modifier(a.modifierOrState) + " " +
               number(a.amountOrSwitch) + " for " + unitText(a.resourceOrScore) + ".";
    case 47:
        covered = kActText;
        return "Comment: " + text + ".";
    default:
        covered = kActEvery;
        return named(kActionTypes, a.type, "Action type") + ": " + actionNumbers(a, extras) + ".";
    }
}

// " (location 3, flags 0)": the fields that differ from what the words say.
std::string differences(const std::vector<std::string>& fields) {
    std::string text;
    for (const auto& field : fields) {
        text += (text.empty() ? " (" : ", ") + field;
    }
    return text.empty() ? text : text + ")";
}

} // namespace

std::string describeCondition(const DecodedCondition& c) {
    if (c.type == 0) {
        return {};
    }
    unsigned covered = 0;
    std::string text = conditionWords(c, covered);
    std::vector<std::string> other;
    const auto unless = [&](unsigned field, std::uint32_t value, const char* name) {
        if (!(covered & field) && value != 0) {
            other.push_back(std::string(name) + " " + number(value));
        }
    };
    unless(kCondLocation, c.location, "location");
    unless(kCondPlayer, c.playerGroup, "player group");
    unless(kCondQuantity, c.quantity, "quantity");
    unless(kCondUnit, c.unitType, "unit");
    unless(kCondComparison, c.comparison, "comparison");
    unless(kCondResource, c.resourceType, "resource type");
    const std::uint8_t usual = conditionNamesUnit(c.type) ? kConditionUnitTypeUsed : 0;
    if ((c.flags & ~kConditionDisabled) != usual) {
        other.push_back("flags " + number(c.flags));
    }
    if (c.reserved != 0) {
        other.push_back("reserved " + number(c.reserved));
    }
    text += differences(other);
    if (c.flags & kConditionDisabled) {
        text += " (disabled)";
    }
    return text;
}

std::string describeAction(const DecodedAction& a, const ActionExtras& extras) {
    if (a.type == 0) {
        return {};
    }
    unsigned covered = 0;
    std::string text = actionWords(a, extras, covered);
    std::vector<std::string> other;
    const auto unless = [&](unsigned field, std::uint32_t value, const char* name) {
        if (!(covered & field) && value != 0) {
            other.push_back(std::string(name) + " " + number(value));
        }
    };
    unless(kActLocation, a.location, "location");
    if (!(covered & kActText) && a.text != 0) {
        other.push_back(textNumber(a.text, extras));
    }
    unless(kActSound, a.sound, "sound");
    unless(kActTime, a.time, "time");
    unless(kActPlayer, a.playerGroup, "player group");
    unless(kActAmount, a.amountOrSwitch, "number");
    unless(kActUnitOrType, a.resourceOrScore, "type");
    unless(kActModifier, a.modifierOrState, "modifier");
    // Bits the words say are not differences: disabled, the unit-type bit of
    // an action that names a unit, the properties of Create Unit with
    // Properties.
    std::uint8_t said = kActionDisabled;
    said |= actionNamesUnit(a.type) ? kActionUnitTypeUsed : 0;
    said |= a.type == 11 ? kActionUnitPropertiesUsed : 0;
    if ((a.flags & ~said) != (editorsActionFlags(a.type) & ~said)) {
        other.push_back("flags " + number(a.flags));
    }
    for (const std::uint8_t byte : a.padding) {
        if (byte != 0) {
            other.push_back("padding " + number(a.padding[0]) + " " + number(a.padding[1]) + " " +
                            number(a.padding[2]));
            break;
        }
    }
    text += differences(other);
    if (a.flags & kActionDisabled) {
        text += " (disabled)";
    }
    return text;
}

std::string describeUnitProperties(const UnitProperties& u) {
    std::vector<std::string> parts;
    const auto field = [&](std::uint16_t bit, const std::string& words) {
        if (u.fieldsUsed & bit) {
            parts.push_back(words);
        }
    };
    field(kUnitFieldOwner, "owner " + player(u.owner));
    field(kUnitFieldHitPoints, "hit points " + number(u.hitPoints) + "%");
    field(kUnitFieldShields, "shields " + number(u.shields) + "%");
    field(kUnitFieldEnergy, "energy " + number(u.energy) + "%");
    field(kUnitFieldResources, "resources " + base::withThousands(u.resources));
    field(kUnitFieldHangar, "hangar " + number(u.hangar));
    const std::pair<std::uint16_t, const char*> states[] = {
        {kUnitCloaked, "cloaked"},       {kUnitBurrowed, "burrowed"},
        {kUnitInTransit, "in transit"},  {kUnitHallucinated, "hallucinated"},
        {kUnitInvincible, "invincible"},
    };
    // The states that are on; editors differ in whether they also mark
    // them in statesUsed (PyMS does not), so that field is not asked.
    for (const auto& [bit, name] : states) {
        if (u.states & bit) {
            parts.push_back(name);
        }
    }
    std::string text;
    for (const auto& part : parts) {
        text += (text.empty() ? "" : ", ") + part;
    }
    return text.empty() ? "none in use" : text;
}

std::string seriesSummary(const TriggerSeries& series) {
    const RecordFields& f = series.fields;
    std::string kind;
    std::string reward;
    switch (f.reward.action) {
    case kActionSetResources:
        kind = "Money";
        reward = number(f.reward.value) + " " + resource(f.reward.kindOrType);
        if (f.extraGas) {
            reward += " and " + number(f.extraGas->value) + " " + resource(f.extraGas->kindOrType);
        }
        break;
    case kActionSetScore:
        kind = "Score";
        reward = number(f.reward.value) + " " + scoreKind(f.reward.kindOrType) + " points";
        break;
    case kActionSetSwitch:
        kind = "Switch";
        reward = "set switch " + number(f.reward.value + 1ull);
        break;
    default:
        kind = named(kActionTypes, f.reward.action, "Action type");
        reward = "number " + number(f.reward.value);
        break;
    }
    std::string message;
    if (series.message) {
        const RewardMessage& typed = series.message->typed;
        message = ", message \"" + escapedText(GameText{typed.text, TextEncoding::Utf8}) +
                  "\" in " + std::string(encodingName(typed.chosenOrUtf8()));
    }
    return kind + ": every " + number(series.killStep) + " kills of " + unitText(f.unitId) +
           " up to " + number(series.lastThreshold()) + ", " + reward + ", " +
           ownersText(f.executionTable) + ", " +
           counted(series.recordCount, "trigger", "triggers") + message;
}

namespace {

// The listing made in one walk of the triggers: its summary and details go
// to spools as the triggers are read, and are written out after the head,
// which needs the counts. Only the open run of a series is held.
class ListingWriter {
  public:
    void visit(const TriggerView& trigger) {
        SeriesFinder::Step step = finder_.next(trigger);
        if (step.ended) {
            endSeries(*step.ended);
        }
        if (step.joined) {
            return;
        }
        const DecodedTrigger t = decodeTrigger(trigger.record());
        if (step.started) {
            // The run's first record is spelled out when the run ends.
            runDetails_.clear();
            appendDetails(runDetails_, trigger, t);
            return;
        }
        const std::size_t conditions = conditionCount(t);
        const std::size_t actions = actionCount(t);
        const std::size_t i = trigger.index;
        if (conditions == 0 && actions == 0 && t == DecodedTrigger{}) {
            summary_.append("Trigger " + number(i + 1) + ": empty.\n");
            return;
        }
        const std::string text = firstText(trigger, t);
        summary_.append("Trigger " + number(i + 1) + ", for " + ownersText(t.executionTable) +
                        ": " + counted(conditions, "condition", "conditions") + ", " +
                        counted(actions, "action", "actions") + (text.empty() ? "" : ": " + text) +
                        ".\n");
        if (detailed_ < kMaxDetailedTriggers) {
            std::string details;
            appendDetails(details, trigger, t);
            details_.append(details);
            ++detailed_;
        } else {
            ++notShown_;
        }
    }

    // Writes the whole listing once every trigger has been visited.
    bool finish(const TriggerTotals& totals, std::ostream& out) {
        if (auto open = finder_.finish()) {
            endSeries(*open);
        }
        if (notShown_ > 0) {
            details_.append("(" + base::withThousands(notShown_) +
                            " more triggers are not spelled out here.)\n");
        }
        out << (totals.triggers == 0
                    ? std::string("No triggers.\n")
                    : counted(totals.triggers, "trigger", "triggers") + ", " +
                          counted(series_, "series", "series") + " of kill rewards.\n");
        if (totals.trigSections > 1) {
            out << "The map is stacked: its triggers come from " << number(totals.trigSections)
                << " TRIG sections, which the game reads one after another, as they are listed "
                   "here.\n";
        }
        out << "\nSummary\n";
        if (!summary_.copyTo(out)) {
            return false;
        }
        out << "\nDetails\n";
        return details_.copyTo(out);
    }

  private:
    void endSeries(const RecognisedSeries& found) {
        const TriggerSeries& s = found.series;
        ++series_;
        summary_.append(triggerRange(found.firstRecord, s.recordCount) + ": " + seriesSummary(s) +
                        "\n");
        if (s.recordCount > 1) {
            runDetails_ +=
                "  " + triggerRange(found.firstRecord + 1, s.recordCount - 1) +
                (s.recordCount == 2 ? " is the same but for the kills it waits for: "
                                    : " are the same but for the kills they wait for: ") +
                laterThresholds(s) + ".\n";
        }
        details_.append(runDetails_);
    }

    SeriesFinder finder_;
    std::string runDetails_; // of the open run's first record
    TextSpool summary_;
    TextSpool details_;
    std::size_t series_ = 0;
    std::size_t detailed_ = 0;
    std::size_t notShown_ = 0;
};

} // namespace

base::Outcome<base::Done> writeListing(TriggerSource& source, std::ostream& out) {
    ListingWriter writer;
    auto walked = source.walk([&](const TriggerView& trigger) { writer.visit(trigger); });
    if (!walked.ok()) {
        return std::move(walked.problem());
    }
    if (!writer.finish(*walked, out)) {
        return base::Problem::failed("Could not read back the listing's temporary file.");
    }
    return base::Done{};
}

std::string listTriggers(const TriggerRecords& records) {
    std::ostringstream out;
    writeListing(*recordsSource(records), out);
    return std::move(out).str();
}

std::string playerGroupName(std::uint32_t group) {
    return player(group);
}

std::string conditionTypeName(std::uint8_t type) {
    return named(kConditionTypes, type, "condition type");
}

std::string actionTypeName(std::uint8_t type) {
    return named(kActionTypes, type, "action type");
}

std::string scoreKindName(std::uint32_t kind) {
    return scoreKind(kind);
}

} // namespace trigfile
