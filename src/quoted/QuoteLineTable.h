#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <vector>

// The reply lines of a snapshot, keyed by symbol, in two blocks: one text
// holding every key and line, and one sorted index into it. A large table
// is thus freed in two steps, straight back to the system, instead of as
// hundreds of thousands of small pieces that would take the service's
// thread a noticeable time to free and leave its heap fragmented.
class QuoteLineTable
{
public:
    // Keys must be unique; call sort() once all are added.
    void reserve(qsizetype count, qsizetype bytes);
    void add(QByteArrayView key, QByteArrayView line);
    void sort();

    std::optional<QByteArrayView> find(QByteArrayView key) const;
    qsizetype size() const { return qsizetype(m_items.size()); }
    void swap(QuoteLineTable &other) noexcept;

private:
    struct Item
    {
        qsizetype key;
        qsizetype line;
        int keyLength;
        int lineLength;
    };
    QByteArrayView keyOf(const Item &item) const { return QByteArrayView(m_text).sliced(item.key, item.keyLength); }

    QByteArray m_text;
    std::vector<Item> m_items;
};
