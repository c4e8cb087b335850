#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <QTcpSocket>

// A web server on 127.0.0.1 that answers every request, once its headers
// have come, with the same HTTP/1.0 200 reply, as the quote service answers
// one of its tables.
class OneReplyServer : public QTcpServer
{
public:
    OneReplyServer(const QByteArray &contentType, const QByteArray &body)
        : m_reply("HTTP/1.0 200 OK\r\nContent-Type: " + contentType
                  + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body)
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().contains("\r\n\r\n") || socket->property("served").toBool())
                        return;
                    socket->setProperty("served", true);
                    socket->write(m_reply);
                    socket->disconnectFromHost();
                });
            }
        });
    }

private:
    QByteArray m_reply;
};
