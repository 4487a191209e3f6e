#pragma once

#include <QBuffer>

// A device that reads or writes normally up to a byte budget and then fails,
// like a disk that fills up or a read that hits a bad sector. Works the same
// for root, unlike permission tricks.
class FailDevice : public QBuffer
{
public:
    explicit FailDevice(qint64 budget) : fBudget(budget) {}

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (pos() >= fBudget) {
            setErrorString(QStringLiteral("simulated read failure"));
            return -1;
        }
        return QBuffer::readData(data, qMin(maxSize, fBudget - pos()));
    }
    qint64 writeData(const char *data, qint64 len) override
    {
        if (pos() + len > fBudget) {
            setErrorString(QStringLiteral("simulated write failure"));
            return -1;
        }
        return QBuffer::writeData(data, len);
    }

private:
    qint64 fBudget;
};
