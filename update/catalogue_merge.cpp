// Downloading update.xml and merging its newer versions into table GOLF.
#include "update/catalogue_merge.h"

#include "platform/data_dir.h"
#include "platform/event.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "store/course_record.h"
#include "store/course_table.h"
#include "store/sqlite_layer.h"
#include "update/http_fetch.h"
#include "update/map_fetcher.h"

#include <tinyxml2.h>

#include <cstdio>
#include <exception>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace verdal {
namespace {

constexpr int kDownloadAttempts = 10;
constexpr std::uint32_t kRetryPauseMs = 500;

using tinyxml2::XMLElement;

// The version number of a version node, compared as unsigned: a negative number is merged.
bool VersionNumber(const XMLElement& version, std::uint32_t& number) {
    const char* text = version.Attribute("number");
    if (!text)
        return false;
    number = static_cast<std::uint32_t>(CatalogueInteger(text));
    return true;
}

std::int32_t EntryUid(const XMLElement& entry) {
    const char* uid = entry.Attribute("uid");
    return uid ? CatalogueInteger(uid) : 0;
}

// Fills the record's texts from the entry, in the catalogue's order; false at the first
// attribute that is missing.
bool ReadEntry(const XMLElement& entry, CourseRecord& record, const char*& url) {
    struct Field {
        const char* attribute;
        void (CourseRecord::*set)(std::string_view);
    };
    static const Field fields[] = {
        {"fileid", &CourseRecord::SetFileId},   {"name", &CourseRecord::SetName},
        {"alias", &CourseRecord::SetAlias},     {"country", &CourseRecord::SetCountry},
        {"city", &CourseRecord::SetCity},       {"address", &CourseRecord::SetAddress},
        {"phone", &CourseRecord::SetTelephone}, {"email", &CourseRecord::SetEmail},
        {"holes", &CourseRecord::SetHole},
    };
    for (const Field& field : fields) {
        const char* value = entry.Attribute(field.attribute);
        if (!value)
            return false;
        (record.*field.set)(value);
    }
    url = entry.Attribute("url");
    return url != nullptr;
}

void StoreCourse(const CourseRecord& record) {
    if (CourseCountById(record.objid) == 0)
        InsertCourse(record);
    else
        UpdateCourse(record);
}

// The course entries of the versions above localVersion, in document order, and the number of
// them that have a non-zero uid (the progress counts against it). False when a version has no
// "number"; nothing has been changed then.
bool NewerEntries(const XMLElement& root, std::uint32_t localVersion,
                  std::vector<const XMLElement*>& entries, int& total) {
    for (const XMLElement* version = root.FirstChildElement(); version;
         version = version->NextSiblingElement()) {
        std::uint32_t number = 0;
        if (!VersionNumber(*version, number))
            return false;
        if (localVersion >= number)
            continue;
        for (const XMLElement* entry = version->FirstChildElement(); entry;
             entry = entry->NextSiblingElement()) {
            if (EntryUid(*entry) == 0)
                continue;
            ++total;
            entries.push_back(entry);
        }
    }
    return true;
}

// One course on its way into the table: its record, filled from the entry, and its map's
// address.
struct PendingCourse {
    std::unique_ptr<CourseRecord> record = std::make_unique<CourseRecord>();
    std::u16string url;
    bool fetching = false;

    // Fills the record from the entry; false when the entry lacks an attribute.
    bool Fill(const XMLElement& entry) {
        // A fresh record: its GOF block is all zero, so the 32 bytes after the 7264-byte map,
        // which go to the device with it, never hold the previous course's bytes.
        *record = CourseRecord{};
        record->objid = EntryUid(entry);
        const char* address = nullptr;
        if (!ReadEntry(entry, *record, address))
            return false;
        url = Utf8ToUtf16(address);
        return true;
    }
};

bool MergeVersions(const XMLElement& root, HWND mainWindow, HWND progressWindow,
                   std::uint32_t localVersion) {
    std::vector<const XMLElement*> entries;
    int total = 0;
    if (!NewerEntries(root, localVersion, entries, total))
        return false;

    // While one course is stored, the next one's map is already on its way: the fetches and the
    // statements overlap, yet each course is stored right after its own fetch, in document order.
    PendingCourse current, next;
    MapFetcher fetcher; // after the records: it goes first and never outlives their blocks
    std::size_t following = 0;
    auto startNext = [&] {
        next.fetching = false;
        while (following < entries.size() && !next.fetching) {
            // An entry lacking an attribute is skipped.
            next.fetching = next.Fill(*entries[following++]);
        }
        if (next.fetching)
            fetcher.Start(next.url, next.record->gof.data(), kGofBlockSize);
    };
    startNext();
    int done = 0;
    while (next.fetching) {
        std::swap(current, next);
        const int fetched = fetcher.Collect();
        startNext();
        if (fetched != static_cast<int>(kCourseMapSize))
            return false;
        const CourseRecord& record = *current.record;
        StoreCourse(record);
        PostMessageWith(mainWindow, kStatusMessage, static_cast<WPARAM>(StatusCode::CourseStored),
                        std::make_unique<std::u16string>(Utf8ToUtf16(record.name)));
        ++done;
        PostMessage(progressWindow, kProgressMessage,
                    static_cast<WPARAM>(static_cast<double>(done) / total * 100.0));
    }
    return true;
}

} // namespace

std::int32_t CatalogueInteger(const char* text) {
    while (*text == ' ' || *text == '\t' || *text == '\n' || *text == '\r' || *text == '\v' ||
           *text == '\f')
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    std::int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1)
            break;
    }
    value = negative ? -value : value;
    if (value > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

int DownloadCatalogue(std::u16string_view catalogueUrl) {
    const std::u16string path = Utf8ToUtf16(ProgramFilePath("update.xml"));
    for (int attempt = 0; attempt < kDownloadAttempts; ++attempt) {
        if (FetchUrlToFile(catalogueUrl, path) == 1)
            return 1;
        Sleep(kRetryPauseMs);
    }
    return 0;
}

bool MergeCatalogue(HWND mainWindow, HWND progressWindow, std::uint32_t localVersion) {
    try {
        tinyxml2::XMLDocument document;
        document.LoadFile(ProgramFilePath("update.xml").c_str());
        const XMLElement* root = document.FirstChildElement();
        if (!root)
            return false;
        return MergeVersions(*root, mainWindow, progressWindow, localVersion);
    } catch (const std::exception& error) {
        // A failing statement (CppSQLite3Exception) ends the merge like a failed fetch: the
        // caller shows "UPDATE GOF FILE ERROR", and the courses stored so far stay.
        std::fprintf(stderr, "verdal: catalogue merge stopped: %s\n", error.what());
        return false;
    }
}

} // namespace verdal
