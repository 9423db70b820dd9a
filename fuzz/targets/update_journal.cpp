// update.journal as an update reads it: any text is a journal or none, and a journal read is
// written and read back unchanged.
#include "update/update_journal.h"
#include "fuzz/targets/expect.h"

#include <cstdint>
#include <string_view>

using namespace verdal;
using verdal::fuzz::Expect;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto journal = ParseUpdateJournal(text, "boot");
    if (!journal)
        return 0;
    const std::string again = FormatUpdateJournal(*journal, "boot");
    const auto reread = ParseUpdateJournal(again, "boot");
    Expect(reread && FormatUpdateJournal(*reread, "boot") == again);
    return 0;
}
