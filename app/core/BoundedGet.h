// One HTTP GET with a deadline on the whole exchange and a cap on the body: the transport of the
// update check and of the telemetry request.
//
// Each request has its own QNetworkAccessManager, so the transfer thread Qt starts for it ends
// with the request instead of living on for the rest of the run. The deadline covers the whole
// exchange: Qt's own transfer time-out restarts with every byte, so a server that trickles its
// answer would never reach it. A redirect is followed only to an address `allowed` accepts, so a
// feed on HTTPS cannot send the check to a plain-HTTP host. Plain HTTP goes to a loopback
// address only, and never through a proxy.
//
// When the application quits, a request still running is aborted and its thread ended at once;
// its callback is not called.
//
// Threads: main thread only. The callback runs there, at most once; the object deletes itself
// afterwards (its parent deletes it if that comes first).
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

class BoundedGet : public QObject {
  Q_OBJECT

 public:
  struct Result {
    bool ok = false;  // a 2xx answer read to its end within the limits
    int status = 0;   // the HTTP status; 0 without an answer
    QByteArray body;  // what arrived, up to the cap
    QString error;    // why not ok, in words; empty when ok
  };
  struct Options {
    int timeoutMs = 30000;
    qint64 maxBodyBytes = 1 << 20;
  };
  using Done = std::function<void(const Result&)>;

  // True for an https address, or an http one whose host is a loopback address: the only
  // addresses a request starts at or is redirected to.
  static bool isAllowed(const QUrl& url);

  // Starts a GET of `url`, owned by `parent`; null (and no callback) when `url` is not allowed.
  static BoundedGet* start(const QUrl& url, Options options, QObject* parent, Done done);

  // Ends the request now without calling the callback.
  void abort();

 private:
  BoundedGet(Options options, Done done, QObject* parent);
  void begin(const QUrl& url);
  void readSome();
  void finish();
  void fail(const QString& error);
  void complete(const Result& result);
  void stopReply();

  Options options_;
  Done done_;
  QNetworkAccessManager* manager_ = nullptr;
  QPointer<QNetworkReply> reply_;
  QTimer deadline_;
  QByteArray body_;
};
