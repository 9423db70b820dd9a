// The deterministic catalogue: countries, regions, names, addresses and pars drawn from fixed
// tables by a hash of the course's uid (and of its version for what a later version changes).
#include "catalogue_generator.h"

#include "device/course_name.h"
#include "platform/text.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

namespace verdal::catalogue {
namespace {

enum class NameStyle { English, Spanish, French, German, Korean, Japanese };

struct Country {
    const char* name;
    const char* dialCode;
    NameStyle style;
    std::vector<const char*> regions;
    int weight; // share of the courses, in percent
};

const std::vector<Country>& Countries() {
    static const std::vector<Country> countries = {
        {"USA",
         "+1",
         NameStyle::English,
         {"Alabama",       "Alaska",      "Arizona",        "Arkansas",      "California",
          "Colorado",      "Connecticut", "Delaware",       "Florida",       "Georgia",
          "Hawaii",        "Idaho",       "Illinois",       "Indiana",       "Iowa",
          "Kansas",        "Kentucky",    "Louisiana",      "Maine",         "Maryland",
          "Massachusetts", "Michigan",    "Minnesota",      "Mississippi",   "Missouri",
          "Montana",       "Nebraska",    "Nevada",         "New Hampshire", "New Jersey",
          "New Mexico",    "New York",    "North Carolina", "North Dakota",  "Ohio",
          "Oklahoma",      "Oregon",      "Pennsylvania",   "Rhode Island",  "South Carolina",
          "South Dakota",  "Tennessee",   "Texas",          "Utah",          "Vermont",
          "Virginia",      "Washington",  "West Virginia",  "Wisconsin",     "Wyoming"},
         40},
        {"Korea",
         "+82",
         NameStyle::Korean,
         {"Gyeonggi-do", "Gangwon-do", "Jeju-do", "Gyeongsangbuk-do", "Chungcheongnam-do",
          "Jeollanam-do"},
         10},
        {"Japan",
         "+81",
         NameStyle::Japanese,
         {"Chiba", "Hokkaido", "Hyogo", "Kanagawa", "Okinawa", "Shizuoka", "Tochigi"},
         10},
        {"United Kingdom",
         "+44",
         NameStyle::English,
         {"England", "Scotland", "Wales", "Northern Ireland"},
         10},
        {"Spain",
         "+34",
         NameStyle::Spanish,
         {"Andalucía", "Cataluña", "Comunidad de Madrid", "Islas Baleares", "Comunidad Valenciana"},
         8},
        {"Ireland", "+353", NameStyle::English, {"Cork", "Dublin", "Galway", "Kerry"}, 5},
        {"France",
         "+33",
         NameStyle::French,
         {"Bretagne", "Île-de-France", "Nouvelle-Aquitaine", "Provence-Alpes-Côte d'Azur"},
         6},
        {"Germany",
         "+49",
         NameStyle::German,
         {"Bayern", "Hessen", "Nordrhein-Westfalen", "Schleswig-Holstein"},
         5},
        {"Canada",
         "+1",
         NameStyle::English,
         {"Alberta", "British Columbia", "Ontario", "Québec"},
         4},
        {"Australia", "+61", NameStyle::English, {"New South Wales", "Queensland", "Victoria"}, 2},
    };
    return countries;
}

template <std::size_t N>
const char* Pick(const std::array<const char*, N>& table, std::uint64_t value) {
    return table[value % N];
}

// A 64-bit mix (splitmix64): equal inputs give equal outputs on every platform.
std::uint64_t Mix(std::uint64_t value) {
    value += 0x9E3779B97F4A7C15ull;
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
    return value ^ (value >> 31);
}

std::uint64_t Hash(std::int32_t uid, std::uint64_t salt) {
    return Mix(static_cast<std::uint64_t>(static_cast<std::uint32_t>(uid)) * 1000003u + salt);
}

const Country& CountryOf(std::int32_t uid) {
    int slot = static_cast<int>(Hash(uid, 1) % 100);
    for (const Country& country : Countries()) {
        if (slot < country.weight)
            return country;
        slot -= country.weight;
    }
    return Countries().front();
}

std::string CourseName(NameStyle style, std::int32_t uid) {
    static const std::array<const char*, 18> englishFirst = {
        "Pine", "Eagle",  "Willow",      "Cedar",     "Stone", "Heather",
        "Fox",  "Hawk's", "St Andrew's", "O'Brien's", "Royal", "Old",
        "Lake", "River",  "Oak",         "Maple",     "Sandy", "Bishop's"};
    static const std::array<const char*, 12> englishSecond = {
        "Creek",   "Hills", "Valley",  "Ridge", "Links", "Dunes",
        "Meadows", "Point", "Harbour", "Glen",  "Park",  "Woods"};
    static const std::array<const char*, 6> englishKind = {"Golf Club",           "Country Club",
                                                           "Golf Links",          "Golf Course",
                                                           "Golf & Country Club", "Golf Resort"};
    static const std::array<const char*, 10> spanish = {
        "El Prado",   "La Moraleja", "Sotogrande",  "Alcaidesa",     "Peñaflor",
        "Guadalmina", "Mar Menor",   "Las Colinas", "Torrequebrada", "La Cañada"};
    static const std::array<const char*, 9> french = {
        "Château d'Ormesson", "Saint-Cloud",       "Chantilly", "Fontainebleau", "Évian", "Étretat",
        "Hardelot",           "Biarritz Le Phare", "Médoc"};
    static const std::array<const char*, 6> german = {"München-Süd",   "Öschberghof",
                                                      "Bad Griesbach", "Schloss Lüdersburg",
                                                      "Würzburg",      "Hamburg-Falkenstein"};
    static const std::array<const char*, 8> korean = {
        "남서울",           "안양",   "레이크사이드", "스카이72",
        "해슬리나인브릿지", "핀크스", "블루원",       "오크밸리"};
    static const std::array<const char*, 8> japanese = {"霞ヶ関", "廣野", "小金井", "東京よみうり",
                                                        "太平洋", "川奈", "鳴尾",   "富士"};
    const std::uint64_t h = Hash(uid, 2);
    // The uid keeps names apart, as real catalogues number courses that share a name.
    const std::string number = " " + std::to_string(uid);
    switch (style) {
    case NameStyle::Spanish:
        return std::string(h % 2 ? "Real Club de Golf " : "Club de Golf ") + Pick(spanish, h >> 8) +
               number;
    case NameStyle::French:
        return std::string(h % 2 ? "Golf de " : "Golf du ") + Pick(french, h >> 8) + number;
    case NameStyle::German:
        return std::string("Golfclub ") + Pick(german, h >> 8) + number;
    case NameStyle::Korean:
        return std::string(Pick(korean, h >> 8)) + (h % 2 ? " 컨트리클럽" : " 골프클럽") + number;
    case NameStyle::Japanese:
        return std::string(Pick(japanese, h >> 8)) + (h % 2 ? "カントリー倶楽部" : "ゴルフ倶楽部") +
               number;
    case NameStyle::English:
        break;
    }
    return std::string(Pick(englishFirst, h)) + " " + Pick(englishSecond, h >> 8) + " " +
           Pick(englishKind, h >> 16) + number;
}

std::string Holes(std::int32_t uid, std::uint32_t version) {
    std::uint64_t h = Hash(uid, 100 + version);
    std::string text;
    for (int hole = 0; hole < 18; ++hole, h = Mix(h)) {
        static const std::array<const char*, 8> pars = {"4", "4", "4", "3", "5", "4", "3", "5"};
        if (hole)
            text += ',';
        text += Pick(pars, h);
    }
    return text;
}

std::vector<std::uint32_t> Normalised(std::vector<std::uint32_t> versions) {
    if (versions.empty())
        versions.push_back(25);
    std::sort(versions.begin(), versions.end());
    versions.erase(std::unique(versions.begin(), versions.end()), versions.end());
    return versions;
}

} // namespace

CatalogueGenerator::CatalogueGenerator(int courseCount, std::vector<std::uint32_t> versions)
    : courseCount_(std::max(courseCount, 0)), versions_(Normalised(std::move(versions))) {}

std::vector<GeneratedCourse> CatalogueGenerator::Entries(std::uint32_t version) const {
    std::vector<GeneratedCourse> entries;
    const auto found = std::find(versions_.begin(), versions_.end(), version);
    if (found == versions_.end())
        return entries;
    const auto index = static_cast<std::size_t>(found - versions_.begin());
    for (std::int32_t uid = 1; uid <= courseCount_; ++uid) {
        const std::size_t first = FirstListing(uid);
        if (first == index || (first < index && uid % 5 == static_cast<std::int32_t>(index % 5)))
            entries.push_back(Course(uid, version));
    }
    return entries;
}

std::size_t CatalogueGenerator::FirstListing(std::int32_t uid) const {
    // The courses are shared out among the versions in runs of consecutive uids.
    return static_cast<std::size_t>(static_cast<std::int64_t>(uid - 1) *
                                    static_cast<std::int64_t>(versions_.size()) /
                                    std::max(courseCount_, 1));
}

GeneratedCourse CatalogueGenerator::Course(std::int32_t uid, std::uint32_t version) const {
    static const std::array<const char*, 10> streets = {"Fairway Drive",     "Clubhouse Road",
                                                        "Links Avenue",      "Green Lane",
                                                        "Country Club Road", "Lakeshore Boulevard",
                                                        "Old Mill Road",     "Harbour Street",
                                                        "Hill Road",         "Park Way"};
    const Country& country = CountryOf(uid);
    const std::uint64_t h = Hash(uid, 3);
    const std::uint64_t changed = Hash(uid, 200 + version);
    const bool firstListing =
        versions_[std::min(FirstListing(uid), versions_.size() - 1)] >= version;
    GeneratedCourse course;
    course.uid = uid;
    course.version = version;
    char fileid[16];
    std::snprintf(fileid, sizeof fileid, "G%07d", uid % 10000000);
    course.fileid = fileid;
    course.name = CourseName(country.style, uid);
    if (!firstListing && uid % 2 == 0)
        course.name += " (renovated " + std::to_string(version) + ")";
    course.alias = h % 4 == 0 ? "" : "GC" + std::to_string(uid % 1000);
    course.country = country.name;
    course.city = country.regions[(h >> 8) % country.regions.size()];
    course.address =
        std::to_string(1 + (h >> 16) % 9000) + " " + Pick(streets, h >> 24) + ", " + course.city;
    char phone[48];
    std::snprintf(phone, sizeof phone, "%s %03u-%03u-%04u", country.dialCode,
                  static_cast<unsigned>(100 + (h >> 32) % 900),
                  static_cast<unsigned>(100 + (h >> 42) % 900),
                  static_cast<unsigned>((firstListing ? h : changed) % 10000));
    course.phone = phone;
    course.email = "info@course" + std::to_string(uid) + ".example";
    course.holes = Holes(uid, firstListing ? 0 : version);
    if (markedUp_.count(uid)) {
        auto image = [](const char* field) {
            return std::string("<img src=x onerror=\"window.verdalMarkup='") + field + "'\">";
        };
        course.name = image("name") + "<b>" + course.name + "</b>";
        course.city = image("city") + course.city;
        course.address = course.address + " " + image("address");
    }
    return course;
}

std::string CatalogueGenerator::MapPath(std::int32_t uid, std::uint32_t version) {
    return "gof/" + std::to_string(uid) + "_" + std::to_string(version) + ".gof";
}

std::string CatalogueGenerator::CatalogueXml(std::uint32_t upTo, const std::string& mapBase) const {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<catalogue>\n"
                      "  <!-- course catalogue of verdal-catalogue-service -->\n";
    for (std::uint32_t version : versions_) {
        if (version > upTo)
            break;
        xml += "  <version number=\"" + std::to_string(version) + "\">\n";
        xml += "    <!-- version " + std::to_string(version) + " -->\n";
        for (const GeneratedCourse& c : Entries(version)) {
            xml += "    <course uid=\"" + std::to_string(c.uid) + "\" fileid=\"" +
                   XmlAttributeText(c.fileid) + "\" name=\"" + XmlAttributeText(c.name) +
                   "\" alias=\"" + XmlAttributeText(c.alias) + "\" country=\"" +
                   XmlAttributeText(c.country) + "\" city=\"" + XmlAttributeText(c.city) +
                   "\" address=\"" + XmlAttributeText(c.address) + "\" phone=\"" +
                   XmlAttributeText(c.phone) + "\" email=\"" + XmlAttributeText(c.email) +
                   "\" holes=\"" + c.holes + "\" url=\"" +
                   XmlAttributeText(mapBase + MapPath(c.uid, version)) + "\"/>\n";
        }
        xml += "  </version>\n";
    }
    xml += "</catalogue>\n";
    return xml;
}

std::string CatalogueGenerator::CourseMap(std::int32_t uid, std::uint32_t version) const {
    std::string map(kMapSize, '\0');
    WriteCourseMapName(Utf8ToUtf16(Course(uid, version).name),
                       reinterpret_cast<std::uint8_t*>(map.data()));
    std::uint64_t h = Hash(uid, 300 + version);
    for (std::size_t i = 20; i < kMapSize; i += 8, h = Mix(h))
        for (std::size_t b = 0; b < 8 && i + b < kMapSize; ++b)
            map[i + b] = static_cast<char>(h >> (8 * b));
    return map;
}

std::string XmlAttributeText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace verdal::catalogue
