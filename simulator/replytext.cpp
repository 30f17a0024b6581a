#include "replytext.h"

QByteArray ReplyText::number(double value)
{
    return QByteArray::number(value, 'g', 15);
}

QByteArray ReplyText::params(const CounterModel &model)
{
    QByteArray reply = "{\"TimeConst\":" + number(model.timeConstant());
    for (int channel = 0; channel < CounterModel::ChannelCount; ++channel)
        reply += ",\"Ref" + QByteArray::number(channel) + "\":" + number(model.triggerLevel(channel));
    return reply + '}';
}

QByteArray ReplyText::data(const GateCounts &counts)
{
    QByteArray reply = "{\"TimeConst\":" + number(counts.timeConstant);
    for (int channel = 0; channel < CounterModel::ChannelCount; ++channel)
        reply += ",\"Channel" + QByteArray::number(channel) + "\":"
                 + QByteArray::number(counts.channel[size_t(channel)]);
    return reply + '}';
}
