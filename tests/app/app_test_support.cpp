// Shared helpers of the application's tests, and the test environment: every test runs with
// its own data folder and a port search that finds no device.
#include "app_test_support.h"

#include "device/port_discovery.h"
#include "platform/data_dir.h"
#include "tests/support/temp_folder.h"
#include "ui/list_rows.h"
#include "update/update_workflow.h"

#include <gtest/gtest.h>

namespace verdal::test {

using namespace engine;

std::u16string TextOf(HWND window, const char16_t* id) {
    return GetText(ElementById(RootElement(window), id));
}

bool Shown(HWND window, const char16_t* id) {
    return GetStyleAttribute(ElementById(RootElement(window), id), "display") != "none";
}

bool Disabled(HWND window, const char16_t* id) {
    return HasAttribute(ElementById(RootElement(window), id), "disabled");
}

std::vector<std::vector<std::u16string>> PaintedRows(HWND list, int columns) {
    std::vector<int> lefts;
    for (int column = 0; column < columns; ++column) {
        RECT cell;
        SendMessage(list, HDM_GETITEMRECT, static_cast<WPARAM>(column),
                    reinterpret_cast<LPARAM>(&cell));
        lefts.push_back(cell.left);
    }
    std::vector<std::vector<std::u16string>> rows;
    const auto count = SendMessage(list, LVM_GETITEMCOUNT);
    for (int index = 0; index < count; ++index) {
        RowCanvas canvas(lefts);
        DRAWITEMSTRUCT draw{.itemID = static_cast<unsigned>(index),
                            .hwndItem = list,
                            .hDC = &canvas,
                            .rcItem = RECT{0, index * 24, 600, index * 24 + 24},
                            .itemData = ListItemData(list, index)};
        SendMessage(list, OCM_BASE + WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw));
        rows.push_back(canvas.Texts());
    }
    return rows;
}

namespace {

class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        SetDataDir(folder_ / "data");
        SetPortSearch(PortSearch{folder_.Path(), folder_.Path(), folder_ / "no-such-port"});
        // No device answers, so the server is never asked; a closed port answers anyway.
        SetServerOverride("http://127.0.0.1:9/");
        BindUiThread();
    }

private:
    TempFolder folder_;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

} // namespace
void Select(HWND list, int index) {
    engine::LVITEMW item{.state = engine::LVIS_SELECTED, .stateMask = engine::LVIS_SELECTED};
    SendMessage(list, engine::LVM_SETITEMSTATE, static_cast<WPARAM>(index),
                reinterpret_cast<LPARAM>(&item));
}

} // namespace verdal::test
