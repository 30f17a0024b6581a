#include "repeatedmembers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>
#include <QString>
#include <QVector>

namespace RepeatedMembers {

namespace {

// Qt's parser gives up on texts nested deeper than this, before it reaches
// anything that follows.
constexpr int parserNestingLimit = 1024;

struct Container
{
    bool isObject = false;
    bool expectsName = true;
    bool expectsValue = false;
    // The quoted name of the member whose value comes next.
    const char *nameBegin = nullptr;
    const char *nameEnd = nullptr;
    // Names of the members so far that held an array or object.
    QSet<QString> containerNames;
};

// The member name as the parser reads it; `token` includes the quotes.
QString memberName(const QByteArray &token)
{
    if (!token.contains('\\'))
        return QString::fromUtf8(token.mid(1, token.size() - 2));
    const QJsonDocument name = QJsonDocument::fromJson('[' + token + ']');
    return name.isArray() ? name.array().at(0).toString() : QString::fromLatin1(token);
}

// Just past the string token that starts at `begin` (a quote).
const char *stringEnd(const char *begin, const char *end)
{
    const char *p = begin + 1;
    while (p < end && *p != '"')
        p += *p == '\\' ? 2 : 1;
    return p < end ? p + 1 : end;
}

// Notes a member value in the innermost container; true when it repeats the
// name of an earlier member that held an array or object.
bool noteValue(QVector<Container> &open, bool isContainer)
{
    if (open.isEmpty() || !open.last().isObject || !open.last().expectsValue)
        return false;
    Container &object = open.last();
    object.expectsValue = false;
    if (object.containerNames.isEmpty() && !isContainer)
        return false;
    const QString name = memberName(QByteArray::fromRawData(object.nameBegin, int(object.nameEnd - object.nameBegin)));
    if (object.containerNames.contains(name))
        return true;
    if (isContainer)
        object.containerNames.insert(name);
    return false;
}

} // namespace

bool repeatsContainerMember(const QByteArray &json)
{
    // A repeated container member needs an object and a container inside it.
    if (json.count('{') + json.count('[') < 2)
        return false;

    QVector<Container> open;
    const char *const end = json.constData() + json.size();
    for (const char *p = json.constData(); p < end;) {
        const char c = *p;
        if (c == '"') {
            const char *const tokenEnd = stringEnd(p, end);
            Container *const object = open.isEmpty() ? nullptr : &open.last();
            if (object && object->isObject && object->expectsName) {
                object->nameBegin = p;
                object->nameEnd = tokenEnd;
                object->expectsName = false;
                object->expectsValue = true;
            } else if (noteValue(open, false)) {
                return true;
            }
            p = tokenEnd;
            continue;
        }
        if (c == '{' || c == '[') {
            if (noteValue(open, true))
                return true;
            if (open.size() == parserNestingLimit)
                return false;
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
        ++p;
    }
    return false;
}

} // namespace RepeatedMembers
