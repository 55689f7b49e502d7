// Draws the program icon and writes it as an .ico file: 32-bit images of
// 16, 24, 32 and 48 pixels and a 256-pixel PNG image.
#include "platform/ByteWriter.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdio>
#include <vector>

namespace {

QImage draw(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    // A picture frame with a landscape: the icons inside files, on show.
    const QRectF frame(s * 0.06, s * 0.12, s * 0.88, s * 0.76);
    QLinearGradient wood(frame.topLeft(), frame.bottomRight());
    wood.setColorAt(0, QColor(196, 132, 58));
    wood.setColorAt(1, QColor(120, 72, 28));
    p.setPen(QPen(QColor(70, 40, 12), std::max(1.0, s / 32)));
    p.setBrush(wood);
    p.drawRoundedRect(frame, s * 0.06, s * 0.06);
    const QRectF canvas = frame.adjusted(s * 0.1, s * 0.1, -s * 0.1, -s * 0.1);
    QLinearGradient sky(canvas.topLeft(), canvas.bottomLeft());
    sky.setColorAt(0, QColor(90, 160, 235));
    sky.setColorAt(1, QColor(200, 230, 255));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRect(canvas);
    p.setBrush(QColor(255, 210, 60));
    p.drawEllipse(QPointF(canvas.left() + canvas.width() * 0.75, canvas.top() + canvas.height() * 0.3),
                  canvas.width() * 0.11, canvas.width() * 0.11);
    QPainterPath hills;
    hills.moveTo(canvas.bottomLeft());
    hills.lineTo(canvas.left() + canvas.width() * 0.35, canvas.top() + canvas.height() * 0.35);
    hills.lineTo(canvas.left() + canvas.width() * 0.6, canvas.top() + canvas.height() * 0.7);
    hills.lineTo(canvas.left() + canvas.width() * 0.8, canvas.top() + canvas.height() * 0.5);
    hills.lineTo(canvas.bottomRight());
    hills.closeSubpath();
    p.setBrush(QColor(52, 140, 70));
    p.drawPath(hills);
    return image;
}

QByteArray dib(const QImage& image)
{
    const int n = image.width();
    QByteArray b;
    platform::appendLe32(b, 40);
    platform::appendLe32(b, static_cast<uint32_t>(n));
    platform::appendLe32(b, static_cast<uint32_t>(2 * n));
    platform::appendLe16(b, 1);
    platform::appendLe16(b, 32);
    for (int i = 0; i < 6; ++i)
        platform::appendLe32(b, 0);
    for (int y = n - 1; y >= 0; --y)
        for (int x = 0; x < n; ++x)
            platform::appendLe32(b, image.pixel(x, y));
    const int maskStride = ((n + 31) / 32) * 4;
    for (int y = n - 1; y >= 0; --y) {
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < n; ++x)
            if (qAlpha(image.pixel(x, y)) == 0)
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        b += row;
    }
    return b;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_program_icon OUT.ico\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    std::vector<std::pair<int, QByteArray>> images;
    for (int size : {16, 24, 32, 48})
        images.emplace_back(size, dib(draw(size)));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    draw(256).save(&buffer, "PNG");
    images.emplace_back(256, png);

    QByteArray ico;
    platform::appendLe16(ico, 0);
    platform::appendLe16(ico, 1);
    platform::appendLe16(ico, static_cast<uint32_t>(images.size()));
    uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
    for (const auto& [size, data] : images) {
        ico.append(static_cast<char>(size & 0xFF));
        ico.append(static_cast<char>(size & 0xFF));
        ico.append('\0');
        ico.append('\0');
        platform::appendLe16(ico, 1);
        platform::appendLe16(ico, 32);
        platform::appendLe32(ico, static_cast<uint32_t>(data.size()));
        platform::appendLe32(ico, offset);
        offset += static_cast<uint32_t>(data.size());
    }
    for (const auto& image : images)
        ico += image.second;
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (!out.open(QIODevice::WriteOnly) || out.write(ico) != ico.size()) {
        std::fprintf(stderr, "make_program_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
