#include "cli/show_command.h"

#include "base/ascii.h"
#include "base/display_name.h"
#include "cli/console_text.h"
#include "cli/exit_status.h"
#include "cli/problem_report.h"
#include "maparchive/add_to_map.h"
#include "maparchive/open_triggers.h"
#include "trigfile/action_extras.h"
#include "trigfile/decoded_trigger.h"
#include "trigfile/series_recognition.h"
#include "trigfile/trigger_listing.h"
#include "trigfile/unit_names.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

namespace cli {
namespace {

using Json = nlohmann::ordered_json;

// "trg", "chk", "scm" or "scx": what the file was read as.
std::string kindOf(const std::filesystem::path& file) {
    const std::string ext = base::lowerAscii(file.extension().string());
    return ext.empty() ? ext : ext.substr(1);
}

Json named(std::uint32_t number, const std::string& name) {
    return Json{{"number", number}, {"name", name}};
}

Json unit(std::uint32_t number) {
    return named(number, trigfile::unitName(number));
}

Json owners(const std::array<std::uint8_t, trigfile::kExecutionTableSize>& table) {
    Json list = Json::array();
    for (std::uint32_t i = 0; i < table.size(); ++i) {
        if (table[i] != 0) {
            list.push_back(named(i, trigfile::playerGroupName(i)));
        }
    }
    return list;
}

Json condition(std::size_t slot, const trigfile::DecodedCondition& c) {
    return Json{{"slot", slot},
                {"type", named(c.type, trigfile::conditionTypeName(c.type))},
                {"text", trigfile::describeCondition(c)},
                {"player", named(c.playerGroup, trigfile::playerGroupName(c.playerGroup))},
                {"quantity", c.quantity},
                {"unit", unit(c.unitType)},
                {"comparison", c.comparison},
                {"resourceType", c.resourceType},
                {"location", c.location},
                {"flags", c.flags}};
}

// The string an action names: its text as read, or null when it is not to
// be found; null when the action names none.
Json namedString(const trigfile::DecodedAction& a, const trigfile::ActionExtras& extras) {
    if (a.text == 0) {
        return nullptr;
    }
    if (!extras.text) {
        return Json{{"number", a.text}, {"text", nullptr}, {"encoding", nullptr}};
    }
    // Bytes in no known encoding are given escaped, as the listing shows them.
    const bool known = extras.text->encoding != trigfile::TextEncoding::Unknown;
    return Json{{"number", a.text},
                {"text", known ? extras.text->text : trigfile::escapedText(*extras.text)},
                {"encoding", trigfile::encodingName(extras.text->encoding)}};
}

Json unitProperties(const std::optional<trigfile::UnitProperties>& properties) {
    if (!properties) {
        return nullptr;
    }
    const trigfile::UnitProperties& u = *properties;
    return Json{{"text", trigfile::describeUnitProperties(u)},
                {"fieldsUsed", u.fieldsUsed},
                {"owner", u.owner},
                {"hitPoints", u.hitPoints},
                {"shields", u.shields},
                {"energy", u.energy},
                {"resources", u.resources},
                {"hangar", u.hangar},
                {"statesUsed", u.statesUsed},
                {"states", u.states},
                {"unused", u.unused}};
}

Json action(std::size_t slot, const trigfile::DecodedAction& a,
            const trigfile::ActionExtras& extras) {
    return Json{{"slot", slot},
                {"type", named(a.type, trigfile::actionTypeName(a.type))},
                {"text", trigfile::describeAction(a, extras)},
                {"player", named(a.playerGroup, trigfile::playerGroupName(a.playerGroup))},
                {"amount", a.amountOrSwitch},
                {"resourceOrScoreKind", a.resourceOrScore},
                {"modifierOrState", a.modifierOrState},
                {"location", a.location},
                {"textString", a.text},
                {"soundString", a.sound},
                {"time", a.time},
                {"flags", a.flags},
                {"string", namedString(a, extras)},
                {"unitProperties", unitProperties(extras.unitProperties)}};
}

Json trigger(const trigfile::TriggerRecords& records, std::size_t index,
             const trigfile::DecodedTrigger& t) {
    Json conditions = Json::array();
    for (std::size_t i = 0; i < t.conditions.size(); ++i) {
        if (t.conditions[i].type != 0) {
            conditions.push_back(condition(i, t.conditions[i]));
        }
    }
    Json actions = Json::array();
    for (std::size_t i = 0; i < t.actions.size(); ++i) {
        if (t.actions[i].type != 0) {
            actions.push_back(
                action(i, t.actions[i], trigfile::extrasOf(records, index, i, t.actions[i])));
        }
    }
    return Json{{"number", index + 1},
                {"owners", owners(t.executionTable)},
                {"conditions", std::move(conditions)},
                {"actions", std::move(actions)},
                {"executionFlags", t.executionFlags}};
}

Json reward(const trigfile::RecordFields& fields) {
    const trigfile::ActionFields& r = fields.reward;
    if (r.action == trigfile::kActionSetSwitch) {
        return Json{{"kind", "Switch"}, {"switch", r.value + 1}};
    }
    if (r.action == trigfile::kActionSetScore) {
        return Json{{"kind", "Score"},
                    {"points", r.value},
                    {"scoreKind", named(r.kindOrType, trigfile::scoreKindName(r.kindOrType))}};
    }
    const bool gasOnly = r.kindOrType == trigfile::kResourceGas;
    return Json{{"kind", "Money"},
                {"ore", gasOnly ? 0 : r.value},
                {"gas", gasOnly ? r.value : (fields.extraGas ? fields.extraGas->value : 0)}};
}

Json series(const trigfile::RecognisedSeries& found) {
    const trigfile::TriggerSeries& s = found.series;
    Json json{{"firstTrigger", found.firstRecord + 1},
              {"triggerCount", s.recordCount},
              {"summary", trigfile::seriesSummary(s)},
              {"every", s.killStep},
              {"upTo", s.lastThreshold()},
              {"unit", unit(s.fields.unitId)},
              {"reward", reward(s.fields)},
              {"owners", owners(s.fields.executionTable)}};
    if (s.message) {
        // As typed, placeholders and all, with the encoding of its bytes.
        json["message"] = Json{{"text", s.message->typed.text},
                               {"encoding", trigfile::encodingName(s.message->typed.encoding)}};
    }
    return json;
}

// Compact, and a file name that is not UTF-8 is shown with U+FFFD where it
// is not, instead of failing.
std::string dumped(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Triggers are numbered from 1, as the listing numbers them.
// One document, written trigger by trigger so that a big file never has to
// be held as JSON in memory.
void printJson(const std::string& name, const trigfile::TriggerRecords& records) {
    std::cout << "{\"file\":" << dumped(Json(name))
              << ",\"kind\":" << dumped(Json(kindOf(pathFromArgument(name))))
              << ",\"triggerCount\":" << records.count()
              << ",\"stacked\":" << (records.trigSections > 1 ? "true" : "false")
              << ",\"triggers\":[";
    for (std::size_t i = 0; i < records.count(); ++i) {
        std::cout << (i == 0 ? "\n" : ",\n")
                  << dumped(trigger(records, i, trigfile::decodeTrigger(records.record(i))));
    }
    std::cout << "],\"series\":[";
    bool first = true;
    for (const auto& found : trigfile::findSeries(records)) {
        std::cout << (first ? "\n" : ",\n") << dumped(series(found));
        first = false;
    }
    std::cout << "]}\n";
}

} // namespace

int runShow(const ShowOptions& options) {
    const std::filesystem::path file = pathFromArgument(options.file);
    if (maparchive::targetOf(file) == maparchive::Target::Unknown) {
        return reportProblem(base::Problem::refused("show takes a trigger file (.trg), a scenario "
                                                    "file (.chk) or a map (.scm, .scx), not " +
                                                    base::displayName(file) + "."),
                             kValueProblem);
    }
    const trigfile::TriggerFileRead read = maparchive::readTriggersOf(file);
    if (!read.ok()) {
        return reportProblem(read.problem(), kReadProblem);
    }
    const trigfile::TriggerRecords& records = *read;
    if (options.json) {
        printJson(options.file, records);
    } else {
        std::cout << trigfile::listTriggers(records);
    }
    std::cout.flush();
    if (!std::cout) {
        return reportProblem(
            base::Problem::failed("Could not write the listing to standard output."), kReadProblem);
    }
    return kExitOk;
}

} // namespace cli
