#pragma once

#include <QString>
#include <exception>

// Failures of the model travel up as exceptions until a window handler traps
// them; the description is plain text meant to follow a fixed message prefix.
class VantrelError : public std::exception
{
public:
    explicit VantrelError(QString description)
        : fDescription(std::move(description)), fUtf8(fDescription.toUtf8())
    {}

    const QString &description() const noexcept { return fDescription; }
    const char *what() const noexcept override { return fUtf8.constData(); }

private:
    QString fDescription;
    QByteArray fUtf8;
};
