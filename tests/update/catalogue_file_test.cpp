// update.xml as the catalogue service writes it (tests/reference/update.xml): which entries an
// update takes over which local version, and the record each one fills.
#include "update/catalogue_file.h"

#include "store/course_record.h"

#include "tests/support/reference.h"

#include <gtest/gtest.h>
#include <tinyxml2.h>

using namespace verdal;

TEST(CatalogueFile, TheReferenceCatalogueReadsAsWritten) {
    const std::string text = test::ReferenceFile("update.xml");
    tinyxml2::XMLDocument document;
    ASSERT_EQ(document.Parse(text.data(), text.size()), tinyxml2::XML_SUCCESS);
    const tinyxml2::XMLElement& root = *document.RootElement();

    // Over version 24 both versions count, over 25 only the newer, over 26 none; each course
    // once, where it was first listed.
    for (const auto& [local, uids] :
         {std::pair{24u, std::vector<int>{1, 2, 4, 6}}, std::pair{25u, std::vector<int>{1, 6}},
          std::pair{26u, std::vector<int>{}}}) {
        std::vector<const tinyxml2::XMLElement*> entries;
        int total = 0;
        ASSERT_TRUE(NewerCatalogueEntries(root, local, entries, total));
        std::vector<int> found;
        for (const tinyxml2::XMLElement* entry : entries)
            found.push_back(CatalogueEntryUid(*entry));
        EXPECT_EQ(found, uids) << local;
        EXPECT_EQ(total, static_cast<int>(uids.size()));
    }

    std::vector<const tinyxml2::XMLElement*> entries;
    int total = 0;
    ASSERT_TRUE(NewerCatalogueEntries(root, 24, entries, total));
    std::vector<std::vector<std::string>> read;
    for (const tinyxml2::XMLElement* entry : {entries[0], entries[1], entries[2], entries[3]}) {
        CourseRecord record;
        const char* url = nullptr;
        ASSERT_TRUE(ReadCatalogueEntry(*entry, record, url));
        read.push_back({record.fileid, record.name, record.alias, record.country, record.city,
                        record.address, record.telephone, record.email, record.hole, url});
    }
    // Course 1 as version 26 lists it.
    EXPECT_EQ(read[0][9], "http://127.0.0.1:8650/gof/1_26.gof");
    EXPECT_EQ(read[1],
              (std::vector<std::string>{
                  "G0000002", "Real Club de Golf La Cañada 2", "GC2", "Spain", "Cataluña",
                  "5993 Harbour Street, Cataluña", "+34 110-516-1127", "info@course2.example",
                  "4,4,3,5,4,4,3,4,4,3,4,4,3,4,4,5,4,5", "http://127.0.0.1:8650/gof/2_25.gof"}));
    // Quotes are held doubled, as they go into a statement; entities are read as their text.
    EXPECT_EQ(read[2][1], "St Andrew''s Links Golf & Country Club 4");
    EXPECT_EQ(read[3][1], "O''Brien''s Point Golf Club 6");
    EXPECT_EQ(read[3][9], "http://127.0.0.1:8650/gof/6_26.gof");
}
