#include "cli/show_command.h"

#include "base/ascii.h"
#include "base/display_name.h"
#include "cli/console_text.h"
#include "cli/exit_status.h"
#include "cli/json_writer.h"
#include "cli/problem_report.h"
#include "maparchive/add_to_map.h"
#include "maparchive/open_triggers.h"
#include "trigfile/action_extras.h"
#include "trigfile/decoded_trigger.h"
#include "trigfile/series_recognition.h"
#include "trigfile/text_spool.h"
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

void named(JsonWriter& w, std::uint32_t number, const std::string& name) {
    w.beginObject().key("number").value(number).key("name").value(name).endObject();
}

void unit(JsonWriter& w, std::uint32_t number) {
    named(w, number, trigfile::unitName(number));
}

void owners(JsonWriter& w, const std::array<std::uint8_t, trigfile::kExecutionTableSize>& table) {
    w.beginArray();
    for (std::uint32_t i = 0; i < table.size(); ++i) {
        if (table[i] != 0) {
            named(w, i, trigfile::playerGroupName(i));
        }
    }
    w.endArray();
}

void condition(JsonWriter& w, std::size_t slot, const trigfile::DecodedCondition& c) {
    w.beginObject().key("slot").value(slot).key("type");
    named(w, c.type, trigfile::conditionTypeName(c.type));
    w.key("text").value(trigfile::describeCondition(c)).key("player");
    named(w, c.playerGroup, trigfile::playerGroupName(c.playerGroup));
    w.key("quantity").value(c.quantity).key("unit");
    unit(w, c.unitType);
    w.key("comparison").value(c.comparison);
    w.key("resourceType").value(c.resourceType);
    w.key("location").value(c.location);
    w.key("flags").value(c.flags).endObject();
}

// The string an action names: its text as read, or null when it is not to
// be found; null when the action names none.
void namedString(JsonWriter& w, const trigfile::DecodedAction& a,
                 const trigfile::ActionExtras& extras) {
    if (a.text == 0) {
        w.null();
        return;
    }
    w.beginObject().key("number").value(a.text).key("text");
    if (!extras.text) {
        w.null().key("encoding").null().endObject();
        return;
    }
    // Bytes in no known encoding are given escaped, as the listing shows them.
    const bool known = extras.text->encoding != trigfile::TextEncoding::Unknown;
    w.value(known ? extras.text->text : trigfile::escapedText(*extras.text));
    w.key("encoding").value(trigfile::encodingName(extras.text->encoding)).endObject();
}

void unitProperties(JsonWriter& w, const std::optional<trigfile::UnitProperties>& properties) {
    if (!properties) {
        w.null();
        return;
    }
    const trigfile::UnitProperties& u = *properties;
    w.beginObject()
        .key("text")
        .value(trigfile::describeUnitProperties(u))
        .key("fieldsUsed")
        .value(u.fieldsUsed)
        .key("owner")
        .value(u.owner)
        .key("hitPoints")
        .value(u.hitPoints)
        .key("shields")
        .value(u.shields)
        .key("energy")
        .value(u.energy)
        .key("resources")
        .value(u.resources)
        .key("hangar")
        .value(u.hangar)
        .key("statesUsed")
        .value(u.statesUsed)
        .key("states")
        .value(u.states)
        .key("unused")
        .value(u.unused)
        .endObject();
}

void action(JsonWriter& w, std::size_t slot, const trigfile::DecodedAction& a,
            const trigfile::ActionExtras& extras) {
    w.beginObject().key("slot").value(slot).key("type");
    named(w, a.type, trigfile::actionTypeName(a.type));
    w.key("text").value(trigfile::describeAction(a, extras)).key("player");
    named(w, a.playerGroup, trigfile::playerGroupName(a.playerGroup));
    w.key("amount").value(a.amountOrSwitch);
    w.key("resourceOrScoreKind").value(a.resourceOrScore);
    w.key("modifierOrState").value(a.modifierOrState);
    w.key("location").value(a.location);
    w.key("textString").value(a.text);
    w.key("soundString").value(a.sound);
    w.key("time").value(a.time);
    w.key("flags").value(a.flags);
    w.key("string");
    namedString(w, a, extras);
    w.key("unitProperties");
    unitProperties(w, extras.unitProperties);
    w.endObject();
}

void trigger(JsonWriter& w, const trigfile::TriggerView& view, const trigfile::DecodedTrigger& t) {
    w.beginObject().key("number").value(view.index + 1).key("owners");
    owners(w, t.executionTable);
    w.key("conditions").beginArray();
    for (std::size_t i = 0; i < t.conditions.size(); ++i) {
        if (t.conditions[i].type != 0) {
            condition(w, i, t.conditions[i]);
        }
    }
    w.endArray().key("actions").beginArray();
    for (std::size_t i = 0; i < t.actions.size(); ++i) {
        if (t.actions[i].type != 0) {
            action(w, i, t.actions[i], trigfile::extrasOf(view, i, t.actions[i]));
        }
    }
    w.endArray().key("executionFlags").value(t.executionFlags).endObject();
}

