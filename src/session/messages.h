#pragma once

#include <QString>
#include <QStringList>

// Session messages: lines of a one-letter key, "=" and a value, joined by LF.
namespace messages {

// A position in seconds rounded to 5 decimals, in the general number form.
QString position(double seconds);
// Lines joined by LF (no final LF).
QString join(const QStringList& lines);

} // namespace messages
