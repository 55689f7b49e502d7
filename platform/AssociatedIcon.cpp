// The icon of a file's type, from the desktop: apart from the icon loader,
// because it needs the widgets library and the loader must not.
#include "platform/ShellIcons.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QMimeDatabase>
#include <QPainter>
#include <QPainterPath>

namespace platform {

namespace {

QImage documentPicture(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    const double u = size / 32.0;
    const double left = 6 * u, top = 2 * u, right = 26 * u, bottom = 30 * u, fold = 7 * u;
    QPainterPath page;
    page.moveTo(left, top);
    page.lineTo(right - fold, top);
    page.lineTo(right, top + fold);
    page.lineTo(right, bottom);
    page.lineTo(left, bottom);
    page.closeSubpath();
    p.setRenderHint(QPainter::Antialiasing, size > 16);
    p.setPen(QPen(QColor(96, 96, 96), 1));
    p.setBrush(Qt::white);
    p.translate(-0.5, -0.5);
    p.drawPath(page);
    QPainterPath corner;
    corner.moveTo(right - fold, top);
    corner.lineTo(right - fold, top + fold);
    corner.lineTo(right, top + fold);
    p.setBrush(QColor(224, 224, 224));
    p.drawPath(corner);
    p.setPen(QPen(QColor(160, 160, 160), 1));
    for (double y = top + fold + 3 * u; y < bottom - 2 * u; y += 3 * u)
        p.drawLine(QPointF(left + 3 * u, y), QPointF(right - 3 * u, y));
    return image;
}

QIcon desktopIcon(const QFileInfo& info)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return {};
    QIcon icon;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        icon = QFileIconProvider().icon(info);
    if (icon.isNull()) {
        const QMimeType mime = QMimeDatabase().mimeTypeForFile(info);
        icon = QIcon::fromTheme(mime.iconName(), QIcon::fromTheme(mime.genericIconName()));
    }
    return icon;
}

}  // namespace

Icon associatedIcon(const QString& path, int size)
{
    const QFileInfo info(path);
    if (!info.exists() || size <= 0 || size > kMaxIconDimension)
        return {};
    const QIcon icon = desktopIcon(info);
    if (!icon.isNull()) {
        QImage picture = icon.pixmap(QSize(size, size), 1.0).toImage();
        if (!picture.isNull()) {
            if (picture.size() != QSize(size, size))
                picture = picture.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            return Icon::fromImage(picture);
        }
    }
    return Icon::fromImage(documentPicture(size));
}

}  // namespace platform
