#include "gui/mount_table_notifier.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <utility>

namespace velkor {

MountTableNotifier::MountTableNotifier(std::function<void()> on_change, QObject* parent,
                                       const std::string& path)
    : QObject(parent), on_change_(std::move(on_change)) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        return;
    }
    // Polling the table itself clears the condition, so nothing needs to be read here.
    notifier_ = new QSocketNotifier(static_cast<qintptr>(fd_), QSocketNotifier::Exception, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        if (on_change_) {
            on_change_();
        }
    });
}

MountTableNotifier::~MountTableNotifier() {
    // The notifier must let go of the descriptor before it is closed.
    delete notifier_;
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

}  // namespace velkor
