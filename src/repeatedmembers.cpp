#include "repeatedmembers.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QString>
#include <QVector>

namespace Protocol {

namespace {

struct Container
{
    bool isObject = false;
    bool expectsName = true;
    bool expectsValue = false;
    QString name;
    // Member name -> whether any member of that name so far held a container.
    QHash<QString, bool> heldContainer;
};

// The member name as the parser reads it; `token` includes the quotes.
QString memberName(const QByteArray &token)
{
    if (!token.contains('\\'))
        return QString::fromUtf8(token.mid(1, token.size() - 2));
    const QJsonDocument name = QJsonDocument::fromJson('[' + token + ']');
    return name.isArray() ? name.array().at(0).toString() : QString::fromLatin1(token);
}

// Index just past the string token that starts at `begin` (a quote).
int stringEnd(const QByteArray &json, int begin)
{
    int i = begin + 1;
    while (i < json.size() && json.at(i) != '"')
        i += json.at(i) == '\\' ? 2 : 1;
    return qMin(i + 1, int(json.size()));
}

// Notes a member value in the innermost container; true when it repeats a
// name whose earlier value was a container.
bool noteValue(QVector<Container> &open, bool isContainer)
{
    if (open.isEmpty() || !open.last().isObject || !open.last().expectsValue)
        return false;
    Container &object = open.last();
    object.expectsValue = false;
    bool &held = object.heldContainer[object.name];
    const bool repeatsContainer = held;
    held = held || isContainer;
    return repeatsContainer;
}

} // namespace

bool repeatsContainerMember(const QByteArray &json)
{
    // A repeated container member needs an object and a container inside it.
    if (json.count('{') + json.count('[') < 2)
        return false;

    QVector<Container> open;
    int i = 0;
    while (i < json.size()) {
        const char c = json.at(i);
        if (c == '"') {
            const int end = stringEnd(json, i);
            if (!open.isEmpty() && open.last().isObject && open.last().expectsName) {
                open.last().name = memberName(json.mid(i, end - i));
                open.last().expectsName = false;
                open.last().expectsValue = true;
            } else if (noteValue(open, false)) {
                return true;
            }
            i = end;
            continue;
        }
        if (c == '{' || c == '[') {
            if (noteValue(open, true))
                return true;
            Container container;
            container.isObject = c == '{';
            open.append(container);
        } else if (c == '}' || c == ']') {
            if (!open.isEmpty())
                open.removeLast();
        } else if (c == ',') {
            if (!open.isEmpty() && open.last().isObject) {
                open.last().expectsName = true;
                open.last().expectsValue = false;
            }
        } else if (c != ':' && c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            if (noteValue(open, false))
                return true;
        }
        ++i;
    }
    return false;
}

} // namespace Protocol
