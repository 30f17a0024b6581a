#include "plotimage.h"

#include <qcustomplot.h>

#include <QBuffer>
#include <QFileInfo>
#include <QPdfWriter>

namespace PlotImage {

namespace {

// The pixels the plot covers on screen: on a screen that Qt scales (as Qt 6
// does by itself on a high-resolution one) more than its size in the layout.
QByteArray png(QCustomPlot *plot)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!plot->toPixmap(plot->width(), plot->height(), plot->devicePixelRatioF()).save(&buffer, "PNG"))
        return QByteArray();
    return bytes;
}

// One page of exactly the plot's size, one point per pixel of the screen. The
// writer counts in the screen's dots, so that fonts, which are sized in points,
// come out as large as the screen draws them once the plot's pixels are mapped
// onto the page's points.
QByteArray pdf(QCustomPlot *plot)
{
    const QSize size = plot->size();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setCreator(QStringLiteral("Tavik Counter App"));
        writer.setResolution(plot->logicalDpiY());
        writer.setPageLayout(QPageLayout(QPageSize(size, QPageSize::Point, QString(), QPageSize::ExactMatch),
                                         QPageLayout::Portrait, QMarginsF()));
        QCPPainter painter;
        if (!painter.begin(&writer))
            return QByteArray();
        painter.setMode(QCPPainter::pmVectorized);
        painter.setWindow(QRect(QPoint(0, 0), size));
        plot->toPainter(&painter, size.width(), size.height());
        painter.end();
    }
    return bytes;
}

} // namespace

Format formatOf(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix.isEmpty() || suffix == QLatin1String("png"))
        return Format::Png;
    if (suffix == QLatin1String("pdf"))
        return Format::Pdf;
    return Format::Unknown;
}

bool render(QCustomPlot *plot, const QString &fileName, QByteArray *bytes, QString *error)
{
    switch (formatOf(fileName)) {
    case Format::Png:
        *bytes = png(plot);
        break;
    case Format::Pdf:
        *bytes = pdf(plot);
        break;
    case Format::Unknown:
        *error = QStringLiteral("the name ends in neither .png nor .pdf");
        return false;
    }
    if (bytes->isEmpty()) {
        *error = QStringLiteral("the picture could not be drawn");
        return false;
    }
    return true;
}

} // namespace PlotImage
