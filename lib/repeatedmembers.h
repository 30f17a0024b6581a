#ifndef REPEATEDMEMBERS_H
#define REPEATEDMEMBERS_H

#include <QByteArray>

namespace RepeatedMembers {

// Whether some object in the JSON text names a member again after an earlier
// member of that name held an array or an object. Qt 5's JSON parser keeps the
// last of the repeated members and never frees the containers it drops, so such
// a text must not reach the parser: a unit repeating it would make the program
// grow without bound. Qt 6's parser frees them; the text is refused there all
// the same, so that both builds take the same replies. Member names compare as
// the parser decodes them ("a" equals "\u0061"). Texts that are not JSON are
// scanned as far as they go.
bool repeatsContainerMember(const QByteArray &json);

} // namespace RepeatedMembers

#endif // REPEATEDMEMBERS_H
