// The two course lists of the main page: their set-up and painting, the device list's rows, the
// catalogue rows and their records, and the lists' menus.
#include "app/course_lists.h"

#include "app/row_painter.h"
#include "engine/listview.h"
#include "platform/language.h"
#include "platform/text.h"
#include "store/settings.h"
#include "ui/list_rows.h"
#include "ui/resources.h"

namespace verdal {

using namespace engine;

namespace {

constexpr unsigned kRowHeight = 24;

void SetUpList(HWND main, HWND list, std::initializer_list<ListColumn> columns,
               PaintListRow paint) {
    OwnerDrawRows(list, kRowHeight, std::move(paint));
    // The font after the subclassing: the list asks for its row height again when it changes.
    SendMessage(list, WM_SETFONT, static_cast<WPARAM>(SendMessage(main, WM_GETFONT)), 1);
    SendMessage(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES);
    SendMessage(list, LVM_SETROWCOLORS, 0,
                reinterpret_cast<LPARAM>(&RowPainter::Instance().Colors()));
    InsertColumns(list, columns);
}

} // namespace

void CourseLists::SetUp(HWND mainWindow) {
    main_ = mainWindow;
    // The lists keep copies of their headings.
    const std::u16string name = Utf8ToUtf16(Tr("COURSE NAME"));
    const std::u16string country = Utf8ToUtf16(Tr("COUNTRY"));
    const std::u16string location = Utf8ToUtf16(Tr("LOCATION"));
    SetUpList(main_, DeviceList(), {{name.c_str(), 288}}, [](HWND list, DRAWITEMSTRUCT& draw) {
        std::u16string text;
        if (const auto* name = reinterpret_cast<const std::u16string*>(draw.itemData))
            text = !name->empty() && (*name)[0] == u'@' ? name->substr(1) : *name;
        RowPainter::Instance().PaintRow(list, draw, {text});
    });
    SetUpList(main_, CatalogueList(),
              {{name.c_str(), 280}, {country.c_str(), 150}, {location.c_str(), 150}},
              [](HWND list, DRAWITEMSTRUCT& draw) {
                  if (const auto* course = reinterpret_cast<const CourseTexts*>(draw.itemData))
                      RowPainter::Instance().PaintRow(list, draw,
                                                      {Utf8ToUtf16(ShownText(course->name)),
                                                       Utf8ToUtf16(ShownText(course->country)),
                                                       Utf8ToUtf16(ShownText(course->city))});
              });
}

HWND CourseLists::DeviceList() const {
    return GetDlgItem(main_, kDeviceListId);
}

HWND CourseLists::CatalogueList() const {
    return GetDlgItem(main_, kCatalogueListId);
}

void CourseLists::ShowDeviceCourses(const DeviceCourseList& courses) {
    ClearDeviceList();
    const HWND list = DeviceList();
    for (const std::u16string& name : courses.Names()) {
        deviceRows_.push_back(std::make_unique<std::u16string>(name));
        AppendListItem(list, reinterpret_cast<LPARAM>(deviceRows_.back().get()));
    }
}

void CourseLists::ClearDeviceList() {
    // The items first: none of them may point to a name that is gone.
    SendMessage(DeviceList(), LVM_DELETEALLITEMS);
    deviceRows_.clear();
}

std::vector<std::u16string> CourseLists::SelectedDeviceNames() const {
    std::vector<std::u16string> names;
    const HWND list = DeviceList();
    const auto count = static_cast<int>(SendMessage(list, LVM_GETITEMCOUNT));
    for (int i = 0; i < count; ++i) {
        if (!(SendMessage(list, LVM_GETITEMSTATE, static_cast<WPARAM>(i), LVIS_SELECTED) &
              LVIS_SELECTED))
            continue;
        if (const auto* name = reinterpret_cast<const std::u16string*>(ListItemData(list, i)))
            names.push_back(*name);
    }
    return names;
}

void CourseLists::ClearCatalogue() {
    // The items first: none of them may point to a course that is gone.
    SendMessage(CatalogueList(), LVM_DELETEALLITEMS);
    catalogueRows_.clear();
}

void CourseLists::AddCatalogueRow(std::unique_ptr<CourseTexts> record) {
    const HWND list = CatalogueList();
    if (!list)
        return;
    catalogueRows_.push_back(std::move(record));
    AppendListItem(list, reinterpret_cast<LPARAM>(catalogueRows_.back().get()));
}

const CourseTexts* CourseLists::SelectedCourse() const {
    const HWND list = CatalogueList();
    const auto item = static_cast<int>(
        SendMessage(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    return item < 0 ? nullptr : reinterpret_cast<const CourseTexts*>(ListItemData(list, item));
}

std::optional<Menu> CourseLists::DeviceMenu(Link link) const {
    auto menu = LoadMenu(kDeviceMenu);
    if (!menu || menu->popups.empty())
        return std::nullopt;
    Menu popup = menu->popups.front();
    const HWND list = DeviceList();
    // While the device is being connected the link is the connect worker's.
    const bool free = link == Link::Free;
    EnableMenuItem(popup, ID_REMOVE_COURSE,
                   free && SendMessage(list, LVM_GETSELECTEDCOUNT) > 0 ? MF_ENABLED : MF_DISABLED);
    EnableMenuItem(popup, ID_REMOVE_ALL_COURSE,
                   free && SendMessage(list, LVM_GETITEMCOUNT) > 0 ? MF_ENABLED : MF_DISABLED);
    return popup;
}

std::optional<Menu> CourseLists::CatalogueMenu(Link link, std::int32_t capacity) const {
    auto menu = LoadMenu(kCatalogueMenu);
    if (!menu || menu->popups.empty())
        return std::nullopt;
    Menu popup = menu->popups.front();
    const bool selected = SendMessage(CatalogueList(), LVM_GETSELECTEDCOUNT) > 0;
    const bool room = SendMessage(DeviceList(), LVM_GETITEMCOUNT) < capacity;
    EnableMenuItem(popup, ID_ADD_TO_DEVICE,
                   selected && room && link == Link::Free ? MF_ENABLED : MF_DISABLED);
    return popup;
}

} // namespace verdal
