// Reading the catalogue file's versions and course entries.
#include "update/catalogue_file.h"

#include "store/course_record.h"

#include <tinyxml2.h>

#include <limits>
#include <unordered_map>

namespace verdal {

using tinyxml2::XMLElement;

namespace {
constexpr std::size_t kNoPlace = static_cast<std::size_t>(-1);
}

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

bool CatalogueVersionNumber(const XMLElement& version, std::uint32_t& number) {
    const char* text = version.Attribute("number");
    if (!text)
        return false;
    number = static_cast<std::uint32_t>(CatalogueInteger(text));
    return true;
}

std::int32_t CatalogueEntryUid(const XMLElement& entry) {
    const char* uid = entry.Attribute("uid");
    return uid ? CatalogueInteger(uid) : 0;
}

namespace {

// An entry's texts in the catalogue's order, and the record field each one fills.
struct Field {
    const char* attribute;
    void (CourseRecord::*set)(std::string_view);
};
constexpr Field kFields[] = {
    {"fileid", &CourseRecord::SetFileId},   {"name", &CourseRecord::SetName},
    {"alias", &CourseRecord::SetAlias},     {"country", &CourseRecord::SetCountry},
    {"city", &CourseRecord::SetCity},       {"address", &CourseRecord::SetAddress},
    {"phone", &CourseRecord::SetTelephone}, {"email", &CourseRecord::SetEmail},
    {"holes", &CourseRecord::SetHole},
};

// Whether the entry has every attribute a merge reads, and so would be stored.
bool Complete(const XMLElement& entry) {
    for (const Field& field : kFields)
        if (!entry.Attribute(field.attribute))
            return false;
    return entry.Attribute("url") != nullptr;
}

} // namespace

bool ReadCatalogueEntry(const XMLElement& entry, CourseRecord& record, const char*& url) {
    for (const Field& field : kFields) {
        const char* value = entry.Attribute(field.attribute);
        if (!value)
            return false;
        (record.*field.set)(value);
    }
    url = entry.Attribute("url");
    return url != nullptr;
}

bool NewerCatalogueEntries(const XMLElement& root, std::uint32_t localVersion,
                           std::vector<const XMLElement*>& entries, int& total) {
    // Where each uid stands in entries; a uid listed but never complete has no place.
    std::unordered_map<std::int32_t, std::size_t> places;
    for (const XMLElement* version = root.FirstChildElement(); version;
         version = version->NextSiblingElement()) {
        std::uint32_t number = 0;
        if (!CatalogueVersionNumber(*version, number))
            return false;
        if (localVersion >= number)
            continue;
        for (const XMLElement* entry = version->FirstChildElement(); entry;
             entry = entry->NextSiblingElement()) {
            const std::int32_t uid = CatalogueEntryUid(*entry);
            if (uid == 0)
                continue;
            const auto [place, first] = places.try_emplace(uid, kNoPlace);
            total += first;
            if (!Complete(*entry))
                continue;
            if (place->second == kNoPlace) {
                place->second = entries.size();
                entries.push_back(entry);
            } else {
                entries[place->second] = entry; // a later listing replaces the earlier
            }
        }
    }
    return true;
}

} // namespace verdal
