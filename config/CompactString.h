#pragma once

#include <QByteArrayView>
#include <QString>
#include <array>
#include <functional>
#include <utility>

// Text of the model that a large file holds hundreds of thousands of: names
// and commands. The file stores one byte per character, and a QString would
// hold each in two, plus its own header and a pointer of its list; this keeps
// one byte per character behind a single pointer whenever every character
// fits a byte, which is all a file can give. Text that does not fit (typed
// into a program, or imported) is kept as UTF-16, so it reaches the writer,
// and its message, unchanged. An empty text holds nothing at all.
//
// It converts to QString wherever one is wanted, so code that reads a name
// reads it as before; each conversion makes a copy.
class CompactString
{
public:
    // Where a load places the texts it reads: large blocks filled one after
    // another instead of a heap allocation each. A large file holds hundreds
    // of thousands of texts; one by one they cost the allocator's time and
    // bookkeeping, and fresh memory page by page. A block is freed when its
    // last text is; texts copied from it go to the heap as usual.
    class Pool
    {
    public:
        Pool() = default;
        Pool(const Pool &) = delete;
        Pool &operator=(const Pool &) = delete;
        ~Pool();

        // At most how many bytes of text are still to come (a file's unread
        // part), asked as each block starts, so that the last block, which
        // they will not fill, is not taken whole.
        void setRemaining(std::function<qint64()> remaining) { fRemaining = std::move(remaining); }

    private:
        friend class CompactString;
        char *place(qsizetype bytes);
        char *&recent(QLatin1String text);
        void startBlock();
        // Hands the block being filled over to its texts.
        void settle();

        char *fBlock = nullptr;
        size_t fUsed = 0;
        qint64 fPlaced = 0; // texts placed in fBlock, shared ones counted each time
        int fBlocks = 0;
        // Short texts recently placed in fBlock, by a hash of their bytes.
        std::array<char *, 1024> fRecent{};
        std::function<qint64()> fRemaining;
    };

    CompactString() = default;
    CompactString(const QString &text); // NOLINT: a QString is what callers assign
    CompactString(QLatin1String text);
    // Sharing::Repeats for a kind of text that often repeats: a short one
    // met again shares the stored copy (inputs are mostly named alike under
    // every output). Texts never change in place, so nobody can tell; other
    // texts are not looked up, as the look-up costs a unique one time.
    enum class Sharing
    {
        None,
        Repeats
    };
    CompactString(QLatin1String text, Pool &pool, Sharing sharing = Sharing::None);
    CompactString(const CompactString &other);
    CompactString(CompactString &&other) noexcept : fBlock(other.fBlock) { other.fBlock = nullptr; }
    CompactString &operator=(const CompactString &other);
    // Inline, as a load moves every text it reads and drops the empty rest.
    CompactString &operator=(CompactString &&other) noexcept
    {
        std::swap(fBlock, other.fBlock);
        return *this;
    }
    ~CompactString()
    {
        if (fBlock)
            release(fBlock);
    }

    operator QString() const { return toString(); } // NOLINT: read as a QString
    QString toString() const;

    qsizetype size() const;
    bool isEmpty() const { return fBlock == nullptr; }
    void clear()
    {
        if (fBlock)
            release(std::exchange(fBlock, nullptr));
    }
    QString left(qsizetype n) const { return toString().left(n); }

    // The characters as single bytes, for a text that is not wide.
    bool isWide() const;
    QLatin1String latin1() const;
    // The whole stored form, size and width included: two texts are equal
    // exactly when these bytes are. Empty for the empty text; a form with
    // characters starts with kEmptyStorage bytes that are not all zero.
    QByteArrayView storage() const;
    static constexpr qsizetype kEmptyStorage = 4;

    friend bool operator==(const CompactString &a, const CompactString &b)
    {
        return a.storage() == b.storage();
    }
    friend bool operator!=(const CompactString &a, const CompactString &b) { return !(a == b); }
    friend bool operator==(const CompactString &a, const QString &b) { return a.equals(b); }
    friend bool operator!=(const CompactString &a, const QString &b) { return !a.equals(b); }
    friend bool operator==(const QString &a, const CompactString &b) { return b.equals(a); }
    friend bool operator!=(const QString &a, const CompactString &b) { return !b.equals(a); }
    // Lets a failed QCOMPARE show the text.
    friend char *toString(const CompactString &text);

private:
    bool equals(const QString &text) const;
    static void release(char *storage);
    void assign(const char *data, qsizetype size, bool wide);

    // A header (the number of characters and whether they are UTF-16) and
    // the characters; null for the empty text.
    char *fBlock = nullptr;
};
