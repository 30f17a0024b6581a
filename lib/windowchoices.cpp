#include "windowchoices.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

namespace {

const QString organisation = QStringLiteral("Morvida");
const QString application = QStringLiteral("Kestrava_Calibration");

QString channelKey(const QString &plot, int channel)
{
    return QStringLiteral("%1/Channel%2Shown").arg(plot).arg(channel);
}

// An integer stored as a number or as the whole of a text ("500", not "500 mV"
// or "5e2").
std::optional<qint64> integerOf(const QVariant &value)
{
    switch (value.userType()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return value.toLongLong();
    case QMetaType::QString: {
        bool ok = false;
        const qint64 number = value.toString().trimmed().toLongLong(&ok, 10);
        if (ok)
            return number;
        break;
    }
    default:
        break;
    }
    return std::nullopt;
}

std::optional<int> integerIn(const QVariant &value, int lowest, int highest)
{
    const std::optional<qint64> number = integerOf(value);
    if (number && *number >= lowest && *number <= highest)
        return int(*number);
    return std::nullopt;
}

// A text reads as a truth value only when it is "true" or "false", as the
// settings write them; any other text is not one.
std::optional<bool> truthOf(const QVariant &value)
{
    if (value.userType() == QMetaType::Bool)
        return value.toBool();
    if (value.userType() == QMetaType::QString) {
        const QString text = value.toString().trimmed();
        if (text == QLatin1String("true"))
            return true;
        if (text == QLatin1String("false"))
            return false;
    }
    return std::nullopt;
}

std::optional<QSize> sizeOf(const QVariant &value)
{
    if (value.userType() != QMetaType::QSize)
        return std::nullopt;
    const QSize size = value.toSize();
    if (size.width() < 1 || size.height() < 1 || size.width() > WindowChoices::maxPixels
        || size.height() > WindowChoices::maxPixels)
        return std::nullopt;
    return size;
}

std::optional<QList<int>> splitterSizesOf(const QVariant &value)
{
    QVariantList items;
    if (value.userType() == QMetaType::QStringList) {
        for (const QString &text : value.toStringList())
            items << text;
    } else if (value.userType() == QMetaType::QVariantList) {
        items = value.toList();
    } else {
        return std::nullopt;
    }
    if (items.size() != 2)
        return std::nullopt;
    QList<int> sizes;
    for (const QVariant &item : items) {
        const std::optional<int> size = integerIn(item, 0, WindowChoices::maxPixels);
        if (!size)
            return std::nullopt;
        sizes << *size;
    }
    return sizes;
}

QString folderOf(const QVariant &value)
{
    if (value.userType() != QMetaType::QString)
        return QString();
    const QString folder = value.toString();
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder) || !QFileInfo(folder).isDir())
        return QString();
    return folder;
}

template<typename T>
void writeIfSet(QSettings &settings, const QString &key, const std::optional<T> &value)
{
    if (value)
        settings.setValue(key, QVariant::fromValue(*value));
}

} // namespace

WindowChoices WindowChoices::read()
{
    const QSettings settings(organisation, application);
    return read(settings);
}

void WindowChoices::write() const
{
    QSettings settings(organisation, application);
    write(settings);
}

WindowChoices WindowChoices::read(const QSettings &settings)
{
    WindowChoices choices;
    choices.sweepStart = integerIn(settings.value(QStringLiteral("Sweep/Start")), 0, maxLevelMv);
    choices.sweepStop = integerIn(settings.value(QStringLiteral("Sweep/Stop")), 0, maxLevelMv);
    choices.sweepStep = integerIn(settings.value(QStringLiteral("Sweep/Step")), 0, maxLevelMv);
    choices.windowSize = sizeOf(settings.value(QStringLiteral("Window/Size")));
    choices.splitterSizes = splitterSizesOf(settings.value(QStringLiteral("Window/SplitterSizes")));
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        choices.countsChannelsShown[channel] = truthOf(settings.value(channelKey(QStringLiteral("Counts"), channel)));
        choices.sweepChannelsShown[channel] = truthOf(settings.value(channelKey(QStringLiteral("Sweep"), channel)));
    }
    choices.countsLogScale = truthOf(settings.value(QStringLiteral("Counts/LogScale")));
    choices.histogramLogScale = truthOf(settings.value(QStringLiteral("Histogram/LogScale")));
    choices.saveFolder = folderOf(settings.value(QStringLiteral("Files/LastFolder")));
    return choices;
}

void WindowChoices::write(QSettings &settings) const
{
    writeIfSet(settings, QStringLiteral("Sweep/Start"), sweepStart);
    writeIfSet(settings, QStringLiteral("Sweep/Stop"), sweepStop);
    writeIfSet(settings, QStringLiteral("Sweep/Step"), sweepStep);
    writeIfSet(settings, QStringLiteral("Window/Size"), windowSize);
    if (splitterSizes)
        settings.setValue(QStringLiteral("Window/SplitterSizes"), QVariantList { splitterSizes->value(0),
                                                                                 splitterSizes->value(1) });
    for (int channel = 0; channel < Wire::channelCount; ++channel) {
        writeIfSet(settings, channelKey(QStringLiteral("Counts"), channel), countsChannelsShown[channel]);
        writeIfSet(settings, channelKey(QStringLiteral("Sweep"), channel), sweepChannelsShown[channel]);
    }
    writeIfSet(settings, QStringLiteral("Counts/LogScale"), countsLogScale);
    writeIfSet(settings, QStringLiteral("Histogram/LogScale"), histogramLogScale);
    if (!saveFolder.isEmpty())
        settings.setValue(QStringLiteral("Files/LastFolder"), saveFolder);
}
