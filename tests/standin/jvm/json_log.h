#pragma once
// The JSON-lines log of everything done to the runtime. One object per line, appended and
// flushed per line, safe across threads and processes.

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace standin {

/// A JSON value written verbatim (already encoded) or from text/number/bool/list.
struct JsonValue {
    std::string encoded;
    JsonValue(const std::string& text);
    JsonValue(const char* text);
    JsonValue(const std::u16string& text);
    JsonValue(long long number);
    JsonValue(int number) : JsonValue(static_cast<long long>(number)) {}
    JsonValue(unsigned long number) : JsonValue(static_cast<long long>(number)) {}
    JsonValue(unsigned long long number) : JsonValue(static_cast<long long>(number)) {}
    JsonValue(unsigned number) : JsonValue(static_cast<long long>(number)) {}
    JsonValue(long number) : JsonValue(static_cast<long long>(number)) {}
    JsonValue(bool flag) : encoded(flag ? "true" : "false") {}
    JsonValue(std::nullptr_t) : encoded("null") {}
    JsonValue(const std::vector<std::u16string>& list);
    JsonValue(const std::vector<std::string>& list);
};

std::string JsonString(const std::string& utf8);

/// Sets the log file (UTF-8 path); empty disables logging.
void SetLogPath(const std::string& path);
// A comma-separated list of the events to write; all are written when none was set.
void SetLogEvents(const std::string& events);
/// Appends {"event": event, "pid":..., "tid":..., fields...}.
void LogEvent(const char* event,
              std::initializer_list<std::pair<const char*, JsonValue>> fields = {});

}  // namespace standin
