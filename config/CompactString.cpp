#include "CompactString.h"

#include <QtCore/qstringalgorithms.h>
#include <atomic>
#include <cstring>
#include <new>
#ifdef Q_OS_UNIX
#include <sys/mman.h>
#endif

namespace {

// The number of characters, with the top bit set for UTF-16. Four bytes, not
// eight: a large file holds two texts per input, and most are short.
using Header = quint32;
constexpr Header kWide = 0x80000000u;
constexpr qsizetype kLongest = qsizetype(kWide - 1);
static_assert(sizeof(Header) == CompactString::kEmptyStorage);

// Pooled texts sit at any byte, so the header is read without assuming its
// alignment.
Header headerOf(const char *block)
{
    Header header;
    std::memcpy(&header, block, sizeof header);
    return header;
}

const char *dataOf(const char *block)
{
    return block + sizeof(Header);
}

qsizetype sizeOf(Header header)
{
    return qsizetype(header & ~kWide);
}

bool wideIn(Header header)
{
    return header & kWide;
}

qsizetype bytesOf(Header header)
{
    return sizeOf(header) * (wideIn(header) ? 2 : 1);
}

Header headerFor(qsizetype size, bool wide)
{
    // Throws std::bad_alloc, which a load turns into its message.
    if (size > kLongest)
        throw std::bad_alloc();
    return Header(size) | (wide ? kWide : 0);
}

// A text's storage tells where it came from by its address: the heap's start
// at a multiple of kAlign, a pool's anywhere else, packed byte by byte (its
// texts are single bytes, which need no alignment). A pool block is aligned to
// its size, so a text finds its block's count of texts by masking.
constexpr size_t kAlign = 16;
// The plain allocation already starts there: asking for the alignment
// explicitly took the allocator's slower aligned path for every text.
static_assert(__STDCPP_DEFAULT_NEW_ALIGNMENT__ >= kAlign);
constexpr size_t kPoolBlock = 2 * 1024 * 1024;
// Longer texts go to the heap, so a block wastes little at its end.
constexpr qsizetype kLargestPooled = 16 * 1024;
// Texts up to this long are shared when met again; a name, not a command.
constexpr qsizetype kLongestShared = 32;

struct PoolBlock
{
    // The texts placed in the block and not yet freed, plus, while a pool
    // fills it, kFilling: the pool counts its texts by itself and settles
    // once, as an atomic step per text was a tenth of a large load.
    std::atomic<qint64> users;
};
constexpr size_t kFirstText = sizeof(PoolBlock);
// More than a block can hold texts, so the texts freed while it fills never
// bring the count to zero.
constexpr qint64 kFilling = qint64(kPoolBlock);

bool isPooled(const char *storage)
{
    return (quintptr(storage) & (kAlign - 1)) != 0;
}

PoolBlock *blockOf(const char *storage)
{
    return reinterpret_cast<PoolBlock *>(quintptr(storage) & ~quintptr(kPoolBlock - 1));
}

void leave(PoolBlock *block, qint64 users = 1)
{
    if (block->users.fetch_sub(users, std::memory_order_acq_rel) == users) {
        block->~PoolBlock();
        ::operator delete(static_cast<void *>(block), std::align_val_t(kPoolBlock));
    }
}

} // namespace

void CompactString::release(char *storage)
{
    if (isPooled(storage))
        leave(blockOf(storage));
    else
        ::operator delete(storage);
}

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

CompactString::Pool::~Pool()
{
    settle();
}

void CompactString::Pool::settle()
{
    if (fBlock)
        leave(reinterpret_cast<PoolBlock *>(fBlock), kFilling - fPlaced);
    fBlock = nullptr;
}

void CompactString::Pool::startBlock()
{
    // Throws std::bad_alloc, which a load turns into its message.
    char *block = static_cast<char *>(::operator new(kPoolBlock, std::align_val_t(kPoolBlock)));
#if defined(MADV_HUGEPAGE) && defined(MADV_NOHUGEPAGE)
    // From the second block on the file is large: whole blocks are filled,
    // and taking each in one piece spares thousands of page faults. A small
    // file keeps to the pages it touches, also where the system would hand
    // out whole blocks unasked; its texts still come from the block, at a
    // fraction of a heap allocation's cost each. So does the last block of
    // a large file, which on average would hold half a block of memory no
    // text uses. Asked before the block is first touched, which would take
    // its first page alone.
    const bool filled = fBlocks > 0 && (!fRemaining || fRemaining() >= qint64(kPoolBlock));
    ::madvise(block, kPoolBlock, filled ? MADV_HUGEPAGE : MADV_NOHUGEPAGE);
#endif
    new (block) PoolBlock{{kFilling}};
    settle();
    fBlock = block;
    fUsed = kFirstText;
    fPlaced = 0;
    fRecent.fill(nullptr);
    ++fBlocks;
}

