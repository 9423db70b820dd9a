// The catalogue file's layout as the merge reads it: numbered versions below the root, course
// entries below each version, texts in attributes.
//
// Every element below the root is a version with a "number"; every element below a version is a
// course entry with the attributes "uid", "fileid", "name", "alias", "country", "city",
// "address", "phone", "email", "holes" and "url". Element names are never looked at; comments
// and text are skipped. Any thread.
#pragma once

#include <cstdint>
#include <vector>

namespace tinyxml2 {
class XMLElement;
}

namespace verdal {

struct CourseRecord;

// The integer of a decimal text as the catalogue writes it: leading blanks, an optional sign,
// then digits up to the first other character; no digits gives 0. Values beyond the 32-bit range
// are held at its ends.
std::int32_t CatalogueInteger(const char* text);

// The version number of a version element, compared as unsigned (a negative number is merged);
// false when it has no "number".
bool CatalogueVersionNumber(const tinyxml2::XMLElement& version, std::uint32_t& number);

// An entry's "uid"; 0 when it has none.
std::int32_t CatalogueEntryUid(const tinyxml2::XMLElement& entry);

// Fills the record's texts from the entry, in the catalogue's order, and url with its course
// map's address; false at the first attribute that is missing.
bool ReadCatalogueEntry(const tinyxml2::XMLElement& entry, CourseRecord& record, const char*& url);

// The course entries to merge over localVersion, from the versions above it: each course (a
// non-zero uid) once, with its last listing in document order that has every attribute, in the
// place of its first such listing. So each course map is fetched once, and the table ends as a
// merge of every listing in turn leaves it (the first inserts the row, each later one updates it).
// total gets the number of different uids listed (the progress counts against it: a course never
// listed with every attribute is counted, but never stored). False when a version has no
// "number"; the entries found so far are then not to be merged.
bool NewerCatalogueEntries(const tinyxml2::XMLElement& root, std::uint32_t localVersion,
                           std::vector<const tinyxml2::XMLElement*>& entries, int& total);

} // namespace verdal
