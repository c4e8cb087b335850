#include "quoted/QuoteLineTable.h"

#include <algorithm>

void QuoteLineTable::reserve(qsizetype count, qsizetype bytes)
{
    m_items.reserve(size_t(count));
    m_text.reserve(bytes);
}

void QuoteLineTable::add(QByteArrayView key, QByteArrayView line)
{
    const qsizetype at = m_text.size();
    m_text += key;
    m_text += line;
    m_items.push_back({at, at + key.size(), int(key.size()), int(line.size())});
}

void QuoteLineTable::sort()
{
    std::sort(m_items.begin(), m_items.end(),
              [this](const Item &a, const Item &b) { return keyOf(a).compare(keyOf(b)) < 0; });
}

std::optional<QByteArrayView> QuoteLineTable::find(QByteArrayView key) const
{
    const auto it = std::lower_bound(m_items.cbegin(), m_items.cend(), key,
                                     [this](const Item &item, QByteArrayView k) { return keyOf(item).compare(k) < 0; });
    if (it == m_items.cend() || keyOf(*it) != key)
        return std::nullopt;
    return QByteArrayView(m_text).sliced(it->line, it->lineLength);
}

void QuoteLineTable::swap(QuoteLineTable &other) noexcept
{
    m_text.swap(other.m_text);
    m_items.swap(other.m_items);
}
