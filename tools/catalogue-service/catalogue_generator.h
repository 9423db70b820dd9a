// The deterministic catalogue behind verdal-catalogue-service: courses in several countries,
// spread over catalogue versions in which later versions change earlier courses, the catalogue
// file and each course's 7264-byte course map. The same arguments always give the same bytes,
// so tests and benchmarks can work out what a merge must store.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace verdal::catalogue {

// One course entry as the catalogue file lists it (UTF-8, quotes as they are).
struct GeneratedCourse {
    std::int32_t uid = 0;
    std::uint32_t version = 0; // the catalogue version that lists this revision of the course
    std::string fileid;
    std::string name;
    std::string alias;
    std::string country;
    std::string city;
    std::string address;
    std::string phone;
    std::string email;
    std::string holes;
};

// Size of every course map the generator makes.
inline constexpr std::size_t kMapSize = 7264;

class CatalogueGenerator {
public:
    // courseCount courses (uids 1 to courseCount) spread over the given versions, which are
    // sorted and made unique. Every version lists its share of new courses; every version after
    // the first also lists about a fifth of the earlier courses again, changed.
    CatalogueGenerator(int courseCount, std::vector<std::uint32_t> versions);

    const std::vector<std::uint32_t>& Versions() const { return versions_; }
    std::uint32_t LatestVersion() const { return versions_.back(); }
    int CourseCount() const { return courseCount_; }

    // The courses whose name, region and address carry HTML markup, an image whose onerror
    // handler sets window.verdalMarkup to "name", "city" or "address": a page that shows
    // these texts as markup instead of text runs that handler.
    void MarkUp(std::set<std::int32_t> uids) { markedUp_ = std::move(uids); }

    // The entries of one listed version, in document order.
    std::vector<GeneratedCourse> Entries(std::uint32_t version) const;

    // The course as the given version lists it.
    GeneratedCourse Course(std::int32_t uid, std::uint32_t version) const;

    // The catalogue file that holds every version up to and including upTo; each entry's "url"
    // is mapBase followed by MapPath. Holds comments below the root and each version node.
    std::string CatalogueXml(std::uint32_t upTo, const std::string& mapBase) const;

    // The path, below the service's root, of the course map of a course in a version:
    // "gof/<uid>_<version>.gof".
    static std::string MapPath(std::int32_t uid, std::uint32_t version);

    // The 7264-byte course map. The name stands at its start the way the device reads it: a
    // name that fits ISO-8859-1 fills bytes 0 to 19 (zero-padded, cut at 20); any other name
    // leaves byte 0 zero and puts its first 8 UTF-16LE units in bytes 4 to 19. The rest is
    // filler drawn from the uid and the version.
    std::string CourseMap(std::int32_t uid, std::uint32_t version) const;

private:
    // The index of the version that first lists the course.
    std::size_t FirstListing(std::int32_t uid) const;

    int courseCount_;
    std::vector<std::uint32_t> versions_;
    std::set<std::int32_t> markedUp_;
};

// Writes text with the characters that cannot stand in an attribute value between double
// quotes replaced by XML entities.
std::string XmlAttributeText(const std::string& text);

} // namespace verdal::catalogue
