#include "station/slot_watcher.h"

#include <dirent.h>
#include <fnmatch.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "platform/text.h"

namespace velkor {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::uint32_t kGoneMask = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;
constexpr std::uint32_t kFolderMask = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM |
                                      IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
// On the nearest existing ancestor: only the creation of the next folder on the way matters.
constexpr std::uint32_t kAncestorMask =
    IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool IsCharacterDevice(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

bool IsFolder(const std::filesystem::path& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string WithoutTrailingSlashes(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

}  // namespace

struct SlotWatcher::State {
    struct Link {
        bool device = false;            // leads to a character device, as last looked at
        bool reported = false;          // reported as appeared, and not as gone since
        SteadyClock::time_point since;  // last seen to change
    };

    std::string folder;              // as given, for the events' paths
    std::filesystem::path absolute;  // for the way up to an existing ancestor
    std::string glob;
    std::chrono::milliseconds settle;
    int inotify = -1;
    int wake = -1;
    int wake_error = 0;  // why there is no wake eventfd
    bool started = false;
    int watch = -1;
    bool watching_folder = false;
    std::string awaited;  // under the watched ancestor: the next folder on the way
    bool rewatch = false;
    std::map<std::string, Link> links;  // the matching names in the folder

    std::string PathOf(const std::string& name) const {
        return folder == "/" ? "/" + name : folder + "/" + name;
    }

    bool Matches(const char* name) const {
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
            return false;
        }
        // Hidden names are passed over: udev makes its links under a hidden name first.
        return glob.empty() ? name[0] != '.' : ::fnmatch(glob.c_str(), name, FNM_PERIOD) == 0;
    }

    void Tell(SlotEvent::Kind kind, const std::string& name, std::vector<SlotEvent>& events) {
        events.push_back({kind, name, PathOf(name)});
    }

    void Remove(const std::string& name, std::vector<SlotEvent>& events) {
        const auto link = links.find(name);
        if (link == links.end()) {
            return;
        }
        if (link->second.reported) {
            Tell(SlotEvent::Kind::kGone, name, events);
        }
        links.erase(link);
    }

    void ForgetAll(std::vector<SlotEvent>& events) {
        for (const auto& [name, link] : links) {
            if (link.reported) {
                Tell(SlotEvent::Kind::kGone, name, events);
            }
        }
        links.clear();
    }

    // After the folder's watch is (re)made, or events were lost: what is there now.
    void Rescan(std::vector<SlotEvent>& events) {
        std::set<std::string> present;
        if (DIR* dir = ::opendir(absolute.c_str())) {
            while (const dirent* entry = ::readdir(dir)) {
                if (Matches(entry->d_name)) {
                    present.insert(entry->d_name);
                }
            }
            ::closedir(dir);
        }
        for (auto link = links.begin(); link != links.end();) {
            const auto next = std::next(link);
            if (!present.contains(link->first)) {
                Remove(link->first, events);
            }
            link = next;
        }
        const auto now = SteadyClock::now();
        for (const auto& name : present) {
            links.try_emplace(name, Link{false, false, now});
        }
    }

    void Watch(int wd, bool folder_itself, std::string next) {
        if (watch >= 0 && watch != wd) {
            ::inotify_rm_watch(inotify, watch);  // fails harmlessly when the kernel dropped it
        }
        watch = wd;
        watching_folder = folder_itself;
        awaited = std::move(next);
    }

    // Watches the folder, or else its nearest existing ancestor; false with `error` set when
    // neither can be watched.
    bool Establish(std::vector<SlotEvent>& events, std::string& error) {
        // A folder made between the failed watch and the ancestor's watch sends no event:
        // looked at again, a few times over.
        for (int attempt = 0; attempt < 8; ++attempt) {
            std::filesystem::path target = absolute;
            std::string child;
            int wd;
            while ((wd = ::inotify_add_watch(inotify, target.c_str(),
                                             child.empty() ? kFolderMask : kAncestorMask)) < 0) {
                const int failure = errno;
                if ((failure != ENOENT && failure != ENOTDIR) || !target.has_relative_path()) {
                    error = "cannot watch " + EscapeControls(target.string()) + ": " +
                            std::strerror(failure);
                    ForgetAll(events);
                    Watch(-1, false, {});
                    return false;
                }
                child = target.filename();
                target = target.parent_path();
            }
            if (child.empty()) {
                Watch(wd, true, {});
                Rescan(events);
                return true;
            }
            Watch(wd, false, child);
            ForgetAll(events);
            if (!IsFolder(target / child)) {
                return true;
            }
        }
        return true;
    }

    void Handle(const inotify_event& event, std::vector<SlotEvent>& events) {
        if ((event.mask & IN_Q_OVERFLOW) != 0) {
            rewatch = true;
            return;
        }
        if (event.wd != watch) {
            return;  // an earlier watch's last words
        }
        if (!watching_folder) {
            if ((event.mask & kGoneMask) != 0 || (event.len > 0 && awaited == event.name)) {
                rewatch = true;
            }
            return;
        }
        if ((event.mask & kGoneMask) != 0) {
            ForgetAll(events);
            rewatch = true;
            return;
        }
        if (event.len == 0 || !Matches(event.name)) {
            return;
        }
        if ((event.mask & (IN_DELETE | IN_MOVED_FROM)) != 0) {
            Remove(event.name, events);
        } else {
            links[event.name].since = SteadyClock::now();
        }
    }

    void ReadEvents(std::vector<SlotEvent>& events) {
        alignas(inotify_event) char buffer[64 * (sizeof(inotify_event) + NAME_MAX + 1)];
        for (;;) {
            const ssize_t count = ::read(inotify, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                return;
            }
            for (const char* at = buffer; at < buffer + count;) {
                const auto& event = *reinterpret_cast<const inotify_event*>(at);
                Handle(event, events);
                at += sizeof(inotify_event) + event.len;
            }
        }
    }

    // Reports what has settled or stopped leading to a device; the next time something will
    // have settled, if anything is waiting to.
    std::optional<SteadyClock::time_point> Settle(SteadyClock::time_point now,
                                                  std::vector<SlotEvent>& events) {
        std::optional<SteadyClock::time_point> nearest;
        for (auto& [name, link] : links) {
            const bool device = IsCharacterDevice(PathOf(name));
            if (device != link.device) {
                link.device = device;
                if (device) {
                    link.since = now;
                }
            }
            if (link.reported && !device) {
                link.reported = false;
                Tell(SlotEvent::Kind::kGone, name, events);
            } else if (!link.reported && device) {
                const auto due = link.since + settle;
                if (now >= due) {
                    link.reported = true;
                    Tell(SlotEvent::Kind::kAppeared, name, events);
                } else if (!nearest || due < *nearest) {
                    nearest = due;
                }
            }
        }
        return nearest;
    }
};

SlotWatcher::SlotWatcher(std::string folder, std::string glob, std::uint32_t settle_ms)
    : state_(new State) {
    state_->folder = WithoutTrailingSlashes(std::move(folder));
    std::error_code ignored;
    state_->absolute = std::filesystem::absolute(state_->folder, ignored).lexically_normal();
    if (!state_->absolute.has_filename() && state_->absolute.has_relative_path()) {
        state_->absolute = state_->absolute.parent_path();
    }
    state_->glob = std::move(glob);
    state_->settle = std::chrono::milliseconds(settle_ms);
    state_->wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    state_->wake_error = state_->wake < 0 ? errno : 0;
}

SlotWatcher::~SlotWatcher() {
    if (state_->inotify >= 0) {
        ::close(state_->inotify);
    }
    if (state_->wake >= 0) {
        ::close(state_->wake);
    }
    delete state_;
}

bool SlotWatcher::Start(std::string& error) {
    State& state = *state_;
    const std::string shown = EscapeControls(state.folder);
    if (state.wake < 0) {
        error = "cannot watch " + shown + ": " + std::strerror(state.wake_error);
        return false;
    }
    if (state.inotify < 0 && (state.inotify = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) < 0) {
        error = "cannot watch " + shown + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    if (::stat(state.absolute.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
        error = "cannot watch " + shown + ": it is not a folder";
        return false;
    }
    std::vector<SlotEvent> none;  // nothing is known yet, so nothing can be gone
    state.started = state.Establish(none, error);
    return state.started;
}

std::vector<SlotEvent> SlotWatcher::Wait(std::uint32_t timeout_ms) {
    State& state = *state_;
    const auto end = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
    std::vector<SlotEvent> events;
    bool woken = false;
    for (;;) {
        if (state.started && (state.rewatch || state.watch < 0)) {
            state.rewatch = false;
            std::string ignored;  // tried again on the next round
            state.Establish(events, ignored);
        }
        const auto now = SteadyClock::now();
        const auto nearest = state.Settle(now, events);
        if (!events.empty() || woken || now >= end) {
            return events;
        }
        const auto until = nearest && *nearest < end ? *nearest : end;
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
        pollfd fds[] = {{state.wake, POLLIN, 0}, {state.inotify, POLLIN, 0}};
        const int ready = ::poll(fds, state.inotify >= 0 ? 2 : 1,
                                 static_cast<int>(std::min<long long>(wait, INT_MAX)));
        if (ready < 0 && errno != EINTR) {
            return events;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            eventfd_t count;
            ::eventfd_read(state.wake, &count);
            woken = true;
        }
        if (state.inotify >= 0 && (fds[1].revents & POLLIN) != 0) {
            state.ReadEvents(events);
        }
    }
}

void SlotWatcher::Wake() {
    if (state_->wake >= 0) {
        ::eventfd_write(state_->wake, 1);
    }
}

}  // namespace velkor
