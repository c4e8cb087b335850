// Draws Tarnvale's application icon as PNG files of the given sizes, with the
// shapes of packaging/icons/tarnvale.svg (a 256 x 256 drawing).
#include <QCoreApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTextStream>

namespace {

QImage drawIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x5f, 0x5b));
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 40, 40);
    p.setBrush(QColor(0xe8, 0xf1, 0xef));
    p.drawRoundedRect(QRectF(48, 148, 40, 64), 4, 4);
    p.drawRoundedRect(QRectF(108, 112, 40, 100), 4, 4);
    p.drawRoundedRect(QRectF(168, 72, 40, 140), 4, 4);
    QPen trend(QColor(0xf2, 0xb1, 0x34), 16, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(trend);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(44, 132), QPointF(100, 92), QPointF(140, 104), QPointF(212, 44)}));
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3) {
        QTextStream(stderr) << "usage: tarnvale-mkicons OUTDIR SIZE...\n"
                               "writes OUTDIR/SIZExSIZE/tarnvale.png for each size\n";
        return 2;
    }
    for (const QString &text : args.mid(2)) {
        bool ok = false;
        const int size = text.toInt(&ok);
        if (!ok || size < 8 || size > 1024) {
            QTextStream(stderr) << "tarnvale-mkicons: bad size " << text << '\n';
            return 2;
        }
        const QString path = QStringLiteral("%1/%2x%2/tarnvale.png").arg(args[1]).arg(size);
        if (!drawIcon(size).save(path, "PNG")) {
            QTextStream(stderr) << "tarnvale-mkicons: cannot write " << path << '\n';
            return 1;
        }
    }
    return 0;
}
