#include "gui/x11_unit_shell.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <unistd.h>
#include <algorithm>

#include <climits>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <ranges>
#include <vector>

#include "platform/process_control.h"
#include "platform/text.h"

namespace velkor {
namespace {

// The windows we look at belong to other programs and may vanish between two requests, so
// X errors on our own connections (BadWindow above all) are dropped rather than left to
// Xlib's default handler, which ends the process. Errors on other connections go on to the
// handler that was installed before ours.
struct ErrorRoute {
    std::mutex mutex;
    std::vector<Display*> displays;
    XErrorHandler previous = nullptr;
};

ErrorRoute& Route() {
    static ErrorRoute route;
    return route;
}

int DropOwnErrors(Display* display, XErrorEvent* event) {
    ErrorRoute& route = Route();
    XErrorHandler previous;
    {
        std::lock_guard lock(route.mutex);
        if (std::ranges::find(route.displays, display) != route.displays.end()) {
            return 0;
        }
        previous = route.previous;
    }
    return previous != nullptr ? previous(display, event) : 0;
}

void RouteErrors(Display* display) {
    static std::once_flag installed;
    ErrorRoute& route = Route();
    std::call_once(installed, [&] {
        std::lock_guard lock(route.mutex);
        route.previous = XSetErrorHandler(DropOwnErrors);
    });
    std::lock_guard lock(route.mutex);
    route.displays.push_back(display);
}

void StopRoutingErrors(Display* display) {
    ErrorRoute& route = Route();
    std::lock_guard lock(route.mutex);
    std::erase(route.displays, display);
}

struct XFreeDeleter {
    void operator()(void* data) const {
        if (data != nullptr) {
            XFree(data);
        }
    }
};
template <typename T>
using XPointer = std::unique_ptr<T, XFreeDeleter>;

// Names and pids are short; this bounds what a hostile property can make us copy.
constexpr long kMaxPropertyLongs = 4096;

struct Property {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    XPointer<unsigned char> data;
};

std::optional<Property> ReadProperty(Display* display, Window window, Atom name, Atom type) {
    Property property;
    unsigned long bytes_after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, name, 0, kMaxPropertyLongs, False, type, &property.type,
                           &property.format, &property.count, &bytes_after, &data) != Success) {
        return std::nullopt;
    }
    property.data.reset(data);
    if (property.type == None || property.data == nullptr) {
        return std::nullopt;
    }
    return property;
}

std::string Bytes(const Property& property) {
    return std::string(reinterpret_cast<const char*>(property.data.get()), property.count);
}

// Children bottom to top, as XQueryTree gives them; empty when the window has vanished.
std::vector<Window> Children(Display* display, Window window) {
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, window, &root, &parent, &children, &count) == 0) {
        return {};
    }
    XPointer<Window> owned(children);
    return std::vector<Window>(children, children + count);
}

}  // namespace

X11UnitShell::X11UnitShell(const std::string& display_name) {
    display_ = XOpenDisplay(display_name.empty() ? nullptr : display_name.c_str());
    if (display_ == nullptr) {
        return;
    }
    RouteErrors(display_);
    net_wm_name_ = XInternAtom(display_, "_NET_WM_NAME", False);
    net_wm_pid_ = XInternAtom(display_, "_NET_WM_PID", False);
    utf8_string_ = XInternAtom(display_, "UTF8_STRING", False);
}

X11UnitShell::~X11UnitShell() {
    if (display_ != nullptr) {
        // Errors still queued are dispatched while closing, so the route stays until after.
        XCloseDisplay(display_);
        StopRoutingErrors(display_);
    }
}

void X11UnitShell::StartShell() {
    StartDetached(kShellProgram);
}

template <typename Match>
std::optional<WindowId> X11UnitShell::FindWindow(Match match) {
    if (display_ == nullptr) {
        return std::nullopt;
    }
    const auto tops = Children(display_, DefaultRootWindow(display_));
    for (const Window top : tops | std::views::reverse) {
        if (match(top)) {
            return top;
        }
        const auto inner = Children(display_, top);
        for (const Window window : inner | std::views::reverse) {
            if (match(window)) {
                return window;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> X11UnitShell::WindowName(WindowId window) {
    if (const auto name = ReadProperty(display_, window, net_wm_name_, utf8_string_);
        name && name->type == utf8_string_ && name->format == 8) {
        return Bytes(*name);
    }
    const auto name = ReadProperty(display_, window, XA_WM_NAME, AnyPropertyType);
    if (!name || name->format != 8) {
        return std::nullopt;
    }
    if (name->type == XA_STRING) {
        return Latin1ToUtf8(Bytes(*name));
    }
    if (name->type == utf8_string_) {
        return Bytes(*name);
    }
    // Compound text and other encodings: let Xlib convert.
    XTextProperty text{name->data.get(), name->type, name->format, name->count};
    char** list = nullptr;
    int count = 0;
    if (Xutf8TextPropertyToTextList(display_, &text, &list, &count) < Success || count < 1) {
        if (list != nullptr) {
            XFreeStringList(list);
        }
        return std::nullopt;
    }
    std::string converted = list[0];
    XFreeStringList(list);
    return converted;
}

std::optional<WindowId> X11UnitShell::FindWindowByTitle(const std::string& title) {
    return FindWindow([&](Window window) { return WindowName(window) == title; });
}

std::optional<WindowId> X11UnitShell::FindWindowByClass(const std::string& window_class) {
    return FindWindow([&](Window window) {
        XClassHint hint{};
        if (XGetClassHint(display_, window, &hint) == 0) {
            return false;
        }
        XPointer<char> name(hint.res_name);
        XPointer<char> class_name(hint.res_class);
        return class_name != nullptr && window_class == class_name.get();
    });
}

std::optional<ProcessId> X11UnitShell::WindowProcess(WindowId window) {
    if (display_ == nullptr) {
        return std::nullopt;
    }
    const auto pid = ReadProperty(display_, window, net_wm_pid_, XA_CARDINAL);
    if (!pid || pid->type != XA_CARDINAL || pid->format != 32 || pid->count < 1) {
        return std::nullopt;
    }
    // Format 32 items arrive as longs.
    const long value = *reinterpret_cast<const long*>(pid->data.get());
    if (value <= 0 || value > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<ProcessId>(value);
}

std::string X11UnitShell::ProcessExecutable(ProcessId process) {
    return ExecutablePath(process);
}

bool X11UnitShell::TerminateProcess(ProcessId process) {
    // Any X client may name any process in _NET_WM_PID; the tool, often run as root, ends only
    // a program of its own user.
    const std::optional<uid_t> user = ProcessUser(process);
    if (!user || *user != ::geteuid()) {
        if (left_running_.insert(process).second) {
            std::fprintf(stderr,
                         "The manager program (process %d) runs as another user; it is left "
                         "running.\n",
                         process);
        }
        return false;
    }
    return KillProcess(process);
}

bool X11UnitShell::IsWindowVisible(WindowId window) {
    if (display_ == nullptr) {
        return false;
    }
    XWindowAttributes attributes{};
    // IsViewable: mapped, and so are all its ancestors.
    return XGetWindowAttributes(display_, window, &attributes) != 0 &&
           attributes.map_state == IsViewable;
}

void X11UnitShell::ShowWindow(WindowId window) {
    if (display_ != nullptr) {
        XMapWindow(display_, window);
        XFlush(display_);
    }
}

void X11UnitShell::HideWindow(WindowId window) {
    if (display_ != nullptr) {
        XUnmapWindow(display_, window);
        XFlush(display_);
    }
}

}  // namespace velkor
