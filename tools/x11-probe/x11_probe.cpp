// x11-probe: looks at the top-level windows of an X display as a window manager would, for the
// window tests and the window benchmark.
//
//   x11-probe find TITLE [TIMEOUT_MS]        wait for a mapped window with that title; print it
//   x11-probe close ID                       ask it to close (WM_DELETE_WINDOW)
//   x11-probe stack                          the mapped top-level windows, bottom to top
//   x11-probe cover X Y WIDTH HEIGHT         map a plain window there, print its id, keep it
//                                            until SIGTERM
//   x11-probe wait-colour TITLE RRGGBB [TIMEOUT_MS]
//                                            wait until the window shows that colour in a
//                                            10 x 10 block; print the milliseconds it took
//
// A window is printed as one line of JSON: id, x, y, width, height (of the content), the
// screen's width and height, the pid that owns it (_NET_WM_PID), its WM_CLASS and the sizes of
// the icons it carries (_NET_WM_ICON). Exit codes: 0 done, 1 not found or failed, 2 usage.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

Display* display = nullptr;

Atom Intern(const char* name) {
    return XInternAtom(display, name, False);
}

// A property of 32-bit items (as longs, the way Xlib hands them out).
std::vector<unsigned long> CardinalProperty(Window window, const char* name) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> values;
    if (XGetWindowProperty(display, window, Intern(name), 0, 1 << 22, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        data && format == 32) {
        const auto* items = reinterpret_cast<unsigned long*>(data);
        values.assign(items, items + count);
    }
    if (data)
        XFree(data);
    return values;
}

std::string Title(Window window) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, Intern("_NET_WM_NAME"), 0, 1024, False,
                           Intern("UTF8_STRING"), &type, &format, &count, &after,
                           &data) == Success &&
        data && format == 8)
        title.assign(reinterpret_cast<char*>(data), count);
    if (data)
        XFree(data);
    if (title.empty()) {
        char* name = nullptr;
        if (XFetchName(display, window, &name) && name) {
            title = name;
            XFree(name);
        }
    }
    return title;
}

std::vector<Window> TopLevels() {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    std::vector<Window> mapped;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return mapped;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) &&
            attributes.map_state == IsViewable)
            mapped.push_back(children[i]);
    }
    if (children)
        XFree(children);
    return mapped;
}

