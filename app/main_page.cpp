// The main page controller: texts, buttons and the enabled state of the page's controls.
#include "app/main_page.h"

#include "platform/language.h"
#include "platform/text.h"
#include "ui/element.h"

namespace verdal {
namespace {

void SetDisabled(const Element& element, bool disabled) {
    if (element)
        SetAttribute(element, "disabled", disabled ? u"" : nullptr);
}

void SetDisplay(const Element& element, const char* display) {
    if (element)
        SetStyleAttribute(element, "display", display);
}

} // namespace

void MainPage::SetElementText(const char16_t* id, const std::u16string& text) const {
    if (const Element element = ElementById(RootElement(hwnd_), id))
        SetText(element, text.c_str());
}

void MainPage::SetStatusText(const char16_t* text) const {
    if (!text)
        return;
    // A text too long for the line is cut at its end by the page; its title holds it whole.
    if (const Element element = ElementById(RootElement(hwnd_), page201::kMessage)) {
        SetText(element, text);
        SetAttribute(element, "title", text);
    }
}

void MainPage::ResetDeviceInfo() const {
    SetElementText(page201::kCapacity, Utf8ToUtf16(Tr("DEVICE CAPACITY: x/xx")));
    SetElementText(page201::kSerialNumber, Utf8ToUtf16(Tr("S/N:")));
}

void MainPage::ShowCapacity(int capacity, int count) const {
    // TRANSLATORS: the number of courses on the device, then how many it holds.
    SetElementText(page201::kCapacity,
                   Utf8ToUtf16(Format(Tr("DEVICE CAPACITY: %d/%d"), count, capacity)));
}

void MainPage::ShowSerialNumber(const std::u16string& serialNumber) const {
    // TRANSLATORS: the device's serial number ("VD2012-000417").
    SetElementText(page201::kSerialNumber,
                   Utf8ToUtf16(Format(Tr("S/N: %s"), Utf16ToUtf8(serialNumber).c_str())));
}

void MainPage::SetConnectButtons(ConnectButtons state) const {
    const Element root = RootElement(hwnd_);
    const bool connected = state == ConnectButtons::Connected;
    const bool allowConnecting = state == ConnectButtons::NotConnected;
    SetDisplay(ElementById(root, page201::kConnect), connected ? "none" : "block");
    SetDisplay(ElementById(root, page201::kDisconnect), connected ? "block" : "none");
    SetDisabled(ElementById(root, page201::kConnect), !allowConnecting);
    SetDisabled(ElementById(root, page201::kPort), !allowConnecting);
}

void MainPage::SetFilters(Filters state) const {
    const bool enable = state == Filters::Enabled;
    const Element root = RootElement(hwnd_);
    for (const char16_t* id :
         {page201::kCountry, page201::kCity, page201::kSearch, page201::kUpdate, page201::kKeyword})
        SetDisabled(ElementById(root, id), !enable);
    if (!enable)
        ResetDeviceInfo();
}

void MainPage::SetPortSelection(int portNumber) const {
    const Element root = RootElement(hwnd_);
    if (!root)
        return;
    NamedValues values;
    values[u"comport"] = Value::String(AnsiToUtf16(std::to_string(portNumber)));
    SetNamedValues(root, values);
}

} // namespace verdal
