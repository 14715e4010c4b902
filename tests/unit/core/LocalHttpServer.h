// An HTTP server inside the test process, on a loopback port: it records the first line of every
// request and answers each one the way the test chose. Runs on the main thread's event loop, so
// a test pumps events while it waits. Create it after the application object.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace fxtest {

class LocalHttpServer {
 public:
  enum class Mode {
    Answer,   // the status and body, then close
    Silent,   // read the request, never answer
    Trickle,  // promise a longer body than the chosen one, send that, then a byte every 100 ms
  };

  LocalHttpServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, &server_, [this] { accept(); });
  }

  // `headers`: further header lines, each ending in "\r\n".
  void answer(int status, QByteArray body, QByteArray headers = {}) {
    mode = Mode::Answer;
    status_ = status;
    body_ = std::move(body);
    headers_ = std::move(headers);
  }

  QString url(const QString& path) const {
    return QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path);
  }

  Mode mode = Mode::Answer;
  QStringList requestLines;  // "GET /path?query HTTP/1.1", in arrival order
  int connections = 0;
  int disconnections = 0;

 private:
  void accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
      ++connections;
      QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] {
        ++disconnections;
        socket->deleteLater();
      });
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
        const QByteArray received = socket->property("received").toByteArray() + socket->readAll();
        if (socket->property("answered").toBool()) return;  // one request per connection
        socket->setProperty("received", received);
        if (!received.contains("\r\n\r\n")) return;
        socket->setProperty("answered", true);
        requestLines.append(QString::fromLatin1(received.left(received.indexOf("\r\n"))));
        respond(socket);
      });
    }
  }

  void respond(QTcpSocket* socket) {
    if (mode == Mode::Silent) return;
    if (mode == Mode::Trickle) {
      socket->write("HTTP/1.1 200 OK\r\nContent-Length: " +
                    QByteArray::number(body_.size() + 100000) + "\r\n\r\n" + body_);
      auto* timer = new QTimer(socket);
      QObject::connect(timer, &QTimer::timeout, socket, [socket] { socket->write("<"); });
      timer->start(100);
      return;
    }
    socket->write("HTTP/1.1 " + QByteArray::number(status_) +
                  " X\r\nContent-Length: " + QByteArray::number(body_.size()) +
                  "\r\nConnection: close\r\n" + headers_ + "\r\n" + body_);
    socket->disconnectFromHost();
  }

  QTcpServer server_;
  int status_ = 200;
  QByteArray body_;
  QByteArray headers_;
};

}  // namespace fxtest
