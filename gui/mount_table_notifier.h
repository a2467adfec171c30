// Tells when the mount table changes: the kernel marks the open table with an exceptional
// condition on every mount and unmount.
#pragma once

#include <QObject>
#include <functional>
#include <string>

#include "picker/mount_watcher.h"

class QSocketNotifier;

namespace velkor {

class MountTableNotifier : public QObject {
    Q_OBJECT

  public:
    // Calls `on_change` from the event loop after every change of the table at `path`.
    // Without a readable table it never calls.
    explicit MountTableNotifier(std::function<void()> on_change, QObject* parent = nullptr,
                                const std::string& path = kMountTablePath);
    ~MountTableNotifier() override;
    MountTableNotifier(const MountTableNotifier&) = delete;
    MountTableNotifier& operator=(const MountTableNotifier&) = delete;

    bool watching() const { return notifier_ != nullptr; }

  private:
    std::function<void()> on_change_;
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace velkor
