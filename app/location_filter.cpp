// The location filters: option fragments printed by tinyxml2 and the country and region selects.
#include "app/location_filter.h"

#include "app/dialogs.h"
#include "app/main_page.h"
#include "platform/language.h"
#include "platform/text.h"
#include "store/course_table.h"
#include "ui/element.h"

#include <tinyxml2.h>

#include <algorithm>

namespace verdal {

namespace {

// Appends the rows' column to texts; a failing statement keeps the rows read so far and is
// reported to the main window.
void ReadColumn(HWND mainWindow, const std::string& statement, const char* column,
                std::vector<std::string>& texts, const char* skip = nullptr) {
    try {
        CppSQLite3Cursor cursor = CourseDatabase().runQuery(statement.c_str());
        for (; !cursor.atEnd(); cursor.advance()) {
            std::string text = cursor.textColumn(column, "");
            if (!skip || text != skip)
                texts.push_back(std::move(text));
        }
        cursor.finish();
    } catch (...) {
        ReportFailure(mainWindow, "location filter");
    }
}

void Append(HWND mainWindow, const char16_t* id, const std::string& fragment) {
    SetHtml(ElementById(RootElement(mainWindow), id), fragment.data(), fragment.size(),
            SIH_APPEND_AFTER_LAST);
}

} // namespace

std::string OptionFragment(const std::vector<std::string>& texts, const char* firstValue) {
    tinyxml2::XMLPrinter printer(nullptr, true);
    bool first = true;
    for (const std::string& text : texts) {
        printer.OpenElement("option", true);
        printer.PushAttribute("value", first && firstValue ? firstValue : text.c_str());
        printer.PushText(text.c_str());
        printer.CloseElement(true);
        first = false;
    }
    return std::string("\xEF\xBB\xBF") + printer.CStr();
}

void LocationFilter::Start(HWND mainWindow) {
    hwnd_ = mainWindow;
    FillCountries();
    FillCities("USA");
    SetNamedValues(RootElement(hwnd_), {{page201::kCountry, Value::String(u"USA")}});
    ChooseAllRegions();
}

std::vector<std::string> LocationFilter::FillCountries() const {
    std::vector<std::string> texts{"USA"};
    ReadColumn(hwnd_, CountriesStatement(), "country", texts, "USA");
    Append(hwnd_, page201::kCountry, OptionFragment(texts));
    return texts;
}

void LocationFilter::Refill() const {
    if (hwnd_ == 0)
        return; // never started: the database could not be opened
    const Element root = RootElement(hwnd_);
    const NamedValues values = GetNamedValues(root);
    std::string country = NamedText(values, page201::kCountry);
    std::string region = NamedText(values, page201::kCity);

    // The page's own first entry, "All Country", stays; the stored countries follow it.
    const std::string first = OptionFragment({Tr("All Country")}, "all");
    SetHtml(ElementById(root, page201::kCountry), first.data(), first.size(), SIH_REPLACE_CONTENT);
    const std::vector<std::string> countries = FillCountries();
    if (country != "all" &&
        std::find(countries.begin(), countries.end(), country) == countries.end())
        country = "USA";
    SetNamedValues(root, {{page201::kCountry, Value::String(Utf8ToUtf16(country))}});

    std::vector<std::string> regions;
    ClearCities();
    FillCities(country == "all" ? "All Country" : country, &regions);
    if (std::find(regions.begin(), regions.end(), region) == regions.end())
        region = "all";
    SetNamedValues(root, {{page201::kCity, Value::String(Utf8ToUtf16(region))}});
}

void LocationFilter::FillCities(std::string_view country, std::vector<std::string>* filled) const {
    const bool usa = country == "USA";
    SetText(ElementById(RootElement(hwnd_), page201::kRegionLabel),
            Utf8ToUtf16(usa ? Tr("STATES:") : Tr("REGIONS:")).c_str());
    // The first entry's text is shown, its value "all" is what the search reads.
    std::vector<std::string> texts{usa ? Tr("All States") : Tr("All Regions")};
    if (country != "All Country")
        ReadColumn(hwnd_, RegionsStatement(country), "city", texts);
    Append(hwnd_, page201::kCity, OptionFragment(texts, "all"));
    if (filled)
        filled->assign(texts.begin() + 1, texts.end());
}

void LocationFilter::OnCountryChanged() const {
    const std::string country = NamedText(GetNamedValues(RootElement(hwnd_)), page201::kCountry);
    ClearCities();
    FillCities(country);
    ChooseAllRegions();
}

void LocationFilter::ClearCities() const {
    SetHtml(ElementById(RootElement(hwnd_), page201::kCity), nullptr, 0, SIH_REPLACE_CONTENT);
}

void LocationFilter::ChooseAllRegions() const {
    SetNamedValues(RootElement(hwnd_), {{page201::kCity, Value::String(u"all")}});
}

} // namespace verdal
