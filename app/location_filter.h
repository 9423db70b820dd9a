// The location filters of the main page: the country select, the region select and its label
// ("STATES:" for the USA, else "REGIONS:"), filled from the distinct values of the course table.
//
// Threads: user-interface thread only.
#pragma once

#include "platform/window.h"

#include <string>
#include <string_view>
#include <vector>

namespace verdal {

// An option list for a select: one "option" element per entry, its "value" attribute and its
// text the same (UTF-8), printed on one line with "&", "<", ">" (and in the attribute also '"'
// and "'") as entities, behind the UTF-8 byte-order mark. The first entry may carry its own
// value (firstValue, when given); the others use their text.
std::string OptionFragment(const std::vector<std::string>& texts, const char* firstValue = nullptr);

class LocationFilter {
public:
    // Keeps the main window, fills the countries, fills the regions of "USA" and chooses "USA"
    // and its first region entry ("All States"). A statement the database rejects leaves what
    // could be filled and puts the failure on the status line.
    void Start(HWND mainWindow);

    // Fills both selects again from the course table, as after an update that may have brought
    // new countries and regions: the chosen country stays chosen while it is still stored (else
    // "USA" is chosen), and so does the chosen region of its regions (else "all").
    void Refill() const;

    // Appends "USA" and then every other stored country, ordered, to "country"; answers them.
    std::vector<std::string> FillCountries() const;
    // Sets the label, then appends "All States" (for "USA") or "All Regions" (value "all"),
    // followed by the stored regions of that country, to "city". "All Country" (value "all")
    // yields the first entry alone. The stored regions appended are copied to filled when given.
    void FillCities(std::string_view country, std::vector<std::string>* filled = nullptr) const;
    // The country select's choice changed: the regions of the chosen country replace those
    // offered, and their first entry is chosen.
    void OnCountryChanged() const;
    // Removes every option of "city".
    void ClearCities() const;
    // Chooses the first entry of "city" ("all": every region).
    void ChooseAllRegions() const;

private:
    HWND hwnd_ = 0;
};

} // namespace verdal
