// The settings object and its file, settings.reg, in the layout of a registry export.
#include "store/settings.h"

#include "platform/data_dir.h"
#include "platform/file.h"
#include "platform/text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string_view>

namespace verdal {
namespace {

constexpr const char* kFileName = "settings.reg";
constexpr const char* kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kKey = "SOFTWARE\\verdalV021";
constexpr std::string_view kKeyLine = "HKEY_LOCAL_MACHINE\\SOFTWARE\\verdalV021";

constexpr std::uint32_t kDefaultUpdateVersion = 24;
constexpr std::int32_t kDefaultComIndex = 99;
// The serial number was read into a buffer of 64 wide characters with its terminator; a longer
// one never loaded, and still does not.
constexpr std::size_t kSerialNumberLimit = 64;

// Guards the values; held only while copying them in or out.
std::mutex valuesMutex;
// Orders the reads and writes of the file, so that two saves never interleave.
std::mutex fileMutex;

Settings LoadingDefaults() {
    Settings defaults;
    defaults.updateVersion = kDefaultUpdateVersion;
    defaults.comIndex = kDefaultComIndex;
    return defaults;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] - 'A' + 'a') : b[i];
        if (x != y)
            return false;
    }
    return true;
}

// ---- reading ----

// A value as the file holds it: a dword or a text.
struct RegValue {
    std::string name;
    std::optional<std::uint32_t> dword;
    std::optional<std::string> text;
};

// Reads a quoted text with "\\" and "\"" escapes from the start of rest; answers the text and
// leaves rest after the closing quote, or nothing when the text is malformed.
std::optional<std::string> ReadQuoted(std::string_view& rest) {
    if (rest.empty() || rest.front() != '"')
        return std::nullopt;
    std::string text;
    std::size_t i = 1;
    while (i < rest.size()) {
        char c = rest[i++];
        if (c == '"') {
            rest.remove_prefix(i);
            return text;
        }
        if (c == '\\') {
            if (i == rest.size())
                return std::nullopt;
            c = rest[i++];
            if (c == 'x') {
                // A control character, written as two hexadecimal digits.
                int high = i + 1 < rest.size() ? HexDigitValue(rest[i]) : -1;
                int low = i + 1 < rest.size() ? HexDigitValue(rest[i + 1]) : -1;
                if (high < 0 || low < 0)
                    return std::nullopt;
                c = static_cast<char>(high * 16 + low);
                i += 2;
            } else if (c != '\\' && c != '"') {
                return std::nullopt;
            }
        }
        text.push_back(c);
    }
    return std::nullopt;
}

// Parses one value line; nothing when it is not a well-formed dword or text value.
std::optional<RegValue> ParseValueLine(std::string_view line) {
    RegValue value;
    std::optional<std::string> name = ReadQuoted(line);
    if (!name || line.empty() || line.front() != '=')
        return std::nullopt;
    value.name = *name;
    line.remove_prefix(1);
    if (line.substr(0, 6) == "dword:") {
        std::string_view digits = line.substr(6);
        if (digits.empty() || digits.size() > 8)
            return std::nullopt;
        std::uint32_t number = 0;
        for (char c : digits) {
            int digit = HexDigitValue(c);
            if (digit < 0)
                return std::nullopt;
            number = number * 16 + static_cast<std::uint32_t>(digit);
        }
        value.dword = number;
        return value;
    }
    std::optional<std::string> text = ReadQuoted(line);
    if (!text || !line.empty())
        return std::nullopt;
    value.text = std::move(*text);
    return value;
}

enum class FileState { Loaded, Missing, Unreadable, Damaged };

FileState ReadSettingsFile(const std::string& path, Settings& settings, std::string& reason) {
    std::string content;
    if (const FileFailure failure = ReadWholeFile(path, content)) {
        if (failure.error == ENOENT)
            return FileState::Missing;
        reason = std::strerror(failure.error);
        return FileState::Unreadable;
    }
    return ParseSettingsText(content, settings, reason) ? FileState::Loaded : FileState::Damaged;
}

// ---- writing ----

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 0x20) {
            // A line break inside a text would split its line; control characters are
            // written as escapes.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
            out += escaped;
            continue;
        }
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

} // namespace

std::string FormatSettingsText(const Settings& settings) {
    char dword[16];
    std::string out = std::string(kHeader) + "\n\n[" + std::string(kKeyLine) + "]\n";
    std::snprintf(dword, sizeof dword, "%08x", settings.updateVersion);
    out += "\"update version\"=dword:" + std::string(dword) + "\n";
    std::snprintf(dword, sizeof dword, "%08x", static_cast<std::uint32_t>(settings.comIndex));
    out += "\"com index\"=dword:" + std::string(dword) + "\n";
    out += "\"sn\"=" + Quoted(Utf16ToUtf8(settings.serialNumber)) + "\n";
    out += "\"server\"=" + Quoted(settings.server) + "\n";
    if (!settings.adapter.empty())
        out += "\"adapter\"=" + Quoted(settings.adapter) + "\n";
    out += "\n";
    return out;
}

