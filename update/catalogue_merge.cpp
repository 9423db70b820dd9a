// Downloading update.xml and merging its newer versions into table GOLF.
#include "update/catalogue_merge.h"

#include "update/catalogue_file.h"

#include "platform/data_dir.h"
#include "platform/event.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "store/course_record.h"
#include "store/course_table.h"
#include "store/sqlite_layer.h"
#include "update/http_fetch.h"
#include "update/transfer_set.h"

#include <tinyxml2.h>

#include <cstdio>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace verdal {
namespace {

constexpr int kDownloadAttempts = 10;
constexpr std::uint32_t kRetryPauseMs = 500;
// Course maps fetched ahead of the course being stored. Far enough to keep every connection busy
// across a long round trip; the records waiting hold about half a megabyte.
constexpr std::size_t kMapsAhead = 64;
// A polite client: no more connections than this to one server.
constexpr long kConnectionsPerServer = 8;

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
};

bool MergeVersions(const XMLElement& root, HWND mainWindow, HWND progressWindow,
                   std::uint32_t localVersion, std::stop_token stop) {
    std::vector<const XMLElement*> entries;
    int total = 0;
    if (!NewerCatalogueEntries(root, localVersion, entries, total))
        return false;

    // The maps of the next courses travel while the current one waits for its own and is stored;
    // they may arrive in any order, yet every course is judged and stored in document order.
    std::deque<PendingCourse> pending;
    // After the records: the transfers go first, so none outlives the block it writes into.
    TransferSet transfers(stop, kConnectionsPerServer);
    std::size_t following = 0;
    auto fetchAhead = [&] {
        while (pending.size() < kMapsAhead && following < entries.size()) {
            const XMLElement& entry = *entries[following++];
            // A fresh record: its GOF block is all zero, so the 32 bytes after the 7264-byte map,
            // which go to the device with it, never hold another course's bytes.
            auto record = std::make_unique<CourseRecord>();
            record->objid = CatalogueEntryUid(entry);
            const char* address = nullptr;
            if (!ReadCatalogueEntry(entry, *record, address))
                continue; // an entry lacking an attribute is skipped
            const TransferSet::Id transfer =
                transfers.StartToMemory(Utf8ToUtf16(address), record->gof.data(), kGofBlockSize);
            pending.push_back({std::move(record), transfer});
        }
    };
    int done = 0;
    for (fetchAhead(); !pending.empty(); fetchAhead()) {
        const std::optional<int> fetched = transfers.Wait(pending.front().transfer);
        if (!fetched || *fetched != static_cast<int>(kCourseMapSize))
            return false; // stopped, or the wrong size: nothing after this entry is written
        const std::unique_ptr<CourseRecord> record = std::move(pending.front().record);
        pending.pop_front();
        StoreCourse(*record);
        PostMessageWith(mainWindow, kStatusMessage, static_cast<WPARAM>(StatusCode::CourseStored),
                        std::make_unique<std::u16string>(Utf8ToUtf16(record->name)));
        ++done;
        PostMessage(progressWindow, kProgressMessage,
                    static_cast<WPARAM>(static_cast<double>(done) / total * 100.0));
        if (stop.stop_requested())
            return false;
        transfers.Advance();
    }
    return true;
}

} // namespace

int DownloadCatalogue(std::u16string_view catalogueUrl, std::stop_token stop) {
    const std::u16string path = Utf8ToUtf16(ProgramFilePath("update.xml"));
    for (int attempt = 0; attempt < kDownloadAttempts && !stop.stop_requested(); ++attempt) {
        if (FetchUrlToFile(catalogueUrl, path, stop) == 1)
            return 1;
        if (!Sleep(kRetryPauseMs, stop))
            break;
    }
    return 0;
}

bool MergeCatalogue(HWND mainWindow, HWND progressWindow, std::uint32_t localVersion,
                    std::stop_token stop) {
    try {
        tinyxml2::XMLDocument document;
        document.LoadFile(ProgramFilePath("update.xml").c_str());
        const XMLElement* root = document.FirstChildElement();
        if (!root)
            return false;
        return MergeVersions(*root, mainWindow, progressWindow, localVersion, std::move(stop));
    } catch (const std::exception& error) {
        // A failing statement (CppSQLite3Exception) ends the merge like a failed fetch: the
        // caller shows "UPDATE GOF FILE ERROR", and the courses stored so far stay.
        std::fprintf(stderr, "verdal: catalogue merge stopped: %s\n", error.what());
        return false;
    }
}

} // namespace verdal
