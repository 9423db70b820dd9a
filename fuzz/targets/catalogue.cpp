// update.xml from the given bytes, through the choice of the entries to merge, without the
// network: whatever the file holds, the versions and entries are chosen (each course once, from
// an entry with every attribute), their numbers read and their texts taken into course records,
// within the records' fields. The first four bytes are
// the catalogue version already merged.
#include "fuzz/targets/expect.h"
#include "store/course_record.h"
#include "update/catalogue_file.h"

#include <tinyxml2.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace verdal;
using verdal::fuzz::Expect;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint32_t local = 0;
    if (size >= 4) {
        std::memcpy(&local, data, 4);
        data += 4;
        size -= 4;
    }
    tinyxml2::XMLDocument document;
    if (document.Parse(reinterpret_cast<const char*>(data), size) != tinyxml2::XML_SUCCESS)
        return 0;
    const tinyxml2::XMLElement* root = document.FirstChildElement();
    if (!root)
        return 0;
    std::vector<const tinyxml2::XMLElement*> entries;
    int total = 0;
    if (!NewerCatalogueEntries(*root, local, entries, total))
        return 0;
    // Each course once, and each one complete.
    Expect(static_cast<int>(entries.size()) <= total);
    std::set<std::int32_t> uids;
    for (const tinyxml2::XMLElement* entry : entries) {
        auto record = std::make_unique<CourseRecord>();
        record->objid = CatalogueEntryUid(*entry);
        Expect(record->objid != 0 && uids.insert(record->objid).second);
        const char* url = nullptr;
        Expect(ReadCatalogueEntry(*entry, *record, url));
        Expect(url != nullptr);
        // The texts are held with their quotes doubled, and shown as the catalogue wrote them.
        Expect(ShownText(record->name) == entry->Attribute("name"));
        Expect(ShownText(record->address) == entry->Attribute("address"));
    }
    return 0;
}
