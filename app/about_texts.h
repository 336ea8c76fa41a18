#pragma once

#include <QString>

// The texts of the Help and About boxes: fixed lines joined by CR LF, with no
// line break before the first line or after the last.

QString helpText();

// The About text with the given web and contact addresses.
QString aboutText(const QString& webAddress, const QString& contactAddress);
// The About text with the addresses chosen when the program was built.
QString aboutText();

// The version and addresses the program was built with.
QString builtVersion();
QString builtWebAddress();
QString builtContactAddress();
