#pragma once

#include <QByteArray>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

namespace klosia::test {

// Answers every request with one status and body, and remembers the requests' heads.
class FeedServer {
public:
    FeedServer() {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    received_ += socket->readAll();
                    if (!received_.contains("\r\n\r\n")) {
                        return;
                    }
                    requests.append(QString::fromLatin1(received_));
                    received_.clear();
                    socket->write("HTTP/1.1 " + status + "\r\nContent-Type: application/json\r\n" +
                                  "Content-Length: " + QByteArray::number(body.size()) +
                                  "\r\nConnection: close\r\n\r\n" + body);
                    socket->disconnectFromHost();
                });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QUrl url() const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/releases.json").arg(server_.serverPort()));
    }
    bool isListening() const { return server_.isListening(); }

    QByteArray status = "200 OK";
    QByteArray body;
    QStringList requests;

private:
    QTcpServer server_;
    QByteArray received_;
};

}  // namespace klosia::test
