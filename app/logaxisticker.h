#ifndef LOGAXISTICKER_H
#define LOGAXISTICKER_H

#include <qcustomplot.h>

// Ticks of a logarithmic axis that read as such over any range: at least two
// labelled ticks within it, spread over it. Over many decades the ticks are
// powers of ten; over fewer, where the powers alone would leave a decade or
// more unlabelled, 1, 2 and 5 times a power, then every whole mantissa; only
// within a fraction of a decade evenly spaced ticks. Sub-ticks sit at the
// whole mantissas between. Each label states its tick's value: powers of ten
// read 10³, other ticks 2·10³ or 1.25·10³, as an axis with the number format
// "eb" and precision 0 draws them.
class LogAxisTicker : public QCPAxisTickerLog
{
protected:
    QVector<double> createTickVector(double tickStep, const QCPRange &range) override;
    QVector<double> createSubTickVector(int subTickCount, const QVector<double> &ticks) override;
    QString getTickLabel(double tick, const QLocale &locale, QChar formatChar, int precision) override;

private:
    // What the last ticks made were: for the sub-ticks between them.
    enum class Spacing { Powers, Mantissas, Even };
    Spacing m_spacing = Spacing::Powers;
};

#endif // LOGAXISTICKER_H