Window FindByTitle(const std::string& title, int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        for (Window window : TopLevels())
            if (Title(window) == title)
                return window;
        if (Clock::now() >= deadline)
            return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string Quoted(const char* text) {
    std::string out = "\"";
    for (const char* p = text; p && *p; ++p) {
        if (*p == '"' || *p == '\\')
            out += '\\';
        out += *p;
    }
    return out + "\"";
}

int Find(const std::string& title, int timeoutMs) {
    const Window window = FindByTitle(title, timeoutMs);
    if (!window) {
        std::fprintf(stderr, "x11-probe: no window titled %s\n", title.c_str());
        return 1;
    }
    XWindowAttributes attributes;
    XGetWindowAttributes(display, window, &attributes);
    const auto pid = CardinalProperty(window, "_NET_WM_PID");
    XClassHint hint{};
    XGetClassHint(display, window, &hint);
    std::string icons;
    const auto icon = CardinalProperty(window, "_NET_WM_ICON");
    for (std::size_t i = 0; i + 1 < icon.size(); i += 2 + icon[i] * icon[i + 1])
        icons += (icons.empty() ? "" : ",") + std::to_string(icon[i]);
    std::printf("{\"id\":%lu,\"x\":%d,\"y\":%d,\"width\":%d,\"height\":%d,\"screenWidth\":%d,"
                "\"screenHeight\":%d,\"pid\":%lu,\"class\":[%s,%s],\"iconSizes\":[%s]}\n",
                window, attributes.x, attributes.y, attributes.width, attributes.height,
                DisplayWidth(display, DefaultScreen(display)),
                DisplayHeight(display, DefaultScreen(display)), pid.empty() ? 0 : pid[0],
                Quoted(hint.res_name).c_str(), Quoted(hint.res_class).c_str(), icons.c_str());
    if (hint.res_name)
        XFree(hint.res_name);
    if (hint.res_class)
        XFree(hint.res_class);
    return 0;
}

// What a window manager sends when the user closes a window.
int Close(Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = Intern("WM_PROTOCOLS");
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(Intern("WM_DELETE_WINDOW"));
    event.xclient.data.l[1] = CurrentTime;
    if (!XSendEvent(display, window, False, NoEventMask, &event))
        return 1;
    XSync(display, False);
    return 0;
}

int Stack() {
    for (Window window : TopLevels())
        std::printf("%lu\n", window);
    return 0;
}

volatile std::sig_atomic_t stopped = 0;

int Cover(int x, int y, int width, int height) {
    std::signal(SIGTERM, [](int) { stopped = 1; });
    const int screen = DefaultScreen(display);
    const Window window = XCreateSimpleWindow(
        display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
        static_cast<unsigned>(height), 0, BlackPixel(display, screen), WhitePixel(display, screen));
    XStoreName(display, window, "x11-probe cover");
    XMapRaised(display, window);
    XSync(display, False);
    std::printf("%lu\n", window);
    std::fflush(stdout);
    while (!stopped)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    XDestroyWindow(display, window);
    XSync(display, False);
    return 0;
}

// True when the image holds a 10 x 10 block of the colour (looked for on a grid of 10 pixels,
// so a block anywhere is found).
bool ShowsBlock(XImage* image, unsigned long colour) {
    auto at = [&](int x, int y) { return (XGetPixel(image, x, y) & 0xFFFFFF) == colour; };
    for (int y = 0; y + 10 <= image->height; y += 10)
        for (int x = 0; x + 10 <= image->width; x += 10) {
            if (!at(x, y))
                continue;
            int left = x, top = y;
            while (left > 0 && at(left - 1, y))
                --left;
            while (top > 0 && at(x, top - 1))
                --top;
            if (left + 10 > image->width || top + 10 > image->height)
                continue;
            bool whole = true;
            for (int dy = 0; dy < 10 && whole; ++dy)
                for (int dx = 0; dx < 10 && whole; ++dx)
                    whole = at(left + dx, top + dy);
            if (whole)
                return true;
        }
    return false;
}

int WaitColour(const std::string& title, unsigned long colour, int timeoutMs) {
    const auto start = Clock::now();
    const Window window = FindByTitle(title, timeoutMs);
    if (!window)
        return 1;
    const auto deadline = start + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < deadline) {
        // Read off the screen, as a screenshot is: a child window of another depth (a web
        // view's) is not part of its parent's image.
        XWindowAttributes attributes;
        int x = 0, y = 0;
        Window child = 0;
        if (XGetWindowAttributes(display, window, &attributes) &&
            XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y,
                                  &child)) {
            if (XImage* image =
                    XGetImage(display, DefaultRootWindow(display), x, y,
                              static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap)) {
                const bool shown = ShowsBlock(image, colour);
                XDestroyImage(image);
                if (shown) {
                    const auto ms =
                        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start)
                            .count();
                    std::printf("%lld\n", static_cast<long long>(ms));
                    return 0;
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::fprintf(stderr, "x11-probe: the window never showed %06lx\n", colour);
    return 1;
}

int Usage() {
    std::fputs("usage: x11-probe find TITLE [TIMEOUT_MS] | close ID | stack |\n"
               "       cover X Y WIDTH HEIGHT | wait-colour TITLE RRGGBB [TIMEOUT_MS]\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    display = XOpenDisplay(nullptr);
    if (!display) {
        std::fputs("x11-probe: cannot open the display\n", stderr);
        return 1;
    }
    // Errors about windows that vanish while they are looked at are no failure of the probe.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    const std::string command = argv[1];
    auto number = [&](int i) { return std::strtol(argv[i], nullptr, 0); };
    int code = 2;
    if (command == "find" && (argc == 3 || argc == 4))
        code = Find(argv[2], argc == 4 ? static_cast<int>(number(3)) : 0);
    else if (command == "close" && argc == 3)
        code = Close(static_cast<Window>(number(2)));
    else if (command == "stack" && argc == 2)
        code = Stack();
    else if (command == "cover" && argc == 6)
        code = Cover(static_cast<int>(number(2)), static_cast<int>(number(3)),
                     static_cast<int>(number(4)), static_cast<int>(number(5)));
    else if (command == "wait-colour" && (argc == 4 || argc == 5))
        code = WaitColour(argv[2], std::strtoul(argv[3], nullptr, 16),
                          argc == 5 ? static_cast<int>(number(4)) : 30000);
    else
        Usage();
    XCloseDisplay(display);
    return code;
}
