// Draws the application icon at every size the desktop themes ask for and
// writes them as OUTDIR/<N>x<N>/apps/tavik-counter.png. Run at build time.

#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

namespace {

const int iconSizes[] = {16, 32, 48, 64, 128, 256};

// The four channels, in the colours the plots give them.
const QColor channelColours[] = {QColor(0x3d, 0x8b, 0xff), QColor(0xff, 0x5a, 0x4e),
                                 QColor(0x3c, 0xc8, 0x6e), QColor(0xff, 0xb3, 0x2e)};

// Drawn on a 256-unit square; small sizes leave out the finer strokes.
void paintIcon(QPainter &painter, int size)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);

    QLinearGradient background(0, 0, 0, 256);
    background.setColorAt(0, QColor(0x23, 0x3d, 0x63));
    background.setColorAt(1, QColor(0x0f, 0x1c, 0x30));
    painter.setPen(Qt::NoPen);
    painter.setBrush(background);
    painter.drawRoundedRect(QRectF(8, 8, 240, 240), 44, 44);

    // A train of counted pulses above the channel bars.
    if (size >= 32) {
        QPainterPath pulses;
        pulses.moveTo(30, 104);
        const qreal widths[] = {18, 30, 12, 24};
        qreal x = 30;
        for (qreal width : widths) {
            x += 16;
            pulses.lineTo(x, 104);
            pulses.lineTo(x, 48);
            x += width;
            pulses.lineTo(x, 48);
            pulses.lineTo(x, 104);
        }
        pulses.lineTo(226, 104);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(0xe8, 0xf1, 0xff), size >= 64 ? 10 : 14, Qt::SolidLine, Qt::RoundCap,
                            Qt::RoundJoin));
        painter.drawPath(pulses);
    }

    const qreal heights[] = {58, 86, 70, 104};
    const qreal barTop = size >= 32 ? 224 : 212;
    const qreal barWidth = size >= 32 ? 34 : 40;
    const qreal scale = size >= 32 ? 1.0 : 1.6;
    painter.setPen(Qt::NoPen);
    for (int channel = 0; channel < 4; ++channel) {
        const qreal height = heights[channel] * scale;
        const qreal left = 38 + channel * (barWidth + 14) - (size >= 32 ? 0 : 16);
        painter.setBrush(channelColours[channel]);
        painter.drawRoundedRect(QRectF(left, barTop - height, barWidth, height), 6, 6);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: " << argv[0] << " OUTDIR\n";
        return 2;
    }
    const QDir outDir(QString::fromLocal8Bit(argv[1]));
    for (int size : iconSizes) {
        QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
        icon.fill(Qt::transparent);
        QPainter painter(&icon);
        paintIcon(painter, size);
        painter.end();

        const QString dir = QStringLiteral("%1x%1/apps").arg(size);
        const QString file = outDir.filePath(dir + QStringLiteral("/tavik-counter.png"));
        if (!outDir.mkpath(dir) || !icon.save(file, "PNG")) {
            err << "cannot write " << file << "\n";
            return 1;
        }
    }
    return 0;
}