inline char *CompactString::Pool::place(qsizetype bytes)
{
    if (!fBlock || fUsed + size_t(bytes) + 1 > kPoolBlock)
        startBlock();
    // Never at a multiple of kAlign, where the heap's texts start.
    if ((fUsed & (kAlign - 1)) == 0)
        ++fUsed;
    char *text = fBlock + fUsed;
    fUsed += size_t(bytes);
    ++fPlaced;
    return text;
}

char *&CompactString::Pool::recent(QLatin1String text)
{
    // The first and last eight bytes (overlapping, or zero-filled when
    // shorter) tell apart names that differ in a number at either end.
    quint64 head = 0;
    quint64 tail = 0;
    const size_t size = size_t(text.size());
    if (size >= 8) {
        // Fixed sizes, so each is one load rather than a library call.
        std::memcpy(&head, text.data(), 8);
        std::memcpy(&tail, text.data() + size - 8, 8);
    } else {
        for (size_t i = 0; i < size; ++i)
            head |= quint64(uchar(text.data()[i])) << (8 * i);
    }
    // Every bit of both ends reaches the slot (MurmurHash3's finalizer).
    quint64 mixed = head ^ ((tail << 29) | (tail >> 35)) ^ (quint64(size) << 56);
    mixed = (mixed ^ (mixed >> 33)) * 0xff51afd7ed558ccdu;
    mixed = (mixed ^ (mixed >> 33)) * 0xc4ceb9fe1a85ec53u;
    return fRecent[(mixed ^ (mixed >> 33)) % fRecent.size()];
}

CompactString::CompactString(QLatin1String text, Pool &pool, Sharing sharing)
{
    if (text.isEmpty())
        return;
    if (text.size() > kLargestPooled) {
        assign(text.data(), text.size(), false);
        return;
    }
    const Header header = headerFor(text.size(), false);
    char **seen = nullptr;
    const bool shared = sharing == Sharing::Repeats && text.size() <= kLongestShared;
    if (shared && pool.fBlock) {
        seen = &pool.recent(text);
        // Only texts of the block being filled are remembered, so sharing
        // one is counted with the block's other texts, without an atomic
        // step.
        if (*seen && std::memcmp(*seen, &header, sizeof header) == 0 &&
            std::memcmp(dataOf(*seen), text.data(), size_t(text.size())) == 0) {
            fBlock = *seen;
            ++pool.fPlaced;
            return;
        }
    }
    const char *before = pool.fBlock;
    fBlock = pool.place(qsizetype(sizeof(Header)) + text.size());
    std::memcpy(fBlock, &header, sizeof header);
    std::memcpy(fBlock + sizeof(Header), text.data(), size_t(text.size()));
    if (pool.fBlock != before)
        seen = shared ? &pool.recent(text) : nullptr;
    if (seen)
        *seen = fBlock;
}

CompactString::CompactString(const CompactString &other)
{
    if (other.fBlock)
        assign(dataOf(other.fBlock), sizeOf(headerOf(other.fBlock)),
               wideIn(headerOf(other.fBlock)));
}

CompactString &CompactString::operator=(const CompactString &other)
{
    if (this != &other)
        *this = CompactString(other);
    return *this;
}

void CompactString::assign(const char *data, qsizetype size, bool wide)
{
    const Header header = headerFor(size, wide);
    // Throws std::bad_alloc, which a load turns into its message.
    char *block = static_cast<char *>(::operator new(sizeof(Header) + size_t(bytesOf(header))));
    std::memcpy(block, &header, sizeof header);
    if (data)
        std::memcpy(block + sizeof(Header), data, size_t(bytesOf(header)));
    clear();
    fBlock = block;
}

QString CompactString::toString() const
{
    if (!fBlock)
        return QString();
    const Header header = headerOf(fBlock);
    if (wideIn(header))
        return QString(reinterpret_cast<const QChar *>(dataOf(fBlock)), sizeOf(header));
    return QString::fromLatin1(dataOf(fBlock), sizeOf(header));
}

qsizetype CompactString::size() const
{
    return fBlock ? sizeOf(headerOf(fBlock)) : 0;
}

bool CompactString::isWide() const
{
    return fBlock && wideIn(headerOf(fBlock));
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
