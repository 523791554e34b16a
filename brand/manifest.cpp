#include "brand/manifest.h"

namespace {

// The attribute may be written with either quote; the value ends at the same quote.
bool ReplaceLevel(std::string* text, std::size_t element, const std::string& level) {
    const std::size_t close = text->find('>', element);
    if (close == std::string::npos) return false;
    std::size_t at = element;
    while (true) {
        at = text->find("level", at);
        if (at == std::string::npos || at > close) return false;
        const char before = (*text)[at - 1];
        std::size_t cursor = at + 5;
        while (cursor < close && ((*text)[cursor] == ' ' || (*text)[cursor] == '\t' ||
                                  (*text)[cursor] == '\r' || (*text)[cursor] == '\n')) {
            ++cursor;
        }
        const bool standalone = before == ' ' || before == '\t' || before == '\r' || before == '\n';
        if (standalone && cursor < close && (*text)[cursor] == '=') {
            ++cursor;
            while (cursor < close && ((*text)[cursor] == ' ' || (*text)[cursor] == '\t')) ++cursor;
            if (cursor >= close) return false;
            const char quote = (*text)[cursor];
            if (quote != '"' && quote != '\'') return false;
            const std::size_t end = text->find(quote, cursor + 1);
            if (end == std::string::npos || end > close) return false;
            text->replace(cursor + 1, end - cursor - 1, level);
            return true;
        }
        at += 5;
    }
}

}  // namespace

bool IsExecutionLevel(const std::string& level) {
    return level == "asInvoker" || level == "highestAvailable" || level == "requireAdministrator";
}

bool SetExecutionLevel(const std::string& manifest, const std::string& level, std::string* result,
                       std::string* error) {
    *result = manifest;
    // The element may carry a namespace prefix (<asmv3:requestedExecutionLevel ...>).
    std::size_t element = result->find("requestedExecutionLevel");
    while (element != std::string::npos && element > 0 && (*result)[element - 1] != '<' &&
           (*result)[element - 1] != ':') {
        element = result->find("requestedExecutionLevel", element + 1);
    }
    if (element != std::string::npos && element > 0) {
        if (ReplaceLevel(result, element, level)) return true;
        *error = "the manifest's requestedExecutionLevel has no readable level attribute";
        return false;
    }
    const std::size_t name = result->rfind("assembly>");
    const std::size_t end = name == std::string::npos ? name : result->rfind("</", name);
    if (end == std::string::npos || result->find('>', end) != name + 8) {
        *error = "the manifest is not an assembly manifest (no </assembly>)";
        return false;
    }
    result->insert(end,
                   "  <trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\">\n"
                   "    <security>\n"
                   "      <requestedPrivileges>\n"
                   "        <requestedExecutionLevel level=\"" +
                       level +
                       "\" uiAccess=\"false\"/>\n"
                       "      </requestedPrivileges>\n"
                       "    </security>\n"
                       "  </trustInfo>\n");
    return true;
}
