#include "json_log.h"

#include <windows.h>

#include <cstdio>
#include <mutex>

#include "vm.h"

namespace standin {
namespace {

std::mutex g_logMutex;
std::wstring g_logPath;
std::string g_logEvents;  // ",main,create," or empty for all events

}  // namespace

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

namespace {
// Java text may hold lone surrogates; JSON carries them as \u escapes so nothing is lost.
std::string JsonU16(const std::u16string& s) {
    std::string out = "\"";
    for (size_t i = 0; i < s.size(); ++i) {
        char16_t u = s[i];
        bool pair = u >= 0xD800 && u < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
                    s[i + 1] < 0xE000;
        if (pair) {
            std::string utf = Utf8(s.substr(i, 2));
            out += utf;
            ++i;
        } else if ((u >= 0xD800 && u < 0xE000) || u < 0x20 || u == '"' || u == '\\') {
            std::string piece = JsonString(Utf8(std::u16string(1, u)));
            if (u >= 0xD800 && u < 0xE000) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", u);
                out += buf;
            } else {
                out += piece.substr(1, piece.size() - 2);
            }
        } else {
            out += Utf8(std::u16string(1, u));
        }
    }
    return out + "\"";
}
}  // namespace

JsonValue::JsonValue(const std::string& text) : encoded(JsonString(text)) {}
JsonValue::JsonValue(const char* text) : encoded(text ? JsonString(text) : "null") {}
JsonValue::JsonValue(const std::u16string& text) : encoded(JsonU16(text)) {}
JsonValue::JsonValue(long long number) : encoded(std::to_string(number)) {}
JsonValue::JsonValue(const std::vector<std::u16string>& list) {
    encoded = "[";
    for (size_t i = 0; i < list.size(); ++i) encoded += (i ? "," : "") + JsonU16(list[i]);
    encoded += "]";
}
JsonValue::JsonValue(const std::vector<std::string>& list) {
    encoded = "[";
    for (size_t i = 0; i < list.size(); ++i) encoded += (i ? "," : "") + JsonString(list[i]);
    encoded += "]";
}

void SetLogPath(const std::string& path) {
    std::lock_guard<std::mutex> guard(g_logMutex);
    g_logPath = WideFromUtf8(path);
}

void SetLogEvents(const std::string& events) {
    std::lock_guard<std::mutex> guard(g_logMutex);
    g_logEvents = "," + events + ",";
}

void LogEvent(const char* event, std::initializer_list<std::pair<const char*, JsonValue>> fields) {
    {
        std::lock_guard<std::mutex> guard(g_logMutex);
        if (!g_logEvents.empty() &&
            g_logEvents.find("," + std::string(event) + ",") == std::string::npos) {
            return;
        }
    }
    std::string line = "{\"event\":" + JsonString(event) +
                       ",\"pid\":" + std::to_string(GetCurrentProcessId()) +
                       ",\"tid\":" + std::to_string(GetCurrentThreadId());
    for (const auto& [key, value] : fields) line += "," + JsonString(key) + ":" + value.encoded;
    line += "}\n";

    std::lock_guard<std::mutex> guard(g_logMutex);
    if (g_logPath.empty()) return;
    // A named mutex orders whole lines between processes that share the log.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"vmboot_standin_log_lock");
    if (mutex) WaitForSingleObject(mutex, 10000);
    HANDLE file = CreateFileW(g_logPath.c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        // Other processes see the line once WriteFile returns; flushing to the disk as well
        // would only add a disk wait to every call the launcher makes, and distort timings.
        WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        CloseHandle(file);
    }
    if (mutex) {
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    }
}

}  // namespace standin
