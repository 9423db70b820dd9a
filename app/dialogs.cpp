// The message, progress and course information dialogs.
#include "app/dialogs.h"

#include "platform/language.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "store/sqlite_exception.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

namespace verdal {

std::u16string FailureText() {
    try {
        throw;
    } catch (const CppSQLite3Exception&) {
        return Utf8ToUtf16(Tr("DATABASE ERROR"));
    } catch (const std::bad_alloc&) {
        return Utf8ToUtf16(Tr("OUT OF MEMORY"));
    } catch (...) {
        return Utf8ToUtf16(Tr("PROGRAM ERROR"));
    }
}

void ReportFailure(HWND mainWindow, const char* where) {
    std::u16string text = FailureText();
    try {
        throw;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "verdal: %s: %s\n", where, error.what());
    } catch (...) {
        std::fprintf(stderr, "verdal: %s: unknown failure\n", where);
    }
    PostMessageWith(mainWindow, kFailureMessage, 0,
                    std::make_unique<std::u16string>(std::move(text)));
}

void CMsgWnd::OnShown() {
    engine::MessageBeep(0xFFFFFFFF);
    const Element root = RootElement(Handle());
    SetText(ElementById(root, u"MsgText1"), line1_.c_str());
    if (!line2_.empty())
        SetText(ElementById(root, u"MsgText2"), line2_.c_str());
}

bool CMsgWnd::OnBehaviorEvent(engine::BEHAVIOR_EVENT_PARAMS& params) {
    if (params.cmd != engine::BUTTON_CLICK || GetAttribute(params.heTarget, "id") != u"MsgBtn")
        return false;
    EndDialog(GetParent(Handle()), IntAttribute(params.heTarget, "code", 0));
    return true;
}

void CProgressWnd::OnShown() {
    const Element root = RootElement(Handle());
    SetStyleAttribute(ElementById(root, u"progress"), "display",
                      bar_ == ProgressBar::Shown ? "block" : "none");
    SetText(ElementById(root, u"MsgText"), text_.c_str());
    if (stop_ == StopButton::Shown)
        SetStyleAttribute(ElementById(root, u"stop"), "display", "inline-block");
    // The thread touches the dialog only by posting and by EndDialog, both safe once it is gone.
    StartDialogWorker(worker_, Handle(), body_,
                      [main = mainWindow_] { ReportFailure(main, "progress worker"); });
}

void CProgressWnd::OnProgress(int percent) {
    const Element root = RootElement(Handle());
    SetAttribute(ElementById(root, u"progress"), "value",
                 AnsiToUtf16(std::to_string(percent)).c_str());
}

void CProgressWnd::OnProgressText(const std::string& text) {
    SetText(ElementById(RootElement(Handle()), u"MsgText"), Utf8ToUtf16(text).c_str());
}

bool CProgressWnd::OnBehaviorEvent(engine::BEHAVIOR_EVENT_PARAMS& params) {
    if (stop_ != StopButton::Shown || params.cmd != engine::BUTTON_CLICK ||
        GetAttribute(params.heTarget, "id") != u"stop")
        return false;
    worker_.RequestStop();
    return true;
}

bool CProgressWnd::OnKey(const Element&, engine::KEY_PARAMS& params) {
    constexpr unsigned kEscape = 27;
    if (stop_ != StopButton::Shown || (params.cmd & ~0x8000u) != engine::KEY_DOWN ||
        params.key_code != kEscape)
        return false;
    worker_.RequestStop();
    return true;
}

std::u16string ParText(const std::string& holes, int index) {
    std::size_t start = 0;
    for (int i = 0; i < index; ++i) {
        const std::size_t comma = holes.find(',', start);
        if (comma == std::string::npos)
            return u" ";
        start = comma + 1;
    }
    std::string field = holes.substr(start, holes.find(',', start) - start).substr(0, 127);
    const long par = std::strtol(field.c_str(), nullptr, 10);
    if (par == 0 || par == -1)
        return u" ";
    return AnsiToUtf16(std::to_string(par));
}

void CCourseInfoWnd::OnShown() {
    const Element root = RootElement(Handle());
    SetText(ElementById(root, u"titletext"), Utf8ToUtf16(ShownText(course_.name)).c_str());
    SetText(ElementById(root, u"address"), Utf8ToUtf16(ShownText(course_.address)).c_str());
    SetText(ElementById(root, u"telephone"), Utf8ToUtf16(ShownText(course_.telephone)).c_str());
    SetText(ElementById(root, u"email"), Utf8ToUtf16(ShownText(course_.email)).c_str());
    for (int hole = 1; hole <= 18; ++hole) {
        char id[8];
        std::snprintf(id, sizeof id, "par%.2d", hole);
        SetText(ElementById(root, AnsiToUtf16(id)), ParText(course_.hole, hole - 1).c_str());
    }
}

bool CCourseInfoWnd::OnBehaviorEvent(engine::BEHAVIOR_EVENT_PARAMS& params) {
    if (params.cmd != engine::BUTTON_CLICK || GetAttribute(params.heTarget, "id") != u"MsgExit")
        return false;
    EndDialog(GetParent(Handle()), 0);
    return true;
}

std::intptr_t ShowMessage(const std::u16string& line1, const std::u16string& line2, HWND centerOn) {
    CMsgWnd page(line1, line2, centerOn);
    CPageDlg dialog(kMessagePage, page);
    return dialog.DoModal(centerOn);
}

std::intptr_t RunWithProgress(const std::u16string& text, ProgressBar bar, HWND mainWindow,
                              WorkerOwner& workers, ProgressWorker worker, StopButton stop) {
    CProgressWnd page(std::move(worker), text, bar, mainWindow, workers, stop);
    CPageDlg dialog(kProgressPage, page);
    const std::intptr_t result = dialog.DoModal(mainWindow);
    page.JoinWorker();
    return result;
}

std::intptr_t ShowCourseInfo(const CourseTexts& course, HWND owner) {
    CCourseInfoWnd page(course);
    CPageDlg dialog(kCourseInfoPage, page);
    return dialog.DoModal(owner);
}

} // namespace verdal
