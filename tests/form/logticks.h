#ifndef LOGTICKS_H
#define LOGTICKS_H

#include <qcustomplot.h>

#include <QString>

#include <cmath>

// Whether a logarithmic axis, as last drawn, reads as one: at least two
// labelled ticks within its range, and no stretch of it without a label
// (the ends of the axis counted) longer than 60% of it, so that no decade of
// a short axis is left without a label. why says what is wrong when it is not.
inline bool ticksSpreadOverLogAxis(const QCPAxis *axis, QString *why)
{
    const QCPRange range = axis->range();
    const double length = std::log10(range.upper / range.lower);
    QVector<double> inside;
    for (const double tick : axis->tickVector()) {
        if (range.contains(tick))
            inside << tick;
    }
    QStringList labels;
    for (const QString &label : axis->tickVectorLabels())
        labels << label;
    *why = QStringLiteral("%1 to %2: ticks %3").arg(range.lower).arg(range.upper).arg(labels.join(QLatin1Char(' ')));
    if (inside.size() < 2)
        return false;
    double previous = range.lower;
    inside << range.upper;
    for (const double tick : inside) {
        if (std::log10(tick / previous) > 0.6 * length)
            return false;
        previous = tick;
    }
    return true;
}

// Whether an axis, as last drawn, has at least two ticks and labels each with
// its own value, within a part in 10^9 (it draws "1.25e+03" as 1.25 times ten
// to the third). why says what is wrong when it does not.
inline bool tickLabelsStateTheirValues(const QCPAxis *axis, QString *why)
{
    const QVector<double> ticks = axis->tickVector();
    const QVector<QString> labels = axis->tickVectorLabels();
    if (ticks.size() < 2 || labels.size() != ticks.size()) {
        *why = QStringLiteral("%1 ticks, %2 labels").arg(ticks.size()).arg(labels.size());
        return false;
    }
    for (int i = 0; i < ticks.size(); ++i) {
        bool ok = false;
        const double stated = labels[i].toDouble(&ok);
        if (!(ok && qAbs(stated - ticks[i]) <= 1e-9 * ticks[i])) {
            *why = QStringLiteral("tick %1 labelled %2").arg(ticks[i]).arg(labels[i]);
            return false;
        }
    }
    return true;
}

#endif // LOGTICKS_H
