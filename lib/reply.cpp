#include "reply.h"
#include "logging.h"
#include "repeatedmembers.h"

#include <QJsonDocument>
#include <QJsonValue>

#include <cmath>

Reply Reply::read(const QString &text)
{
    Reply reply;
    const QByteArray json = text.toLatin1();
    if (RepeatedMembers::repeatsContainerMember(json)) {
        qCDebug(lcLink) << "Reply repeats a member that held an array or object" << text;
        reply.m_failure = QStringLiteral("the reply repeats a member");
        return reply;
    }
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (document.isNull()) {
        qCDebug(lcLink) << "Invalid JSON.." << text;
        reply.m_failure = QStringLiteral("the reply is not valid JSON");
    } else if (!document.isObject()) {
        qCDebug(lcLink) << "Document is not an object";
        reply.m_failure = QStringLiteral("the reply is not a JSON object");
    } else {
        reply.m_object = document.object();
    }
    return reply;
}

double Reply::number(const QString &name) const
{
    const double value = m_object.value(name).toDouble(0.0);
    return std::isfinite(value) ? value : 0.0;
}

bool Reply::hasNumber(const QString &name) const
{
    const QJsonValue value = m_object.value(name);
    return value.isDouble() && std::isfinite(value.toDouble());
}

