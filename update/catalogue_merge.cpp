// Downloading update.xml and merging its newer versions into table GOLF.
#include "update/catalogue_merge.h"

#include "update/catalogue_file.h"

#include "platform/data_dir.h"
#include "platform/event.h"
#include "platform/file.h"
#include "platform/language.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "store/course_record.h"
#include "store/course_table.h"
#include "store/sqlite_exception.h"
#include "store/sqlite_layer.h"
#include "update/http_fetch.h"
#include "update/transfer_set.h"

#include <sqlite3.h>
#include <tinyxml2.h>

#include <cstdio>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <unordered_set>
#include <vector>

namespace verdal {
namespace {

constexpr int kDownloadAttempts = 10;
constexpr std::uint32_t kRetryPauseMs = 500;
// Course maps fetched ahead of the course being stored. Far enough to keep every connection busy
// across a long round trip while a map waits to be tried again; the records waiting hold about
// two megabytes.
constexpr std::size_t kMapsAhead = 256;
// A polite client: no more connections than this to one server.
constexpr long kConnectionsPerServer = 8;
// The most memory the parsed catalogue file may take, and what tinyxml2 takes for each element
// and attribute besides the file's own bytes: a catalogue of 250,000 courses (92 MiB) is
// reckoned at 429 MiB and read by verdal-cli with a peak of 406 MiB. A file that would need more
// is refused before it is parsed, however few bytes it has: one of tiny elements costs many
// times its size.
constexpr std::uint64_t kCatalogueMemory = 448u << 20;
constexpr std::uint64_t kBytesPerElement = 128;
constexpr std::uint64_t kBytesPerAttribute = 96;

using tinyxml2::XMLElement;

void StoreCourse(const CourseRecord& record) {
    if (CourseCountById(record.objid) == 0)
        InsertCourse(record);
    else
        UpdateCourse(record);
}

// One course on its way into the table: its record, filled from the entry, and the transfer of
// its map into the record's GOF block.
struct PendingCourse {
    std::unique_ptr<CourseRecord> record;
    TransferSet::Id transfer = 0;
    std::size_t through = 0; // the courses of the merge stored once this one is
};

// Whether golf.db has a row for each of the first count entries.
bool AllStored(const std::vector<const XMLElement*>& entries, std::uint32_t count) {
    std::unordered_set<std::int32_t> stored;
    CppSQLite3Cursor cursor = CourseDatabase().runQuery("select objid from GOLF;");
    for (; !cursor.atEnd(); cursor.advance())
        stored.insert(cursor.intColumn(0));
    for (std::uint32_t i = 0; i < count; ++i)
        if (!stored.count(CatalogueEntryUid(*entries[i])))
            return false;
    return true;
}

// The progress dialog's text while the maps wait on a busy server, and once they no longer do.
std::string BusyText(std::uint32_t waitMs) {
    if (waitMs == 0)
        return Tr("Update GOF File...");
    // TRANSLATORS: the update's dialog while the server turns requests away; the seconds left.
    return Format(Tr("Update GOF File... (the server is busy: waiting %u s)"),
                  (waitMs + 999) / 1000);
}

bool MergeVersions(const XMLElement& root, HWND mainWindow, HWND progressWindow,
                   std::uint32_t localVersion, std::stop_token stop, std::string& problem,
                   const MergeProgress* progress) {
    std::vector<const XMLElement*> entries;
    int total = 0;
    if (!NewerCatalogueEntries(root, localVersion, entries, total)) {
        problem = Tr("a version of the catalogue file has no number");
        return false;
    }
    // The share of the courses stored so far, those of an earlier run included.
    std::size_t done = 0;
    auto postProgress = [&] {
        PostMessage(progressWindow, kProgressMessage,
                    static_cast<WPARAM>(static_cast<double>(done) / total * 100.0));
    };
    // The courses an earlier run stored are passed over, as long as the table still holds them.
    if (progress && progress->stored > 0 && progress->stored <= entries.size() &&
        AllStored(entries, progress->stored)) {
        done = progress->stored;
        postProgress();
    }
    auto recordProgress = [&](bool durable = true) {
        if (progress && progress->record)
            progress->record(static_cast<std::uint32_t>(done), durable);
    };

    // The maps of the next courses travel while the current one waits for its own and is stored;
    // they may arrive in any order, yet every course is judged and stored in document order.
    std::deque<PendingCourse> pending;
    // After the records: the transfers go first, so none outlives the block it writes into.
    TransferSet transfers(stop, kConnectionsPerServer);
    transfers.OnBusy([progressWindow](std::uint32_t waitMs) {
        PostMessageWith(progressWindow, kProgressTextMessage, 0,
                        std::make_unique<std::string>(BusyText(waitMs)));
    });
    std::size_t following = done;
    auto fetchAhead = [&] {
        while (pending.size() < kMapsAhead && following < entries.size()) {
            const XMLElement& entry = *entries[following++];
            // A fresh record: its GOF block is all zero, so the 32 bytes after the 7264-byte map,
            // which go to the device with it, never hold another course's bytes.
            auto record = std::make_unique<CourseRecord>();
            record->objid = CatalogueEntryUid(entry);
            const char* address = nullptr;
            if (!ReadCatalogueEntry(entry, *record, address))
                continue; // never: every entry chosen has every attribute
            const TransferSet::Id transfer =
                transfers.StartMap(Utf8ToUtf16(address), record->gof.data(), kGofBlockSize);
            pending.push_back({std::move(record), transfer, following});
        }
    };
    for (fetchAhead(); !pending.empty(); fetchAhead()) {
        std::string fetchProblem;
        const std::optional<int> fetched = transfers.Wait(pending.front().transfer, &fetchProblem);
        if (!fetched || *fetched != static_cast<int>(kCourseMapSize)) {
            // Stopped, or the wrong size: nothing after this entry is written.
            const std::string course = ShownText(pending.front().record->name);
            if (fetched && fetchProblem.empty())
                // TRANSLATORS: the course's name, the bytes that came and the bytes a map holds.
                problem = Format(Tr("the course map of \"%s\" holds %d bytes, not %zu"),
                                 course.c_str(), *fetched, kCourseMapSize);
            else if (fetched)
                // TRANSLATORS: the course's name, then why its map did not come.
                problem = Format(Tr("the course map of \"%s\": %s"), course.c_str(),
                                 fetchProblem.c_str());
            recordProgress();
            return false;
        }
        const std::unique_ptr<CourseRecord> record = std::move(pending.front().record);
        StoreCourse(*record);
        PostStatus(mainWindow, StatusCode::CourseStored, record->name);
        done = pending.front().through;
        pending.pop_front();
        postProgress();
        if (stop.stop_requested()) {
            recordProgress();
            return false;
        }
        recordProgress(done % kRecordEvery == 0);
        transfers.Advance();
    }
    return true;
}

} // namespace

std::string CatalogueFileTooLarge(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return {}; // the parser says why it cannot be read
    std::uint64_t bytes = 0, elements = 0, attributes = 0;
    char chunk[1 << 16];
    while (const std::size_t n = std::fread(chunk, 1, sizeof chunk, file)) {
        bytes += n;
        for (std::size_t i = 0; i < n; ++i) {
            elements += chunk[i] == '<';
            attributes += chunk[i] == '=';
        }
    }
    std::fclose(file);
    // What the parser holds: the file's bytes, and a node for each element and attribute.
    const std::uint64_t needed =
        bytes + elements * kBytesPerElement + attributes * kBytesPerAttribute;
    if (needed <= kCatalogueMemory)
        return {};
    // TRANSLATORS: the memory the catalogue file would take to read, and the most it may.
    return Format(Tr("the catalogue file would take %llu MiB to read, more than %llu MiB"),
                  static_cast<unsigned long long>(needed >> 20),
                  static_cast<unsigned long long>(kCatalogueMemory >> 20));
}

std::string CatalogueFileProblem(const std::string& path) {
    if (std::string tooLarge = CatalogueFileTooLarge(path); !tooLarge.empty())
        return tooLarge;
    tinyxml2::XMLDocument document;
    document.LoadFile(path.c_str());
    // TRANSLATORS: the parser's name of the fault (XML_ERROR_PARSING_ELEMENT), and its line.
    if (document.Error() && document.ErrorLineNum() > 0)
        return Format(Tr("the catalogue file cannot be read: %s at line %d"), document.ErrorName(),
                      document.ErrorLineNum());
    if (document.Error())
        return Format(Tr("the catalogue file cannot be read: %s"), document.ErrorName());
    const XMLElement* root = document.FirstChildElement();
    if (!root)
        return Tr("the catalogue file holds no catalogue");
    // An error page that happens to be well-formed is no catalogue either: every element below
    // the root is a numbered version.
    for (const XMLElement* version = root->FirstChildElement(); version;
         version = version->NextSiblingElement())
        if (!version->Attribute("number"))
            return Tr("a version of the catalogue file has no number");
    return {};
}

int DownloadCatalogue(std::u16string_view catalogueUrl, std::stop_token stop, std::string* problem,
                      FileValidators* validators) {
    const std::string target = ProgramFilePath("update.xml");
    // The body lands beside update.xml and takes its place only once it is a whole catalogue.
    const std::string part = target + ".part";
    std::string said;
    for (int attempt = 0; attempt < kDownloadAttempts && !stop.stop_requested(); ++attempt) {
        FileValidators asked = validators ? *validators : FileValidators{};
        FetchAnswer answer;
        const int fetched = FetchUrlToFile(catalogueUrl, Utf8ToUtf16(part), stop, &said,
                                           validators ? &asked : nullptr, &answer);
        if (fetched == 1 && !asked.unchanged) {
            said = CatalogueFileProblem(part);
            if (said.empty()) {
                if (const FileFailure failure = RenameFile(part, target)) {
                    said = "update.xml: " + failure.Text();
                    answer.verdict = Verdict::End;
                }
            } else {
                answer.verdict = Verdict::End;
            }
        }
        RemoveFile(part);
        if (problem)
            *problem = said;
        const bool done = said.empty() && fetched == 1;
        if (validators)
            *validators = done ? asked : FileValidators{};
        if (done)
            return 1;
        if (answer.verdict == Verdict::End)
            break;
        // A busy server's Retry-After is waited for as asked; else the usual pause.
        const std::uint32_t pause = answer.retryAfterMs > 0 ? answer.retryAfterMs : kRetryPauseMs;
        if (!Sleep(pause, stop))
            break;
    }
    return 0;
}

bool MergeCatalogue(HWND mainWindow, HWND progressWindow, std::uint32_t localVersion,
                    std::stop_token stop, std::string* problem, const MergeProgress* progress) {
    std::string said;
    bool merged = false;
    try {
        const std::string path = ProgramFilePath("update.xml");
        tinyxml2::XMLDocument document;
        said = CatalogueFileTooLarge(path);
        if (said.empty())
            document.LoadFile(path.c_str());
        const XMLElement* root = document.FirstChildElement();
        if (said.empty() && (document.Error() || !root))
            said = CatalogueFileProblem(path);
        else if (said.empty())
            merged = MergeVersions(*root, mainWindow, progressWindow, localVersion, std::move(stop),
                                   said, progress);
    } catch (const CppSQLite3Exception& error) {
        // A failing statement ends the merge like a failed fetch; the courses stored so far
        // stay.
        said = error.code() == SQLITE_FULL ? Format(Tr("the disk is full (%s)"), "golf.db")
                                           : std::string("golf.db: ") + error.message();
    } catch (const std::exception& error) {
        said = error.what();
    }
    if (!merged && !said.empty())
        std::fputs(Format(Tr("verdal: catalogue merge stopped: %s\n"), said.c_str()).c_str(),
                   stderr);
    if (problem)
        *problem = said;
    return merged;
}

} // namespace verdal
