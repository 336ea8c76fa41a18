#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// JSON written straight into text, value by value, for show --json: a
// document tree per trigger costs more than reading the trigger. Strings
// are escaped as nlohmann's dump escapes them (UTF-8 kept, bytes that are
// not UTF-8 replaced by U+FFFD), so the output is the same either way.
class JsonWriter {
  public:
    explicit JsonWriter(std::string& out) : out_(out) {}

    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    // A key of the object open; keys are plain ASCII names.
    JsonWriter& key(std::string_view name);
    JsonWriter& value(std::uint64_t number);
    JsonWriter& value(std::string_view text);
    JsonWriter& null();

  private:
    void beforeValue();

    std::string& out_;
    std::vector<bool> empty_; // of each container open, whether it has nothing yet
    bool afterKey_ = false;
};

// A string as a JSON string, quotes included.
void appendJsonString(std::string& out, std::string_view text);

} // namespace cli
