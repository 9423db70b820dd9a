// The two course lists of the main page: the device list, one row a course name the device
// holds, and the catalogue list, one row a course a search found; their set-up, painting and
// popup menus.
//
// Threads: user-interface thread only. Each row's item data points to a copy the lists own: a
// row never paints an entry that a device operation or a new search has taken away.
#pragma once

#include "device/device_course_list.h"
#include "engine/menu.h"
#include "platform/window.h"
#include "store/course_record.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace verdal {

inline constexpr int kDeviceListId = 6000;
inline constexpr int kCatalogueListId = 6001;
inline constexpr int kCatalogueMenu = 206;
inline constexpr int kDeviceMenu = 207;

// Menu commands.
inline constexpr unsigned ID_ADD_TO_DEVICE = 32776;
inline constexpr unsigned ID_REMOVE_COURSE = 32782;
inline constexpr unsigned ID_REMOVE_ALL_COURSE = 32783;
inline constexpr unsigned ID_COURSE_INFORMATION = 32786;

// Whether the device link is free for a device operation, or held by the connect worker.
enum class Link { Free, Connecting };

class CourseLists {
public:
    // Sets both lists of the main window's page up: columns, row height, colours and painting.
    void SetUp(HWND mainWindow);

    HWND DeviceList() const;
    HWND CatalogueList() const;

    // The device list shows these names, in their order.
    void ShowDeviceCourses(const DeviceCourseList& courses);
    void ClearDeviceList();
    // The names of the selected device rows, in the list's order.
    std::vector<std::u16string> SelectedDeviceNames() const;

    void ClearCatalogue();
    // Appends a row owning the course's texts; its GOF block stays in the course table until
    // an upload reads it.
    void AddCatalogueRow(std::unique_ptr<CourseTexts> record);
    // The first selected catalogue row's course; null when none is selected.
    const CourseTexts* SelectedCourse() const;

    // The popups with their entries enabled as the lists stand now; nothing when the menu
    // resource is missing. "Add to Device" needs a selected course and room on the device
    // (fewer rows than capacity); both need the link free.
    std::optional<engine::Menu> DeviceMenu(Link link) const;
    std::optional<engine::Menu> CatalogueMenu(Link link, std::int32_t capacity) const;

private:
    HWND main_ = 0;
    std::vector<std::unique_ptr<std::u16string>> deviceRows_;
    std::vector<std::unique_ptr<CourseTexts>> catalogueRows_;
};

} // namespace verdal
