#ifndef WINDOWCHOICES_H
#define WINDOWCHOICES_H

#include "wire.h"

#include <QList>
#include <QSize>
#include <QString>

#include <array>
#include <optional>

class QSettings;

// What the operator set up in the window that is kept between runs, in the
// user's settings beside the stored control-unit address, which is never
// written here. A stored value that is missing, out of range or not of its
// type is left unset: it is ignored, never trusted.
struct WindowChoices
{
    // The levels a sweep can be given, in mV.
    static constexpr int maxLevelMv = 1200;
    // Larger than any screen; a size beyond it is no size of a window.
    static constexpr int maxPixels = 32767;

    std::optional<int> sweepStart;
    std::optional<int> sweepStop;
    std::optional<int> sweepStep;
    std::optional<QSize> windowSize;
    // The widths of the page list and of the pages beside it.
    std::optional<QList<int>> splitterSizes;
    std::array<std::optional<bool>, Wire::channelCount> countsChannelsShown;
    std::array<std::optional<bool>, Wire::channelCount> sweepChannelsShown;
    std::optional<bool> countsLogScale;
    std::optional<bool> histogramLogScale;
    // The folder of the last file saved; empty when unknown or no longer there.
    QString saveFolder;

    // From and to the user's settings of the program.
    static WindowChoices read();
    void write() const;

    static WindowChoices read(const QSettings &settings);
    // Writes the values that are set and leaves every other key alone.
    void write(QSettings &settings) const;
};

#endif // WINDOWCHOICES_H
