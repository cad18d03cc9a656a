// Every widget and action of the windows carries an object name, so that tests, style sheets and
// the saved state can find it; this names one where it is made.
#pragma once

#include <QString>

template <typename T> T *Named(T *object, const char *name) {
    object->setObjectName(QString::fromLatin1(name));
    return object;
}
