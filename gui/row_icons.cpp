#include "gui/row_icons.h"

#include <QPainter>
#include <QPixmap>
#include <QStyle>

namespace velkor {
namespace {

QIcon OnWhite(const QIcon& image) {
    QPixmap pixmap(kRowIconSize, kRowIconSize);
    pixmap.fill(Qt::white);
    QPainter painter(&pixmap);
    image.paint(&painter, pixmap.rect());
    painter.end();
    return QIcon(pixmap);
}

}  // namespace

std::array<QIcon, kRowIconCount> MakeRowIcons(const QStyle& style) {
    std::array<QIcon, kRowIconCount> icons;
    icons[static_cast<int>(RowIcon::kFolder)] = OnWhite(style.standardIcon(QStyle::SP_DirIcon));
    icons[static_cast<int>(RowIcon::kFirmwareFile)] =
        OnWhite(style.standardIcon(QStyle::SP_FileIcon));
    icons[static_cast<int>(RowIcon::kStorageVolume)] =
        OnWhite(style.standardIcon(QStyle::SP_DriveHDIcon));
    icons[static_cast<int>(RowIcon::kNetworkVolume)] =
        OnWhite(style.standardIcon(QStyle::SP_DriveNetIcon));
    icons[static_cast<int>(RowIcon::kRecycleBin)] =
        OnWhite(style.standardIcon(QStyle::SP_TrashIcon));
    return icons;
}

}  // namespace velkor
