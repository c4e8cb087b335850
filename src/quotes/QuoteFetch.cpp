#include "quotes/QuoteFetch.h"

#include "quotes/QuoteRequest.h"

QuoteFetch::QuoteFetch(QObject *parent)
    : QObject(parent)
{
    connect(&m_transport, &QuoteTransport::finished, this, &QuoteFetch::onReply);
}

bool QuoteFetch::fetch(const QuoteHost &host, const QString &symbol)
{
    if (m_busy)
        return false;
    m_busy = true;
    m_host = host;
    m_result = Result{};
    m_result.symbol = symbol;
    attempt();
    return true;
}

void QuoteFetch::attempt()
{
    ++m_result.attempts;
    const quint64 generation = ++m_generation;
    WaitSeconds(m_pause, this, [this, generation] {
        if (generation == m_generation && m_busy)
            m_transport.SendQuoteRequest(m_host.host, quotePath(m_result.symbol), m_host.port);
    });
}

void QuoteFetch::onReply(QuoteTransport::Outcome outcome)
{
    if (!m_busy)
        return;
    m_result.answered = m_result.answered || m_transport.answered();
    m_result.fault = ReplyFault::None;
    bool mendable = outcome != QuoteTransport::Outcome::TooLong;
    if (outcome == QuoteTransport::Outcome::Replied) {
        QuoteReply reply = parseQuoteReply(m_transport.ReceiveBuffer());
        m_result.quote = reply.quote;
        m_result.tradeDate = reply.tradeDate;
        m_result.fault = reply.fault;
        mendable = retryMayMend(reply.fault);
    }
    if (m_result.quote || !mendable || m_result.attempts > MaxRetries) {
        m_busy = false;
        emit finished(m_result);
        return;
    }
    attempt();
}

void QuoteFetch::cancel()
{
    ++m_generation;
    m_transport.cancel();
    m_busy = false;
}
