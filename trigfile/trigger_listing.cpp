#include "trigger_listing.h"

#include "number_text.h"
#include "series_recognition.h"
#include "unit_names.h"

#include <array>
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

// Every field of a condition by number, for types the listing has no words for.
std::string conditionNumbers(const DecodedCondition& c) {
    return "player group " + number(c.playerGroup) + ", quantity " + number(c.quantity) +
           ", unit " + number(c.unitType) + ", comparison " + number(c.comparison) +
           ", resource type " + number(c.resourceType) + ", location " + number(c.location);
}

std::string actionNumbers(const DecodedAction& a) {
    return "player group " + number(a.playerGroup) + ", number " + number(a.amountOrSwitch) +
           ", type " + number(a.resourceOrScore) + ", modifier " + number(a.modifierOrState) +
           ", location " + number(a.location) + ", text " + number(a.text) + ", sound " +
           number(a.sound) + ", time " + number(a.time) + " ms";
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

void appendDetails(std::string& out, std::size_t index, const DecodedTrigger& t) {
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
    for (const auto& a : t.actions) {
        if (const std::string text = describeAction(a); !text.empty()) {
            out += "    " + text + "\n";
            any = true;
        }
    }
    out += any ? "" : "    (none)\n";
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

std::string describeCondition(const DecodedCondition& c) {
    if (c.type == 0) {
        return {};
    }
    std::string text;
    const std::string who = player(c.playerGroup);
    const std::string amount = comparison(c.comparison) + " " + number(c.quantity);
    switch (c.type) {
    case 1:
        text = "Countdown timer is " + amount + " game seconds.";
        break;
    case 2:
        text = who + " commands " + amount + " of " + unitText(c.unitType) + ".";
        break;
    case 3:
        text = who + " brings " + amount + " of " + unitText(c.unitType) + " to " +
               location(c.location) + ".";
        break;
    case 4:
        text = who + " accumulates " + amount + " " + resource(c.resourceType) + ".";
        break;
    case kConditionKill:
        text = who + " kills " + amount + " of " + unitText(c.unitType) + ".";
        break;
    case 11: {
        // The switch number is in the resource byte, its state in the comparison.
        const std::string state = c.comparison == 2   ? "is set"
                                  : c.comparison == 3 ? "is cleared"
                                                      : "has state " + number(c.comparison);
        text = "Switch " + number(c.resourceType + 1u) + " " + state + ".";
        break;
    }
    case 12:
        text = "Elapsed scenario time is " + amount + " game seconds.";
        break;
    case 14:
        text = who + " has " + amount + " opponents remaining.";
        break;
    case 15:
        text = who + " has suffered " + amount + " deaths of " + unitText(c.unitType) + ".";
        break;
    case 21:
        text = who + " " + scoreKind(c.resourceType) + " score is " + amount + ".";
        break;
    case 22:
        text = "Always.";
        break;
    case 23:
        text = "Never.";
        break;
    default:
        text = named(kConditionTypes, c.type, "Condition type") + ": " + conditionNumbers(c) + ".";
        break;
    }
    if (c.flags & kConditionDisabled) {
        text += " (disabled)";
    }
    return text;
}

std::string describeAction(const DecodedAction& a) {
    if (a.type == 0) {
        return {};
    }
    std::string text;
    const std::string who = player(a.playerGroup);
    switch (a.type) {
    case 1:
    case 2:
    case 3:
    case 5:
    case 6:
    case 56:
        text = std::string(kActionTypes[a.type]) + ".";
        break;
    case 4:
        text = "Wait for " + number(a.time) + " milliseconds.";
        break;
    case 9:
        text = "Display text message: string " + number(a.text) + ".";
        break;
    case kActionSetSwitch:
        text =
            "Switch " + number(a.amountOrSwitch + 1ull) + ": " + modifier(a.modifierOrState) + ".";
        break;
    case kActionSetResources:
        text = "Modify resources for " + who + ": " + modifier(a.modifierOrState) + " " +
               number(a.amountOrSwitch) + " " + resource(a.resourceOrScore) + ".";
        break;
    case kActionSetScore:
        text = "Modify score for " + who + ": " + modifier(a.modifierOrState) + " " +
               number(a.amountOrSwitch) + " " + scoreKind(a.resourceOrScore) + " points.";
        break;
    case 45:
        text = "Modify death counts for " + who + ": " + modifier(a.modifierOrState) + " " +
               number(a.amountOrSwitch) + " for " + unitText(a.resourceOrScore) + ".";
        break;
    case 47:
        text = "Comment: string " + number(a.text) + ".";
        break;
    default:
        text = named(kActionTypes, a.type, "Action type") + ": " + actionNumbers(a) + ".";
        break;
    }
    if (a.flags & kActionDisabled) {
        text += " (disabled)";
    }
    return text;
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
    return kind + ": every " + number(series.killStep) + " kills of " + unitText(f.unitId) +
           " up to " + number(series.lastThreshold()) + ", " + reward + ", " +
           ownersText(f.executionTable) + ", " + counted(series.recordCount, "trigger", "triggers");
}

std::string listTriggers(const TriggerRecords& records) {
    const std::vector<RecognisedSeries> series = findSeries(records);
    std::string summary = "Summary\n";
    std::string details = "Details\n";
    std::size_t detailed = 0;
    std::size_t notShown = 0;
    auto next = series.begin();
    for (std::size_t i = 0; i < records.count();) {
        if (next != series.end() && next->firstRecord == i) {
            const TriggerSeries& s = next->series;
            const std::string range = triggerRange(i, s.recordCount);
            summary += range + ": " + seriesSummary(s) + "\n";
            appendDetails(details, i, decodeTrigger(records.record(i)));
            if (s.recordCount > 1) {
                details += "  " + triggerRange(i + 1, s.recordCount - 1) +
                           " are the same but for the kills they wait for: " + laterThresholds(s) +
                           ".\n";
            }
            i += s.recordCount;
            ++next;
            continue;
        }
        const DecodedTrigger t = decodeTrigger(records.record(i));
        const std::size_t conditions = conditionCount(t);
        const std::size_t actions = actionCount(t);
        if (conditions == 0 && actions == 0 && t == DecodedTrigger{}) {
            summary += "Trigger " + number(i + 1) + ": empty.\n";
        } else {
            summary += "Trigger " + number(i + 1) + ", for " + ownersText(t.executionTable) + ": " +
                       counted(conditions, "condition", "conditions") + ", " +
                       counted(actions, "action", "actions") + ".\n";
            if (detailed < kMaxDetailedTriggers) {
                appendDetails(details, i, t);
                ++detailed;
            } else {
                ++notShown;
            }
        }
        ++i;
    }
    if (notShown > 0) {
        details += "(" + withThousands(notShown) + " more triggers are not spelled out here.)\n";
    }
    const std::string head = records.count() == 0
                                 ? "No triggers.\n"
                                 : counted(records.count(), "trigger", "triggers") + ", " +
                                       counted(series.size(), "series", "series") +
                                       " of kill rewards.\n";
    return head + "\n" + summary + "\n" + details;
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