void reward(JsonWriter& w, const trigfile::RecordFields& fields) {
    const trigfile::ActionFields& r = fields.reward;
    w.beginObject();
    if (r.action == trigfile::kActionSetSwitch) {
        w.key("kind").value("Switch").key("switch").value(r.value + 1).endObject();
        return;
    }
    if (r.action == trigfile::kActionSetScore) {
        w.key("kind").value("Score").key("points").value(r.value).key("scoreKind");
        named(w, r.kindOrType, trigfile::scoreKindName(r.kindOrType));
        w.endObject();
        return;
    }
    const bool gasOnly = r.kindOrType == trigfile::kResourceGas;
    w.key("kind").value("Money").key("ore").value(gasOnly ? 0 : r.value);
    w.key("gas").value(gasOnly ? r.value : (fields.extraGas ? fields.extraGas->value : 0));
    w.endObject();
}

void series(JsonWriter& w, const trigfile::RecognisedSeries& found) {
    const trigfile::TriggerSeries& s = found.series;
    w.beginObject()
        .key("firstTrigger")
        .value(found.firstRecord + 1)
        .key("triggerCount")
        .value(s.recordCount)
        .key("summary")
        .value(trigfile::seriesSummary(s))
        .key("every")
        .value(s.killStep)
        .key("upTo")
        .value(s.lastThreshold())
        .key("unit");
    unit(w, s.fields.unitId);
    w.key("reward");
    reward(w, s.fields);
    w.key("owners");
    owners(w, s.fields.executionTable);
    if (s.message) {
        // As typed, placeholders and all, with the encoding of its bytes.
        w.key("message")
            .beginObject()
            .key("text")
            .value(s.message->typed.text)
            .key("encoding")
            .value(trigfile::encodingName(s.message->typed.chosenOrUtf8()))
            .endObject();
    }
    w.endObject();
}

// Compact, and a file name that is not UTF-8 is shown with U+FFFD where it
// is not, instead of failing.
std::string dumped(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Triggers are numbered from 1, as the listing numbers them.
// One document, written trigger by trigger so that a big file is never held,
// as records or as JSON: a first walk counts the triggers and finds the
// series (spooled, as they come last), the second writes the triggers.
base::Outcome<base::Done> printJson(const std::string& name, trigfile::TriggerSource& source) {
    trigfile::TextSpool seriesJson;
    trigfile::SeriesFinder finder;
    bool firstSeries = true;
    std::string text;
    const auto addSeries = [&](const trigfile::RecognisedSeries& found) {
        text = firstSeries ? "\n" : ",\n";
        JsonWriter w(text);
        series(w, found);
        seriesJson.append(text);
        firstSeries = false;
    };
    auto counted = source.walk([&](const trigfile::TriggerView& view) {
        if (auto step = finder.next(view); step.ended) {
            addSeries(*step.ended);
        }
    });
    if (!counted.ok()) {
        return std::move(counted.problem());
    }
    if (auto open = finder.finish()) {
        addSeries(*open);
    }
    std::cout << "{\"file\":" << dumped(Json(name))
              << ",\"kind\":" << dumped(Json(kindOf(pathFromArgument(name))))
              << ",\"triggerCount\":" << counted->triggers
              << ",\"stacked\":" << (counted->trigSections > 1 ? "true" : "false")
              << ",\"triggers\":[";
    auto written = source.walk([&](const trigfile::TriggerView& view) {
        text = view.index == 0 ? "\n" : ",\n";
        JsonWriter w(text);
        trigger(w, view, trigfile::decodeTrigger(view.record()));
        std::cout << text;
    });
    if (!written.ok()) {
        return std::move(written.problem());
    }
    if (written->triggers != counted->triggers) {
        return base::Problem::failed(base::displayName(pathFromArgument(name)) +
                                     " changed while it was read.");
    }
    std::cout << "],\"series\":[";
    if (!seriesJson.copyTo(std::cout)) {
        return base::Problem::failed("Could not read back the series' temporary file.");
    }
    std::cout << "]}\n";
    return base::Done{};
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
    auto source = maparchive::triggerSourceOf(file);
    if (!source.ok()) {
        return reportProblem(source.problem(), kReadProblem);
    }
    const base::Outcome<base::Done> shown = options.json
                                                ? printJson(options.file, **source)
                                                : trigfile::writeListing(**source, std::cout);
    if (!shown.ok()) {
        std::cout.flush();
        return reportProblem(shown.problem(), kReadProblem);
    }
    std::cout.flush();
    if (!std::cout) {
        return reportProblem(
            base::Problem::failed("Could not write the listing to standard output."), kReadProblem);
    }
    return kExitOk;
}

} // namespace cli
