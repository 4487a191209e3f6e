#include "CompactString.h"

#include <QtCore/qstringalgorithms.h>
#include <cstring>
#include <new>

namespace {

struct Header
{
    quint32 size;
    quint32 wide;
};
static_assert(sizeof(Header) % alignof(char16_t) == 0);
static_assert(sizeof(Header) == CompactString::kEmptyStorage);

const Header &headerOf(const char *block)
{
    return *reinterpret_cast<const Header *>(block);
}

const char *dataOf(const char *block)
{
    return block + sizeof(Header);
}

qsizetype bytesOf(const Header &header)
{
    return qsizetype(header.size) * (header.wide ? 2 : 1);
}

} // namespace

CompactString::CompactString(const QString &text)
{
    const QStringView view(text);
    if (QtPrivate::isLatin1(view)) {
        if (text.isEmpty())
            return;
        assign(nullptr, text.size(), false);
        // Separate from the check and without early exit, so the compiler
        // narrows many characters at a time.
        const char16_t *from = view.utf16();
        char *to = fBlock + sizeof(Header);
        for (qsizetype i = 0; i < text.size(); ++i)
            to[i] = char(from[i]);
    } else {
        assign(reinterpret_cast<const char *>(text.constData()), text.size(), true);
    }
}

CompactString::CompactString(QLatin1String text)
{
    if (!text.isEmpty())
        assign(text.data(), text.size(), false);
}

CompactString::CompactString(const CompactString &other)
{
    if (other.fBlock)
        assign(dataOf(other.fBlock), headerOf(other.fBlock).size, headerOf(other.fBlock).wide);
}

CompactString &CompactString::operator=(const CompactString &other)
{
    if (this != &other)
        *this = CompactString(other);
    return *this;
}

CompactString &CompactString::operator=(CompactString &&other) noexcept
{
    std::swap(fBlock, other.fBlock);
    return *this;
}

CompactString::~CompactString()
{
    ::operator delete(fBlock);
}

void CompactString::assign(const char *data, qsizetype size, bool wide)
{
    const Header header{quint32(size), quint32(wide)};
    // Throws std::bad_alloc, which a load turns into its message.
    char *block = static_cast<char *>(::operator new(sizeof(Header) + size_t(bytesOf(header))));
    std::memcpy(block, &header, sizeof header);
    if (data)
        std::memcpy(block + sizeof(Header), data, size_t(bytesOf(header)));
    ::operator delete(fBlock);
    fBlock = block;
}

QString CompactString::toString() const
{
    if (!fBlock)
        return QString();
    const Header &header = headerOf(fBlock);
    if (header.wide)
        return QString(reinterpret_cast<const QChar *>(dataOf(fBlock)), qsizetype(header.size));
    return QString::fromLatin1(dataOf(fBlock), qsizetype(header.size));
}

qsizetype CompactString::size() const
{
    return fBlock ? qsizetype(headerOf(fBlock).size) : 0;
}

void CompactString::clear()
{
    ::operator delete(fBlock);
    fBlock = nullptr;
}

bool CompactString::isWide() const
{
    return fBlock && headerOf(fBlock).wide;
}

QLatin1String CompactString::latin1() const
{
    Q_ASSERT(!isWide());
    return fBlock ? QLatin1String(dataOf(fBlock), size()) : QLatin1String();
}

QByteArrayView CompactString::storage() const
{
    if (!fBlock)
        return QByteArrayView();
    return QByteArrayView(fBlock, qsizetype(sizeof(Header)) + bytesOf(headerOf(fBlock)));
}

bool CompactString::equals(const QString &text) const
{
    if (text.size() != size())
        return false;
    if (isWide())
        return QStringView(reinterpret_cast<const char16_t *>(dataOf(fBlock)), size()) == text;
    return latin1() == text;
}

char *toString(const CompactString &text)
{
    return qstrdup(text.toString().toUtf8().constData());
}
