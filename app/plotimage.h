#ifndef PLOTIMAGE_H
#define PLOTIMAGE_H

#include <QByteArray>
#include <QString>

class QCustomPlot;

// A picture of a plot as it is on screen, at its size there: PNG, or PDF
// (drawn as lines and text, so it scales), chosen by the file name's suffix.
namespace PlotImage {

enum class Format { Png, Pdf, Unknown };

// PNG for a name ending in .png or with no suffix, PDF for .pdf, in any case.
Format formatOf(const QString &fileName);

// The bytes of the picture of plot in the format of fileName; false with the
// reason in error when there is no such picture.
bool render(QCustomPlot *plot, const QString &fileName, QByteArray *bytes, QString *error);

} // namespace PlotImage

#endif // PLOTIMAGE_H
