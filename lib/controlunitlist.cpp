#include "controlunitlist.h"

#include <algorithm>

namespace {
const QString localMachine = QStringLiteral("localhost");
}

namespace ControlUnitList {

QStringList cleaned(QStringList answers, const QList<QHostAddress> &localAddresses)
{
    const auto unusable = [](const QString &text) {
        return text.isEmpty() || QHostAddress(text) == QHostAddress::LocalHost;
    };
    answers.erase(std::remove_if(answers.begin(), answers.end(), unusable), answers.end());

    for (const QHostAddress &local : localAddresses) {
        if (local.protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        const QString localText = local.toString();
        std::replace(answers.begin(), answers.end(), localText, localMachine);
    }

    answers.removeDuplicates();

    const int localIndex = answers.indexOf(localMachine);
    if (localIndex >= 0)
        answers[localIndex] = QStringLiteral("127.0.0.1");
    return answers;
}

} // namespace ControlUnitList
