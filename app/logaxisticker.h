#ifndef LOGAXISTICKER_H
#define LOGAXISTICKER_H

#include <qcustomplot.h>

// Ticks of a logarithmic axis whose labels always state their tick's value.
// Over less than about 1.6 decades the library's log ticker falls back to evenly
// spaced ticks (1250, 1500, 1750), which an axis's fixed number precision would
// label as powers of ten; each label gets the digits its tick needs instead, so
// powers of ten still read 10³ and 1250 reads 1.25·10³.
class LogAxisTicker : public QCPAxisTickerLog
{
protected:
    QString getTickLabel(double tick, const QLocale &locale, QChar formatChar, int precision) override;
};

#endif // LOGAXISTICKER_H