namespace {

// The whole file is replaced, so that a crash leaves the old settings or the new ones. It holds
// the device's serial number: it is for its user alone.
void WriteOrReport(const std::string& path, const Settings& settings) {
    if (const FileFailure failure = ReplaceFile(path, FormatSettingsText(settings), 0600))
        std::cerr << "verdal: settings not saved to " << path << ": " << failure.Text() << "\n";
}

} // namespace

bool ParseSettingsText(std::string_view content, Settings& settings, std::string& reason) {
    std::istringstream lines{std::string(content)};
    std::string line;
    int lineNumber = 0;
    bool anyKey = false;
    bool inOurKey = false;
    bool foundOurKey = false;
    while (std::getline(lines, line)) {
        ++lineNumber;
        std::string_view text = line;
        if (lineNumber == 1 && text.substr(0, 3) == "\xEF\xBB\xBF")
            text.remove_prefix(3);
        while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t'))
            text.remove_suffix(1);
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
            text.remove_prefix(1);
        if (text.empty() || text.front() == ';' || text == kHeader || text == "REGEDIT4")
            continue;
        if (text.front() == '[' && text.back() == ']') {
            std::string_view key = text.substr(1, text.size() - 2);
            anyKey = true;
            inOurKey = EqualsIgnoringCase(key, kKeyLine) || EqualsIgnoringCase(key, kKey);
            foundOurKey = foundOurKey || inOurKey;
            continue;
        }
        std::optional<RegValue> value = ParseValueLine(text);
        if (!value || !anyKey) {
            reason = "line " + std::to_string(lineNumber) + " is not a value of a key";
            return false;
        }
        if (!inOurKey)
            continue;
        if (EqualsIgnoringCase(value->name, "update version") && value->dword) {
            settings.updateVersion = *value->dword;
        } else if (EqualsIgnoringCase(value->name, "com index") && value->dword) {
            settings.comIndex = static_cast<std::int32_t>(*value->dword);
        } else if (EqualsIgnoringCase(value->name, "sn") && value->text) {
            // A text value ends at its first zero, as the registry's do; a damaged file can
            // spell one in UTF-8 (an overlong sequence) where a zero byte cannot stand.
            std::u16string serial = Utf8ToUtf16(*value->text);
            serial.resize(std::min(serial.size(), serial.find(u'\0')));
            settings.serialNumber = serial.size() < kSerialNumberLimit ? serial : u"";
        } else if (EqualsIgnoringCase(value->name, "server") && value->text) {
            settings.server = value->text->empty() ? std::string(kDefaultServer) : *value->text;
        } else if (EqualsIgnoringCase(value->name, "adapter") && value->text) {
            settings.adapter = *value->text;
        }
    }
    if (!foundOurKey) {
        reason = "the key " + std::string(kKey) + " is missing";
        return false;
    }
    return true;
}

Settings& AppSettings() {
    static Settings settings;
    return settings;
}

Settings CopySettings() {
    std::lock_guard lock(valuesMutex);
    return AppSettings();
}

void ChangeSettings(const std::function<void(Settings&)>& change) {
    std::lock_guard lock(valuesMutex);
    change(AppSettings());
}

void LoadSettings() {
    std::lock_guard fileLock(fileMutex);
    std::string path;
    try {
        path = ProgramFilePath(kFileName);
    } catch (const std::exception& error) {
        std::cerr << "verdal: settings not loaded: " << error.what() << "\n";
        ChangeSettings([](Settings& settings) { settings = LoadingDefaults(); });
        return;
    }
    Settings loaded = LoadingDefaults();
    std::string reason;
    FileState state = ReadSettingsFile(path, loaded, reason);
    if (state != FileState::Loaded)
        loaded = LoadingDefaults();
    ChangeSettings([&loaded](Settings& settings) { settings = loaded; });

    switch (state) {
    case FileState::Loaded:
        break;
    case FileState::Missing:
        WriteOrReport(path, loaded);
        break;
    case FileState::Unreadable:
        // Left alone: it may become readable again, and replacing it would lose what it holds.
        std::cerr << "verdal: cannot read " << path << " (" << reason
                  << "); using the default settings\n";
        break;
    case FileState::Damaged: {
        const std::string kept = path + ".bad";
        const FileFailure failure = RenameFile(path, kept);
        if (!failure) {
            std::cerr << "verdal: " << path << " is damaged (" << reason << "); kept as " << kept
                      << ", using the default settings\n";
            WriteOrReport(path, loaded);
        } else {
            std::cerr << "verdal: " << path << " is damaged (" << reason
                      << ") and cannot be kept aside: " << std::strerror(failure.error)
                      << "; using the default settings\n";
        }
        break;
    }
    }
}

void SaveSettings() {
    // The values are copied under the file lock: two saves write in the order they copied, so the
    // file can never end with the older copy.
    std::lock_guard fileLock(fileMutex);
    const Settings current = CopySettings();
    try {
        WriteOrReport(ProgramFilePath(kFileName), current);
    } catch (const std::exception& error) {
        std::cerr << "verdal: settings not saved: " << error.what() << "\n";
    }
}

} // namespace verdal
