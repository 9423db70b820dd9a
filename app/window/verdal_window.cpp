// verdal-window: the program's own window. A GTK window with a WebKitGTK view that shows the
// start address verdal serves on loopback; verdal starts it, watches it and ends with it.
//
//   verdal-window [--automation] < ADDRESS
//   verdal-window --message < TEXT
//
// The address comes on standard input, one line, never among the arguments, which every user of
// the machine can read (it carries the window server's token). It prints READY once the window is
// on screen, or FAILED and the reason when it cannot make one; it brings the window forward on
// SIGUSR1, closes on SIGTERM or SIGINT, and exits 0 when its window is closed. The view stays on
// the program's own address: any other link goes to the desktop's browser through xdg-open. It
// keeps no website data (an ephemeral session), shows no built-in context menu, and offers the web
// inspector only when VERDAL_WINDOW_INSPECTOR=1. With --automation it lets WebKitWebDriver drive
// its view. With --message it only shows the text in a message window, for a verdal that cannot
// start and has no window of its own to say why in, and exits 0 once the window is closed.
#include "app/version.h"
#include "engine/embedded.h"
#include "platform/file.h"

#include <glib-unix.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

const verdal::EmbeddedFile* WindowIconFiles(std::size_t& count);

namespace {

constexpr char kTitle[] = "Verdal2012";
constexpr int kWidth = 1010;
constexpr int kHeight = 600;
// The window's class and application id; the desktop entry names the same (StartupWMClass).
constexpr char kApplicationId[] = "verdal";

struct Window {
    std::string url;
    std::string origin; // "http://127.0.0.1:PORT/", the only address the view may show
    bool automation = false;
    GtkWidget* window = nullptr;
    WebKitWebView* view = nullptr;
};

// "scheme://host:port/" of an absolute http URL, or empty.
std::string OriginOf(const std::string& url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string::npos || url.compare(0, scheme, "http") != 0)
        return {};
    const std::size_t path = url.find('/', scheme + 3);
    return (path == std::string::npos ? url : url.substr(0, path)) + "/";
}

bool Allowed(const Window& self, std::string_view uri) {
    // The views' documents are iframes written from the page itself.
    if (uri == "about:blank" || uri == "about:srcdoc")
        return true;
    return uri.substr(0, self.origin.size()) == self.origin;
}

// A link the user followed out of the program opens in the desktop's browser; anything else
// (a script's navigation, another scheme) goes nowhere.
void OpenOutside(const char* uri) {
    const std::string_view text(uri);
    if (text.rfind("https://", 0) != 0 && text.rfind("http://", 0) != 0 &&
        text.rfind("mailto:", 0) != 0)
        return;
    const char* argv[] = {"xdg-open", uri, nullptr};
    GError* error = nullptr;
    if (!g_spawn_async(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr,
                       nullptr, nullptr, &error)) {
        std::fprintf(stderr, "verdal-window: cannot open %s: %s\n", uri, error->message);
        g_error_free(error);
    }
}

gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                        WebKitPolicyDecisionType type, gpointer data) {
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE)
        return FALSE;
    const auto& self = *static_cast<Window*>(data);
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const char* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    // The program never opens a second window of its own.
    if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && uri && Allowed(self, uri))
        return FALSE;
    if (uri && webkit_navigation_action_is_user_gesture(action))
        OpenOutside(uri);
    webkit_policy_decision_ignore(decision);
    return TRUE;
}

gboolean OnContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*,
                       gpointer) {
    return TRUE; // the pages draw their own menus
}

gboolean OnPermissionRequest(WebKitWebView*, WebKitPermissionRequest* request, gpointer) {
    webkit_permission_request_deny(request);
    return TRUE;
}

// A crashed web process leaves a blank view; the page loads again and the program sends it the
// whole state, as after a reload.
void OnWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason,
                            gpointer data) {
    const auto& self = *static_cast<Window*>(data);
    std::fprintf(stderr, "verdal-window: the page's process ended (%s); loading it again\n",
                 reason == WEBKIT_WEB_PROCESS_CRASHED ? "crashed" : "out of memory");
    webkit_web_view_load_uri(view, self.url.c_str());
}

// window.close() from the page, or WebDriver closing its browsing context.
void OnViewClose(WebKitWebView*, gpointer data) {
    auto& self = *static_cast<Window*>(data);
    if (self.window)
        gtk_widget_destroy(self.window);
}

WebKitWebView* OnCreateAutomationView(WebKitAutomationSession*, gpointer data) {
    return static_cast<Window*>(data)->view;
}

void OnAutomationStarted(WebKitWebContext*, WebKitAutomationSession* session, gpointer data) {
    WebKitApplicationInfo* info = webkit_application_info_new();
    webkit_application_info_set_name(info, "verdal");
    webkit_application_info_set_version(info, verdal::kVersionMajor, verdal::kVersionMinor,
                                        verdal::kVersionPatch);
    webkit_automation_session_set_application_info(session, info);
    webkit_application_info_unref(info);
    g_signal_connect(session, "create-web-view", G_CALLBACK(OnCreateAutomationView), data);
}

gboolean OnQuitSignal(gpointer data) {
    auto& self = *static_cast<Window*>(data);
    if (self.window)
        gtk_widget_destroy(self.window);
    return G_SOURCE_CONTINUE;
}

gboolean OnPresentSignal(gpointer data) {
    auto& self = *static_cast<Window*>(data);
    if (self.window)
        gtk_window_present_with_time(GTK_WINDOW(self.window), GDK_CURRENT_TIME);
    return G_SOURCE_CONTINUE;
}

void OnDestroyed(GtkWidget*, gpointer data) {
    static_cast<Window*>(data)->window = nullptr;
    gtk_main_quit();
}

