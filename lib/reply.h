#ifndef REPLY_H
#define REPLY_H

#include <QJsonObject>
#include <QString>

// A reply read as a JSON object. Unusable replies are logged as the program always
// has ("Invalid JSON.." with the text, or "Document is not an object").
class Reply
{
public:
    static Reply read(const QString &text);

    bool isUsable() const { return m_failure.isEmpty(); }
    QString failure() const { return m_failure; }
    // The named member as a double; 0 when it is missing or not a number.
    double number(const QString &name) const;
    // Whether the named member is there, whatever it holds.
    bool has(const QString &name) const { return m_object.contains(name); }
    // Whether the named member is there and holds a finite number.
    bool hasNumber(const QString &name) const;

private:
    QJsonObject m_object;
    QString m_failure;
};


#endif // REPLY_H
