// Reading and writing update.journal.
#include "update/update_journal.h"

#include "platform/data_dir.h"
#include "platform/text.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <map>

namespace verdal {
namespace {

constexpr std::string_view kFirstLine = "verdal update journal 1";
constexpr char kFileName[] = "update.journal";

template <class T> bool ReadNumber(std::string_view text, T& value, int base = 10) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

// The count of "stored-now" as it stands in the journal: ten digits, so that it can be
// overwritten in place.
std::string TenDigits(std::uint32_t stored) {
    char digits[11];
    std::snprintf(digits, sizeof digits, "%010u", stored);
    return digits;
}

} // namespace

std::optional<FileFingerprint> FingerprintOf(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return std::nullopt;
    FileFingerprint fingerprint{0, kFnvStart};
    char chunk[1 << 16];
    while (const std::size_t n = std::fread(chunk, 1, sizeof chunk, file)) {
        fingerprint.size += n;
        fingerprint.hash = Fnv1a(std::string_view(chunk, n), fingerprint.hash);
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        return std::nullopt;
    return fingerprint;
}

std::string FormatUpdateJournal(const UpdateJournal& journal, const std::string& boot) {
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(journal.file.hash));
    std::string text = std::string(kFirstLine) + "\ncatalogue " + journal.catalogueUrl + "\nfrom " +
                       std::to_string(journal.fromVersion) + "\nto " +
                       std::to_string(journal.toVersion) + "\nfile " +
                       std::to_string(journal.file.size) + " " + hash + "\n";
    if (!journal.validators.etag.empty())
        text += "etag " + journal.validators.etag + "\n";
    if (!journal.validators.lastModified.empty())
        text += "last-modified " + journal.validators.lastModified + "\n";
    return text + "stored " + std::to_string(journal.stored) + "\nboot " + boot + "\nstored-now " +
           TenDigits(journal.stored) + "\n";
}

std::optional<UpdateJournal> ParseUpdateJournal(std::string_view text, const std::string& boot) {
    std::map<std::string_view, std::string_view> values;
    bool first = true;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (first) {
            if (line != kFirstLine)
                return std::nullopt;
            first = false;
            continue;
        }
        const std::size_t blank = line.find(' ');
        if (blank == std::string_view::npos)
            return std::nullopt;
        values[line.substr(0, blank)] = line.substr(blank + 1);
    }
    const std::string_view file = values["file"];
    const std::size_t blank = file.find(' ');
    UpdateJournal journal;
    journal.catalogueUrl = values["catalogue"];
    journal.validators.etag = values["etag"];
    journal.validators.lastModified = values["last-modified"];
    if (journal.catalogueUrl.empty() || blank == std::string_view::npos ||
        !ReadNumber(values["from"], journal.fromVersion) ||
        !ReadNumber(values["to"], journal.toVersion) ||
        !ReadNumber(values["stored"], journal.stored) ||
        !ReadNumber(file.substr(0, blank), journal.file.size) ||
        !ReadNumber(file.substr(blank + 1), journal.file.hash, 16))
        return std::nullopt;
    // What the page cache held counts only on the system that wrote it.
    std::uint32_t storedNow = 0;
    if (!boot.empty() && values["boot"] == boot && ReadNumber(values["stored-now"], storedNow))
        journal.stored = std::max(journal.stored, storedNow);
    return journal;
}

std::optional<UpdateJournal> ReadUpdateJournal() {
    std::string text;
    if (ReadWholeFile(ProgramFilePath(kFileName), text))
        return std::nullopt;
    return ParseUpdateJournal(text, BootId());
}

FileFailure JournalKeeper::Write(const UpdateJournal& journal) {
    const std::string path = ProgramFilePath(kFileName);
    const std::string text = FormatUpdateJournal(journal, BootId());
    // Like the settings beside it, for its user alone.
    if (FileFailure failure = ReplaceFile(path, text, 0600))
        return failure;
    offset_ = text.size() - TenDigits(0).size() - 1; // the digits before the last newline
    return file_.Open(path);
}

void JournalKeeper::Note(std::uint32_t stored) {
    file_.Patch(offset_, TenDigits(stored));
}

FileFailure RemoveUpdateJournal() {
    return RemoveFile(ProgramFilePath(kFileName));
}

} // namespace verdal