// The program's icon at the sizes docks and title bars ask for, drawn from its SVG.
GList* IconList() {
    std::size_t count = 0;
    const verdal::EmbeddedFile* files = WindowIconFiles(count);
    GList* icons = nullptr;
    if (count == 0)
        return icons;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("svg", nullptr);
        if (!loader)
            break;
        gdk_pixbuf_loader_set_size(loader, size, size);
        if (gdk_pixbuf_loader_write(loader, files[0].data, files[0].size, nullptr) &&
            gdk_pixbuf_loader_close(loader, nullptr)) {
            if (GdkPixbuf* icon = gdk_pixbuf_loader_get_pixbuf(loader))
                icons = g_list_append(icons, g_object_ref(icon));
        }
        g_object_unref(loader);
    }
    return icons;
}

WebKitWebView* MakeView(Window& self) {
    // Nothing the page stores outlives the window: cookies (the token's), caches and storage
    // stay in memory.
    WebKitWebsiteDataManager* data = webkit_website_data_manager_new_ephemeral();
    WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(data);
    g_object_unref(data);
    webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    if (self.automation) {
        webkit_web_context_set_automation_allowed(context, TRUE);
        g_signal_connect(context, "automation-started", G_CALLBACK(OnAutomationStarted), &self);
    }
    WebKitSettings* settings = webkit_settings_new();
    const char* inspector = std::getenv("VERDAL_WINDOW_INSPECTOR");
    webkit_settings_set_enable_developer_extras(settings,
                                                inspector && std::strcmp(inspector, "1") == 0);
    // The pages are flat boxes and text: drawing them without compositing spares the GL set-up,
    // a third of the time to the first drawn page, and its memory.
    webkit_settings_set_hardware_acceleration_policy(settings,
                                                     WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    webkit_settings_set_enable_back_forward_navigation_gestures(settings, FALSE);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    auto* view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context,
                                              "settings", settings, "is-controlled-by-automation",
                                              self.automation ? TRUE : FALSE, nullptr));
    g_object_unref(settings);
    g_object_unref(context);
    g_signal_connect(view, "decide-policy", G_CALLBACK(OnDecidePolicy), &self);
    g_signal_connect(view, "context-menu", G_CALLBACK(OnContextMenu), &self);
    g_signal_connect(view, "permission-request", G_CALLBACK(OnPermissionRequest), &self);
    g_signal_connect(view, "web-process-terminated", G_CALLBACK(OnWebProcessTerminated), &self);
    g_signal_connect(view, "close", G_CALLBACK(OnViewClose), &self);
    return view;
}

int Usage() {
    std::fputs("Usage: verdal-window [--automation] < ADDRESS\n"
               "       verdal-window --message < TEXT\n"
               "Shows verdal's start address, read on standard input, in the program's own "
               "window.\n",
               stderr);
    return 2;
}

// Standard input to its end (at most 64 KiB).
std::string ReadInput() {
    std::string text;
    char buffer[4096];
    for (std::size_t n;
         text.size() < 65536 && (n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;)
        text.append(buffer, n);
    return text;
}

int ShowMessage(const std::string& text) {
    g_set_prgname(kApplicationId);
    if (!gtk_init_check(nullptr, nullptr))
        return 1;
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, GTK_MESSAGE_ERROR,
                                               GTK_BUTTONS_OK, "%s", text.c_str());
    gtk_window_set_title(GTK_WINDOW(dialog), kTitle);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);
    gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Window self;
    bool message = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--automation") == 0)
            self.automation = true;
        else if (std::strcmp(argv[i], "--message") == 0)
            message = true;
        else
            return Usage();
    }
    std::string input = ReadInput();
    while (!input.empty() && (input.back() == '\n' || input.back() == '\r'))
        input.pop_back();
    if (message)
        return input.empty() ? Usage() : ShowMessage(input);
    self.url = input;
    self.origin = OriginOf(self.url);
    if (self.origin.empty())
        return Usage();

    // verdal reads one line from standard output, and nothing after it: the line goes out on a
    // descriptor of its own, which WebKit's processes do not inherit, and whatever else the
    // libraries print goes nowhere, so that it never fills the pipe.
    std::FILE* report = verdal::SetStandardOutputAside();
    if (!report)
        return 1;

    g_set_prgname(kApplicationId);
    if (!gtk_init_check(nullptr, nullptr)) {
        const char* display = std::getenv("DISPLAY");
        std::fprintf(report, "FAILED cannot open the display %s\n",
                     display && *display ? display : "(none)");
        return 1;
    }
    // After the initialisation, which sets the class from the program's name, capitalised.
    gdk_set_program_class(kApplicationId);
    g_set_application_name("Verdal");

    self.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(self.window);
    gtk_window_set_title(window, kTitle);
    gtk_window_set_default_size(window, kWidth, kHeight);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    if (GList* icons = IconList()) {
        gtk_window_set_icon_list(window, icons);
        g_list_free_full(icons, g_object_unref);
    }
    g_signal_connect(self.window, "destroy", G_CALLBACK(OnDestroyed), &self);

    self.view = MakeView(self);
    gtk_container_add(GTK_CONTAINER(self.window), GTK_WIDGET(self.view));
    webkit_web_view_load_uri(self.view, self.url.c_str());

    g_unix_signal_add(SIGTERM, OnQuitSignal, &self);
    g_unix_signal_add(SIGINT, OnQuitSignal, &self);
    g_unix_signal_add(SIGUSR1, OnPresentSignal, &self);

    gtk_widget_show_all(self.window);
    gtk_widget_grab_focus(GTK_WIDGET(self.view));
    std::fputs("READY\n", report);
    std::fclose(report);
    gtk_main();
    return 0;
}
