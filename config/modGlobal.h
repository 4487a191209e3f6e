#pragma once

#include <QString>

// Turns the backslash escapes of a stored command into the characters sent:
// \\ \r \n \t; a backslash before any other character is dropped, and so is
// a trailing backslash.
QString DecodeEscapes(const QString &text);
