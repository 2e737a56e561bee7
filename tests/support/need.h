#pragma once

#include <QObject>
#include <QString>

// The named control `name` under root, for tests that find controls as a user would (by
// the names the accessibility bus shows); a missing control is a test failure.
template <class T> T& need(const QObject* root, const QString& name)
{
    T* found = root->findChild<T*>(name);
    if (!found)
        qFatal("missing control %s", qPrintable(name));
    return *found;
}
