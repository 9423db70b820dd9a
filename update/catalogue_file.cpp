// Reading the catalogue file's versions and course entries.
#include "update/catalogue_file.h"

#include "store/course_record.h"

#include <tinyxml2.h>

#include <limits>

namespace verdal {

using tinyxml2::XMLElement;

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

bool ReadCatalogueEntry(const XMLElement& entry, CourseRecord& record, const char*& url) {
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

bool NewerCatalogueEntries(const XMLElement& root, std::uint32_t localVersion,
                           std::vector<const XMLElement*>& entries, int& total) {
    for (const XMLElement* version = root.FirstChildElement(); version;
         version = version->NextSiblingElement()) {
        std::uint32_t number = 0;
        if (!CatalogueVersionNumber(*version, number))
            return false;
        if (localVersion >= number)
            continue;
        for (const XMLElement* entry = version->FirstChildElement(); entry;
             entry = entry->NextSiblingElement()) {
            if (CatalogueEntryUid(*entry) == 0)
                continue;
            ++total;
            entries.push_back(entry);
        }
    }
    return true;
}

} // namespace verdal
