#include "CompactString.h"

#include <QtCore/qstringalgorithms.h>
#include <atomic>
#include <cstring>
#include <new>
#ifdef Q_OS_UNIX
#include <sys/mman.h>
#endif

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

// A text's storage tells where it came from by its address: the heap's start
// at a multiple of kAlign, a pool's kPooled bytes past one. A pool block is
// aligned to its size, so a text finds its block's count of texts by masking.
constexpr size_t kAlign = 16;
constexpr size_t kPooled = 8;
constexpr size_t kPoolBlock = 2 * 1024 * 1024;
// Longer texts go to the heap, so a block wastes little at its end.
constexpr qsizetype kLargestPooled = 16 * 1024;
// A small file's texts go to the heap: a fresh block would cost it more in
// page faults than it saves.
constexpr qint64 kPoolAfter = 256 * 1024;

struct PoolBlock
{
    // The texts placed in the block, plus one while a pool fills it.
    std::atomic<qint64> users;
};
static_assert(sizeof(PoolBlock) <= kPooled);
constexpr size_t kFirstText = kPooled;

bool isPooled(const char *storage)
{
    return (quintptr(storage) & (kAlign - 1)) == kPooled;
}

PoolBlock *blockOf(const char *storage)
{
    return reinterpret_cast<PoolBlock *>(quintptr(storage) & ~quintptr(kPoolBlock - 1));
}

void leave(PoolBlock *block)
{
    if (block->users.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        block->~PoolBlock();
        ::operator delete(static_cast<void *>(block), std::align_val_t(kPoolBlock));
    }
}

void release(char *storage)
{
    if (!storage)
        return;
    if (isPooled(storage))
        leave(blockOf(storage));
    else
        ::operator delete(storage, std::align_val_t(kAlign));
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

CompactString::CompactString(QLatin1String text, Pool &pool)
{
    if (text.isEmpty())
        return;
    pool.fOffered += text.size();
    if (text.size() > kLargestPooled || pool.fOffered <= kPoolAfter) {
        assign(text.data(), text.size(), false);
        return;
    }
    fBlock = pool.place(qsizetype(sizeof(Header)) + text.size());
    const Header header{quint32(text.size()), 0};
    std::memcpy(fBlock, &header, sizeof header);
    std::memcpy(fBlock + sizeof(Header), text.data(), size_t(text.size()));
}

CompactString::Pool::~Pool()
{
    if (fBlock)
        leave(reinterpret_cast<PoolBlock *>(fBlock));
}

char *CompactString::Pool::place(qsizetype bytes)
{
    if (!fBlock || fUsed + size_t(bytes) > kPoolBlock) {
        // Throws std::bad_alloc, which a load turns into its message.
        char *block = static_cast<char *>(::operator new(kPoolBlock, std::align_val_t(kPoolBlock)));
#ifdef MADV_HUGEPAGE
        // From the second block on the file is large: whole blocks are
        // filled, and taking each in one piece spares thousands of page
        // faults. A small file keeps to the pages it touches. Asked before
        // the block is first touched, which would take its first page alone.
        if (fBlocks > 0)
            ::madvise(block, kPoolBlock, MADV_HUGEPAGE);
#endif
        new (block) PoolBlock{{1}};
        if (fBlock)
            leave(reinterpret_cast<PoolBlock *>(fBlock));
        fBlock = block;
        fUsed = kFirstText;
        ++fBlocks;
    }
    char *text = fBlock + fUsed;
    reinterpret_cast<PoolBlock *>(fBlock)->users.fetch_add(1, std::memory_order_relaxed);
    // The next text again kPooled bytes past a multiple of kAlign.
    fUsed = (fUsed + size_t(bytes) - kPooled + kAlign - 1) / kAlign * kAlign + kPooled;
    return text;
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
    release(fBlock);
}

void CompactString::assign(const char *data, qsizetype size, bool wide)
{
    const Header header{quint32(size), quint32(wide)};
    // Throws std::bad_alloc, which a load turns into its message.
    char *block = static_cast<char *>(
        ::operator new(sizeof(Header) + size_t(bytesOf(header)), std::align_val_t(kAlign)));
    std::memcpy(block, &header, sizeof header);
    if (data)
        std::memcpy(block + sizeof(Header), data, size_t(bytesOf(header)));
    release(fBlock);
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
    release(fBlock);
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
