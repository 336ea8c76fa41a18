#pragma once

#include "trigfile/action_extras.h"
#include "trigfile/decoded_trigger.h"
#include "trigfile/trigger_file_reader.h"
#include "trigfile/trigger_series.h"
#include "trigfile/trigger_stream.h"
#include "trigfile/unit_properties.h"

#include <cstddef>
#include <ostream>
#include <string>

namespace trigfile {

// How much of a big file the listing spells out in full: beyond this many
// triggers outside any series, only their summary lines are given.
inline constexpr std::size_t kMaxDetailedTriggers = 2'000;

// The whole listing: a summary (one line for each series and for each other
// trigger), then the details of each trigger as the map editors word it.
std::string listTriggers(const TriggerRecords& records);

// The same listing written to `out` in one walk of the source, whose
// triggers are never held: or why the source could not be read (then
// nothing has been written).
base::Outcome<base::Done> writeListing(TriggerSource& source, std::ostream& out);

// "Money: every 5 kills of Zergling (37) up to 50, 100 ore, Player 1 and
// Force 2, 10 triggers"
std::string seriesSummary(const TriggerSeries& series);

// How many characters of a text the summary line of a trigger shows; the
// details show it whole.
inline constexpr std::size_t kSummaryTextCharacters = 40;

// One condition or action in words, "" for an empty slot. Values Tallyforge
// cannot name are given by their numbers, and a field the words do not
// cover is given by its number wherever it differs from what the map
// editors write there ("(flags 0)"), so that no difference goes unseen. An
// action's text and unit properties come from `extras`; a string that is
// not to be found is given by its number and "(no such string)".
std::string describeCondition(const DecodedCondition& condition);
std::string describeAction(const DecodedAction& action, const ActionExtras& extras = {});

// "hit points 50%, shields 100%, cloaked": the fields and states in use.
std::string describeUnitProperties(const UnitProperties& properties);

// The owners of a trigger from its execution table: "Player 1 and Force 2".
std::string ownersText(const std::array<std::uint8_t, record::kExecutionTableSize>& table);

// The names the listing gives single values ("Current Player", "Kill", "Set
// Resources", "Razings"); a value without a name is given as its kind and
// number ("player group 12").
std::string playerGroupName(std::uint32_t group);
std::string conditionTypeName(std::uint8_t type);
std::string actionTypeName(std::uint8_t type);
std::string scoreKindName(std::uint32_t kind);

} // namespace trigfile
